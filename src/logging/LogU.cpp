#include "logging/LogU.h"

#include <windows.h>

#include <atomic>
#include <mutex>

#include "common/LocalTimeU.h"
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
  std::atomic<std::uint64_t> nLostLines{0};  // counted without the lock: the lock itself may be what failed
  std::wstring strFirstLoss;                 // under the lock
};

// Never destroyed: threads that are not joined may log while the process exits.
TRunLog& Log() {
  static TNoDestructor<TRunLog> log;
  return *log;
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

void CreateRunLog() { CreateRunLogAt(TempFolder() + RunLogFileName(LocalTimeNow())); }

void CreateRunLogAt(const std::wstring& path) {
  auto& log = Log();
  std::lock_guard guard(log.lock);
  log.timeSeparator = LocaleTimeSeparator();
  log.path = path;
  log.nLostLines.store(0);
  log.strFirstLoss.clear();
  log.file.Close();  // a log of the same name opened earlier by this process is replaced too
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

namespace {

// One line, under the log's lock.
void WriteLine(TRunLog& log, std::wstring_view text) noexcept {
  try {
    if (!log.file) return;
    // The time is read under the lock, so the lines stand in the order of their time stamps.
    const std::string line = FormatLogLine(LocalTimeNow(), log.timeSeparator, text);
    ::SetFilePointer(log.file.Get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    if (!::WriteFile(log.file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
      // A short write without an error is what a full disk looks like to some file systems.
      const DWORD error = ::GetLastError();
      if (log.nLostLines.fetch_add(1) == 0) {
        log.strFirstLoss = SystemErrorText(error == ERROR_SUCCESS ? ERROR_DISK_FULL : error);
      }
    }
  } catch (...) {
    // Memory for one line: the line is lost like one that failed to write.
    log.nLostLines.fetch_add(1);
  }
}

}  // namespace

void AppendLog(std::wstring_view text) noexcept {
  auto& log = Log();
  try {
    std::lock_guard guard(log.lock);
    WriteLine(log, text);
  } catch (...) {
    // The lock: the line is lost like one that failed to write.
    log.nLostLines.fetch_add(1);
  }
}

void AppendLogLines(const std::vector<std::wstring>& texts) noexcept {
  auto& log = Log();
  try {
    std::lock_guard guard(log.lock);
    for (const std::wstring& text : texts) WriteLine(log, text);
  } catch (...) {
    log.nLostLines.fetch_add(texts.size());
  }
}

TLogWriteFailures LogWriteFailures() {
  auto& log = Log();
  std::lock_guard guard(log.lock);
  return {log.nLostLines.load(), log.strFirstLoss};
}

}  // namespace sf
