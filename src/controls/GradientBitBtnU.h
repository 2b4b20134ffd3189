// The gradient button of every wizard page: a flat, focus-less button that paints its own rounded
// background, picks a readable caption colour by itself, changes colour under the mouse and while
// pressed, and keeps the errors of its click handler to itself. A caption wider than the button (less a
// margin on each side) is drawn with a smaller font (FitTextHeight).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/ConstantsU.h"
#include "controls/GradientColorsU.h"
#include "controls/GraphicControlsU.h"

namespace sf {

class TCustomGradientBitBtn : public TGraphicControl {
 public:
  TCustomGradientBitBtn();
  ~TCustomGradientBitBtn() override;

  void SetCaption(std::wstring caption);
  const std::wstring& Caption() const { return m_strCaption; }
  void SetFont(const TFontSpec& font);
  const TFontSpec& Font() const { return m_Font; }

  // Two equal colours give a plain fill; different ones a gradient in GradientDirection.
  void SetColor(TColor color);
  TColor Color() const { return m_clColor; }
  void SetColor2(TColor color);
  TColor Color2() const { return m_clColor2; }
  void SetGradientDirection(TQuillonGradientDirection direction);
  TQuillonGradientDirection GradientDirection() const { return m_GradientDirection; }
  void SetColorBorder(TColor color);
  void SetDrawBorders(bool drawBorders);
  // Corner radius in pixels; below 1 the corners are square.
  void SetRadius(int radius);
  int Radius() const { return m_nRadius; }
  // A weaker hover highlight (+5 instead of +20 per channel).
  void SetSoftHighlight(bool soft);
  // Only an outline while the mouse is outside; the caption then follows what shows through.
  void SetClear(bool clear);
  bool Clear() const { return m_bClear; }
  // The caption in the font's own colour instead of the automatic contrast colour.
  void SetForceFontColor(bool force);
  void SetActive(bool active);
  void SetNeedHighlight(bool needHighlight);
  void SetCanClick(bool canClick);
  void SetDrawBackground(bool drawBackground);
  // Fill of a disabled button; kColorDefault derives it from the fill.
  void SetDisabledColor(TColor color);
  void SetTextVertShift(int shift);
  // Outline widths of a Clear button derive from it.
  void SetSpacing(int spacing);

  // Pressed: the left button went down on it and the mouse is still over it.
  bool Down() const { return m_bDown; }

  // Raises OnClick, as a mouse click does. An error the handler raises is written to the run log and
  // goes no further: it reaches neither the caller nor the error report.
  void Click() override;

  std::optional<TDrawnText> DrawnText() override;

 protected:
  void Paint(Gdiplus::Graphics& g) override;
  void MouseDown(TMouseButton button, int x, int y) override;
  void MouseUp(TMouseButton button, int x, int y) override;
  void MouseDrag(bool inside) override;
  void CancelPress() override;
  void DpiChanged() override;

 private:
  void PaintButton(Gdiplus::Graphics& g);
  // The room the caption may take: the button less a margin on each side.
  TLayoutRect CaptionBox() const;
  const TFontSpec& DrawnFont();
  const TTextFont& TextFont();
  TLayoutSize CaptionSize();

  std::wstring m_strCaption;
  TFontSpec m_Font;
  std::optional<TFontSpec> m_FittedFont;  // for caption, font, width and DPI as they are
  int m_nFittedForWidth = 0;
  std::unique_ptr<TTextFont> m_pTextFont;    // of the fitted font
  std::optional<TLayoutSize> m_CaptionSize;  // measured when first painted after a change
  TColor m_clColor = clBtnFace;
  TColor m_clColor2 = clBtnFace;
  TColor m_clBorder = clBtnFace;
  TColor m_clDisabled = kColorDefault;
  TQuillonGradientDirection m_GradientDirection = TQuillonGradientDirection::gdVertical;
  int m_nRadius = 4;
  int m_nTextVertShift = 0;
  int m_nSpacing = 4;
  bool m_bDrawBorders = false;
  bool m_bSoftHighlight = false;
  bool m_bClear = false;
  bool m_bForceFontColor = false;
  bool m_bActive = true;
  bool m_bNeedHighlight = true;
  bool m_bCanClick = true;
  bool m_bDrawBackground = true;
  bool m_bDown = false;
  bool m_bPressing = false;  // the left button went down on the button and is still held
  bool m_bPaintFailureLogged = false;
};

// The toolkit's design-time subclass adds nothing at run time; the pages use this name.
using TGradientBitBtn = TCustomGradientBitBtn;

}  // namespace sf
