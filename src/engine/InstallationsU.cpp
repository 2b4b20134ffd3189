#include "engine/InstallationsU.h"

#include <windows.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include "common/ConstantsU.h"
#include "common/RegistryU.h"
#include "common/TextU.h"
#include "common/WinHandleU.h"
#include "engine/InstallationRulesU.h"

namespace sf {

namespace {

std::wstring MakersKey() { return std::wstring(L"Software\\") + CompanyName; }

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool ModuleMatches(DWORD processId, const std::wstring& exePath) {
  TScopedKernelHandle modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId));
  if (!modules) return false;  // a process whose modules cannot be listed counts as not running
  MODULEENTRY32W module{};
  module.dwSize = sizeof(module);
  for (BOOL more = ::Module32FirstW(modules.Get(), &module); more; more = ::Module32NextW(modules.Get(), &module)) {
    if (SamePath(module.szExePath, exePath)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::wstring> ScanInstallations(const std::function<void(const std::wstring& dir)>& found) {
  std::vector<std::wstring> keys;
  TRegKey maker;
  if (maker.Open(HKEY_CURRENT_USER, MakersKey()) == ERROR_SUCCESS) maker.SubkeyNames(keys);
  maker.Close();

  // Walked from the last entry to the first, as entries are removed on the way.
  for (size_t i = keys.size(); i-- > 0;) {
    bool keep = false;
    if (IsInstallationKey(keys[i])) {
      TRegKey version;
      std::wstring dir;
      if (version.Open(HKEY_CURRENT_USER, MakersKey() + L"\\" + keys[i] + L"\\1.0") == ERROR_SUCCESS &&
          version.ReadString(L"Dir", dir) == ERROR_SUCCESS && FolderExists(dir)) {
        keep = true;
        found(dir);
      }
    }
    if (!keep) keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return keys;
}

bool IsProductRunning(const std::wstring& exePath) {
  TScopedKernelHandle processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes) return false;
  const std::wstring exeName = ::PathFindFileNameW(exePath.c_str());
  PROCESSENTRY32W process{};
  process.dwSize = sizeof(process);
  for (BOOL more = ::Process32FirstW(processes.Get(), &process); more;
       more = ::Process32NextW(processes.Get(), &process)) {
    const std::wstring name = process.szExeFile;
    const bool candidate = SamePath(::PathFindFileNameW(name.c_str()), exeName) || SamePath(name, exePath);
    if (candidate && ModuleMatches(process.th32ProcessID, exePath)) return true;
  }
  return false;
}

}  // namespace sf
