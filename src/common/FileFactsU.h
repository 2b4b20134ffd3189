// A file's facts as the run log and the error report show them.
#pragma once

#include <windows.h>

#include <string>

namespace sf {

// The file's last-write time in local time and the user's short-date and long-time form; the system's
// error text when the file's attributes cannot be read.
std::wstring FileModifiedTimeText(const std::wstring& fileName);
// A UTC file time as local date and time text; the system's error text when it cannot be converted.
std::wstring FileTimeToLocalText(const FILETIME& time);
// The low 32 bits of the file's size in decimal (4 GiB shows as 0); the system's error text on failure.
std::wstring FileSizeText(const std::wstring& fileName);

// The file's version from its version resource: "major.minor.release.build", or "major.minor" with
// fourParts false; "65535.65535" when the file has no readable version.
std::wstring FileVersionText(const std::wstring& path, bool fourParts);

}  // namespace sf
