// Small routines several subsystems share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/TimeTextU.h"

namespace Gdiplus {
class Bitmap;
}

namespace sf {

// True when this process is the only running installer. Otherwise brings the running installer's
// wizard window to the front and answers false. The named mutex stays held until the process ends.
bool CheckSingleInstance();

// The local date and time now.
TLocalTime LocalTimeNow();

// Windows 10 or 11: by name, or by a build number of 22000 or more.
bool IsWindows10OrLater();
// Whether the 64-bit packages are requested: 64-bit Windows 10 or later. Never raises; a failing WOW64
// query is logged and answers false.
bool Is64BitWindows();

// A 32-bit value that identifies this machine, the same on every run and after restarts.
std::uint32_t CreateMachineID();
// CreateMachineID as 8 upper-case hexadecimal digits, most significant byte first.
std::wstring GetMachineIDText();

// MD5 of the file's content as 32 upper-case hexadecimal digits, read in pieces so a file of any size
// hashes in little memory. Empty text when the file does not exist. The file is opened denying writers,
// so it cannot change while it is read; a failure to open or read it raises TWinError.
std::wstring FileMD5Hex(const std::wstring& fileName);

// The file's last-write time in local time and the user's short-date and long-time form; the system's
// error text when the file's attributes cannot be read.
std::wstring FileModifiedTimeText(const std::wstring& fileName);
// A UTC file time as local date and time text; the system's error text when it cannot be converted.
std::wstring FileTimeToLocalText(const FILETIME& time);
// The low 32 bits of the file's size in decimal (4 GiB shows as 0); the system's error text on failure.
std::wstring FileSizeText(const std::wstring& fileName);

// Deletes a folder and everything below it, read-only files included, without any dialog, through the
// guarded DeleteTree (links removed as links, never followed). False, silently, when the path is not an
// existing folder, the guard refuses it (a drive root, anything outside the installer's folders), or the
// folder is still there afterwards.
bool DeleteFolder(const std::wstring& path);

// A PNG picture from the module's RCDATA resources; the name is matched without regard to letter case.
// GDI+ must be started. Raises TError when the resource is missing or is not a valid PNG picture.
std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(const std::wstring& name, HMODULE module = nullptr);
// The same for a JPEG picture: artwork whose grain a PNG would not compress (the background drawn for
// scaled screens).
std::unique_ptr<Gdiplus::Bitmap> LoadJpegResource(const std::wstring& name, HMODULE module = nullptr);

}  // namespace sf
