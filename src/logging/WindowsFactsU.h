// What the program asks of the Windows it runs on: the version family and the width of the packages.
// Read from the same facts the system diagnostics report.
#pragma once

namespace sf {

// Windows 10 or 11: by name, or by a build number of 22000 or more.
bool IsWindows10OrLater();
// Whether the 64-bit packages are requested: 64-bit Windows 10 or later. Never raises; a failing WOW64
// query is logged and answers false.
bool Is64BitWindows();

}  // namespace sf
