#include "common/UnhandledErrorU.h"

#include <atomic>

namespace sf {

namespace {

std::atomic<TUnhandledErrorHandler> g_windowError{nullptr};
std::atomic<TUnhandledErrorHandler> g_threadError{nullptr};

// Without a handler nobody would ever hear of the error: ending the process is the honest answer.
void Handle(const std::atomic<TUnhandledErrorHandler>& hook, const std::exception& error) {
  const TUnhandledErrorHandler handler = hook.load();
  if (!handler) std::terminate();
  handler(error);
}

}  // namespace

void SetUnhandledErrorHandlers(TUnhandledErrorHandler windowError, TUnhandledErrorHandler threadError) {
  g_windowError.store(windowError);
  g_threadError.store(threadError);
}

void HandleWindowError(const std::exception& error) { Handle(g_windowError, error); }
void HandleThreadError(const std::exception& error) { Handle(g_threadError, error); }

}  // namespace sf
