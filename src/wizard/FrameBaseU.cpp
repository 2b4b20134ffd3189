#include "wizard/FrameBaseU.h"

#include <gdiplus.h>

#include "common/ConstantsU.h"
#include "engine/InstallerThreadU.h"
#include "engine/MessagePayloadU.h"
#include "wizard/MainFormInstall.h"
#include "wizard/PageLayoutU.h"

namespace sf {

namespace {
constexpr TColor kButtonDesignColor = 0xF3A01B;  // #1BA0F3, replaced by the theme when a page is built
}  // namespace

TFontSpec PageFont(const wchar_t* face, int points, bool bold, TColor color) {
  TFontSpec font;
  font.name = face;
  font.size = points;
  font.bold = bold;
  font.color = color;
  return font;
}

void ApplyButtonDesign(TGradientBitBtn& button) {
  TFontSpec font = PageFont(L"Segoe UI Semibold", 9, false, clWindowText);
  font.quality = CLEARTYPE_NATURAL_QUALITY;
  button.SetFont(font);
  button.SetSpacing(6);
  button.SetRadius(4);
  button.SetDrawBorders(false);
  button.SetSoftHighlight(false);
  button.SetColor(kButtonDesignColor);
  button.SetColor2(kButtonDesignColor);
  button.SetColorBorder(clBtnFace);
}

void ApplyButtonTheme(TGradientBitBtn& button) {
  button.SetColor(ButtonColor);
  button.SetColor2(ButtonColor2);
  button.SetGradientDirection(ButtonGradientDirection);
  button.SetForceFontColor(ButtonForceFontColor);
  button.SetClear(ButtonClear);
  TFontSpec font = button.Font();
  font.color = ButtonFontColor;
  font.bold = true;
  button.SetFont(font);
}

TFrameBase::TFrameBase(TSetupForm& form, const wchar_t* name)
    : TGraphicPanel(form.Handle(), 0, 0, kPageWidth, kPageHeight), m_Form(form) {
  ::SetWindowTextW(Handle(), name);

  imgBackground.SetBounds(0, 0, kPageWidth, kPageHeight);
  imgBackground.SetCenter(true);
  imgBackground.SetProportional(true);
  imgBackground.SetPicture(form.pngBackground());
  imgBackground.OnMouseDown = [this](TMouseButton button, int, int) { OnMouseDownDrag(button); };
  imgBackground.SetParent(this);
  // Where no control is, the panel itself answers the same way.
  OnMouseDown = [this](TMouseButton button, int, int) { OnMouseDownDrag(button); };

  imgClose.SetBounds(568, 2, 30, 30);
  imgClose.SetCenter(true);
  imgClose.SetProportional(true);
  imgCloseMouseLeave();
  imgClose.OnClick = [this] { imgCloseClick(); };
  imgClose.OnMouseDown = [this](TMouseButton, int, int) { imgCloseMouseDown(); };
  imgClose.OnMouseEnter = [this] { imgCloseMouseEnter(); };
  imgClose.OnMouseLeave = [this] { imgCloseMouseLeave(); };
  imgClose.SetParent(this);
}

TFrameBase::~TFrameBase() = default;

TInstallerThread& TFrameBase::Engine() const { return m_Form.InstallerThread(); }

void TFrameBase::PostToEngine(UINT msg) const { Engine().Post(msg); }

void TFrameBase::PostTextToEngine(UINT msg, const std::wstring& text) const {
  PostText(TMessageTarget::Thread(Engine().ThreadId()), msg, text);
}

void TFrameBase::OnMouseDownDrag(TMouseButton button) {
  if (button == TMouseButton::mbLeft) BeginWindowDrag(Handle());
}

void TFrameBase::BindDrag(TGraphicControl& control) {
  control.OnMouseDown = [this](TMouseButton button, int, int) { OnMouseDownDrag(button); };
}

void TFrameBase::AttachControls(std::initializer_list<TGraphicControl*> controls) {
  for (TGraphicControl* control : controls) control->SetParent(this);
}

void TFrameBase::BringControlsToFront(std::initializer_list<TGraphicControl*> controls) {
  for (TGraphicControl* control : controls) control->BringToFront();
}

void TFrameBase::DesignLines(TImage& lines, const TLayoutRect& bounds) {
  lines.SetBounds(bounds.left, bounds.top, bounds.width, bounds.height);
  lines.SetCenter(true);
  lines.SetProportional(true);
  lines.SetPicture(m_Form.pngLines());
  BindDrag(lines);
}

void TFrameBase::DesignLogo(TImage& logo, const TPicture* picture) {
  logo.SetBounds(235, 40, 0, 0);
  logo.SetAutoSize(true);
  logo.SetCenter(true);
  logo.SetProportional(true);
  logo.SetPicture(picture);
  BindDrag(logo);
}

void TFrameBase::DesignCenteredLabel(TLabel& label, const TLayoutRect& bounds, const TFontSpec& font, bool wordWrap,
                                     bool drag) {
  label.SetAutoSize(false);
  label.SetBounds(bounds.left, bounds.top, bounds.width, bounds.height);
  label.SetAlignment(TAlignment::taCenter);
  label.SetWordWrap(wordWrap);
  label.SetFont(font);
  if (drag) BindDrag(label);
}

void TFrameBase::PlaceLogo(TImage& logo) {
  const TLayoutPoint at = sf::PlaceLogo(Width(), {logo.Width(), logo.Height()});
  logo.SetBounds(at.x, at.y, logo.Width(), logo.Height());
}

void TFrameBase::ShowCloseImageWhenInteractive() {
  imgClose.SetVisible(m_Form.CmdInstall() == TCmdInstallType::citNone);
}

void TFrameBase::BindLinkHover(TLabel& link) {
  const auto show = [this, &link](bool over) {
    TFontSpec font = link.Font();
    font.bold = true;
    font.underline = over;
    link.SetFont(font);
    SetCursor(over ? IDC_HAND : IDC_ARROW);
  };
  link.OnMouseEnter = [show] { show(true); };
  link.OnMouseLeave = [show] { show(false); };
}

// Through the window's close rules, which may ask and may refuse.
void TFrameBase::imgCloseClick() { m_Form.Close(); }

void TFrameBase::imgCloseMouseDown() { imgClose.SetPicture(m_Form.pngCloseClick()); }

void TFrameBase::imgCloseMouseEnter() { imgClose.SetPicture(m_Form.pngCloseOver()); }

void TFrameBase::imgCloseMouseLeave() { imgClose.SetPicture(m_Form.pngClose()); }

}  // namespace sf
