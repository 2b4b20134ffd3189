// Packages on disk: the run's package folder and its files, and the package reader reading them through
// the file source, on the same packages as the reader's tests from memory (PackageCases.h).
#include "transfer/PackageFileU.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "../core/PackageCases.h"
#include "WinTestSupport.h"
#include "common/TextU.h"
#include "transfer/FileOpsU.h"

namespace sf {
namespace {

namespace fs = std::filesystem;

// %APPDATA% is a fresh folder, so that the company folder inside it is the guard's.
class PackageFile : public testing::Test {
 protected:
  void SetUp() override {
    appData.emplace(L"APPDATA", TextOf(temp.Path()));
    company = TextOf(temp.Path()) + L"\\Ardentis";
    folder = PackageFolderIn(company);
  }

  static fs::path Fixture(const std::string& name) { return fs::path(SF_PACKAGE_FIXTURES) / name; }

  test::TTempFolder temp;
  std::optional<test::TScopedEnvironment> appData;
  std::wstring company, folder;
};

TEST_F(PackageFile, TheFolderIsMadeEmptyAndGoesWithTheRun) {
  // What a killed run left.
  ASSERT_TRUE(ForceDirectories(folder + L"old"));
  { std::ofstream(fs::path(folder) / L"old" / L"1-left.zip") << "left"; }

  auto packages = std::make_unique<TPackageFolder>(folder);
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_FALSE(DirectoryExists(folder + L"old"));

  auto first = packages->NewFile(L"ABC/..\\DEF");
  auto second = packages->NewFile(L"ABC/..\\DEF");
  EXPECT_NE(first->Path(), second->Path()) << "two items of one digest";
  EXPECT_EQ(ExtractFilePath(first->Path()), folder) << "nothing of the digest leads out of the folder";
  for (auto* file : {first.get(), second.get()}) {
    file->Rewrite();
    file->Append("an earlier attempt", 18);
    file->Rewrite();
    file->Append("package", 7);
    file->CloseWriting();
    EXPECT_EQ(file->Size(), 7u);
    EXPECT_EQ(test::ReadFileBytes(file->Path()), "package");
  }
  const std::wstring path = first->Path();
  first.reset();
  EXPECT_FALSE(FileExists(path)) << "a package goes once it is unpacked or given up";
  EXPECT_TRUE(FileExists(second->Path()));

  packages.reset();  // the run's end, with a package still queued
  EXPECT_FALSE(DirectoryExists(folder));
  second.reset();  // the item after its run: nothing left to delete
}

TEST_F(PackageFile, TheFolderMustBeTheInstallersOwn) {
  EXPECT_THROW(TPackageFolder(TextOf(temp.Path()) + L"\\Elsewhere\\packages\\"), TUnsafePathError);
}

TEST_F(PackageFile, TheReaderUnpacksPackageFiles) {
  const fs::path dest = temp.Path() / "Ardentis" / "dest";
  const TPathGuard guard({company}, WindowsPathFacts());
  TPackageReader reader;
  for (const auto& c : test::kGoodPackages) {
    SCOPED_TRACE(c.name);
    const TPackageFileSource source(TextOf(Fixture(std::string(c.name) + ".zip")));
    ASSERT_NO_THROW(reader.Open(source, c.entry));
    const fs::path written = reader.ExtractFirstEntry(dest, guard);
    EXPECT_TRUE(test::ReadFileBytes(written) == test::ReadFileBytes(Fixture(std::string(c.name) + ".content")));
    reader.Close();
  }
}

TEST_F(PackageFile, TheReaderRefusesDamagedPackageFiles) {
  const fs::path dest = temp.Path() / "Ardentis" / "dest";
  const TPathGuard guard({company}, WindowsPathFacts());
  TPackageReader reader;
  for (const auto& c : test::kBadPackages) {
    SCOPED_TRACE(c.name);
    std::wstring message;
    try {
      const TPackageFileSource source(TextOf(Fixture(std::string(c.name) + ".zip")));
      reader.Open(source, c.expectedName);
      EXPECT_FALSE(c.refusedWhenOpened) << "opened";
      reader.ExtractFirstEntry(dest, guard);
      ADD_FAILURE() << "the package was accepted";
    } catch (const TPackageError& e) {
      message = e.Message();
    }
    EXPECT_NE(message.find(c.message), std::wstring::npos) << ToUtf8(message);
  }
  EXPECT_THROW(TPackageFileSource(TextOf(temp.Path() / "missing.zip")), TPackageError);
}

}  // namespace
}  // namespace sf
