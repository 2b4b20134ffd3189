#include "wizard/FrameSelectInstallU.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <gdiplus.h>

#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/LanguageU.h"
#include "engine/InstallationRulesU.h"
#include "engine/MessagesU.h"
#include "wizard/MainFormInstall.h"
#include "wizard/PageLayoutU.h"

namespace sf {

namespace {

constexpr TTranslated kPrompt{L"Selecione a instalação para recuperação:", L"Select installation:",
                              L"Seleccionar instalación:"};
constexpr TTranslated kContinue{L"Avançar", L"Continue", L"Continuar"};

static_assert(sizeof(wchar_t) == sizeof(PCRE2_UCHAR16), "UTF-16 text is handed to PCRE2 as it is");

PCRE2_SPTR16 Units(const std::wstring& text) { return reinterpret_cast<PCRE2_SPTR16>(text.c_str()); }

struct TCodeTraits {
  void operator()(pcre2_code_16* code) const { pcre2_code_free_16(code); }
};
struct TMatchDataTraits {
  void operator()(pcre2_match_data_16* data) const { pcre2_match_data_free_16(data); }
};

// The prefix at the start of a key, with one optional "_", in any letter case.
const pcre2_code_16& PrefixPattern() {
  static const std::unique_ptr<pcre2_code_16, TCodeTraits> pattern = [] {
    const std::wstring source = L"^" + std::wstring(ProductName) + L"_?";
    int error = 0;
    PCRE2_SIZE offset = 0;
    std::unique_ptr<pcre2_code_16, TCodeTraits> code(
        pcre2_compile_16(Units(source), source.size(), PCRE2_CASELESS | PCRE2_UTF, &error, &offset, nullptr));
    if (!code) throw TError(L"the installation name pattern does not compile: error " + std::to_wstring(error));
    return code;
  }();
  return *pattern;
}

// The background picture's colour at a point, so that a radio button there blends in.
TColor BackgroundColorAt(const TPicture* picture, TLayoutPoint at) {
  Gdiplus::Color color;
  if (!picture || picture->Design().GetPixel(at.x, at.y, &color) != Gdiplus::Ok) return clBlack;
  return MakeColor(color.GetR(), color.GetG(), color.GetB());
}

}  // namespace

std::wstring ShownInstallName(const std::wstring& key) {
  if (key.find(std::wstring(ProductName) + L"_") == std::wstring::npos) return key;
  const pcre2_code_16& pattern = PrefixPattern();
  std::unique_ptr<pcre2_match_data_16, TMatchDataTraits> match(
      pcre2_match_data_create_from_pattern_16(&pattern, nullptr));
  if (!match) throw TError(L"no memory for an installation name match");
  if (pcre2_match_16(&pattern, Units(key), key.size(), 0, 0, match.get(), nullptr) < 0) return key;
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(match.get());
  return key.substr(0, ovector[0]) + key.substr(ovector[1]);
}

TFrameSelectInstall::TFrameSelectInstall(TSetupForm& form) : TFrameBase(form, L"TFrameSelectInstall") {
  btnInstall.SetBounds(240, 158, 120, 30);
  ApplyButtonDesign(btnInstall);
  ApplyButtonTheme(btnInstall);
  btnInstall.SetCaption(kContinue.pt);
  btnInstall.OnClick = [this] { btnInstallClick(); };
  DesignCenteredLabel(lblInstalado, {0, 84, 600, 17}, PageFont(L"Segoe UI Semibold", 10, false, LabelFontColor));
  lblInstalado.SetCaption(kPrompt.pt);
  DesignLines(imgLines);
  DesignLogo(imgLogo, form.pngLogoInstall());
  AttachControls({&btnInstall, &lblInstalado, &imgLines, &imgLogo});
}

TFrameSelectInstall::~TFrameSelectInstall() = default;

void TFrameSelectInstall::SetParentForm() {
  imgLines.SetVisible(false);
  BringControlsToFront({&imgLogo, &imgClose, &lblInstalado, &btnInstall});
  ShowCloseImageWhenInteractive();
}

void TFrameSelectInstall::Translate() {
  lblInstalado.SetCaption(PickText(kPrompt));
  btnInstall.SetCaption(PickText(kContinue));
  PlaceLogo(imgLogo);
  lblInstalado.SetTop(imgLogo.Bottom() + 12);
}

void TFrameSelectInstall::UpdateInsallList() {
  m_lstLabel.clear();
  m_lstRadio.clear();

  std::vector<TLayoutSize> labelSizes;
  for (const std::wstring& key : Form().OldInstalls()) {
    auto radio = std::make_unique<TRadioButton>(*this, 30, lblInstalado.Bottom() + 26);
    radio->BringToFront();
    TRadioButton* button = radio.get();
    radio->OnKeyUp = [this](WORD pressed) {
      if (pressed == VK_RETURN) btnInstall.Click();
    };

    auto label = std::make_unique<TLabel>();
    TFontSpec font = PageFont(L"Segoe UI", 11, false, LabelFontColor);
    font.height = 15;  // the cell height of 11 points at 96 pixels per inch
    font.quality = PROOF_QUALITY;
    label->SetFont(font);
    label->SetCaption(ShownInstallName(key));
    // Clicking the name picks its installation, and clicking it again leaves none picked.
    label->OnClick = [button] { button->SetChecked(!button->Checked()); };
    label->SetParent(this);
    labelSizes.push_back({label->Width(), label->Height()});
    m_lstRadio.push_back(std::move(radio));
    m_lstLabel.push_back(std::move(label));
  }

  const TInstallRows rows = LayoutInstallRows(Width(), lblInstalado.Bottom(), labelSizes);
  for (size_t i = 0; i < rows.rows.size(); ++i) {
    const TInstallRow& row = rows.rows[i];
    m_lstRadio[i]->SetBounds(row.radio.left, row.radio.top, row.radio.width, row.radio.height);
    m_lstRadio[i]->SetColors(BackgroundColorAt(Form().pngBackground(), row.backgroundSample), LabelFontColor);
    m_lstLabel[i]->SetBounds(row.label.left, row.label.top, row.label.width, row.label.height);
  }
  if (rows.continueTop) btnInstall.SetTop(*rows.continueTop);
}

// With nothing picked the default installation is repaired; when there is none, nothing happens until
// the user picks one, rather than asking the engine to repair an installation that does not exist.
void TFrameSelectInstall::btnInstallClick() {
  std::wstring name;
  bool picked = false;
  for (size_t i = 0; i < m_lstRadio.size() && !picked; ++i) {
    if (m_lstRadio[i]->Checked()) {
      name = m_lstLabel[i]->Caption();
      picked = true;
    }
  }
  if (!picked && !ContainsKey(Form().OldInstalls(), ProductName)) return;
  Form().SetVisibleFrame(Page::Progress);
  PostTextToEngine(WM_SET_INSTALL_NAME, name);
  PostToEngine(WM_SET_UPDATE_ONLY);
  PostToEngine(WM_SETUP_DOWNLOADS);
}

}  // namespace sf
