#include "engine/ExitCodeU.h"

#include <atomic>

namespace sf {

namespace {
// Written by the window, the engine and the workers; the last value written wins.
std::atomic<std::int32_t> g_exitCode{0};
}  // namespace

void SetExitCode(TExitCode code) { g_exitCode.store(static_cast<std::int32_t>(code)); }
std::int32_t ExitCodeValue() { return g_exitCode.load(); }

}  // namespace sf
