// The wizard's page flow: where the start and choice pages lead and which page a notification names.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sf
