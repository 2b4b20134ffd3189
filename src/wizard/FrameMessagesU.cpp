#include "wizard/FrameMessagesU.h"

#include <shellapi.h>

#include <cmath>

#include "common/ConstantsU.h"
#include "common/LanguageU.h"
#include "engine/MessagePayloadU.h"
#include "engine/MessagesU.h"
#include "wizard/MainFormInstall.h"

namespace sf {

namespace {

constexpr TTranslated kInstallDone{L"Instalação concluída com sucesso!", L"Installation completed successfully!",
                                   L"Instalación completada con exito!"};
constexpr TTranslated kOpen{L"Abrir", L"Open", L"Abrir"};
constexpr TTranslated kRetry{L"Tentar Novamente", L"Retry", L"Reintentar"};
constexpr TTranslated kConfigInternet{L"Configurações de Internet", L"Internet Settings",
                                      L"Configuraciones de Internet"};
constexpr TTranslated kNotSupported{L"Esta versão do instalador não é mais suportada.",
                                    L"This version of the installer is no longer supported.",
                                    L"Esta versión de instalador no es mas soportado."};
constexpr TTranslated kUpdate{L"Atualizar", L"Update", L"Actualizar"};

// The design of page 2's button; its layout widens and moves it from here at every show.
constexpr TLayoutRect kOpenDesign{251, 132, 98, 30};
constexpr int kLogoDrop = 30;

constexpr TColor kFieldColor = 0x1E1E1E;

void DesignButton(TGradientBitBtn& button, const TLayoutRect& r) {
  button.SetBounds(r.left, r.top, r.width, r.height);
  ApplyButtonDesign(button);
}

void DesignAlertImage(TImage& image, int top, const TPicture* picture) {
  image.SetBounds(278, top, 40, 36);
  image.SetPicture(picture);
}

}  // namespace

// --- TFrameInstallDone ----------------------------------------------------------------------------------

TFrameInstallDone::TFrameInstallDone(TSetupForm& form) : TFrameBase(form, L"TFrameInstallDone") {
  DesignLines(imgLines);
  DesignLogo(imgLogo, form.pngLogoProgress());
  DesignButton(btnOpen, kOpenDesign);
  ApplyButtonTheme(btnOpen);
  btnOpen.OnClick = [this] { btnOpenClick(); };
  DesignCenteredLabel(lblProgress, {0, 84, 600, 23}, PageFont(L"Segoe UI Semibold", 10, false, LabelFontColor));
  AttachControls({&imgLines, &imgLogo, &btnOpen, &lblProgress});
}

TFrameInstallDone::~TFrameInstallDone() = default;

void TFrameInstallDone::SetParentForm() {
  imgLines.SetVisible(false);
  BringControlsToFront({&imgLogo, &lblProgress, &btnOpen, &imgClose});
  ShowCloseImageWhenInteractive();
}

// Laid out from the design values, so that a second show finds the button where the first left it.
void TFrameInstallDone::Translate() {
  lblProgress.SetCaption(PickText(kInstallDone));
  btnOpen.SetCaption(PickText(kOpen));
  PlaceLogo(imgLogo);
  lblProgress.SetTop(imgLogo.Bottom() + 12);
  const int width = static_cast<int>(std::lround(kOpenDesign.width * 2.5));
  btnOpen.SetBounds(kOpenDesign.left - 75, lblProgress.Bottom() + 34, width, kOpenDesign.height);
  imgLogo.SetTop(imgLogo.Top() + kLogoDrop);
  lblProgress.SetTop(lblProgress.Top() + kLogoDrop);
  TFontSpec font = btnOpen.Font();
  font.name = L"Segoe UI";
  font.bold = true;
  btnOpen.SetFont(font);
}

// One request, however often the button is pressed before the engine ends the program: each request
// would start the product once more.
void TFrameInstallDone::btnOpenClick() {
  if (m_bOpenRequested) return;
  m_bOpenRequested = true;
  PostToEngine(WM_RUN_QUILLON);
}

// --- TFrameRetry ----------------------------------------------------------------------------------------

TFrameRetry::TFrameRetry(TSetupForm& form) : TFrameBase(form, L"TFrameRetry") {
  DesignButton(btnRetry, {240, 185, 120, 30});
  ApplyButtonTheme(btnRetry);
  btnRetry.OnClick = [this] { btnRetryClick(); };
  DesignAlertImage(imgAlert, 57, form.pngAlert());
  DesignCenteredLabel(lblAlert, {40, 114, 517, 40}, PageFont(L"Segoe UI", 11, false, LabelFontColor), true, false);
  lblConfigInternet.SetFont(PageFont(L"Segoe UI Semibold", 9, true, LabelFontColor));
  lblConfigInternet.SetBounds(20, 218, 0, 0);
  lblConfigInternet.OnClick = [this] { lblConfigInternetClick(); };
  BindLinkHover(lblConfigInternet);
  AttachControls({&btnRetry, &imgAlert, &lblAlert, &lblConfigInternet});
}

TFrameRetry::~TFrameRetry() = default;

void TFrameRetry::Translate() {
  btnRetry.SetCaption(PickText(kRetry));
  lblConfigInternet.SetCaption(PickText(kConfigInternet));
}

void TFrameRetry::WMSetRetryMsg(const std::wstring& text) { lblAlert.SetCaption(text); }

void TFrameRetry::btnRetryClick() {
  Form().SetVisibleFrame(Page::Progress);
  PostToEngine(WM_RETRY);
}

void TFrameRetry::lblConfigInternetClick() { Form().ConfigInternet(); }

// --- TFrameAborted --------------------------------------------------------------------------------------

TFrameAborted::TFrameAborted(TSetupForm& form) : TFrameBase(form, L"TFrameAborted") {
  // Only the colours and the direction come from the theme: an outlined button with plain text.
  DesignButton(btnOK, {240, 185, 120, 30});
  btnOK.SetColor(ButtonColor);
  btnOK.SetColor2(ButtonColor2);
  btnOK.SetGradientDirection(ButtonGradientDirection);
  btnOK.SetClear(true);
  btnOK.SetCaption(L"OK");
  btnOK.OnClick = [this] { btnOKClick(); };
  DesignAlertImage(imgAlert, 40, form.pngAlert());
  DesignCenteredLabel(lblAlert, {40, 82, 517, 65}, PageFont(L"Segoe UI", 11, false, LabelFontColor), true, false);
  AttachControls({&btnOK, &imgAlert, &lblAlert});

  // Read-only, so that the user can select the identifier and copy it for support.
  edtHardwareID = std::make_unique<TEdit>(*this, 175, 153, 250, 21, TAlignment::taCenter);
  edtHardwareID->SetReadOnly(true);
  edtHardwareID->SetColors(kFieldColor, clWhite);
  edtHardwareID->SetFont(PageFont(L"Segoe UI", 12, false, clWhite));
}

TFrameAborted::~TFrameAborted() = default;

void TFrameAborted::WMSetAbortMsg(const std::wstring& text, const std::wstring& identifier) {
  lblAlert.SetCaption(text);
  edtHardwareID->SetText(identifier);
}

std::wstring TFrameAborted::IdentifierText() const { return edtHardwareID->Text(); }

// The program ends with the exit code it has.
void TFrameAborted::btnOKClick() { PostPlain(TMessageTarget::Window(Form().Handle()), WM_QUIT); }

// --- TFrameUpdateInstaller ------------------------------------------------------------------------------

TFrameUpdateInstaller::TFrameUpdateInstaller(TSetupForm& form) : TFrameBase(form, L"TFrameUpdateInstaller") {
  DesignButton(btnUpdate, {240, 185, 120, 30});
  ApplyButtonTheme(btnUpdate);
  btnUpdate.OnClick = [this] { btnUpdateClick(); };
  DesignAlertImage(imgAlert, 57, form.pngAlert());
  DesignCenteredLabel(lblAlert, {40, 114, 517, 40}, PageFont(L"Segoe UI Semibold", 10, false, LabelFontColor), true,
                      false);
  AttachControls({&btnUpdate, &imgAlert, &lblAlert});
}

TFrameUpdateInstaller::~TFrameUpdateInstaller() = default;

void TFrameUpdateInstaller::Translate() {
  lblAlert.SetCaption(PickText(kNotSupported));
  btnUpdate.SetCaption(PickText(kUpdate));
}

// The browser fetches the new installer; this one ends whether or not the browser could be started.
void TFrameUpdateInstaller::btnUpdateClick() {
  if (m_bUpdateRequested) return;
  m_bUpdateRequested = true;
  const std::wstring url = std::wstring(InstallerDownloadBaseUrl) + InstallerExeName;
  ::ShellExecuteW(Form().Handle(), L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  ::PostQuitMessage(0);
}

// --- TFrameCloseQuillon ---------------------------------------------------------------------------------

TFrameCloseQuillon::TFrameCloseQuillon(TSetupForm& form) : TFrameBase(form, L"TFrameCloseQuillon") {
  DesignAlertImage(imgAlert, 57, form.pngAlert());
  imgAlert.SetVisible(false);
  BindDrag(imgAlert);
  DesignCenteredLabel(lblAlert, {40, 114, 520, 40}, PageFont(L"Segoe UI", 11, false, LabelFontColor), true);
  lblAlert.SetVisible(false);
  AttachControls({&imgAlert, &lblAlert});
}

TFrameCloseQuillon::~TFrameCloseQuillon() = default;

}  // namespace sf
