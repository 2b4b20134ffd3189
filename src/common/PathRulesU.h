// Rules for relative paths that come from outside (a manifest's "file", an archive entry's name) and are
// joined to a folder of ours before anything is written. Portable.
#pragma once

#include <string_view>

namespace sf {

// True when `path` stays below whatever folder it is joined to and names something Windows can create
// as written: one or more non-empty segments separated by "\" or "/"; no root, drive or UNC prefix; no
// ":" (drive letters and alternate data streams); no "." or ".." segment; no segment that Windows would
// silently alter (a trailing dot or blank) or map to a device (CON, NUL, COM1, LPT1..., with or without
// an extension); no control character nor any of < > " | ? *.
bool IsSafeRelativePath(std::wstring_view path);

}  // namespace sf
