#include "transfer/PackageReaderU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "PackageCases.h"
#include "common/TextU.h"

#ifdef _WIN32
#include "common/WinHandleU.h"
#endif

namespace sf {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

using test::kLzmaEntry;

TBytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The packages make_packages.py wrote for this run (CTest runs it first, as the package_fixtures test).
TBytes Fixture(const std::string& name) {
  const fs::path path = fs::path(SF_PACKAGE_FIXTURES) / name;
  if (!fs::exists(path)) throw std::runtime_error("missing fixture " + path.string() + ": run the tests through ctest");
  return ReadBytes(path);
}

// A fresh folder per test; `dest` is where packages are unpacked, `root` its parent, which must hold
// nothing else afterwards.
class PackageReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    root = fs::temp_directory_path() /
           ("sf-package-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
            std::to_string(counter++));
    dest = root / "dest";
    fs::create_directories(dest);
    guard.emplace(std::vector<std::wstring>{TextOf(root)}, FilesystemPathFacts());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  std::filesystem::path Extract() { return reader.ExtractFirstEntry(dest, *guard); }

  // Opens and unpacks a fixture; returns the error's message, or fails when something else is thrown.
  std::wstring PackageErrorOf(const TBytes& package, std::wstring_view expectedName) {
    try {
      reader.Open(package.data(), package.size(), expectedName);
      Extract();
    } catch (const TPackageError& e) {
      return e.Message();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not a TPackageError: " << e.what();
      return {};
    }
    ADD_FAILURE() << "the package was accepted";
    return {};
  }

  std::vector<fs::path> Everything(const fs::path& folder) const {
    std::vector<fs::path> found;
    for (const auto& item : fs::recursive_directory_iterator(folder)) found.push_back(item.path());
    return found;
  }

  fs::path root;
  fs::path dest;
  std::optional<TPathGuard> guard;  // the test's folder stands in for the installer's
  TPackageReader reader;
};

// The entry's path below the destination in "/" form and UTF-8, as the file system shows it.
std::u8string Generic(std::wstring_view entry) {
  std::string path = ToUtf8(entry);
  std::replace(path.begin(), path.end(), '\\', '/');
  return std::u8string(path.begin(), path.end());
}

TEST_F(PackageReaderTest, UnpacksPackagesOfOtherWriters) {
  // One reader for every package, as an extraction worker uses it.
  for (const auto& c : test::kGoodPackages) {
    SCOPED_TRACE(c.name);
    const TBytes package = Fixture(std::string(c.name) + ".zip");
    ASSERT_NO_THROW(reader.Open(package.data(), package.size(), c.entry));
    EXPECT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.FirstEntryName(), c.entry);
    // What the caller is shown of the written bytes is the file, in order: its digests come from there.
    TBytes shown;
    const fs::path written = reader.ExtractFirstEntry(
        dest, *guard, [&](const std::uint8_t* data, std::size_t size) { shown.insert(shown.end(), data, data + size); });
    EXPECT_EQ(fs::relative(written, dest).generic_u8string(), Generic(c.entry));
    EXPECT_EQ(ReadBytes(written), Fixture(std::string(c.name) + ".content"));
    EXPECT_EQ(shown, ReadBytes(written));
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.FirstEntryName(), L"");
  }
  // The name reaches the disk as UTF-8, whatever the platform's own wide text.
  EXPECT_TRUE(fs::exists(dest / fs::path(u8"dados") / fs::path(u8"configura\u00E7\u00E3o.ini")));
}

// The reader keeps its decoder's memory from one package to the next, as an extraction worker uses it: it
// grows when a package needs more, and nothing else carries over, not even from a package whose data
// broke off halfway.
TEST_F(PackageReaderTest, KeptDecoderMemoryServesEveryNextPackage) {
  const auto unpacks = [&](const char* name, const wchar_t* entry) {
    SCOPED_TRACE(name);
    const TBytes package = Fixture(std::string(name) + ".zip");
    reader.Open(package.data(), package.size(), entry);
    EXPECT_EQ(ReadBytes(Extract()), Fixture(std::string(name) + ".content"));
  };
  unpacks("7z_lzma_no_end_marker", L"quillon.exe");  // a 200,000-byte file
  EXPECT_NE(PackageErrorOf(Fixture("lzma_flipped_byte.zip"), kLzmaEntry), L"");  // 300,000 bytes, damaged
  unpacks("py_lzma", kLzmaEntry);                     // 300,000 bytes in what the damaged one left
  unpacks("7z_lzma_small_dictionary", L"large.txt");  // a 64 KiB dictionary in the larger one kept
  reader.ReleaseWorkspace();
  unpacks("py_lzma", kLzmaEntry);
}

