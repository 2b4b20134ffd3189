#include "transfer/SignatureU.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/DigestU.h"
#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/WinHandleU.h"
#include "logging/LogU.h"

namespace sf {

namespace {

constexpr ULONG kCoordinateSize = 32;

// CNG's public-key blob of a P-256 key: the header, then X and Y.
struct TP256PublicBlob {
  BCRYPT_ECCKEY_BLOB header;
  UCHAR point[2 * kCoordinateSize];
};

// The key's blob, or none when the text is not an uncompressed point (04, X, Y).
std::optional<TP256PublicBlob> PublicBlob(std::string_view keyHex) {
  const auto bytes = HexToBytes(keyHex);
  if (!bytes || bytes->size() != 1 + 2 * kCoordinateSize || bytes->front() != 0x04) return std::nullopt;
  TP256PublicBlob blob{};
  blob.header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  blob.header.cbKey = kCoordinateSize;
  std::memcpy(blob.point, bytes->data() + 1, sizeof(blob.point));
  return blob;
}

}  // namespace

std::optional<std::size_t> VerifyP256Signature(std::string_view message, std::string_view signature,
                                               std::span<const std::string_view> keys) {
  if (signature.size() != kP256SignatureSize || keys.empty()) return std::nullopt;
  TScopedAlgorithmProvider ecdsa;
  const NTSTATUS opened = ::BCryptOpenAlgorithmProvider(ecdsa.Receive(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
  if (!BCRYPT_SUCCESS(opened)) {
    throw TError(L"BCryptOpenAlgorithmProvider(ECDSA_P256) failed, NTSTATUS " +
                 HexCodeText(static_cast<std::uint32_t>(opened)));
  }
  std::vector<std::uint8_t> digest = Sha256Of(message);
  std::vector<UCHAR> rs(signature.begin(), signature.end());

  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::wstring which = L"VerifyP256Signature: Key=" + std::to_wstring(i + 1);
    auto blob = PublicBlob(keys[i]);
    if (!blob) {
      AppendLog(which + L" is not an uncompressed P-256 point");
      continue;
    }
    TScopedCngKey key;
    const NTSTATUS imported = ::BCryptImportKeyPair(ecdsa.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.Receive(),
                                                    reinterpret_cast<PUCHAR>(&*blob), sizeof(*blob), 0);
    if (!BCRYPT_SUCCESS(imported)) {
      AppendLog(which + L" cannot be imported, NTSTATUS " + HexCodeText(static_cast<std::uint32_t>(imported)));
      continue;
    }
    if (BCRYPT_SUCCESS(::BCryptVerifySignature(key.Get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                               rs.data(), static_cast<ULONG>(rs.size()), 0))) {
      return i + 1;
    }
  }
  return std::nullopt;
}

std::wstring SignatureDiagnostic(std::string_view signature, std::optional<std::size_t> key) {
  if (key) return L"Signature=Valid Key=" + std::to_wstring(*key);
  if (signature.empty()) return L"Signature=Missing";
  if (signature.size() != kP256SignatureSize) return L"Signature=Malformed Size=" + std::to_wstring(signature.size());
  return L"Signature=Invalid";
}

}  // namespace sf
