#include "controls/GradientBitBtnU.h"

#include <algorithm>

#include "common/ErrorU.h"
#include "controls/GraphicPanelU.h"
#include "logging/LogU.h"

namespace sf {

namespace {

// Room kept free on each side of a caption, clear of the rounded corners.
constexpr int kCaptionMargin = 4;

// The button keeps these errors away from the application, so writing them down must not raise either.
void LogButtonError(const wchar_t* routine, const std::wstring& caption, const std::wstring& error) noexcept {
  try {
    AppendLog(std::wstring(routine) + L": " + caption + L": " + error);
  } catch (...) {
  }
}

void AddRoundedRect(Gdiplus::GraphicsPath& path, const Gdiplus::RectF& r, Gdiplus::REAL radius) {
  const Gdiplus::REAL d = std::min({radius * 2, r.Width, r.Height});
  if (d <= 0) {
    path.AddRectangle(r);
    return;
  }
  path.AddArc(r.X, r.Y, d, d, 180, 90);
  path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
  path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
  path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
  path.CloseFigure();
}

Gdiplus::RectF ToRectF(const TLayoutRect& r, Gdiplus::REAL inset = 0) {
  return Gdiplus::RectF(r.left + inset, r.top + inset, r.width - 2 * inset, r.height - 2 * inset);
}

// An outline as a filled ring between the box inset by inset and the box inset by inset + width: a
// filled edge lands on the same pixels everywhere, while where a stroked line lands depends on how
// the platform's GDI+ places pixel centres.
void FillOutline(Gdiplus::Graphics& g, const TLayoutRect& r, TColor color, int width, int inset, int radius) {
  if (width <= 0 || r.width <= 2 * (inset + width) || r.height <= 2 * (inset + width)) return;
  Gdiplus::GraphicsPath ring(Gdiplus::FillModeAlternate);
  const auto add = [&](int by, int cornerRadius) {
    const Gdiplus::RectF box = ToRectF(r, static_cast<Gdiplus::REAL>(by));
    if (cornerRadius >= 1) {
      AddRoundedRect(ring, box, static_cast<Gdiplus::REAL>(cornerRadius));
    } else {
      ring.AddRectangle(box);
    }
  };
  add(inset, radius);
  add(inset + width, radius - width);
  const Gdiplus::SolidBrush brush(ToGdiplusColor(color));
  g.FillPath(&brush, &ring);
}

}  // namespace

TCustomGradientBitBtn::TCustomGradientBitBtn() = default;
TCustomGradientBitBtn::~TCustomGradientBitBtn() = default;

void TCustomGradientBitBtn::SetCaption(std::wstring caption) {
  m_strCaption = std::move(caption);
  m_FittedFont.reset();
  Invalidate();
}

void TCustomGradientBitBtn::SetFont(const TFontSpec& font) {
  m_Font = font;
  m_FittedFont.reset();
  Invalidate();
}

void TCustomGradientBitBtn::SetColor(TColor color) {
  m_clColor = color;
  Invalidate();
}

void TCustomGradientBitBtn::SetColor2(TColor color) {
  m_clColor2 = color;
  Invalidate();
}

void TCustomGradientBitBtn::SetGradientDirection(TQuillonGradientDirection direction) {
  m_GradientDirection = direction;
  Invalidate();
}

void TCustomGradientBitBtn::SetColorBorder(TColor color) {
  m_clBorder = color;
  Invalidate();
}

void TCustomGradientBitBtn::SetDrawBorders(bool drawBorders) {
  m_bDrawBorders = drawBorders;
  Invalidate();
}

void TCustomGradientBitBtn::SetRadius(int radius) {
  m_nRadius = radius;
  Invalidate();
}

void TCustomGradientBitBtn::SetSoftHighlight(bool soft) {
  m_bSoftHighlight = soft;
  Invalidate();
}

void TCustomGradientBitBtn::SetClear(bool clear) {
  m_bClear = clear;
  Invalidate();
}

void TCustomGradientBitBtn::SetForceFontColor(bool force) {
  m_bForceFontColor = force;
  Invalidate();
}

void TCustomGradientBitBtn::SetActive(bool active) {
  m_bActive = active;
  Invalidate();
}

void TCustomGradientBitBtn::SetNeedHighlight(bool needHighlight) {
  m_bNeedHighlight = needHighlight;
  Invalidate();
}

void TCustomGradientBitBtn::SetCanClick(bool canClick) {
  m_bCanClick = canClick;
  Invalidate();
}

void TCustomGradientBitBtn::SetDrawBackground(bool drawBackground) {
  m_bDrawBackground = drawBackground;
  Invalidate();
}

void TCustomGradientBitBtn::SetDisabledColor(TColor color) {
  m_clDisabled = color;
  Invalidate();
}

void TCustomGradientBitBtn::SetTextVertShift(int shift) {
  m_nTextVertShift = shift;
  Invalidate();
}

void TCustomGradientBitBtn::SetSpacing(int spacing) {
  m_nSpacing = spacing;
  Invalidate();
}

void TCustomGradientBitBtn::Click() {
  try {
    TGraphicControl::Click();
  } catch (const std::exception& e) {
    LogButtonError(L"TGradientBitBtn.Click", m_strCaption, ExceptionMessage(e));
  } catch (...) {
    LogButtonError(L"TGradientBitBtn.Click", m_strCaption, L"unknown error");
  }
}

void TCustomGradientBitBtn::MouseDown(TMouseButton button, int x, int y) {
  if (button == TMouseButton::mbLeft && Enabled()) {
    m_bPressing = true;
    m_bDown = true;
    Invalidate();
  }
  TGraphicControl::MouseDown(button, x, y);
}

void TCustomGradientBitBtn::MouseUp(TMouseButton button, int x, int y) {
  if (button == TMouseButton::mbLeft) {
    m_bPressing = false;
    m_bDown = false;
    Invalidate();
  }
  TGraphicControl::MouseUp(button, x, y);
}

void TCustomGradientBitBtn::MouseDrag(bool inside) {
  // Dragged off while held, the button comes up; back over it, it goes down again.
  if (m_bPressing && m_bDown != inside) {
    m_bDown = inside;
    Invalidate();
  }
}

void TCustomGradientBitBtn::CancelPress() {
  m_bPressing = false;
  m_bDown = false;
  Invalidate();
}

TLayoutRect TCustomGradientBitBtn::CaptionBox() const {
  const TLayoutRect r = BoundsRect();
  return {r.left + kCaptionMargin, r.top, r.width - 2 * kCaptionMargin, r.height};
}

void TCustomGradientBitBtn::DpiChanged() {
  m_FittedFont.reset();
  Invalidate();
}

const TFontSpec& TCustomGradientBitBtn::DrawnFont() {
  // The caption's room as the screen shows it, against the caption measured there.
  const int dpi = Dpi();
  const TLayoutRect box = CoveringRect(CaptionBox(), dpi);
  if (m_FittedFont && m_nFittedForWidth == box.width) return *m_FittedFont;
  const auto withHeight = [this](int height) {
    TFontSpec font = m_Font;
    if (height != m_Font.EmHeight()) font.height = -height;
    return font;
  };
  const TFittedHeight fitted = FitTextHeight(m_Font.EmHeight(), {box.width, box.height}, false, [&](int height) {
    return TTextFont(withHeight(height)).Measure(m_strCaption, 0, dpi);
  });
  m_FittedFont = withHeight(fitted.height);
  m_nFittedForWidth = box.width;
  m_pTextFont.reset();
  m_CaptionSize.reset();
  return *m_FittedFont;
}

const TTextFont& TCustomGradientBitBtn::TextFont() {
  const TFontSpec& font = DrawnFont();
  if (!m_pTextFont) m_pTextFont = std::make_unique<TTextFont>(font);
  return *m_pTextFont;
}

std::optional<TDrawnText> TCustomGradientBitBtn::DrawnText() {
  return TDrawnText{m_strCaption, DrawnFont(), CaptionBox(), false};
}

TLayoutSize TCustomGradientBitBtn::CaptionSize() {
  const TTextFont& font = TextFont();  // first: fitting the font forgets an older size
  if (!m_CaptionSize) m_CaptionSize = font.Measure(m_strCaption);
  return *m_CaptionSize;
}

void TCustomGradientBitBtn::Paint(Gdiplus::Graphics& g) {
  // A failure leaves the button partly painted; it must not break the page's painting.
  try {
    PaintButton(g);
  } catch (const std::exception& e) {
    if (!m_bPaintFailureLogged) LogButtonError(L"TGradientBitBtn.Paint", m_strCaption, ExceptionMessage(e));
    m_bPaintFailureLogged = true;
  }
}

void TCustomGradientBitBtn::PaintButton(Gdiplus::Graphics& g) {
  const TLayoutRect r = BoundsRect();
  TButtonLookInput in;
  in.color = m_clColor;
  in.color2 = m_clColor2;
  in.fontColor = m_Font.color;
  in.disabledColor = m_clDisabled;
  in.enabled = Enabled();
  in.pressed = m_bDown;
  in.mouseInside = MouseInside();
  in.clear = m_bClear;
  in.softHighlight = m_bSoftHighlight;
  in.needHighlight = m_bNeedHighlight;
  in.canClick = m_bCanClick;
  in.active = m_bActive;
  in.forceFontColor = m_bForceFontColor;
  if (m_bClear && !in.mouseInside && Parent()) {
    in.backdropAtCentre = Parent()->BackdropAt(r.left + r.width / 2, r.top + r.height / 2);
  }
  const TButtonLook look = ComputeButtonLook(in, &ResolveColor);

  if (m_bDrawBackground) {
    if (!look.outlineOnly) {
      Gdiplus::GraphicsPath shape;
      if (m_nRadius >= 1) {
        AddRoundedRect(shape, ToRectF(r), static_cast<Gdiplus::REAL>(m_nRadius));
      } else {
        shape.AddRectangle(ToRectF(r));
      }
      if (look.colorA == look.colorB) {
        const Gdiplus::SolidBrush brush(ToGdiplusColor(look.fill));
        g.FillPath(&brush, &shape);
      } else {
        const Gdiplus::PointF from(static_cast<Gdiplus::REAL>(r.left), static_cast<Gdiplus::REAL>(r.top));
        Gdiplus::PointF to = from;
        if (m_GradientDirection != TQuillonGradientDirection::gdVertical) to.X += static_cast<Gdiplus::REAL>(r.width);
        if (m_GradientDirection != TQuillonGradientDirection::gdHorizontal) to.Y += static_cast<Gdiplus::REAL>(r.height);
        Gdiplus::LinearGradientBrush brush(from, to, ToGdiplusColor(look.colorA), ToGdiplusColor(look.colorB));
        // Without flipping, the colour would restart at the far edge.
        brush.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
        g.FillPath(&brush, &shape);
      }
    } else if (m_nRadius >= 1) {
      FillOutline(g, r, look.fill, 1, 0, m_nRadius);
      if (m_nSpacing >= 6) FillOutline(g, r, look.fill, m_nSpacing - 5, 1, 0);
    } else {
      FillOutline(g, r, look.fill, m_nSpacing - 3, 0, 0);
    }
  }

  if (!m_strCaption.empty()) {
    const TLayoutSize text = CaptionSize();
    const TLayoutPoint at = CaptionOrigin({r.width, r.height}, text, m_bDown, m_nTextVertShift);
    // One pixel of slack: the box must not cut the last glyph's antialiased edge.
    TextFont().Draw(g, m_strCaption, {r.left + at.x, r.top + at.y, text.width + 1, text.height + 1}, look.caption,
                    TAlignment::taLeftJustify, false);
  }

  if (m_bDrawBorders) FillOutline(g, r, m_clBorder, 1, 0, m_nRadius);
}

}  // namespace sf
