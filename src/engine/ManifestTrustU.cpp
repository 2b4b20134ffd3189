#include "engine/ManifestTrustU.h"

#include <string>

#include "common/ConstantsU.h"
#include "common/RegistryU.h"

namespace sf {

namespace {

constexpr const wchar_t* kValueName = L"ManifestSerial";

std::wstring CompanyKey() { return std::wstring(L"Software\\") + CompanyName; }

// A FILETIME counts 100 ns from 1601-01-01T00:00:00Z.
constexpr std::int64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr std::int64_t kFileTimeOf1970 = 116'444'736'000'000'000;

// The system clock in seconds since 1970-01-01T00:00:00Z.
std::int64_t UtcNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - kFileTimeOf1970) / kFileTimeTicksPerSecond;
}

}  // namespace

TManifestTrust CurrentManifestTrust() {
  if (ManifestKeys().empty()) return {};
  return {ManifestKeys(), AcceptedManifestSerial(), UtcNow()};
}

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
