// Text helpers shared by every module: UTF-8 at the edges (log file, HTTP bodies, JSON), wide text
// everywhere else. Portable: wchar_t is UTF-16 on Windows and UTF-32 on Linux, and both are handled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sf {

std::string ToUtf8(std::wstring_view text);
// Invalid sequences become U+FFFD, so text from a server can never break a caller.
std::wstring FromUtf8(std::string_view text);

// Removes leading and trailing blanks and control characters (everything up to U+0020).
std::wstring Trim(std::wstring_view text);

// ASCII-only case folding; enough for names, switches and hexadecimal digests.
std::wstring AsciiLower(std::wstring_view text);
// Equal when every character is, folded by the C library's towlower: beyond ASCII that follows the C
// library's current locale.
bool EqualsIgnoreCaseInLocale(std::wstring_view a, std::wstring_view b);

// The value of a text made only of the decimal digits 0-9 (no sign, no blank), when it is at most max;
// none for an empty text, any other character, or a larger value (however many digits it has).
std::optional<std::uint64_t> ParseDecimal(std::wstring_view digits, std::uint64_t max);

// printf-like formatting of one "%s" placeholder at a time, as the texts of the help window use it.
std::wstring ReplaceFirst(std::wstring_view text, std::wstring_view placeholder, std::wstring_view value);

}  // namespace sf
