// Lightweight controls that are not windows: images and labels (and, in GradientBitBtnU, the gradient
// button). A TGraphicPanel paints them in z-order into its one buffer and routes the mouse to them, the
// way the toolkit's graphic controls live inside their parent window.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/WinHandleU.h"
#include "controls/ControlGeometryU.h"
#include "controls/GradientColorsU.h"

namespace sf {

class TGraphicPanel;

// The plain colour of a colour reference: system-colour references are looked up, kColorDefault gives
// black, plain colours are returned as they are.
TColor ResolveColor(TColor color);
Gdiplus::Color ToGdiplusColor(TColor color);

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// The button of a WM_xBUTTONDOWN or WM_xBUTTONUP message.
TMouseButton MouseButtonOf(UINT msg);

struct TFontSpec {
  std::wstring name = L"Segoe UI";
  int size = 8;     // points
  int height = 0;   // pixels, when not 0 it wins over size: positive is the cell height, negative the em height
  bool bold = false;
  bool italic = false;
  bool underline = false;
  BYTE quality = DEFAULT_QUALITY;
  TColor color = clWindowText;

  // The font as GDI describes it at dpi (sizes are those of the 96-DPI design).
  LOGFONTW ToLogFont(int dpi = kDesignDpi) const;
  // The em height in pixels of the 96-DPI design.
  int EmHeight() const;
};

// A GDI+ font made from the LOGFONT of a TFontSpec at 96 DPI (a panel draws its controls at the screen's
// scale through a transformation), so that GDI's font substitution applies (a face
// GDI+ does not know by name still resolves), with the text measuring and drawing the controls share.
// Text is measured and drawn the same way: typographic (no padding), trailing blanks included.
class TTextFont {
 public:
  explicit TTextFont(const TFontSpec& spec);
  ~TTextFont();
  TTextFont(const TTextFont&) = delete;
  TTextFont& operator=(const TTextFont&) = delete;

  // The text on one line, or wrapped at wrapWidth when that is above 0; whole pixels, rounded up. Empty
  // text has no width but one line's height. At another dpi the text is laid out as a panel draws it
  // there (wrapWidth still in design pixels) and measured in screen pixels.
  TLayoutSize Measure(std::wstring_view text, int wrapWidth = 0, int dpi = kDesignDpi) const;
  // Draws text into box, clipped to it.
  void Draw(Gdiplus::Graphics& g, std::wstring_view text, const TLayoutRect& box, TColor color,
            TAlignment alignment, bool wordWrap) const;

 private:
  std::unique_ptr<Gdiplus::Font> m_pFont;
};

// The graphics settings every control paints with.
void PrepareGraphics(Gdiplus::Graphics& g);

// BeginPaint and EndPaint around a scope.
class TPaintScope {
 public:
  explicit TPaintScope(HWND hWnd) : m_hWnd(hWnd), m_hDc(::BeginPaint(hWnd, &m_ps)) {}
  ~TPaintScope() { ::EndPaint(m_hWnd, &m_ps); }
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  HDC Dc() const { return m_hDc; }
  const RECT& Area() const { return m_ps.rcPaint; }

 private:
  HWND m_hWnd;
  PAINTSTRUCT m_ps{};
  HDC m_hDc;
};

// A 32-bit top-down device-independent bitmap with a memory DC and a GDI+ view of the same pixels:
// controls draw into it with GDI+ or GDI, and it is copied to the screen in one BitBlt.
class TPaintBuffer {
 public:
  TPaintBuffer() = default;
  ~TPaintBuffer();
  TPaintBuffer(const TPaintBuffer&) = delete;
  TPaintBuffer& operator=(const TPaintBuffer&) = delete;

  // Keeps the current pixels when the size does not change. Throws TWinError on failure.
  void Resize(int width, int height);
  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }
  HDC Dc() const { return m_hDc.Get(); }
  Gdiplus::Bitmap& Bitmap() const { return *m_pView; }
  // Colour of one pixel (0x00BBGGRR); black outside the buffer. Flush GDI+ drawing before reading.
  TColor PixelAt(int x, int y) const;
  // Writes the pixels as a PNG file. Throws TError on failure.
  void SaveAsPng(const std::wstring& path) const;

