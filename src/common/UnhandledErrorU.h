// Where an error goes that nothing else handled: one that escaped a window's message handling, or one
// that is ending a thread. The window base, the controls and the thread base sit below the error
// reporter, so they hand such an error to these hooks, and start-up points the hooks at the reporter
// before any window or thread exists.
#pragma once

#include <exception>

namespace sf {

using TUnhandledErrorHandler = void (*)(const std::exception& error);

// Sets both hooks; a handler must never raise. Called once at start-up (and by tests that need the
// same wiring).
void SetUnhandledErrorHandlers(TUnhandledErrorHandler windowError, TUnhandledErrorHandler threadError);

// An error that escaped a window's message handling; the message counts as handled afterwards.
void HandleWindowError(const std::exception& error);
// An error that is ending the calling thread.
void HandleThreadError(const std::exception& error);

}  // namespace sf
