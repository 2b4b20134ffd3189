// Rules for names that come from outside and end up in a path of ours: a manifest's "file", an archive
// entry's name, an installation's name. Portable.
#pragma once

#include <string>
#include <string_view>

namespace sf {

// The longest name one folder or file may have on Windows' file systems, in UTF-16 units.
inline constexpr std::size_t kMaxNameLength = 255;

// True when `path` stays below whatever folder it is joined to and names something Windows can create
// as written: one or more non-empty segments separated by "\" or "/", none longer than kMaxNameLength;
// no root, drive or UNC prefix; no ":" (drive letters and alternate data streams); no "." or ".."
// segment; no segment that Windows would silently alter (a trailing dot or blank) or map to a device
// (CON, NUL, COM1, LPT1..., with or without an extension); no control character nor any of < > " | ? *.
bool IsSafeRelativePath(std::wstring_view path);

// The one rule for an installation's name, which becomes part of a folder's name and of a registry key:
// none of \ / : * ? " < > |, no control character, and no "." or blank at either end. The empty name
// (the default installation) passes; whether a name may be empty is the caller's rule.
bool IsValidInstallationName(std::wstring_view name);

// Whether two names (or relative paths) name the same file on Windows' file systems, which ignore
// letter case: the simple upper-case mapping of the Latin, Greek and Cyrillic letters.
bool IsSameFileName(std::wstring_view a, std::wstring_view b);
// The name in the form IsSameFileName compares, for look-ups: equal keys, same file.
std::wstring FileNameKey(std::wstring_view name);

}  // namespace sf
