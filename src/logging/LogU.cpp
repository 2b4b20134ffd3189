#include "logging/LogU.h"

#include <windows.h>

#include <mutex>

#include "common/NoDestructorU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "logging/LogFormatU.h"

namespace sf {

namespace {

struct TRunLog {
  std::mutex lock;
  TScopedKernelHandle file;
  std::wstring path;
  std::wstring timeSeparator = L":";
};

// Never destroyed: threads that are not joined may log while the process exits.
TRunLog& Log() {
  static TNoDestructor<TRunLog> log;
  return *log;
}

TLocalTime Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::wstring LocaleTimeSeparator() {
  wchar_t buffer[8] = {};
  if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, buffer, 8) > 1) return buffer;
  return L":";
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, length);
}

}  // namespace

void CreateRunLog() {
  auto& log = Log();
  std::lock_guard guard(log.lock);
  log.timeSeparator = LocaleTimeSeparator();
  log.path = TempFolder() + RunLogFileName(Now());
  log.file.Reset(::CreateFileW(log.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
}

void CloseRunLog() {
  auto& log = Log();
  std::lock_guard guard(log.lock);
  log.file.Close();
}

std::wstring RunLogPath() {
  auto& log = Log();
  std::lock_guard guard(log.lock);
  return log.path;
}

void AppendLog(std::wstring_view text) {
  auto& log = Log();
  std::lock_guard guard(log.lock);
  if (!log.file) return;
  // The time is read under the lock, so the lines stand in the order of their time stamps.
  const std::string line = FormatLogLine(Now(), log.timeSeparator, text);
  ::SetFilePointer(log.file.Get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  if (!::WriteFile(log.file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size()) {
    throw TWinError(L"AppendLog " + log.path);
  }
}

}  // namespace sf
