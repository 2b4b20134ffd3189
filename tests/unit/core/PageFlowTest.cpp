// The wizard's page flow: where the start and choice pages lead, which page a notification names, and
// which names the name page accepts for a new installation.
#include <gtest/gtest.h>

#include "common/TextU.h"
#include "engine/MessagesU.h"
#include "wizard/PageFlowU.h"

namespace sf {
namespace {

TEST(PageFlow, StartAndChoiceButtons) {
  struct TCase {
    const char* button;
    TPageStep step;
    TPageStep expected;
  };
  const TCase cases[] = {
      {"Instalar", InstallStep(false), {Page::Progress, {WM_SET_NEW_INSTALL, WM_SETUP_DOWNLOADS}}},
      {"Instalar, newer installer", InstallStep(true), {Page::UpdateInstaller, {}}},
      {"Nova, installations", NewInstallStep(false, true), {Page::CreateInstall, {WM_SET_NEW_INSTALL}}},
      {"Nova, none", NewInstallStep(false, false), {Page::Progress, {WM_SET_NEW_INSTALL, WM_SETUP_DOWNLOADS}}},
      {"Nova, newer installer", NewInstallStep(true, true), {Page::UpdateInstaller, {}}},
      {"Reparar, installations", RepairStep(false, true), {Page::SelectInstall, {}}},
      {"Reparar, none", RepairStep(false, false), {Page::Progress, {WM_SET_UPDATE_ONLY, WM_SETUP_DOWNLOADS}}},
      {"Reparar, newer installer", RepairStep(true, false), {Page::UpdateInstaller, {}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.button);
    EXPECT_EQ(c.step, c.expected);
  }
}

TEST(PageFlow, NotificationNamesThePageInItsLowByte) {
  EXPECT_EQ(PageFromNotification(5), Page::Progress);
  EXPECT_EQ(PageFromNotification(0x105), Page::Progress) << "bits above the low byte are ignored";
  EXPECT_EQ(PageFromNotification(0), Page::CloseQuillon);
  EXPECT_EQ(PageFromNotification(9), Page::UpdateInstaller);
  EXPECT_EQ(PageFromNotification(10), Page::None);
  EXPECT_EQ(PageFromNotification(0xFF), Page::None);
}

TEST(PageFlow, NameOfANewInstallation) {
  const std::vector<std::wstring> withDefault{L"Stormfinch", L"Stormfinch_abc"};
  const std::vector<std::wstring> namedOnly{L"Stormfinch_abc"};
  struct TCase {
    const wchar_t* text;
    const std::vector<std::wstring>* installations;
    TNameCheck expected;
  };
  const TCase cases[] = {
      {L"Nome Escolhido", &withDefault, TNameCheck::NotFilled},  // the field still shows the placeholder
      {L"nome escolhido", &withDefault, TNameCheck::HasSpaces},  // only the placeholder itself is unfilled
      {L"my name", &namedOnly, TNameCheck::HasSpaces},
      {L" ", &namedOnly, TNameCheck::HasSpaces},
      {L"abc", &namedOnly, TNameCheck::InUse},
      {L"ABC", &namedOnly, TNameCheck::InUse},  // letter case does not make a new name
      {L"abcd", &namedOnly, TNameCheck::Valid},
      {L"", &withDefault, TNameCheck::InUse},   // empty: the default installation, which exists
      {L"", &namedOnly, TNameCheck::Valid},     // empty: the default installation, which does not
      {L"Stormfinch", &withDefault, TNameCheck::InUse},  // the engine's name for the default installation
      {L"Stormfinch", &namedOnly, TNameCheck::Valid},
      {L"abcdefghijklmnopq", &namedOnly, TNameCheck::Valid},  // the field limits the length, not this rule
      {L"x\\..\\..\\..", &namedOnly, TNameCheck::BadCharacters},
      {L"a/b", &namedOnly, TNameCheck::BadCharacters},
      {L"abc.", &namedOnly, TNameCheck::BadCharacters},
      {L"a<b>", &namedOnly, TNameCheck::BadCharacters},
      {L"a b\\c", &namedOnly, TNameCheck::HasSpaces},  // the spaces message comes first
      {L"a.b", &namedOnly, TNameCheck::Valid},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(ToUtf8(c.text));
    EXPECT_EQ(CheckInstallName(c.text, L"Nome Escolhido", *c.installations), c.expected);
  }
}

}  // namespace
}  // namespace sf
