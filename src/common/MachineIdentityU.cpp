#include "common/MachineIdentityU.h"

#include <windows.h>

#include "common/HexU.h"
#include "common/MachineIdU.h"
#include "common/RegistryU.h"
#include "common/TextU.h"

namespace sf {

namespace {

std::wstring VolumeRootOfWindows() {
  wchar_t windows[MAX_PATH + 1] = {};
  wchar_t root[MAX_PATH + 1] = {};
  if (::GetWindowsDirectoryW(windows, MAX_PATH + 1) == 0) return {};
  if (!::GetVolumePathNameW(windows, root, MAX_PATH + 1)) return {};
  return root;
}

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return ::GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

}  // namespace

std::uint32_t CreateMachineID() {
  // Two facts that survive restarts and updates but differ between machines: the serial number of the
  // volume Windows lives on (changes only when that volume is formatted) and the GUID Windows setup writes
  // once per installation. Together they still tell apart clones that share a disk image or a GUID. The
  // 64-bit registry view gives a 32-bit build the same GUID. Without a GUID the computer name stands in.
  DWORD serial = 0;
  const std::wstring root = VolumeRootOfWindows();
  if (!root.empty()) ::GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  std::wstring machineGuid;
  TRegKey cryptography;
  if (cryptography.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", KEY_READ | KEY_WOW64_64KEY) ==
      ERROR_SUCCESS) {
    cryptography.ReadString(L"MachineGuid", machineGuid);
  }
  if (Trim(machineGuid).empty()) machineGuid = ComputerName();
  return MachineIdFromFacts(serial, Trim(machineGuid));
}

std::wstring GetMachineIDText() {
  const std::uint32_t id = CreateMachineID();
  const unsigned char bytes[4] = {static_cast<unsigned char>(id >> 24), static_cast<unsigned char>(id >> 16),
                                  static_cast<unsigned char>(id >> 8), static_cast<unsigned char>(id)};
  return BytesToHex(bytes, sizeof(bytes));
}

}  // namespace sf
