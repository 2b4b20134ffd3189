// The process exit code: one signed 32-bit value, 0 until someone sets it, read once when the process
// ends. Scripts rely on these numbers, so they are defined here and nowhere else.
#pragma once

#include <cstdint>

namespace sf {

enum class TExitCode : std::int32_t {
  Success = 0,           // installation or update completed (and every help-window run)
  NameExists = 1,        // "/install": an installation with this name already exists
  NameNotFound = 2,      // "/update": no installation with this name
  ProductRunning = 3,    // "/update": the installation's product is running
  DownloadFailed = 4,    // a file could not be downloaded (unattended runs)
  UnexpectedError = -1,  // extraction, registry or shortcut error (unattended), or damaged images
};

void SetExitCode(TExitCode code);
std::int32_t ExitCodeValue();

}  // namespace sf
