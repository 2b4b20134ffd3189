// The start-up sequence, from the first instruction to the exit code.
#pragma once

namespace sf {

// Runs the whole program and returns the process exit code, read once at the very end.
int RunInstaller();

}  // namespace sf
