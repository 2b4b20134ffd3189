// The version manifest as the engine reads it, and the reader of its JSON text. The HTTP request that
// fetches the text lives elsewhere; this part is portable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sf {

struct TQuillonVersionFile {
  std::wstring strFile;  // relative to the installation folder, "\" separators
  std::wstring strMD5;   // digest of the unpacked file; also the package's name on the server
  std::uint32_t nFileSize = 0;  // size of the package (the archive), not of the unpacked file
  bool bInstall = false;
  std::wstring strSHA256;  // signed manifests only: SHA-256 of the unpacked file, 64 hexadecimal digits
};
using PQuillonVersionFile = TQuillonVersionFile*;

struct TQuillonVersion {
  std::int32_t nMajor = 0;
  std::int32_t nMinor = 0;
  std::int32_t nRelease = 0;
  std::int32_t nBuild = 0;
  std::wstring strVideo;
  std::wstring strHeader;  // never filled by the reader
  std::wstring strFooter;  // never filled by the reader
  std::vector<std::wstring> lstChanges;
  std::vector<std::unique_ptr<TQuillonVersionFile>> lstFiles;
  std::wstring strType;
  bool bBugVersion = false;
  bool bIsLatest = false;
  // Signed manifests only: the publisher's serial (never lower for a later manifest) and the moment the
  // manifest stops being valid, as written ("YYYY-MM-DDTHH:MM:SSZ") and in seconds since 1970 UTC.
  std::uint64_t nSerial = 0;
  std::wstring strExpires;
  std::int64_t nExpires = 0;
};

// A signed manifest carries "serial", "expires" and a "sha256" in every file entry; an unsigned one is
// read as it always was, whatever else it holds.
enum class TManifestKind : std::uint8_t { Unsigned, Signed };

// "major.minor.release.build" in decimal, as the engine logs and reports a version.
std::wstring VersionText(const TQuillonVersion& version);

// Reads a manifest body into `out`. Throws sf::TError naming the key at fault, and for a file entry its
// index and "file", when the text is not JSON, a required key is missing or of the wrong type, a number
// does not fit, a "file" path is not a safe relative path (it could otherwise place a file outside the
// installation folder), an "md5" is not 32 hexadecimal digits (it becomes part of the package's address),
// or two entries name the same file, letter case ignored. A signed manifest is also refused when its
// "serial" is not a whole number of at least 1, its "expires" is not a UTC time of the form
// YYYY-MM-DDTHH:MM:SSZ, or an entry's "sha256" is not 64 hexadecimal digits. On failure `out` is left as
// it was; on success it is replaced entirely.
void ParseVersionManifest(std::string_view utf8Json, TQuillonVersion& out,
                          TManifestKind kind = TManifestKind::Unsigned);

// Why a signed manifest, read and verified, may still not be used, as a diagnostic piece: "Expired=" its
// expiry + " Now=" the clock when it expired before nowUtc (seconds since 1970 UTC), "Serial=" its serial
// + " Accepted=" the highest serial this user accepted before when it is lower (an old manifest, replayed,
// would roll the installation back). Empty when it may be used; an equal serial may.
std::wstring SignedManifestRefusal(const TQuillonVersion& version, std::int64_t nowUtc, std::uint64_t acceptedSerial);

}  // namespace sf
