// The run log: one UTF-8 file per process in the user's temporary folder, written by every thread
// through AppendLog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sf {

// Creates "<temp>\Stormfinch dd-mm-yyyy_hh-nn-ss.log", replacing a file of that name, opened without
// sharing. Runs once during start-up, before any other thread exists. A failure leaves no log open,
// and AppendLog then writes nothing.
void CreateRunLog();
// The same at a path of the caller's choice (tests).
void CreateRunLogAt(const std::wstring& path);
void CloseRunLog();
std::wstring RunLogPath();

// Appends "hh:nn:ss.zzz: <text>\r\n". Callable from any thread; one lock orders the lines. Never raises:
// a line that cannot be written (a full disk, say) is counted instead, so that logging never becomes the
// failure of the work it describes.
void AppendLog(std::wstring_view text) noexcept;
// The lines one after another, with no line of another thread between them.
void AppendLogLines(const std::vector<std::wstring>& texts) noexcept;

// The lines the run log lost, and the system's text for the first loss; reported once at the end.
struct TLogWriteFailures {
  std::uint64_t nLines = 0;
  std::wstring strFirstError;
};
TLogWriteFailures LogWriteFailures();

}  // namespace sf
