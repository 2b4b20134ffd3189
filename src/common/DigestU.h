// Digests through the system's CNG, fed in pieces: the files the installer checks after unpacking (MD5,
// and SHA-256 when the manifest is signed) and the bytes a signature covers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/WinHandleU.h"

namespace sf {

class TCngDigest {
 public:
  // algorithm: a CNG hash algorithm name, BCRYPT_MD5_ALGORITHM or BCRYPT_SHA256_ALGORITHM. Raises TError
  // with the NTSTATUS when the system cannot provide it.
  explicit TCngDigest(const wchar_t* algorithm);
  void Add(const void* data, std::size_t length);
  // The digest of everything added; the object is spent afterwards.
  std::vector<std::uint8_t> Finish();

 private:
  TScopedAlgorithmProvider m_provider;
  TScopedHash m_hash;
  ULONG m_nLength = 0;
};

std::vector<std::uint8_t> Sha256Of(std::string_view bytes);

// Upper-case hexadecimal digests of a file's content.
struct TFileDigests {
  std::wstring strMD5;
  std::wstring strSHA256;  // empty unless asked for
};

// The digests of a file's content, fed in pieces as the content passes: while the file is read, or while
// it is written, so that a file just written needs no second pass.
class TFileDigester {
 public:
  explicit TFileDigester(bool withSha256);
  void Add(const void* data, std::size_t length);
  // The digests of everything added; the object is spent afterwards.
  TFileDigests Finish();

 private:
  TCngDigest m_md5;
  std::optional<TCngDigest> m_sha256;
};

// Reads the file once, in pieces, so that a file of any size hashes in little memory, and feeds every
// digest asked for. Empty digests when the file does not exist. The file is opened denying writers, so
// it cannot change while it is read; a failure to open or read it raises TWinError.
TFileDigests FileDigests(const std::wstring& fileName, bool withSha256);

// FileDigests' MD5 alone: 32 upper-case hexadecimal digits, empty when the file does not exist.
std::wstring FileMD5Hex(const std::wstring& fileName);

}  // namespace sf
