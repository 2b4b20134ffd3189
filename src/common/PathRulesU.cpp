#include "common/PathRulesU.h"

#include <array>
#include <cstdint>

#include "common/TextU.h"

namespace sf {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The C0 and C1 control characters and DEL.
bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Blanks a user may type or paste without seeing them.
bool IsBlank(wchar_t c) {
  return c == L' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x202F || c == 0x205F ||
         c == 0x3000 || c == 0xFEFF;
}

// wchar_t is UTF-32 off Windows; Windows counts a name's length in UTF-16 units.
std::size_t Utf16Length(std::wstring_view text) {
  std::size_t length = text.size();
  for (const wchar_t c : text) length += (static_cast<std::uint32_t>(c) >> 16) != 0 ? 1 : 0;
  return length;
}

// The simple upper-case mapping Windows' file systems compare names with, for the scripts names are
// written in here: Latin (ASCII, Latin-1, Latin Extended-A), Greek and Cyrillic.
std::uint32_t UpperForNames(std::uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c <= 0x17F) {
    // Capital and small letters alternate, the capital first except in two runs; a few letters have no pair.
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
    const bool smallFirst = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    return (c % 2 == (smallFirst ? 0 : 1)) ? c - 1 : c;
  }
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

// Windows opens a device instead of a file for these names whatever the folder, and also when an
// extension or trailing blanks follow ("nul.txt", "COM1 .log").
bool IsDeviceName(std::wstring_view segment) {
  static constexpr std::array<std::wstring_view, 6> kDevices{L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
  auto stem = segment.substr(0, segment.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  for (const auto device : kDevices) {
    if (EqualsIgnoreCaseInLocale(stem, device)) return true;
  }
  if (stem.size() != 4) return false;
  const auto prefix = stem.substr(0, 3);
  if (!EqualsIgnoreCaseInLocale(prefix, L"com") && !EqualsIgnoreCaseInLocale(prefix, L"lpt")) return false;
  // Windows also reserves the superscript digits 1, 2 and 3 here.
  const wchar_t digit = stem[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

bool IsSafeSegment(std::wstring_view segment) {
  if (segment.empty() || Utf16Length(segment) > kMaxNameLength) return false;
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

bool IsValidInstallationName(std::wstring_view name) {
  for (const wchar_t c : name) {
    if (IsControl(c) || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) return false;
  }
  if (name.empty()) return true;
  const auto badAtEnd = [](wchar_t c) { return c == L'.' || IsBlank(c); };
  return !badAtEnd(name.front()) && !badAtEnd(name.back());
}

bool IsSameFileName(std::wstring_view a, std::wstring_view b) { return FileNameKey(a) == FileNameKey(b); }

std::wstring FileNameKey(std::wstring_view name) {
  std::wstring key(name);
  for (auto& c : key) c = static_cast<wchar_t>(UpperForNames(static_cast<std::uint32_t>(c)));
  return key;
}

}  // namespace sf
