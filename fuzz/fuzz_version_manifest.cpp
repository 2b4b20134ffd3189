// libFuzzer target: any bytes as a version manifest body. Every failure must be a TError with a message
// (the caller turns it into its "Exception=" diagnostic); any other exception escaping is a finding, and
// every file path read must be one the installer may join to its folder.
#include <cstdint>
#include <cstdlib>
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
  for (const auto& file : version.lstFiles) {
    if (!sf::IsSafeRelativePath(file->strFile)) std::abort();
  }
  return 0;
}