TEST_F(PackageReaderTest, OverwritesAnExistingLongerFile) {
  fs::create_directories(dest / "bin" / "plugins");
  WriteBytes(dest / "bin" / "plugins" / "a.dll", std::string(400000, 'x'));
  const TBytes package = Fixture("py_lzma.zip");
  reader.Open(package.data(), package.size(), kLzmaEntry);
  EXPECT_EQ(ReadBytes(Extract()), Fixture("py_lzma.content"));
}

// Each damaged package is refused with a TPackageError that says what is wrong (PackageCases.h).
TEST_F(PackageReaderTest, RefusesDamagedAndUnsafePackages) {
  for (const auto& c : test::kBadPackages) {
    SCOPED_TRACE(c.name);
    const TBytes package = Fixture(std::string(c.name) + ".zip");
    const std::wstring message = PackageErrorOf(package, c.expectedName);
    EXPECT_NE(message.find(c.message), std::wstring::npos) << ToUtf8(message);
    if (c.refusedWhenOpened) {
      EXPECT_FALSE(reader.IsOpen());
      EXPECT_EQ(reader.FirstEntryName(), L"");
      EXPECT_THROW(Extract(), TPackageError);
      EXPECT_EQ(Everything(root), std::vector<fs::path>{dest});
    }
    fs::remove_all(dest);
    fs::create_directories(dest);
  }
}

TEST_F(PackageReaderTest, AFailedOpenForgetsThePreviousPackage) {
  const TBytes good = Fixture("py_lzma.zip");
  const TBytes bad = Fixture("not_zip.zip");
  reader.Open(good.data(), good.size(), kLzmaEntry);
  EXPECT_THROW(reader.Open(bad.data(), bad.size(), kLzmaEntry), TPackageError);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_THROW(Extract(), TPackageError);
  EXPECT_THROW(reader.Open(nullptr, 0, kLzmaEntry), TPackageError);
  EXPECT_TRUE(Everything(dest).empty());
}

// Only a file or folder that cannot be created is a TFileCreateError: the caller takes it for a file
// in use and offers a retry instead of downloading again.
TEST_F(PackageReaderTest, OutputThatCannotBeCreatedIsAFileCreateError) {
  const TBytes package = Fixture("py_lzma.zip");
  reader.Open(package.data(), package.size(), kLzmaEntry);

  fs::create_directories(dest / "bin" / "plugins" / "a.dll");  // a folder where the file should go
  EXPECT_THROW(Extract(), TFileCreateError);

  fs::remove_all(dest / "bin");
  WriteBytes(dest / "bin", "a file where a folder should go");
  try {
    Extract();
    ADD_FAILURE() << "extracted below a file";
  } catch (const TFileCreateError& e) {
    EXPECT_NE(e.Message().find(L"Cannot create the folder"), std::wstring::npos) << e.what();
  }
}

TEST_F(PackageReaderTest, TheEntryNameMayDifferFromTheManifestsInLetterCaseOnly) {
  const TBytes package = Fixture("py_lzma.zip");
  reader.Open(package.data(), package.size(), L"BIN\\Plugins\\A.DLL");
  EXPECT_EQ(ReadBytes(Extract()), Fixture("py_lzma.content"));
}

// A dictionary within the bounds is used, and only as large as the file needs; one of 256 MiB is accepted
// for a file that large (its data here is not, which the unpacking would find).
TEST_F(PackageReaderTest, LzmaDictionariesWithinTheBounds) {
  const TBytes package = Fixture("lzma_dictionary_64m.zip");
  reader.Open(package.data(), package.size(), kLzmaEntry);
  EXPECT_EQ(ReadBytes(Extract()), Fixture("lzma_dictionary_64m.content"));
  const TBytes large = Fixture("lzma_dictionary_256m_large_file.zip");
  EXPECT_NO_THROW(reader.Open(large.data(), large.size(), kLzmaEntry));
}

