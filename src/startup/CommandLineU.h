// Command-line rules: which command lines are accepted and when the help window is shown (the mode and
// name a run gets are the engine's: RunModeU). Arguments are counted without the program path.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sf {

// Lower-cases a whole argument. Windows passes the thread locale's linguistic casing; the default is
// enough for the ASCII switches.
using TLowerCase = std::function<std::wstring(const std::wstring&)>;

// args[0] is the program path. A name after the switch must be non-empty, without spaces, and pass
// IsValidInstallationName.
bool IsCommandLineValid(const std::vector<std::wstring>& args, const TLowerCase& lower = {});

// True when the help window replaces the wizard: a command line of another shape, or "/?" anywhere
// (the program path included), compared exactly.
bool WantsHelp(const std::vector<std::wstring>& args, const TLowerCase& lower = {});

}  // namespace sf
