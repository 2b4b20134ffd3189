#include <gtest/gtest.h>

#include "engine/InstallationRulesU.h"
#include "engine/MessagesU.h"
#include "engine/ProgressLogU.h"

namespace sf {
namespace {

TEST(InstallationRules, PrefixTestIsCaseSensitive) {
  EXPECT_TRUE(IsInstallationKey(L"Stormfinch"));
  EXPECT_TRUE(IsInstallationKey(L"Stormfinch_abc"));
  EXPECT_FALSE(IsInstallationKey(L"stormfinch_x"));
  EXPECT_FALSE(IsInstallationKey(L"Other"));
  EXPECT_FALSE(IsInstallationKey(L"StormfinchX"));
  // Keys the installer would not have written: their names would lead to another folder.
  EXPECT_FALSE(IsInstallationKey(L"Stormfinch_abc."));
  EXPECT_FALSE(IsInstallationKey(L"Stormfinch_.."));
  EXPECT_FALSE(IsInstallationKey(L"Stormfinch_a:b"));
  EXPECT_TRUE(IsInstallationKey(L"Stormfinch_a.b"));
}

TEST(InstallationRules, FoldersAndRegistryNames) {
  const std::wstring base = L"C:\\Users\\u\\AppData\\Roaming\\Ardentis\\Stormfinch";
  EXPECT_EQ(BaseInstallFolder(L" C:\\Users\\u\\AppData\\Roaming"), base);
  EXPECT_EQ(InstallPathFor(base, L""), base + L"\\");
  EXPECT_EQ(InstallPathFor(base, L"Stormfinch"), base + L"\\");
  EXPECT_EQ(InstallPathFor(base, L"abc"), base + L"_abc\\");
  EXPECT_EQ(RegistryFolderFor(L"Stormfinch", L""), L"Stormfinch");
  EXPECT_EQ(RegistryFolderFor(L"Stormfinch", L"Stormfinch"), L"Stormfinch");
  EXPECT_EQ(RegistryFolderFor(L"Stormfinch", L"abc"), L"Stormfinch_abc");
}

TEST(InstallationRules, UnattendedVerdicts) {
  using enum TCmdInstallType;
  using enum TUnattendedVerdict;
  struct TCase {
    TCmdInstallType mode;
    std::wstring name;
    std::vector<std::wstring> keys;
    TUnattendedVerdict verdict;
  };
  const TCase cases[] = {
      {citInstall, L"abc", {L"Stormfinch_ABC"}, NameExists},  // look-ups ignore letter case
      {citInstall, L"abc", {L"Stormfinch"}, GoOn},
      {citInstall, L"", {L"Stormfinch_abc"}, GoOn},
      {citInstall, L"", {L"Stormfinch"}, NameExists},
      {citInstall, L"Stormfinch", {L"Stormfinch"}, NameExists},  // the product's name is the default one
      {citInstall, L"Stormfinch", {L"Stormfinch_Stormfinch"}, GoOn},
      {citUpdate, L"Stormfinch", {L"Stormfinch"}, GoOn},
      {citUpdate, L"", {L"Stormfinch_abc"}, NameNotFound},
      {citUpdate, L"abc", {L"Stormfinch_abc"}, GoOn},
      {citUpdate, L"ABC", {L"Stormfinch_abc"}, GoOn},
      {citUpdate, L"", {L"Stormfinch"}, GoOn},
      {citUpdate, L"x", {}, NameNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name));
    EXPECT_EQ(DecideUnattended(c.mode, c.name, c.keys), c.verdict);
  }
}

TEST(Messages, NamesAndUnknownNumbers) {
  EXPECT_EQ(MessageName(1280), L"WM_SETUP_STATUS");
  EXPECT_EQ(MessageName(WM_SETUP_DOWNLOADS), L"WM_SETUP_DOWNLOADS");
  EXPECT_EQ(MessageName(1304), L"WM_SET_UNNATENDED_VALUES");
  EXPECT_EQ(MessageName(1305), L"UNKNOWN (1305)");
  EXPECT_EQ(MessageName(1306), L"WM_WORKER_OUTCOME");
  EXPECT_EQ(MessageName(1307), L"WM_CANCEL_INSTALLATION");
  EXPECT_EQ(MessageName(1308), L"UNKNOWN (1308)");
  EXPECT_EQ(MessageName(1279), L"UNKNOWN (1279)");
}

// Which of a run of progress messages get a log line.
std::vector<int> LoggedProgress(TProgressLogThinner& thinner, int count) {
  std::vector<int> logged;
  for (int i = 1; i <= count; ++i) {
    if (thinner.LineFor(WM_UPDATE_PROGRESS, static_cast<std::uintptr_t>(i))) logged.push_back(i);
  }
  return logged;
}

TEST(ProgressLog, FirstAfterAnotherMessageThenOneInSeventeen) {
  TProgressLogThinner thinner;
  ASSERT_EQ(thinner.LineFor(WM_RETRY, 0), L"TInstallerThread.ProcessMessage: WM_RETRY.");
  EXPECT_EQ(LoggedProgress(thinner, 40), (std::vector<int>{1, 18, 35}));
}

TEST(ProgressLog, AfterTheExtractionStartTheSeventeenthIsFirst) {
  TProgressLogThinner thinner;
  thinner.LineFor(WM_START_EXTRACT_THREADS, 0);
  thinner.Reset();
  EXPECT_EQ(LoggedProgress(thinner, 40), (std::vector<int>{17, 34}));
  thinner.LineFor(WM_START_EXTRACT_THREADS, 0);
  EXPECT_EQ(thinner.LineFor(WM_UPDATE_PROGRESS, 1234), L"TInstallerThread.ProcessMessage: WM_UPDATE_PROGRESS. Total downloaded=1234");
}

TEST(ProgressLog, UnknownMessageLine) {
  TProgressLogThinner thinner;
  EXPECT_EQ(thinner.LineFor(1305, 0), L"TInstallerThread.ProcessMessage: UNKNOWN (1305).");
}

}  // namespace
}  // namespace sf