 private:
  int m_nWidth = 0;
  int m_nHeight = 0;
  std::uint32_t* m_pBits = nullptr;
  TScopedGdiObject m_hBitmap;
  TScopedMemoryDc m_hDc;  // destroyed before the bitmap selected into it
  HGDIOBJ m_hOldBitmap = nullptr;
  std::unique_ptr<Gdiplus::Bitmap> m_pView;
};

// One piece of artwork, drawn for 96 DPI and, for scaled screens, at twice its size. Controls place it
// by its design size and draw the larger bitmap on any scaled screen.
class TPicture {
 public:
  // Makes the larger bitmap when a scaled screen first needs it: decoding it costs the first page time
  // on the unscaled screens that never draw it. Throws TError when it cannot.
  using TBitmapLoader = std::function<std::unique_ptr<Gdiplus::Bitmap>()>;

  explicit TPicture(std::unique_ptr<Gdiplus::Bitmap> design, std::unique_ptr<Gdiplus::Bitmap> doubled = nullptr);
  TPicture(std::unique_ptr<Gdiplus::Bitmap> design, TBitmapLoader loadDoubled);
  ~TPicture();
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  TLayoutSize Size() const;
  Gdiplus::Bitmap& Design() const { return *m_pDesign; }
  // A larger bitmap that cannot be made is logged once, and the design bitmap is drawn scaled instead.
  Gdiplus::Bitmap& ForDpi(int dpi) const;
  // A deep copy of both bitmaps (a larger one not made yet is made by the copy when it needs it). Throws
  // TError on failure.
  std::unique_ptr<TPicture> Copy() const;

 private:
  std::unique_ptr<Gdiplus::Bitmap> m_pDesign;
  mutable std::unique_ptr<Gdiplus::Bitmap> m_pDoubled;
  mutable TBitmapLoader m_LoadDoubled;
};

// What a control draws as text, and the box it must fit in (design coordinates on its panel): what a
// test measures to find a caption that would be cut off.
struct TDrawnText {
  std::wstring text;
  TFontSpec font;   // as drawn, after any fitting
  TLayoutRect box;
  bool wordWrap = false;
};

class TGraphicControl {
 public:
  using TNotifyEvent = std::function<void()>;
  // Coordinates are relative to the control.
  using TMouseEvent = std::function<void(TMouseButton button, int x, int y)>;

  TGraphicControl() = default;
  virtual ~TGraphicControl();
  TGraphicControl(const TGraphicControl&) = delete;
  TGraphicControl& operator=(const TGraphicControl&) = delete;

  // Puts the control on the panel, in front of the controls already there (nullptr takes it off).
  void SetParent(TGraphicPanel* parent);
  TGraphicPanel* Parent() const { return m_pParent; }
  void BringToFront();

