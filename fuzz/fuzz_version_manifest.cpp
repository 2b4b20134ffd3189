// libFuzzer target: any bytes as a version manifest body. Every failure must be a TError with a message
// (the caller turns it into its "Exception=" diagnostic); any other exception escaping is a finding. A
// manifest that is read must keep the entry rules: every file path one the installer may join to its
// folder, every digest 32 hexadecimal digits, no file named twice (letter case ignored). Read as a signed
// manifest it must also have a serial of at least 1, an expiry that reads back as written, and a SHA-256
// of 64 hexadecimal digits in every entry.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/PathRulesU.h"
#include "common/TimeTextU.h"
#include "transfer/QuillonVersionU.h"

namespace {

void CheckSigned(std::string_view text) {
  sf::TQuillonVersion version;
  try {
    sf::ParseVersionManifest(text, version, sf::TManifestKind::Signed);
  } catch (const sf::TError& e) {
    if (e.Message().empty()) std::abort();
    return;
  }
  if (version.nSerial == 0 || sf::UtcStamp(version.nExpires) != version.strExpires) std::abort();
  for (const auto& file : version.lstFiles) {
    if (!sf::IsHexText(file->strSHA256, 64)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckSigned(text);
  sf::TQuillonVersion version;
  try {
    sf::ParseVersionManifest(text, version);
  } catch (const sf::TError& e) {
    if (e.Message().empty()) std::abort();
    return 0;
  }
  std::set<std::wstring> files;
  for (const auto& file : version.lstFiles) {
    if (!sf::IsSafeRelativePath(file->strFile)) std::abort();
    if (file->strMD5.size() != 32 || file->strMD5.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos) {
      std::abort();
    }
    if (!files.insert(sf::FileNameKey(file->strFile)).second) std::abort();
  }
  return 0;
}
