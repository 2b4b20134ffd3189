#include "startup/CommandLineU.h"

#include <gtest/gtest.h>

#include "engine/RunModeU.h"

namespace sf {
namespace {

struct TCase {
  std::vector<std::wstring> args;  // without the program path
  bool help;
  TCmdInstallType mode = TCmdInstallType::citNone;
  std::wstring name = {};
};

std::vector<std::wstring> WithProgram(const std::vector<std::wstring>& args) {
  std::vector<std::wstring> all{L"C:\\dl\\Stormfinch.exe"};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

// The whole table of consequences: shape check and mode selection together.
TEST(CommandLine, ConsequencesTable) {
  using enum TCmdInstallType;
  const TCase cases[] = {
      {{}, false, citNone, L""},
      {{L"/install"}, false, citInstall, L""},
      {{L"/install", L"abc"}, false, citInstall, L"abc"},
      {{L"/install", L"a_fifteen_chars"}, false, citInstall, L"a_fifteen_chars"},
      {{L"/update"}, false, citUpdate, L""},
      {{L"/update", L"abc"}, false, citUpdate, L"abc"},
      {{L"/repair"}, false, citNone, L""},
      {{L"/repair", L"abc"}, false, citNone, L"abc"},
      {{L"/st"}, false, citNone, L""},
      {{L"/INSTALL"}, false, citNone, L""},
      {{L"/Update", L"Mine"}, false, citNone, L"Mine"},
      {{L"/ST"}, false, citNone, L""},
      {{L"/?"}, true, TCmdInstallType::citNone, L""},
      {{L"/install", L"/?"}, true, TCmdInstallType::citNone, L""},
      {{L"-?"}, true, TCmdInstallType::citNone, L""},
      {{L"/unknown"}, true, TCmdInstallType::citNone, L""},
      {{L"/install", L"my name"}, true, TCmdInstallType::citNone, L""},
      {{L"/install", L""}, true, TCmdInstallType::citNone, L""},
      {{L"/install", L"my", L"name"}, true, TCmdInstallType::citNone, L""},
      {{L"/st", L"abc"}, true, TCmdInstallType::citNone, L""},
      {{L"abc"}, true, TCmdInstallType::citNone, L""},
      // Names that break the installation-name rule make a command line of the wrong shape.
      {{L"/install", L"x\\..\\..\\..\\.."}, true, TCmdInstallType::citNone, L""},
      {{L"/install", L"a/b"}, true, TCmdInstallType::citNone, L""},
      {{L"/update", L"abc."}, true, TCmdInstallType::citNone, L""},
      {{L"/repair", L"a:b"}, true, TCmdInstallType::citNone, L""},
      {{L"/install", L"a\tb"}, true, TCmdInstallType::citNone, L""},
      {{L"/install", L"a.b"}, false, citInstall, L"a.b"},
  };
  for (const auto& c : cases) {
    const auto args = WithProgram(c.args);
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(WantsHelp(args), c.help);
    if (c.help) continue;
    const TCmdSelection selection = SelectMode(args);
    EXPECT_EQ(selection.mode, c.mode);
    EXPECT_EQ(selection.name, c.name);
  }
}

TEST(CommandLine, HelpSwitchAsProgramPathStillCounts) {
  EXPECT_TRUE(WantsHelp({L"/?"}));
}

TEST(CommandLine, ShapeCheckUsesTheGivenLowerCasing) {
  int calls = 0;
  const TLowerCase lower = [&](const std::wstring& s) {
    ++calls;
    return s == L"/İNSTALL" ? std::wstring(L"/install") : s;
  };
  EXPECT_TRUE(IsCommandLineValid(WithProgram({L"/İNSTALL"}), lower));
  EXPECT_EQ(calls, 1);
}

TEST(CommandLine, SingleThreadedSwitchIsCaseSensitive) {
  EXPECT_TRUE(IsSingleThreaded(WithProgram({L"/st"})));
  EXPECT_FALSE(IsSingleThreaded(WithProgram({L"/ST"})));
  EXPECT_FALSE(IsSingleThreaded(WithProgram({})));
}

}  // namespace
}  // namespace sf
