#include "wizard/FrameCreateInstallU.h"

#include "common/ConstantsU.h"
#include "common/LanguageU.h"
#include "engine/MessagesU.h"
#include "wizard/MainFormInstall.h"
#include "wizard/NameTextsU.h"
#include "wizard/PageFlowU.h"

namespace sf {

namespace {

constexpr TTranslated kPrompt{L"Escolha um nome para a nova instalação", L"Choose a name for the new installation",
                              L"Escoja un nombre para la nueva instalación"};
constexpr TTranslated kContinue{L"Avançar", L"Continue", L"Continuar"};
constexpr int kNameLength = 14;
constexpr TColor kFieldColor = 0x1E1E1E;

}  // namespace

TFrameCreateInstall::TFrameCreateInstall(TSetupForm& form) : TFrameBase(form, L"TFrameCreateInstall") {
  btnInstall.SetBounds(240, 165, 120, 30);
  ApplyButtonDesign(btnInstall);
  ApplyButtonTheme(btnInstall);
  btnInstall.SetCaption(kContinue.pt);
  btnInstall.OnClick = [this] { btnInstallClick(); };

  DesignLines(imgLines);
  DesignLogo(imgLogo, form.pngLogoProgress());
  DesignCenteredLabel(lblInstalado, {0, 84, 600, 26}, PageFont(L"Segoe UI Semibold", 10, false, LabelFontColor));
  lblInstalado.SetCaption(kPrompt.pt);
  AttachControls({&btnInstall, &imgLines, &imgLogo, &lblInstalado});

  edtNome = std::make_unique<TEdit>(*this, 150, 120, 300, 21, TAlignment::taCenter);
  edtNome->SetFont(PageFont(L"Segoe UI", 8, false, clWindowText));
  edtNome->SetMaxLength(kNameLength);
  edtNome->SetText(SharedNameTexts().placeholder);
  edtNome->OnEnter = [this] { edtNomeEnter(); };
  edtNome->OnKeyDown = [this](WORD key) {
    if (key == VK_RETURN) m_bEnterDown = true;
  };
  edtNome->OnKeyUp = [this](WORD key) { edtNomeKeyUp(key); };
}

TFrameCreateInstall::~TFrameCreateInstall() = default;

void TFrameCreateInstall::SetParentForm() {
  imgLines.SetVisible(false);
  BringControlsToFront({&imgLogo, &imgClose, &lblInstalado});
  edtNome->BringToFront();
  btnInstall.BringToFront();
  ShowCloseImageWhenInteractive();
}

void TFrameCreateInstall::Translate() {
  if (CurrentLanguage() != TLanguage::Portuguese) {
    lblInstalado.SetCaption(PickText(kPrompt));
    btnInstall.SetCaption(PickText(kContinue));
    TranslateSharedNameTexts();
    edtNome->SetText(SharedNameTexts().placeholder);
  }
  PlaceLogo(imgLogo);
  edtNome->SetColors(kFieldColor, clWhite);
  edtNome->SetFont(PageFont(L"Segoe UI", 11, false, clWhite));
}

void TFrameCreateInstall::edtNomeEnter() {
  m_bEnterDown = false;
  if (edtNome->Text() == SharedNameTexts().placeholder) edtNome->SetText(L"");
}

// Only an Enter that went down in the field: the Enter that dismisses the name message goes down in the
// message box and comes up here, and must not bring the same message back at once.
void TFrameCreateInstall::edtNomeKeyUp(WORD key) {
  if (key != VK_RETURN || !m_bEnterDown) return;
  m_bEnterDown = false;
  btnInstall.Click();
}

bool TFrameCreateInstall::ValidateName() {
  const TNameEntryTexts& texts = SharedNameTexts();
  const wchar_t* message = nullptr;
  switch (CheckInstallName(edtNome->Text(), texts.placeholder, Form().OldInstalls())) {
    case TNameCheck::Valid: return true;
    case TNameCheck::NotFilled: message = texts.notFilled.c_str(); break;
    case TNameCheck::HasSpaces: message = texts.hasSpaces.c_str(); break;
    case TNameCheck::BadCharacters: message = texts.badCharacters.c_str(); break;
    case TNameCheck::InUse: message = texts.inUse.c_str(); break;
  }
  ::MessageBoxW(Handle(), message, AppTitle, MB_OK | MB_ICONINFORMATION);
  return false;
}

// The new-installation request went out from the choice page already.
void TFrameCreateInstall::btnInstallClick() {
  if (!ValidateName()) return;
  const std::wstring name = edtNome->Text();
  Form().SetVisibleFrame(Page::Progress);
  PostTextToEngine(WM_SET_INSTALL_NAME, name);
  PostToEngine(WM_SETUP_DOWNLOADS);
}

}  // namespace sf
