// libFuzzer target: any bytes as a package and the manifest's name of its file. The input is a 2-byte
// little-endian length, that many bytes of the name in UTF-8, then the package. The reader must refuse
// what it cannot read with a TPackageError, and may meet a TFileCreateError where the file system's own
// limits stop a name Windows would take (a name of more than 255 bytes here, say); anything else escaping
// is a finding. Whatever it writes must lie below the folder, which the guard accepts.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/PathGuardU.h"
#include "common/TextU.h"
#include "transfer/PackageReaderU.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path folder = fs::temp_directory_path() / ("sf-fuzz-package-" + std::to_string(getpid()));
  static const sf::TPathGuard guard({sf::TextOf(folder)}, sf::FilesystemPathFacts());
  if (size < 2) return 0;
  const std::size_t nameSize = data[0] | (std::size_t{data[1]} << 8);
  if (size - 2 < nameSize) return 0;
  const std::wstring expectedName = sf::FromUtf8(std::string_view(reinterpret_cast<const char*>(data + 2), nameSize));
  const std::uint8_t* package = data + 2 + nameSize;
  const std::size_t packageSize = size - 2 - nameSize;

  // One reader for every input, as an extraction worker keeps one for every package: what a package
  // leaves in the decoder's kept memory must never change how the next one is read.
  static sf::TPackageReader reader;
  try {
    reader.Open(package, packageSize, expectedName);
    const fs::path written = reader.ExtractFirstEntry(folder, guard);
    const fs::path below = fs::relative(fs::weakly_canonical(written), fs::weakly_canonical(folder));
    if (below.empty() || *below.begin() == "..") std::abort();
  } catch (const sf::TPackageError&) {
  } catch (const sf::TFileCreateError&) {
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
