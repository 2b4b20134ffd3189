// How installations are named and found: the rules the engine applies to the registry's list of
// installations and to the command line's name. Portable; the registry access is InstallationsU.
#pragma once

#include <string>
#include <vector>

#include "engine/RunModeU.h"

namespace sf {

// True for ProductName itself and for ProductName + "_" + a name that keeps the installation-name rule
// (IsValidInstallationName); the prefix is case-sensitive.
bool IsInstallationKey(const std::wstring& key);

// Registry folder name of an installation: ProductName, or ProductName + "_" + name. The name
// "Stormfinch" (exactly) stands for the default installation, as does an empty name.
std::wstring RegistryFolderFor(const std::wstring& regFolder, const std::wstring& name);
// Installation folder: base + "\" (default) or base + "_" + name + "\", blanks and controls trimmed.
std::wstring InstallPathFor(const std::wstring& basePath, const std::wstring& name);

// The company's folder, APPDATA\CompanyName, trimmed: the installations, the unpack folder of a new one
// and the update folders live in it.
std::wstring CompanyFolder(const std::wstring& appData);
// Base folder of every installation: APPDATA\CompanyName\ProductName, trimmed.
std::wstring BaseInstallFolder(const std::wstring& appData);

// Case-insensitive look-up in the list of installation keys.
bool ContainsKey(const std::vector<std::wstring>& keys, const std::wstring& key);

// What an unattended run does after the scan.
enum class TUnattendedVerdict { GoOn, NameExists, NameNotFound };
TUnattendedVerdict DecideUnattended(TCmdInstallType mode, const std::wstring& name,
                                    const std::vector<std::wstring>& keys);

}  // namespace sf
