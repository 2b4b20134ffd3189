// The pages the interactive wizard opens with: page 3 (TFrameInstall, no installation yet: one install
// button) and page 4 (TFrameInstallUpdate, installations exist: repair or new installation). Both show
// the logo, the sentence that pressing a button accepts the licence agreement (the agreement is a link
// to the maker's site) and the internet settings link, and send the user to the installer-update page
// instead when a newer installer is published.
#pragma once

#include "common/LanguageU.h"
#include "wizard/FrameBaseU.h"
#include "wizard/PageFlowU.h"

namespace sf {

// What pages 3 and 4 share; each page adds its buttons.
class TFrameAgreement : public TFrameBase {
 public:
  void SetParentForm() override;
  void Translate() override;

 protected:
  struct TTexts {
    TTranslated lblText;
    TTranslated lblText2;
  };
  TFrameAgreement(TSetupForm& form, const wchar_t* name, const TTexts& texts);

  // The page's buttons, in the order they come to the front; they sit 34 pixels below the sentence.
  virtual void TranslateButtons() = 0;
  virtual void BringButtonsToFront() = 0;
  virtual void PlaceButtons(int top) = 0;

  // Posts the step's requests and shows its page.
  void ApplyStep(const TPageStep& step);
  void lblConfigInternetClick();
  void lblLinkClick();

  TImage imgLines;
  TImage imgLogo;
  TLabel lblConfigInternet;
  TLabel lblText;
  TLabel lblText2;
  TLabel lblLink;
  TLabel lblDot;

 private:
  TTexts m_Texts;
};

// Page 3.
class TFrameInstall : public TFrameAgreement {
 public:
  explicit TFrameInstall(TSetupForm& form);
  ~TFrameInstall() override;

 protected:
  void TranslateButtons() override;
  void BringButtonsToFront() override;
  void PlaceButtons(int top) override;

 private:
  void btnInstallClick();

  TGradientBitBtn btnInstall;
};

// Page 4.
class TFrameInstallUpdate : public TFrameAgreement {
 public:
  explicit TFrameInstallUpdate(TSetupForm& form);
  ~TFrameInstallUpdate() override;

 protected:
  void TranslateButtons() override;
  void BringButtonsToFront() override;
  void PlaceButtons(int top) override;

 private:
  void btnInstallClick();
  void btnUpdateClick();

  TGradientBitBtn btnInstall;
  TGradientBitBtn btnUpdate;
};

}  // namespace sf
