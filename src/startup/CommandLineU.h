// Command-line rules: which command lines are accepted, when the help window is shown, and which mode
// and installation name a run gets. Arguments are counted without the program path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sf {

enum class TCmdInstallType : std::uint8_t { citNone = 0, citInstall = 1, citUpdate = 2 };

// Lower-cases a whole argument. Windows passes the thread locale's linguistic casing; the default is
// enough for the ASCII switches.
using TLowerCase = std::function<std::wstring(const std::wstring&)>;

// args[0] is the program path. A name after the switch must be non-empty, without spaces, and pass
// IsValidInstallationName.
bool IsCommandLineValid(const std::vector<std::wstring>& args, const TLowerCase& lower = {});

// True when the help window replaces the wizard: a command line of another shape, or "/?" anywhere
// (the program path included), compared exactly.
bool WantsHelp(const std::vector<std::wstring>& args, const TLowerCase& lower = {});

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
