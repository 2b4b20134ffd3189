// Page 8, TFrameSelectInstall: the existing installations as radio buttons, to pick the one to repair.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "controls/NativeControlsU.h"
#include "wizard/FrameBaseU.h"

namespace sf {

// The name an installation key shows: the name of a named installation (ProductName, "_" and the name:
// the prefix and one "_" come off, whatever their letter case), ProductName for the default one.
std::wstring ShownInstallName(const std::wstring& key);

class TFrameSelectInstall : public TFrameBase {
 public:
  explicit TFrameSelectInstall(TSetupForm& form);
  ~TFrameSelectInstall() override;
  void SetParentForm() override;
  void Translate() override;
  // Rebuilds the rows from the window's installation list, below the prompt where it is now. No row is
  // picked.
  void UpdateInsallList();

 private:
  void btnInstallClick();

  TGradientBitBtn btnInstall;
  TLabel lblInstalado;
  TImage imgLines;
  TImage imgLogo;
  std::vector<std::unique_ptr<TRadioButton>> m_lstRadio;
  std::vector<std::unique_ptr<TLabel>> m_lstLabel;  // the shown name of each row, same index
};

}  // namespace sf
