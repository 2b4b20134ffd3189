#include "engine/ManifestSerialU.h"

#include <string>

#include "common/ConstantsU.h"
#include "common/RegistryU.h"

namespace sf {

namespace {

constexpr const wchar_t* kValueName = L"ManifestSerial";

std::wstring CompanyKey() { return std::wstring(L"Software\\") + CompanyName; }

}  // namespace

std::uint64_t AcceptedManifestSerial() {
  TRegKey key;
  std::uint64_t serial = 0;
  if (key.Open(HKEY_CURRENT_USER, CompanyKey()) == ERROR_SUCCESS) key.ReadQword(kValueName, serial);
  return serial;
}

LONG RecordManifestSerial(std::uint64_t serial) {
  if (serial <= AcceptedManifestSerial()) return ERROR_SUCCESS;
  TRegKey key;
  const LONG status = key.Create(HKEY_CURRENT_USER, CompanyKey());
  return status == ERROR_SUCCESS ? key.WriteQword(kValueName, serial) : status;
}

}  // namespace sf
