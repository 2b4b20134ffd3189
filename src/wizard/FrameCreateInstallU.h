// Page 1, TFrameCreateInstall: the name of a new installation beside the existing ones. The name is
// checked against them before the work starts.
#pragma once

#include <memory>

#include "controls/NativeControlsU.h"
#include "wizard/FrameBaseU.h"

namespace sf {

class TFrameCreateInstall : public TFrameBase {
 public:
  explicit TFrameCreateInstall(TSetupForm& form);
  ~TFrameCreateInstall() override;
  void SetParentForm() override;
  // In Portuguese the field keeps what the user typed between shows; in English and Spanish every show
  // puts the placeholder back.
  void Translate() override;

 private:
  void btnInstallClick();
  void edtNomeEnter();
  void edtNomeKeyUp(WORD key);
  // Tells the user what is wrong with the name, if anything.
  bool ValidateName();

  TGradientBitBtn btnInstall;
  std::unique_ptr<TEdit> edtNome;
  TImage imgLines;
  TImage imgLogo;
  TLabel lblInstalado;
  bool m_bEnterDown = false;
};

}  // namespace sf
