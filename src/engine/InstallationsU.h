// The platform side of installations: the registry scan and the running-product check.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sf {

// Keys of the installations that exist, in the registry's enumeration order: subkeys of
// HKCU\Software\Ardentis that are installation keys and whose "1.0" key has a "Dir" naming an existing
// folder. found is called with the folder of each installation kept.
std::vector<std::wstring> ScanInstallations(const std::function<void(const std::wstring& dir)>& found);

// True when a process runs whose executable is exactly exePath (letter case ignored); a process of the
// same file name started from another folder does not count.
bool IsProductRunning(const std::wstring& exePath);

}  // namespace sf
