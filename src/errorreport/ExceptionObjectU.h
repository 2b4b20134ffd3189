// Capture of errors nobody else handles, and the error report that carries them to the maker's error
// endpoint. Errors that escape a window's message handling go to ExceptionHandler, which also tells the
// user; the engine sends the errors it recovers from to SilentException.
//
// Every handler holds one reporter lock from start to end, the network request and the message box
// included, so reports never interleave. The lock is recursive: the message box runs a modal loop on
// the UI thread, and a window that fails during that loop reaches ExceptionHandler again on the same
// thread (where the rate limit then swallows it) instead of deadlocking. A report that cannot be
// delivered never escapes a handler: it becomes a log line, and the counters keep their new values.
//
// Call stacks: a report of a raised C++ error carries the stack of its raise when the capture was
// installed at the time (StackTraceU records raises as they happen); a silent report carries the stack
// of the calling thread at the time of the report. Frames are module and offset, with the start of the
// routine that holds them, for symbolising with the build's debug information.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/ConstantsU.h"
#include "errorreport/ReportTextU.h"

namespace sf {

// Installs the process-wide capture: the reporter and its lock, the UI thread (the calling one), the
// recording of raised stacks, and the last-chance hooks for crashes and std::terminate. Called once at
// start-up before any window or thread exists; RemoveExceptionCapture undoes it.
void InstallExceptionCapture();
void RemoveExceptionCapture();

// The process-wide handlers; they never raise.
// An error that escaped UI event processing: reported (rate-limited) and the user is told.
void ExceptionHandler(const std::exception& error);
// An error reported without telling the user. sender names the reporting object (may be empty).
void SilentException(const std::wstring& sender, const std::exception& error);
// An error that ended a thread, described by threadDescription: reported without a rate limit, and the
// user is told.
void ExceptionThreadHandler(const std::wstring& threadDescription, const std::exception& error);
// The same for an error that is ending the calling thread.
void ExceptionThreadHandler(const std::exception& error);

// One report: Create (the constructor), CreateErrorDescription, SendError.
class TExceptionObject {
 public:
  // Builds the first part of the report and the diagnostic block. threadDescription makes it a thread
  // report. Runs on any thread; the control hierarchy and the form list come only on the UI thread.
  TExceptionObject(const std::exception& error, bool silent, std::int32_t errorNumber,
                   const std::optional<std::wstring>& threadDescription = std::nullopt);

  // Adds the system part, the diagnostic block and the silent mark.
  void CreateErrorDescription();
  // Logs the report and posts it to url, without any proxy, waiting for the answer (whose body is not
  // read). Raises when it is not delivered: no connection, a time-out, or a status of 400 or more.
  void SendError(const std::wstring& url = ErrorReportUrl) const;

  // Silent when made silent, or when the error lies in the theme engine's hook.
  bool SilentMode() const { return m_bSilentMode; }
  const std::vector<std::wstring>& Lines() const { return m_lstError; }
  std::string Body() const;

 private:
  std::vector<std::wstring> m_lstError;
  std::vector<std::wstring> m_lstStackList;
  HWND m_LastActiveControl = nullptr;
  bool m_bIsMainThread = false;
  std::wstring m_strMachineID;
  std::wstring m_strVersion;
  std::int32_t m_nErrorNumber = 0;
  bool m_bSilentMode = false;
};

// The handlers with their lock and counters, sending to one endpoint. The process has one (reached by
// the free functions above); tests make their own to point at a test server.
class TErrorReporter {
 public:
  explicit TErrorReporter(std::wstring url);
  TErrorReporter(const TErrorReporter&) = delete;
  TErrorReporter& operator=(const TErrorReporter&) = delete;

  void ExceptionHandler(const std::exception& error);
  void SilentException(const std::wstring& sender, const std::exception& error);
  void ExceptionThreadHandler(const std::wstring& threadDescription, const std::exception& error);

 private:
  // Makes and sends one report; true when it was delivered. Never raises.
  bool Report(const std::wstring& handler, const std::exception& error, bool silent, std::int32_t errorNumber,
              const std::optional<std::wstring>& threadDescription);

  std::recursive_mutex m_csReporter;
  TReportCounter m_UiCounter;
  TReportCounter m_SilentCounter;
  std::wstring m_strUrl;
};

}  // namespace sf
