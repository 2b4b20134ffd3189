// libFuzzer target: any bytes as a package and the manifest's name of its file. The input is a 2-byte
// little-endian length, that many bytes of the name in UTF-8, then the package. The reader must refuse
// what it cannot read with a TPackageError, and may meet a TFileCreateError where the file system's own
// limits stop a name Windows would take (a name of more than 255 bytes here, say); anything else escaping
// is a finding. Whatever it writes must lie below the folder, which the guard accepts.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

  // A reader of its own for each input, so that a finding reproduces from its input alone; the input is
  // read twice with it, as an extraction worker reads package after package with one reader: what the
  // first reading left in the decoder's kept memory must not change the second.
  sf::TPackageReader reader;
  const auto readOnce = [&]() -> std::string {
    std::string outcome;
    try {
      reader.Open(package, packageSize, expectedName);
      const fs::path written = reader.ExtractFirstEntry(folder, guard);
      const fs::path below = fs::relative(fs::weakly_canonical(written), fs::weakly_canonical(folder));
      if (below.empty() || *below.begin() == "..") std::abort();
      std::ifstream file(written, std::ios::binary);
      outcome.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      outcome.insert(0, "written:");
    } catch (const sf::TPackageError& e) {
      outcome = "refused:" + sf::ToUtf8(e.Message());
    } catch (const sf::TFileCreateError&) {
      outcome = "not created";
    }
    reader.Close();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return outcome;
  };
  if (readOnce() != readOnce()) std::abort();
  return 0;
}
