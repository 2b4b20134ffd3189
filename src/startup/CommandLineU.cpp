#include "startup/CommandLineU.h"

#include <algorithm>

#include "common/PathRulesU.h"
#include "common/TextU.h"

namespace sf {

namespace {

std::wstring Lowered(const std::wstring& text, const TLowerCase& lower) {
  return lower ? lower(text) : AsciiLower(text);
}

bool IsOneOf(const std::wstring& value, std::initializer_list<const wchar_t*> options) {
  return std::any_of(options.begin(), options.end(), [&](const wchar_t* o) { return value == o; });
}

}  // namespace

bool IsCommandLineValid(const std::vector<std::wstring>& args, const TLowerCase& lower) {
  const size_t count = args.empty() ? 0 : args.size() - 1;
  if (count == 0) return true;
  const std::wstring first = Lowered(args[1], lower);
  if (count == 1) return IsOneOf(first, {L"/st", L"/install", L"/update", L"/repair"});
  if (count == 2) {
    // The name becomes part of a folder and a registry key: one that breaks the name rule is a command
    // line of the wrong shape, like a name with a space.
    return IsOneOf(first, {L"/install", L"/update", L"/repair"}) && !args[2].empty() &&
           args[2].find(L' ') == std::wstring::npos && IsValidInstallationName(args[2]);
  }
  return false;
}

bool WantsHelp(const std::vector<std::wstring>& args, const TLowerCase& lower) {
  if (!IsCommandLineValid(args, lower)) return true;
  return std::find(args.begin(), args.end(), L"/?") != args.end();
}

}  // namespace sf
