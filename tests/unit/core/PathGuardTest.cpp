// The guard under recursive deletes, moves and unpacking, with the standard library's view of paths. The
// links are real symbolic links, so those cases run where the standard library sees links (not on
// Windows, where Wine cannot make a junction; unit_win covers the platform's own view there).
#include "common/PathGuardU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>

#include "common/TextU.h"

namespace sf {
namespace {

namespace fs = std::filesystem;
using TLeaf = TPathGuard::TLeaf;

class PathGuardTest : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    base = fs::temp_directory_path() /
           ("sf-guard-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
            std::to_string(counter++));
    company = base / "Ardentis";
    fs::create_directories(company / "Stormfinch" / "bin");
    fs::create_directories(base / "outside");
    std::ofstream(base / "outside" / "keep.txt") << "the user's";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(base, ignored);
  }

  TPathGuard Guard() const { return TPathGuard({TextOf(company)}, FilesystemPathFacts()); }

  // The guard's answer: the full path, or "refused: " and the message.
  std::wstring Answer(const fs::path& path, TLeaf leaf = TLeaf::MayBeLink) const {
    try {
      return Guard().Check(L"delete", TextOf(path), leaf);
    } catch (const TUnsafePathError& e) {
      return L"refused: " + e.Message();
    }
  }

  static std::wstring Full(const fs::path& path) { return TextOf(path); }
  static bool Refused(const std::wstring& answer, std::wstring_view why) {
    return answer.rfind(L"refused: Refused to delete ", 0) == 0 && answer.find(why) != std::wstring::npos;
  }

  fs::path base;
  fs::path company;
};

TEST_F(PathGuardTest, InsideTheFoldersOnlyWhateverTheSpelling) {
  const fs::path installation = company / "Stormfinch";
  EXPECT_EQ(Answer(installation), Full(installation));
  EXPECT_EQ(Answer(installation / "bin" / ""), Full(installation / "bin"));           // a trailing separator
  EXPECT_EQ(Answer(installation / "new" / "deeper"), Full(installation / "new" / "deeper"));  // not there yet
  EXPECT_EQ(Answer(installation / "." / "bin" / ".." / "bin"), Full(installation / "bin"));
  EXPECT_EQ(Answer(company / "temp_install_stormfinch" / ".." / "Stormfinch_x"), Full(company / "Stormfinch_x"));

  const std::wstring outside = L"which is not inside the installer's folders (" + Full(company) + L")";
  EXPECT_TRUE(Refused(Answer(company), outside));  // the company's folder itself
  EXPECT_TRUE(Refused(Answer(base / "outside" / "keep.txt"), outside));
  EXPECT_TRUE(Refused(Answer(base / "Ardentis2" / "x"), outside));  // the same start, another folder
  // The name "x\..\..\..\.." joined to the folders of an installation, as the command line once allowed.
  const std::wstring joined = TextOf(company / "Stormfinch_x") + L"/../../../..";
  EXPECT_TRUE(Refused(Answer(PathOf(joined)), outside)) << ToUtf8(Answer(PathOf(joined)));
  EXPECT_TRUE(Refused(Answer(installation / ".." / ".." / "outside"), L"resolves to " + Full(base / "outside")));
  EXPECT_TRUE(Refused(Answer(fs::path()), L"the path cannot be resolved"));
}

TEST_F(PathGuardTest, NoRootsNothingAllowed) {
  const TPathGuard none({}, FilesystemPathFacts());
  EXPECT_THROW(none.Check(L"delete", TextOf(company / "Stormfinch"), TLeaf::MayBeLink), TUnsafePathError);
}

#ifndef _WIN32
TEST_F(PathGuardTest, NeverThroughALink) {
  const fs::path installation = company / "Stormfinch";
  fs::create_directory_symlink(base / "outside", installation / "bin" / "plugins");
  fs::create_symlink(base / "outside" / "keep.txt", installation / "bin" / "a.dll");

  // Passing through a link to a folder outside, or to one inside: refused either way.
  const fs::path through = installation / "bin" / "plugins" / "keep.txt";
  EXPECT_TRUE(Refused(Answer(through), L"passes through the link " + Full(installation / "bin" / "plugins")));
  fs::create_directory_symlink(installation / "bin", company / "inner");
  EXPECT_TRUE(Refused(Answer(company / "inner" / "x"), L"passes through the link"));

  // The link itself: a delete removes it as a link; a write would follow it.
  EXPECT_EQ(Answer(installation / "bin" / "plugins"), Full(installation / "bin" / "plugins"));
  EXPECT_TRUE(Refused(Answer(installation / "bin" / "plugins", TLeaf::NotALink), L"it is a link"));
  EXPECT_TRUE(Refused(Answer(installation / "bin" / "a.dll", TLeaf::NotALink), L"it is a link"));
  EXPECT_EQ(Answer(installation / "bin" / "b.dll", TLeaf::NotALink), Full(installation / "bin" / "b.dll"));

  // A company folder that is itself a link leads elsewhere too.
  fs::create_directory_symlink(company, base / "linked");
  const TPathGuard linked({TextOf(base / "linked")}, FilesystemPathFacts());
  try {
    linked.Check(L"delete", TextOf(base / "linked" / "Stormfinch"), TLeaf::MayBeLink);
    ADD_FAILURE() << "a path below a linked company folder was accepted";
  } catch (const TUnsafePathError& e) {
    EXPECT_NE(e.Message().find(L"is a link"), std::wstring::npos) << e.what();
  }
  EXPECT_TRUE(fs::exists(base / "outside" / "keep.txt"));
}

TEST_F(PathGuardTest, LetterCaseCountsWhereTheFileSystemSeesIt) {
  EXPECT_TRUE(Refused(Answer(base / "ARDENTIS" / "Stormfinch"), L"not inside"));
}
#endif

}  // namespace
}  // namespace sf
