// The texts of the command-line help window in the current language.
#pragma once

#include <string>
#include <vector>

namespace sf {

std::wstring HelpTitle();
// exeName: the running executable's file name without its folder.
std::vector<std::wstring> HelpLines(const std::wstring& exeName);
// The lines joined with CR LF, as the help window's text box shows them.
std::wstring HelpText(const std::wstring& exeName);

}  // namespace sf
