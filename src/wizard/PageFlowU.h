// The page flow of the wizard as plain rules: which page a button leads to and which requests it sends
// the engine, which page a notification names, and which pages may close without a question. The pages
// apply these; portable, so the whole table is checked natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/MessagesU.h"

namespace sf {

// The page of a WM_CHANGE_VISIBLE_FRAME: the low byte of its first parameter; Page::None outside 0..9.
int PageFromNotification(std::uint64_t wParam);

// While the work may be running (the progress page, page 0, or no page yet) closing asks first.
bool CloseNeedsConfirmation(int visiblePage);

// What a button of the start and choice pages does: the page it shows and the requests it posts to the
// engine, in order (without parameters).
struct TPageStep {
  int page = Page::None;
  std::vector<std::uint32_t> requests;
  friend bool operator==(const TPageStep&, const TPageStep&) = default;
};

// "Instalar" on page 3.
TPageStep InstallStep(bool hasInstallerUpdate);
// "Nova Instalação" on page 4: the name page when installations exist, which then starts the work.
TPageStep NewInstallStep(bool hasInstallerUpdate, bool multipleInstall);
// "Reparar Instalação" on page 4: the selection page when installations exist.
TPageStep RepairStep(bool hasInstallerUpdate, bool multipleInstall);

// The name typed for a new installation, against the installation keys the engine found (ProductName
// for the default installation, ProductName + "_" + name for the others; letter case does not count).
// An empty name stands for the default installation. A name that breaks the installation-name rule
// (IsValidInstallationName) is refused with the characters that are not allowed.
enum class TNameCheck { Valid, NotFilled, HasSpaces, BadCharacters, InUse };
TNameCheck CheckInstallName(const std::wstring& text, const std::wstring& placeholder,
                            const std::vector<std::wstring>& installations);

}  // namespace sf
