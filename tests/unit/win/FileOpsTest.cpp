// The installer's path guard with Windows' own view of paths, and the guarded deletes and moves, on the
// link fixture the build makes (LinkFixture.cmake): %APPDATA% is the fixture, so its Ardentis folder is
// the company's folder, with a folder link inside an installation and one beside it, both leading to a
// folder outside that holds the user's file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "WinTestSupport.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "logging/LogU.h"
#include "transfer/FileOpsU.h"

namespace sf {
namespace {

namespace fs = std::filesystem;
using TLeaf = TPathGuard::TLeaf;

std::wstring ShortName(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

class InstallerGuard : public testing::Test {
 protected:
  void SetUp() override {
    const char* fixture = std::getenv("SF_LINK_FIXTURE");
    if (fixture == nullptr) GTEST_SKIP() << "SF_LINK_FIXTURE is not set: run the tests through ctest";
    base = WindowsPathFacts().FullPath(FromUtf8(fixture));
    appData.emplace(L"APPDATA", base);
    company = base + L"\\Ardentis";
    links = company + L"\\Stormfinch_links";
    outside = base + L"\\outside_folder";
    ASSERT_TRUE(WindowsPathFacts().IsLink(links + L"\\plugins")) << "the fixture's link is not a reparse point";
  }

  // The guard's answer: the full path, or "refused: " and the message.
  static std::wstring Answer(const std::wstring& path, TLeaf leaf = TLeaf::MayBeLink) {
    try {
      return InstallerPathGuard().Check(L"delete", path, leaf);
    } catch (const TUnsafePathError& e) {
      return L"refused: " + e.Message();
    }
  }

  static bool Refused(const std::wstring& answer, std::wstring_view why) {
    return answer.rfind(L"refused: Refused to delete ", 0) == 0 && answer.find(why) != std::wstring::npos;
  }

  bool KeepIsThere() const { return fs::exists(fs::path(outside) / L"keep.txt"); }

  std::wstring base, company, links, outside;
  std::optional<test::TScopedEnvironment> appData;
};

TEST_F(InstallerGuard, PathsInsideOutsideAndThroughLinks) {
  const std::wstring dll = links + L"\\bin\\a.dll";
  EXPECT_EQ(Answer(dll, TLeaf::NotALink), dll);
  EXPECT_EQ(Answer(links + L"\\new\\deeper\\"), links + L"\\new\\deeper");
  EXPECT_EQ(Answer(links + L"\\bin\\..\\.\\bin"), links + L"\\bin");
  // Windows drops a name's trailing dots and blanks: "Stormfinch_links." is the same folder.
  EXPECT_EQ(Answer(links + L".\\bin"), links + L"\\bin");
  EXPECT_EQ(Answer(company + L"\\STORMFINCH_LINKS\\BIN").rfind(L"refused", 0), std::wstring::npos);  // any case

  // Short names are made long before the comparison, in the path and in APPDATA alike.
  const std::wstring shortLinks = ShortName(links);
  ASSERT_FALSE(shortLinks.empty());
  ASSERT_NE(shortLinks, links) << "no short name to try";
  EXPECT_EQ(Answer(shortLinks + L"\\bin\\a.dll"), dll);
  {
    test::TScopedEnvironment shortAppData(L"APPDATA", ShortName(base));
    EXPECT_EQ(Answer(dll), dll);
    EXPECT_TRUE(Refused(Answer(ShortName(outside) + L"\\keep.txt"), L"not inside"));
  }

  const std::wstring notInside = L"which is not inside the installer's folders (" + company;
  EXPECT_TRUE(Refused(Answer(company), notInside));
  EXPECT_TRUE(Refused(Answer(outside + L"\\keep.txt"), notInside));
  EXPECT_TRUE(Refused(Answer(company + L"2\\x"), notInside));
  // The folder of an installation named x\..\..\..\.., as the command line and the name page once let
  // through: four levels up from the installation.
  EXPECT_TRUE(Refused(Answer(company + L"\\Stormfinch_x\\..\\..\\..\\..\\"), L"resolves to "));
  EXPECT_TRUE(Refused(Answer(links + L"\\..\\..\\outside_folder"), L"resolves to " + outside));
  EXPECT_TRUE(Refused(Answer(L"Ardentis\\Stormfinch_links"), notInside));  // relative: the current folder's
  EXPECT_TRUE(Refused(Answer(L"\\\\?\\" + links), L"cannot be resolved"));

  EXPECT_TRUE(Refused(Answer(links + L"\\plugins\\keep.txt"), L"passes through the link " + links + L"\\plugins"));
  EXPECT_TRUE(Refused(Answer(company + L"\\linked\\keep.txt"), L"passes through the link " + company + L"\\linked"));
  EXPECT_EQ(Answer(links + L"\\plugins"), links + L"\\plugins");  // the link itself, to remove as a link
  EXPECT_TRUE(Refused(Answer(links + L"\\plugins", TLeaf::NotALink), L"it is a link"));
}

TEST_F(InstallerGuard, DeletesAndMovesNeverReachWhatALinkPointsAt) {
  CreateRunLog();
  EXPECT_THROW(DeleteTree(outside), TUnsafePathError);
  EXPECT_THROW(DeleteTree(links + L"\\..\\..\\outside_folder"), TUnsafePathError);
  EXPECT_THROW(MoveWithinVolume(outside, links + L"\\moved"), TUnsafePathError);
  EXPECT_THROW(MoveWithinVolume(links + L"\\bin", company + L"\\linked\\bin"), TUnsafePathError);
  EXPECT_THROW(MoveWithinVolume(links + L"\\bin\\a.dll", links + L"\\plugins\\keep.txt"), TUnsafePathError);
  const std::string log = test::CloseAndReadRunLog();
  EXPECT_NE(log.find(": DeleteTree: Refused to delete " + ToUtf8(outside)), std::string::npos) << log;
  EXPECT_NE(log.find(": MoveWithinVolume: Refused to move into "), std::string::npos) << log;

  // A link to a folder is removed as a link. Wine cannot remove a Unix link through the Windows calls (it
  // acts on what the link points at, and fails here for a folder that is not empty); on Windows the
  // junction goes and its target stays.
  EXPECT_NO_THROW(DeleteTree(company + L"\\linked\\"));
  EXPECT_TRUE(KeepIsThere());

  // The installation with a link inside: everything of its own goes, the link is never followed.
  std::uint64_t size = FolderSize(links + L"\\", true);
  EXPECT_EQ(size, std::uint64_t{10});  // "installed\n"; nothing behind the link counts
  std::wstring listed;
  ForEachFileBelow(links, [&](const std::wstring& path) { listed += path + L";"; });
  EXPECT_EQ(listed.find(L"keep.txt"), std::wstring::npos) << listed;
  DeleteTree(links);
  EXPECT_FALSE(fs::exists(fs::path(links) / L"bin"));
  EXPECT_TRUE(KeepIsThere());
  if (fs::exists(fs::path(links))) {
    EXPECT_TRUE(WindowsPathFacts().IsLink(links + L"\\plugins"));
  }
}

}  // namespace
}  // namespace sf
