#include "common/PathRulesU.h"

#include <array>

#include "common/TextU.h"

namespace sf {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Windows opens a device instead of a file for these names whatever the folder, and also when an
// extension or trailing blanks follow ("nul.txt", "COM1 .log").
bool IsDeviceName(std::wstring_view segment) {
  static constexpr std::array<std::wstring_view, 6> kDevices{L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
  auto stem = segment.substr(0, segment.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  for (const auto device : kDevices) {
    if (EqualsIgnoreCase(stem, device)) return true;
  }
  if (stem.size() != 4) return false;
  const auto prefix = stem.substr(0, 3);
  if (!EqualsIgnoreCase(prefix, L"com") && !EqualsIgnoreCase(prefix, L"lpt")) return false;
  // Windows also reserves the superscript digits 1, 2 and 3 here.
  const wchar_t digit = stem[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

bool IsSafeSegment(std::wstring_view segment) {
  if (segment.empty()) return false;
  for (const wchar_t c : segment) {
    if (c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) return false;
  }
  // Covers "." and "..", and names Windows would store without their trailing dots or blanks.
  if (segment.back() == L'.' || segment.back() == L' ') return false;
  return !IsDeviceName(segment);
}

}  // namespace

bool IsSafeRelativePath(std::wstring_view path) {
  if (path.empty() || IsSeparator(path.front())) return false;
  std::size_t begin = 0;
  while (true) {
    std::size_t end = begin;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (!IsSafeSegment(path.substr(begin, end - begin))) return false;
    if (end == path.size()) return true;
    begin = end + 1;
  }
}

}  // namespace sf
