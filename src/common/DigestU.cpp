#include "common/DigestU.h"

#include <bcrypt.h>

#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/WinErrorU.h"

namespace sf {

namespace {

constexpr DWORD kFileChunkSize = 256 * 1024;

void CheckStatus(NTSTATUS status, const wchar_t* call) {
  if (BCRYPT_SUCCESS(status)) return;
  throw TError(std::wstring(call) + L" failed, NTSTATUS " + HexCodeText(static_cast<std::uint32_t>(status)));
}

std::wstring HexOf(const std::vector<std::uint8_t>& digest) { return BytesToHex(digest.data(), digest.size()); }

}  // namespace

TCngDigest::TCngDigest(const wchar_t* algorithm) {
  CheckStatus(::BCryptOpenAlgorithmProvider(m_provider.Receive(), algorithm, nullptr, 0),
              L"BCryptOpenAlgorithmProvider");
  ULONG written = 0;
  CheckStatus(::BCryptGetProperty(m_provider.Get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&m_nLength),
                                  sizeof(m_nLength), &written, 0),
              L"BCryptGetProperty(BCRYPT_HASH_LENGTH)");
  CheckStatus(::BCryptCreateHash(m_provider.Get(), m_hash.Receive(), nullptr, 0, nullptr, 0, 0), L"BCryptCreateHash");
}

void TCngDigest::Add(const void* data, std::size_t length) {
  // BCryptHashData takes a 32-bit length.
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (length > 0) {
    const ULONG piece = length > kFileChunkSize ? kFileChunkSize : static_cast<ULONG>(length);
    CheckStatus(::BCryptHashData(m_hash.Get(), const_cast<PUCHAR>(bytes), piece, 0), L"BCryptHashData");
    bytes += piece;
    length -= piece;
  }
}

std::vector<std::uint8_t> TCngDigest::Finish() {
  std::vector<std::uint8_t> digest(m_nLength);
  CheckStatus(::BCryptFinishHash(m_hash.Get(), digest.data(), m_nLength, 0), L"BCryptFinishHash");
  return digest;
}

std::vector<std::uint8_t> Sha256Of(std::string_view bytes) {
  TCngDigest sha256(BCRYPT_SHA256_ALGORITHM);
  sha256.Add(bytes.data(), bytes.size());
  return sha256.Finish();
}

TFileDigester::TFileDigester(bool withSha256) : m_md5(BCRYPT_MD5_ALGORITHM) {
  if (withSha256) m_sha256.emplace(BCRYPT_SHA256_ALGORITHM);
}

void TFileDigester::Add(const void* data, std::size_t length) {
  m_md5.Add(data, length);
  if (m_sha256) m_sha256->Add(data, length);
}

TFileDigests TFileDigester::Finish() {
  return {HexOf(m_md5.Finish()), m_sha256 ? HexOf(m_sha256->Finish()) : std::wstring()};
}

TFileDigests FileDigests(const std::wstring& fileName, bool withSha256) {
  const DWORD attributes = ::GetFileAttributesW(fileName.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};

  TScopedKernelHandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) throw TWinError(L"FileDigests: open " + fileName);

  TFileDigester digests(withSha256);
  std::vector<UCHAR> chunk(kFileChunkSize);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), chunk.data(), kFileChunkSize, &read, nullptr)) {
      throw TWinError(L"FileDigests: read " + fileName);
    }
    if (read == 0) break;
    digests.Add(chunk.data(), read);
  }
  return digests.Finish();
}

std::wstring FileMD5Hex(const std::wstring& fileName) { return FileDigests(fileName, false).strMD5; }

}  // namespace sf
