// libFuzzer target: any bytes as a package. The reader must refuse what it cannot read with a
// TPackageError (anything else escaping is a finding), and whatever it writes must lie below the folder.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "transfer/PackageReaderU.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path folder = fs::temp_directory_path() / ("sf-fuzz-package-" + std::to_string(getpid()));
  sf::TPackageReader reader;
  try {
    reader.Open(data, size);
    const fs::path written = reader.ExtractFirstEntry(folder);
    const fs::path below = fs::relative(fs::weakly_canonical(written), fs::weakly_canonical(folder));
    if (below.empty() || *below.begin() == "..") std::abort();
  } catch (const sf::TPackageError&) {
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
