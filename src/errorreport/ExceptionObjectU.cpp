#include "errorreport/ExceptionObjectU.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "common/WinErrorU.h"
#include "logging/LogU.h"

namespace sf {

namespace {

// The last line of defence: a log line must never turn a reported error into a second one.
void LogQuietly(const std::wstring& line) {
  try {
    AppendLog(line);
  } catch (...) {
  }
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* info) {
  wchar_t text[96];
  std::swprintf(text, 96, L"ExceptionObjectU: unhandled exception 0x%08lX at %p",
                info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress);
  LogQuietly(text);
  return EXCEPTION_CONTINUE_SEARCH;
}

void OnTerminate() {
  std::wstring line = L"ExceptionObjectU: terminate";
  if (auto current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      line += L": " + ExceptionMessage(e);
    } catch (...) {
    }
  }
  LogQuietly(line);
  std::abort();
}

}  // namespace

void InstallExceptionCapture() {
  ::SetUnhandledExceptionFilter(&UnhandledFilter);
  std::set_terminate(&OnTerminate);
}

// Until the error endpoint client lands, both handlers only write the report's essence to the run log.
void ExceptionHandler(const std::exception& error) {
  LogQuietly(L"ExceptionObjectU.ExceptionHandler: " + ExceptionMessage(error));
}

void SilentException(const std::wstring& sender, const std::exception& error) {
  LogQuietly(L"ExceptionObjectU.SilentException: " + sender + L" " + ExceptionMessage(error));
}

}  // namespace sf
