// Call stacks for the error report, by a raw walk of the x64 unwind tables (no symbols needed).
//
// C++ errors: the compiler's runtime raises every throw as a Windows exception. A vectored handler sees it
// before any catch runs, walks the stack from the throw point and keeps it with the address of the object
// thrown, so a handler that catches the object later can ask for the stack of its own raise. Only the
// latest raises are kept (a small ring, filled without allocating); a rethrow records the object again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sf {

struct TStackTrace {
  FILETIME ftTaken{};                        // UTC
  std::uintptr_t nRaiseAddress = 0;          // the code that raised, 0 for a trace taken on request
  std::vector<std::uintptr_t> frames;        // return addresses, innermost first
};

// The vectored handler that records raised C++ errors; both are idempotent.
void StartRecordingRaisedStacks();
void StopRecordingRaisedStacks();

// The stack recorded when the object was last raised; nothing when it was never raised while recording
// (an exception made only to be reported, say) or its record has been overwritten since.
std::optional<TStackTrace> RaisedStackOf(const void* exceptionObject);

// The calling thread's stack now, starting with the caller of this function.
TStackTrace CurrentStack();

// "Stormfinch.exe+0x1A2EC (routine +0x1A2B0, offset 0x3C)": module and offset of the address, and where
// the routine holding it begins; only the address when no module holds it. Frames past the first are
// return addresses: the call itself is at the address minus one, which is what a symboliser wants.
std::wstring FrameText(std::uintptr_t address);

}  // namespace sf
