#include "engine/InstallationRulesU.h"

#include <algorithm>

#include "common/ConstantsU.h"
#include "common/PathRulesU.h"
#include "common/TextU.h"

namespace sf {

namespace {

bool IsDefaultName(const std::wstring& name) { return name.empty() || name == ProductName; }

// "Stormfinch" names the default installation here too, as it does for the folder and the registry.
std::wstring KeyFor(const std::wstring& name) {
  return IsDefaultName(name) ? std::wstring(ProductName) : std::wstring(ProductName) + L"_" + name;
}

}  // namespace

bool IsInstallationKey(const std::wstring& key) {
  const std::wstring product = ProductName;
  // A key the installer would not have written (a name against the name rule) names no installation: its
  // name would make a folder elsewhere, "a." the folder of "a".
  if (key == product) return true;
  const std::wstring prefix = product + L"_";
  return key.rfind(prefix, 0) == 0 && IsValidInstallationName(std::wstring_view(key).substr(prefix.size()));
}

std::wstring RegistryFolderFor(const std::wstring& regFolder, const std::wstring& name) {
  return IsDefaultName(name) ? regFolder : regFolder + L"_" + name;
}

std::wstring InstallPathFor(const std::wstring& basePath, const std::wstring& name) {
  return Trim(IsDefaultName(name) ? basePath + L"\\" : basePath + L"_" + name + L"\\");
}

std::wstring CompanyFolder(const std::wstring& appData) { return Trim(appData + L"\\" + CompanyName); }

std::wstring BaseInstallFolder(const std::wstring& appData) {
  return Trim(CompanyFolder(appData) + L"\\" + ProductName);
}

bool ContainsKey(const std::vector<std::wstring>& keys, const std::wstring& key) {
  return std::any_of(keys.begin(), keys.end(), [&](const std::wstring& k) { return EqualsIgnoreCaseInLocale(k, key); });
}

TUnattendedVerdict DecideUnattended(TCmdInstallType mode, const std::wstring& name,
                                    const std::vector<std::wstring>& keys) {
  const bool exists = ContainsKey(keys, KeyFor(name));
  if (mode == TCmdInstallType::citInstall) return exists ? TUnattendedVerdict::NameExists : TUnattendedVerdict::GoOn;
  return exists ? TUnattendedVerdict::GoOn : TUnattendedVerdict::NameNotFound;
}

}  // namespace sf
