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
};

// "major.minor.release.build" in decimal, as the engine logs and reports a version.
std::wstring VersionText(const TQuillonVersion& version);

// Reads a manifest body into `out`. Throws sf::TError naming the key at fault, and for a file entry its
// index and "file", when the text is not JSON, a required key is missing or of the wrong type, a number
// does not fit, a "file" path is not a safe relative path (it could otherwise place a file outside the
// installation folder), an "md5" is not 32 hexadecimal digits (it becomes part of the package's address),
// or two entries name the same file, letter case ignored. On failure `out` is left as it was; on success
// it is replaced entirely.
void ParseVersionManifest(std::string_view utf8Json, TQuillonVersion& out);

}  // namespace sf
