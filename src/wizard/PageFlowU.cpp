#include "wizard/PageFlowU.h"

#include "common/ConstantsU.h"
#include "common/PathRulesU.h"
#include "engine/InstallationRulesU.h"
#include "engine/MessagesU.h"

namespace sf {

int PageFromNotification(std::uint64_t wParam) {
  const int page = static_cast<int>(wParam & 0xFF);
  return page <= Page::UpdateInstaller ? page : Page::None;
}

bool CloseNeedsConfirmation(int visiblePage) {
  return visiblePage == Page::Progress || visiblePage == Page::CloseQuillon || visiblePage == Page::None;
}

// A newer installer is published: nothing starts, the user is sent to fetch it.
TPageStep InstallStep(bool hasInstallerUpdate) {
  if (hasInstallerUpdate) return {Page::UpdateInstaller, {}};
  return {Page::Progress, {WM_SET_NEW_INSTALL, WM_SETUP_DOWNLOADS}};
}

TPageStep NewInstallStep(bool hasInstallerUpdate, bool multipleInstall) {
  if (hasInstallerUpdate) return {Page::UpdateInstaller, {}};
  if (multipleInstall) return {Page::CreateInstall, {WM_SET_NEW_INSTALL}};
  return {Page::Progress, {WM_SET_NEW_INSTALL, WM_SETUP_DOWNLOADS}};
}

TPageStep RepairStep(bool hasInstallerUpdate, bool multipleInstall) {
  if (hasInstallerUpdate) return {Page::UpdateInstaller, {}};
  if (multipleInstall) return {Page::SelectInstall, {}};
  return {Page::Progress, {WM_SET_UPDATE_ONLY, WM_SETUP_DOWNLOADS}};
}

TNameCheck CheckInstallName(const std::wstring& text, const std::wstring& placeholder,
                            const std::vector<std::wstring>& installations) {
  if (text == placeholder) return TNameCheck::NotFilled;
  if (text.find(L' ') != std::wstring::npos) return TNameCheck::HasSpaces;
  if (!IsValidInstallationName(text)) return TNameCheck::BadCharacters;
  if (ContainsKey(installations, std::wstring(ProductName) + L"_" + text)) return TNameCheck::InUse;
  // The engine takes an empty name, and ProductName itself, for the default installation: a new
  // installation by either name would be placed over an existing default one.
  if ((text.empty() || text == ProductName) && ContainsKey(installations, ProductName)) return TNameCheck::InUse;
  return TNameCheck::Valid;
}

}  // namespace sf
