// The run mode: what the command line asks of the wizard and the engine (an interactive run, or an
// unattended installation or update of a named installation) and how many workers it gets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sf {

// Travels from the window to the engine in WM_SET_UNNATENDED_VALUES.
enum class TCmdInstallType : std::uint8_t { citNone = 0, citInstall = 1, citUpdate = 2 };

struct TCmdSelection {
  TCmdInstallType mode = TCmdInstallType::citNone;
  std::wstring name;
};

// Mode and name of a wizard run. Unlike the shape check, this compares the switch exactly, so
// "/INSTALL" opens the interactive wizard.
TCmdSelection SelectMode(const std::vector<std::wstring>& args);

// True when any argument, the program path included, is exactly "/st".
bool IsSingleThreaded(const std::vector<std::wstring>& args);

}  // namespace sf
