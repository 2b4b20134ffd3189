// Helpers for the Windows unit tests: a throwaway HKCU, a temporary folder, and a window that records
// the messages the engine posts to it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sf::test {

// Redirects HKEY_CURRENT_USER of this process to a fresh key for the life of the object.
class TRegistrySandbox {
 public:
  TRegistrySandbox();
  ~TRegistrySandbox();
  TRegistrySandbox(const TRegistrySandbox&) = delete;
  TRegistrySandbox& operator=(const TRegistrySandbox&) = delete;

 private:
  std::wstring m_path;
  HKEY m_key = nullptr;
};

// A fresh folder below %TEMP%, removed with its content at the end.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

// Sets an environment variable for the life of the object.
class TScopedEnvironment {
 public:
  TScopedEnvironment(const wchar_t* name, const std::wstring& value);
  ~TScopedEnvironment();
  TScopedEnvironment(const TScopedEnvironment&) = delete;
  TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

 private:
  std::wstring m_name;
  std::wstring m_old;
  bool m_had = false;
};

struct TRecordedMessage {
  UINT message;
  WPARAM wParam;
  std::wstring text;   // wParam text payload, taken over
  std::wstring text2;  // lParam text payload, taken over
  std::vector<std::wstring> list;
};

// A message-only window that takes over every payload posted to it and records the messages.
class TMessageSink {
 public:
  TMessageSink();
  ~TMessageSink();
  TMessageSink(const TMessageSink&) = delete;
  TMessageSink& operator=(const TMessageSink&) = delete;
  HWND Handle() const { return m_hWnd; }
  // Pumps this thread's queue until until() holds or the time is up; WM_QUIT is recorded too.
  bool PumpUntil(const std::function<bool(const std::vector<TRecordedMessage>&)>& until, DWORD timeoutMs = 10000);
  const std::vector<TRecordedMessage>& Messages() const { return m_messages; }

 private:
  static LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Record(UINT msg, WPARAM wParam, LPARAM lParam);
  HWND m_hWnd = nullptr;
  std::vector<TRecordedMessage> m_messages;
};

// The run log's content after closing it (it is opened without sharing while it is open).
std::string CloseAndReadRunLog();

// A file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

}  // namespace sf::test
