// libFuzzer target: any bytes as a version manifest body. Every failure must be a TError with a message
// (the caller turns it into its "Exception=" diagnostic); any other exception escaping is a finding. A
// manifest that is read must keep the entry rules: every file path one the installer may join to its
// folder, every digest 32 hexadecimal digits, no file named twice (letter case ignored).
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "common/ErrorU.h"
#include "common/PathRulesU.h"
#include "transfer/QuillonVersionU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sf::TQuillonVersion version;
  try {
    sf::ParseVersionManifest(std::string_view(reinterpret_cast<const char*>(data), size), version);
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