  // An auto-sized control keeps its own size whatever width and height say.
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int left) { SetBounds(left, m_rcBounds.top, m_rcBounds.width, m_rcBounds.height); }
  void SetTop(int top) { SetBounds(m_rcBounds.left, top, m_rcBounds.width, m_rcBounds.height); }
  void SetWidth(int width) { SetBounds(m_rcBounds.left, m_rcBounds.top, width, m_rcBounds.height); }
  void SetHeight(int height) { SetBounds(m_rcBounds.left, m_rcBounds.top, m_rcBounds.width, height); }
  const TLayoutRect& BoundsRect() const { return m_rcBounds; }
  int Left() const { return m_rcBounds.left; }
  int Top() const { return m_rcBounds.top; }
  int Width() const { return m_rcBounds.width; }
  int Height() const { return m_rcBounds.height; }
  int Right() const { return m_rcBounds.Right(); }
  int Bottom() const { return m_rcBounds.Bottom(); }

  void SetVisible(bool visible);
  bool Visible() const { return m_bVisible; }
  // A disabled control lets the mouse through to the panel.
  void SetEnabled(bool enabled);
  bool Enabled() const { return m_bEnabled; }
  bool MouseInside() const { return m_bMouseInside; }

  // Asks the panel to repaint the control's area.
  void Invalidate();

  // The control's text as it draws it; none for a control without text.
  virtual std::optional<TDrawnText> DrawnText() { return std::nullopt; }
  // The DPI the control is drawn at: its panel's.
  int Dpi() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;

 protected:
  // Paints into the panel's buffer; the control's bounds are in panel coordinates and the clip is set
  // to them.
  virtual void Paint(Gdiplus::Graphics& g) = 0;

  // The size the control takes when asked for requested; auto-sized controls answer their content's.
  virtual TLayoutSize ConstrainedSize(TLayoutSize requested) const { return requested; }
  // The control is drawn at another DPI (it was put on a panel, or its panel's DPI changed): text sizes
  // are measured again there.
  virtual void DpiChanged() {}

  // Mouse notifications from the panel; the defaults raise the events.
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void MouseDown(TMouseButton button, int x, int y);
  virtual void MouseUp(TMouseButton button, int x, int y);
  // While a button is held the mouse stays with the control; inside tells whether it is over it now.
  virtual void MouseDrag(bool inside);
  // The press ended without a release (capture lost, control hidden).
  virtual void CancelPress() {}
  virtual void Click();

 private:
  friend class TGraphicPanel;

  TGraphicPanel* m_pParent = nullptr;
  TLayoutRect m_rcBounds;
  bool m_bVisible = true;
  bool m_bEnabled = true;
  bool m_bMouseInside = false;
};

// A picture drawn at a position. The picture belongs to whoever loaded it; the window keeps its pictures
// for as long as its pages exist.
class TImage : public TGraphicControl {
 public:
  void SetPicture(const TPicture* picture);
  const TPicture* Picture() const { return m_pPicture; }
  // Sizes the control to its picture, now and whenever the picture changes.
  void SetAutoSize(bool autoSize);
  void SetCenter(bool center);
  void SetProportional(bool proportional);
  void SetStretch(bool stretch);

 protected:
  void Paint(Gdiplus::Graphics& g) override;
  TLayoutSize ConstrainedSize(TLayoutSize requested) const override;

 private:
  const TPicture* m_pPicture = nullptr;
  bool m_bAutoSize = false;
  bool m_bCenter = false;
  bool m_bProportional = false;
  bool m_bStretch = false;
};

// Transparent text. With AutoSize (the default) the label takes the size of its text whenever text or
// font change; otherwise it keeps its size, aligns the text in it and, with WordWrap, wraps it into
// lines. A text too large for a fixed size is drawn with a smaller font (FitTextHeight); only what
// does not fit even at the smallest is cut off.
class TLabel : public TGraphicControl {
 public:
  TLabel();
  ~TLabel() override;

  void SetCaption(std::wstring caption);
  const std::wstring& Caption() const { return m_strCaption; }
  void SetFont(const TFontSpec& font);
  const TFontSpec& Font() const { return m_Font; }
  void SetFontColor(TColor color);
  void SetAutoSize(bool autoSize);
  bool AutoSize() const { return m_bAutoSize; }
  void SetAlignment(TAlignment alignment);
  void SetWordWrap(bool wordWrap);

  std::optional<TDrawnText> DrawnText() override;

 protected:
  void Paint(Gdiplus::Graphics& g) override;
  TLayoutSize ConstrainedSize(TLayoutSize requested) const override;
  void DpiChanged() override;

 private:
  void AdjustSize() { SetBounds(Left(), Top(), Width(), Height()); }
  const TTextFont& TextFont() const;
  // The font the caption is drawn with: the label's own, or a fitted smaller one in a fixed size.
  const TFontSpec& DrawnFont();

  std::wstring m_strCaption;
  TFontSpec m_Font;
  mutable std::unique_ptr<TTextFont> m_pTextFont;  // made when first needed
  std::optional<TFontSpec> m_FittedFont;            // for caption, font and size as they are
  std::unique_ptr<TTextFont> m_pFittedTextFont;
  TLayoutSize m_FittedFor;
  int m_nFittedDpi = 0;
  bool m_bAutoSize = true;
  bool m_bWordWrap = false;
  TAlignment m_Alignment = TAlignment::taLeftJustify;
};

}  // namespace sf
