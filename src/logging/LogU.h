// The run log: one UTF-8 file per process in the user's temporary folder, written by every thread
// through AppendLog.
#pragma once

#include <string>
#include <string_view>

namespace sf {

// Creates "<temp>\Stormfinch dd-mm-yyyy_hh-nn-ss.log", replacing a file of that name, opened without
// sharing. Runs once during start-up, before any other thread exists. A failure leaves no log open,
// and AppendLog then writes nothing.
void CreateRunLog();
void CloseRunLog();
std::wstring RunLogPath();

// Appends "hh:nn:ss.zzz: <text>\r\n". Callable from any thread; one lock orders the lines. A failing
// write (a full disk, say) raises TWinError to the caller after the lock is released.
void AppendLog(std::wstring_view text);

}  // namespace sf