// The destination is checked before anything is made: outside the guard's folders nothing is written.
TEST_F(PackageReaderTest, NothingIsWrittenWhereTheGuardRefuses) {
  const TBytes package = Fixture("py_lzma.zip");
  reader.Open(package.data(), package.size(), kLzmaEntry);
  const TPathGuard elsewhere({TextOf(root / "other")}, FilesystemPathFacts());
  EXPECT_THROW(reader.ExtractFirstEntry(dest, elsewhere), TUnsafePathError);
  EXPECT_TRUE(Everything(dest).empty());
}

#ifdef _WIN32
// What a TFileCreateError means in practice: the running product holds its file without sharing it.
// Once the file is released, the same reader unpacks the same package.
TEST_F(PackageReaderTest, AFileHeldByARunningProgramIsAFileCreateError) {
  const TBytes package = Fixture("py_lzma.zip");
  reader.Open(package.data(), package.size(), kLzmaEntry);
  const fs::path target = dest / "bin" / "plugins" / "a.dll";
  fs::create_directories(target.parent_path());
  WriteBytes(target, "the running version");
  TScopedKernelHandle held(
      CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.IsValid());
  EXPECT_THROW(Extract(), TFileCreateError);
  held.Close();
  EXPECT_EQ(ReadBytes(Extract()), Fixture("py_lzma.content"));
}
#endif

// The standard library's facts, except that nothing counts as a link.
class TNoLinkFacts : public IPathFacts {
 public:
  std::wstring FullPath(const std::wstring& path) const override { return FilesystemPathFacts().FullPath(path); }
  bool IsLink(const std::wstring&) const override { return false; }
  bool IgnoresCase() const override { return false; }
};

const IPathFacts& NoLinkFacts() {
  static const TNoLinkFacts facts;
  return facts;
}

#ifdef _WIN32
// Wine reaches the system's full device through its drive for the root. Wine reports no attributes for a
// device, so the probe writes to it: only the full device answers a write with a full disk.
bool IsFullDevice(const fs::path& path) {
  TScopedKernelHandle device(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const char byte = 0;
  return device.IsValid() && !WriteFile(device.Get(), &byte, 1, &written, nullptr) &&
         GetLastError() == ERROR_DISK_FULL;
}
#else
// A folder of the installation that is a link to somewhere else: the file would land there.
TEST_F(PackageReaderTest, NeverUnpacksThroughALink) {
  const TBytes package = Fixture("py_lzma.zip");
  reader.Open(package.data(), package.size(), kLzmaEntry);
  fs::create_directories(root / "outside");
  fs::create_directories(dest / "bin");
  fs::create_directory_symlink(root / "outside", dest / "bin" / "plugins");
  try {
    Extract();
    ADD_FAILURE() << "unpacked through a link";
  } catch (const TUnsafePathError& e) {
    EXPECT_NE(e.Message().find(L"passes through the link"), std::wstring::npos) << e.what();
  }
  EXPECT_TRUE(fs::is_empty(root / "outside"));
}
#endif

// A disk that fills up while the file is written: the package is not to blame, and the caller must learn
// both that the file is incomplete and that fetching the package again cannot help. The system's full
// device stands for the disk: natively through a link, under Wine as the file itself (its drive for the
// root reaches it). The installer's guard would refuse either way; here it is told that nothing is a link.
TEST_F(PackageReaderTest, AFullDiskIsADiskFullErrorNotSuccess) {
#ifdef _WIN32
  const fs::path folder = L"Z:\\dev";
  if (!IsFullDevice(folder / L"full")) GTEST_SKIP() << "no full device at Z:\\dev\\full";
  const TBytes package = Fixture("py_lzma_named_full.zip");
  reader.Open(package.data(), package.size(), L"full");
#else
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no full device at /dev/full";
  const fs::path folder = dest;
  const TBytes package = Fixture("py_lzma.zip");
  reader.Open(package.data(), package.size(), kLzmaEntry);
  fs::create_directories(dest / "bin" / "plugins");
  fs::create_symlink("/dev/full", dest / "bin" / "plugins" / "a.dll");
#endif
  const TPathGuard blind({TextOf(folder.parent_path())}, NoLinkFacts());
  try {
    reader.ExtractFirstEntry(folder, blind);
    ADD_FAILURE() << "a write to a full disk was reported as success";
  } catch (const TDiskFullError& e) {
    EXPECT_NE(e.Message().find(L"Cannot write"), std::wstring::npos) << e.what();
  }
}

}  // namespace
}  // namespace sf
