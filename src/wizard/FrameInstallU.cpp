#include "wizard/FrameInstallU.h"

#include <shellapi.h>

#include "common/ConstantsU.h"
#include "wizard/MainFormInstall.h"
#include "wizard/PageLayoutU.h"

namespace sf {

namespace {

constexpr TTranslated kConfigInternet{L"Configurações de Internet", L"Internet Settings",
                                      L"Configuraciones de Internet"};
constexpr TTranslated kLink{L"contrato de licença", L"license agreement", L"contrato de licencia"};

constexpr TTranslated kInstallText{L"Ao clicar em instalar você declara que está de acordo ", L"",
                                   L"Al clicar en instalar usted declara que está de acuerdo "};
constexpr TTranslated kInstallText2{L"com o nosso ", L"By clicking on install you agree to our ", L"con nuestro "};
constexpr TTranslated kInstall{L"Instalar", L"Install", L"Instalar"};

constexpr TTranslated kInstallUpdateText{L"Ao clicar em instalar ou reparar você declara que está de acordo ",
                                         L"By clicking on install or repair you agree ",
                                         L"Al clicar em instalar o reparar usted declara que está de acuerdo "};
constexpr TTranslated kInstallUpdateText2{L"com o nosso ", L"to our ", L"con nuestro "};
constexpr TTranslated kNewInstall{L"Nova Instalação", L"New Install", L"Nueva Instalación"};
constexpr TTranslated kRepairInstall{L"Reparar Instalação", L"Repair Install", L"Reparar Instalación"};

constexpr int kButtonTop = 132;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 30;

void DesignButton(TGradientBitBtn& button, int left) {
  button.SetBounds(left, kButtonTop, kButtonWidth, kButtonHeight);
  ApplyButtonDesign(button);
  ApplyButtonTheme(button);
}

}  // namespace

// --- TFrameAgreement ------------------------------------------------------------------------------------

TFrameAgreement::TFrameAgreement(TSetupForm& form, const wchar_t* name, const TTexts& texts)
    : TFrameBase(form, name), m_Texts(texts) {
  DesignLines(imgLines, {-4, 6, 297, 223});
  DesignLogo(imgLogo, form.pngLogoInstall());

  lblConfigInternet.SetFont(PageFont(L"Segoe UI Semibold", 9, true, LabelFontColor));
  lblConfigInternet.SetBounds(20, 218, 0, 0);
  lblConfigInternet.OnClick = [this] { lblConfigInternetClick(); };
  BindLinkHover(lblConfigInternet);

  lblText.SetFont(PageFont(L"Segoe UI", 9, false, LabelFontColor));
  lblText.SetTop(84);
  lblText2.SetFont(PageFont(L"Segoe UI", 9, false, LabelFontColor));
  lblLink.SetFont(PageFont(L"Segoe UI", 9, true, LinkFontColor));
  lblLink.OnClick = [this] { lblLinkClick(); };
  BindLinkHover(lblLink);
  lblDot.SetFont(PageFont(L"Segoe UI", 9, false, LabelFontColor));
  lblDot.SetCaption(L".");

  AttachControls({&imgLines, &imgLogo, &lblConfigInternet, &lblText, &lblText2, &lblLink, &lblDot});
}

void TFrameAgreement::SetParentForm() {
  imgLines.SetVisible(false);
  BringControlsToFront({&imgLogo, &lblText, &lblText2, &lblLink, &lblDot});
  BringButtonsToFront();
  ShowCloseImageWhenInteractive();
}

void TFrameAgreement::Translate() {
  lblConfigInternet.SetCaption(PickText(kConfigInternet));
  lblText.SetCaption(PickText(m_Texts.lblText));
  lblText2.SetCaption(PickText(m_Texts.lblText2));
  lblLink.SetCaption(PickText(kLink));
  TranslateButtons();

  PlaceLogo(imgLogo);
  const auto size = [](const TLabel& label) { return TLayoutSize{label.Width(), label.Height()}; };
  const TAgreementSentence s = LayoutAgreementSentence(Width(), imgLogo.Bottom(), size(lblText), size(lblText2),
                                                       size(lblLink), size(lblDot));
  const std::pair<TLabel*, TLayoutRect> placed[] = {
      {&lblText, s.text}, {&lblText2, s.text2}, {&lblLink, s.link}, {&lblDot, s.dot}};
  for (const auto& [label, rect] : placed) label->SetBounds(rect.left, rect.top, rect.width, rect.height);
  PlaceButtons(s.buttonTop);
}

// The engine handles the requests in order whenever it gets to them, so they may go before the page.
void TFrameAgreement::ApplyStep(const TPageStep& step) {
  for (std::uint32_t request : step.requests) PostToEngine(request);
  Form().SetVisibleFrame(step.page);
}

void TFrameAgreement::lblConfigInternetClick() { Form().ConfigInternet(); }

// The wizard stays as it is; the browser shows the agreement.
void TFrameAgreement::lblLinkClick() {
  ::ShellExecuteW(Form().Handle(), L"Open", ContractUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

// --- TFrameInstall --------------------------------------------------------------------------------------

TFrameInstall::TFrameInstall(TSetupForm& form)
    : TFrameAgreement(form, L"TFrameInstall", {kInstallText, kInstallText2}) {
  DesignButton(btnInstall, 240);
  btnInstall.OnClick = [this] { btnInstallClick(); };
  btnInstall.SetParent(this);
}

TFrameInstall::~TFrameInstall() = default;

void TFrameInstall::TranslateButtons() { btnInstall.SetCaption(PickText(kInstall)); }

void TFrameInstall::BringButtonsToFront() { btnInstall.BringToFront(); }

void TFrameInstall::PlaceButtons(int top) { btnInstall.SetTop(top); }

void TFrameInstall::btnInstallClick() { ApplyStep(InstallStep(Form().HasInstallerUpdate())); }

// --- TFrameInstallUpdate --------------------------------------------------------------------------------

TFrameInstallUpdate::TFrameInstallUpdate(TSetupForm& form)
    : TFrameAgreement(form, L"TFrameInstallUpdate", {kInstallUpdateText, kInstallUpdateText2}) {
  // Repair on the left, new installation on the right.
  DesignButton(btnInstall, 310);
  btnInstall.OnClick = [this] { btnInstallClick(); };
  btnInstall.SetParent(this);
  DesignButton(btnUpdate, 170);
  btnUpdate.OnClick = [this] { btnUpdateClick(); };
  btnUpdate.SetParent(this);
}

TFrameInstallUpdate::~TFrameInstallUpdate() = default;

void TFrameInstallUpdate::TranslateButtons() {
  btnInstall.SetCaption(PickText(kNewInstall));
  btnUpdate.SetCaption(PickText(kRepairInstall));
}

void TFrameInstallUpdate::BringButtonsToFront() {
  btnInstall.BringToFront();
  btnUpdate.BringToFront();
}

void TFrameInstallUpdate::PlaceButtons(int top) {
  btnInstall.SetTop(top);
  btnUpdate.SetTop(top);
}

void TFrameInstallUpdate::btnInstallClick() {
  ApplyStep(NewInstallStep(Form().HasInstallerUpdate(), Form().MultipleInstall()));
}

void TFrameInstallUpdate::btnUpdateClick() {
  ApplyStep(RepairStep(Form().HasInstallerUpdate(), Form().MultipleInstall()));
}

}  // namespace sf
