#include "controls/GraphicControlsU.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "common/ErrorU.h"
#include "common/WinErrorU.h"
#include "controls/GraphicPanelU.h"
#include "logging/LogU.h"

namespace sf {

namespace {

// The screen's device context for the length of a scope.
class TScreenDc {
 public:
  TScreenDc() : m_hDc(::GetDC(nullptr)) {}
  ~TScreenDc() {
    if (m_hDc) ::ReleaseDC(nullptr, m_hDc);
  }
  TScreenDc(const TScreenDc&) = delete;
  TScreenDc& operator=(const TScreenDc&) = delete;
  HDC Get() const { return m_hDc; }

 private:
  HDC m_hDc;
};

// Whole pixels, rounded up; the small tolerance keeps 50.00001 from becoming 51.
int CeilPixels(Gdiplus::REAL value) { return static_cast<int>(std::ceil(value - 0.01f)); }

// Typographic (no padding), trailing blanks included, clipped to the layout box.
void SetUpFormat(Gdiplus::StringFormat& format, TAlignment alignment, bool wordWrap) {
  INT flags = Gdiplus::StringFormatFlagsMeasureTrailingSpaces;
  if (!wordWrap) flags |= Gdiplus::StringFormatFlagsNoWrap;
  format.SetFormatFlags(flags);
  switch (alignment) {
    case TAlignment::taLeftJustify:
      format.SetAlignment(Gdiplus::StringAlignmentNear);
      break;
    case TAlignment::taCenter:
      format.SetAlignment(Gdiplus::StringAlignmentCenter);
      break;
    case TAlignment::taRightJustify:
      format.SetAlignment(Gdiplus::StringAlignmentFar);
      break;
  }
}

// A line break written CR LF is one break; Wine's GDI+ would draw the CR as a missing-glyph box.
std::wstring WithPlainLineBreaks(std::wstring_view text) {
  std::wstring out(text);
  for (size_t at = out.find(L"\r\n"); at != std::wstring::npos; at = out.find(L"\r\n", at)) out.erase(at, 1);
  return out;
}

CLSID PngEncoderClsid() {
  UINT count = 0;
  UINT bytes = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) {
    throw TError(L"GDI+ has no image encoders");
  }
  std::vector<std::byte> storage(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.data());
  if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) throw TError(L"GDI+ image encoders");
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring_view(codecs[i].MimeType) == L"image/png") return codecs[i].Clsid;
  }
  throw TError(L"GDI+ has no PNG encoder");
}

}  // namespace

TColor ResolveColor(TColor color) {
  if (color == kColorDefault) return static_cast<TColor>(::GetSysColor(COLOR_WINDOWTEXT));
  if (IsSystemColorRef(color)) return static_cast<TColor>(::GetSysColor(SystemColorIndex(color)));
  return color & 0xFFFFFF;
}

Gdiplus::Color ToGdiplusColor(TColor color) {
  const TColor c = ResolveColor(color);
  return Gdiplus::Color(255, static_cast<BYTE>(RedOf(c)), static_cast<BYTE>(GreenOf(c)),
                        static_cast<BYTE>(BlueOf(c)));
}

TMouseButton MouseButtonOf(UINT msg) {
  switch (msg) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return TMouseButton::mbRight;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      return TMouseButton::mbMiddle;
  }
  return TMouseButton::mbLeft;
}

LOGFONTW TFontSpec::ToLogFont(int dpi) const {
  LOGFONTW lf{};
  lf.lfHeight = height != 0 ? ScaleLength(height, dpi) : -::MulDiv(size, dpi, 72);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = italic ? TRUE : FALSE;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = quality;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  name.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return lf;
}

int TFontSpec::EmHeight() const {
  // A positive height is a cell height, a little more than the em; near enough to start fitting from.
  return height != 0 ? (height < 0 ? -height : height) : ::MulDiv(size, kDesignDpi, 72);
}

TTextFont::TTextFont(const TFontSpec& spec) {
  const LOGFONTW lf = spec.ToLogFont();
  TScreenDc screen;
  m_pFont = std::make_unique<Gdiplus::Font>(screen.Get(), &lf);
  if (m_pFont->GetLastStatus() != Gdiplus::Ok || !m_pFont->IsAvailable()) {
    throw TError(L"GDI+ font " + spec.name + L": status " + std::to_wstring(m_pFont->GetLastStatus()));
  }
}

TTextFont::~TTextFont() = default;

TLayoutSize TTextFont::Measure(std::wstring_view text, int wrapWidth, int dpi) const {
  // Measured on a bitmap, as the controls are drawn on one, with the panel's scaling.
  Gdiplus::Bitmap scratch(1, 1, PixelFormat32bppRGB);
  Gdiplus::Graphics g(&scratch);
  PrepareGraphics(g);
  const Gdiplus::REAL scale = static_cast<Gdiplus::REAL>(dpi) / kDesignDpi;
  if (dpi != kDesignDpi) g.ScaleTransform(scale, scale);
  const int lineHeight = CeilPixels(m_pFont->GetHeight(&g) * scale);
  if (text.empty()) return {0, lineHeight};
  Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
  SetUpFormat(format, TAlignment::taLeftJustify, wrapWidth > 0);
  const Gdiplus::RectF layout(0, 0, wrapWidth > 0 ? static_cast<Gdiplus::REAL>(wrapWidth) : 1.0e6f, 1.0e6f);
  Gdiplus::RectF bounds;
  const std::wstring plain = WithPlainLineBreaks(text);
  g.MeasureString(plain.c_str(), static_cast<INT>(plain.size()), m_pFont.get(), layout, &format, &bounds);
  return {CeilPixels(bounds.Width * scale), std::max(lineHeight, CeilPixels(bounds.Height * scale))};
}

void TTextFont::Draw(Gdiplus::Graphics& g, std::wstring_view text, const TLayoutRect& box, TColor color,
                     TAlignment alignment, bool wordWrap) const {
  if (text.empty() || box.width <= 0 || box.height <= 0) return;
  Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
  SetUpFormat(format, alignment, wordWrap);
  const Gdiplus::SolidBrush brush(ToGdiplusColor(color));
  const Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(box.left), static_cast<Gdiplus::REAL>(box.top),
                              static_cast<Gdiplus::REAL>(box.width), static_cast<Gdiplus::REAL>(box.height));
  const std::wstring plain = WithPlainLineBreaks(text);
  g.DrawString(plain.c_str(), static_cast<INT>(plain.size()), m_pFont.get(), layout, &format, &brush);
}

void PrepareGraphics(Gdiplus::Graphics& g) {
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  // Grid fitting would make drawn text wider than the typographic measure the layout relies on.
  g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
  g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
}

// --- TPaintBuffer ---------------------------------------------------------------------------------------

TPaintBuffer::~TPaintBuffer() {
  m_pView.reset();
  if (m_hDc && m_hOldBitmap) ::SelectObject(m_hDc.Get(), m_hOldBitmap);
}

void TPaintBuffer::Resize(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (m_hDc && width == m_nWidth && height == m_nHeight) return;

  m_pView.reset();
  if (m_hDc && m_hOldBitmap) ::SelectObject(m_hDc.Get(), m_hOldBitmap);
  m_hDc.Reset();
  m_hBitmap.Reset();
  m_hOldBitmap = nullptr;
  m_pBits = nullptr;
  m_nWidth = m_nHeight = 0;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  m_hBitmap.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!m_hBitmap || !bits) throw TWinError(L"CreateDIBSection");
  m_hDc.Reset(::CreateCompatibleDC(nullptr));
  if (!m_hDc) throw TWinError(L"CreateCompatibleDC");
  m_hOldBitmap = ::SelectObject(m_hDc.Get(), m_hBitmap.Get());
  m_pBits = static_cast<std::uint32_t*>(bits);
  m_nWidth = width;
  m_nHeight = height;
  m_pView = std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppRGB,
                                              static_cast<BYTE*>(bits));
  if (m_pView->GetLastStatus() != Gdiplus::Ok) throw TError(L"GDI+ view of the paint buffer");
}

TColor TPaintBuffer::PixelAt(int x, int y) const {
  if (!m_pBits || x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight) return clBlack;
  ::GdiFlush();  // GDI may still hold drawing calls for these pixels in its batch
  const std::uint32_t bgra = m_pBits[static_cast<size_t>(y) * m_nWidth + x];
  return MakeColor(static_cast<int>((bgra >> 16) & 0xFF), static_cast<int>((bgra >> 8) & 0xFF),
                   static_cast<int>(bgra & 0xFF));
}

void TPaintBuffer::SaveAsPng(const std::wstring& path) const {
  if (!m_pView) throw TError(L"SaveAsPng: empty buffer");
  ::GdiFlush();
  const CLSID png = PngEncoderClsid();
  if (m_pView->Save(path.c_str(), &png, nullptr) != Gdiplus::Ok) throw TError(L"SaveAsPng " + path);
}

// --- TPicture -------------------------------------------------------------------------------------------

TPicture::TPicture(std::unique_ptr<Gdiplus::Bitmap> design, std::unique_ptr<Gdiplus::Bitmap> doubled)
    : m_pDesign(std::move(design)), m_pDoubled(std::move(doubled)) {
  if (!m_pDesign) throw TError(L"TPicture without a picture");
}

TPicture::TPicture(std::unique_ptr<Gdiplus::Bitmap> design, TBitmapLoader loadDoubled)
    : TPicture(std::move(design)) {
  m_LoadDoubled = std::move(loadDoubled);
}

TPicture::~TPicture() = default;

TLayoutSize TPicture::Size() const {
  return {static_cast<int>(m_pDesign->GetWidth()), static_cast<int>(m_pDesign->GetHeight())};
}

Gdiplus::Bitmap& TPicture::ForDpi(int dpi) const {
  if (dpi <= kDesignDpi) return *m_pDesign;
  if (m_LoadDoubled) {
    // Asked once: a picture that failed stays drawn from its design bitmap.
    const TBitmapLoader load = std::exchange(m_LoadDoubled, nullptr);
    try {
      m_pDoubled = load();
    } catch (const std::exception& e) {
      AppendLog(L"TPicture: " + ExceptionMessage(e) + L"; drawn from its 96-DPI picture");
    }
  }
  return m_pDoubled ? *m_pDoubled : *m_pDesign;
}

namespace {
std::unique_ptr<Gdiplus::Bitmap> CopyBitmap(Gdiplus::Bitmap* bitmap) {
  if (!bitmap) return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> copy(bitmap->Clone(0, 0, static_cast<INT>(bitmap->GetWidth()),
                                                      static_cast<INT>(bitmap->GetHeight()),
                                                      bitmap->GetPixelFormat()));
  if (!copy || copy->GetLastStatus() != Gdiplus::Ok) throw TError(L"copy of a picture");
  return copy;
}
}  // namespace

std::unique_ptr<TPicture> TPicture::Copy() const {
  if (m_LoadDoubled) return std::make_unique<TPicture>(CopyBitmap(m_pDesign.get()), m_LoadDoubled);
  return std::make_unique<TPicture>(CopyBitmap(m_pDesign.get()), CopyBitmap(m_pDoubled.get()));
}

// --- TGraphicControl ------------------------------------------------------------------------------------

TGraphicControl::~TGraphicControl() {
  if (m_pParent) m_pParent->Detach(this);
}

void TGraphicControl::SetParent(TGraphicPanel* parent) {
  if (parent == m_pParent) return;
  if (m_pParent) m_pParent->Detach(this);
  m_pParent = parent;
  if (m_pParent) m_pParent->Attach(this);
  DpiChanged();
}

int TGraphicControl::Dpi() const { return m_pParent ? m_pParent->Dpi() : kDesignDpi; }

void TGraphicControl::BringToFront() {
  if (m_pParent) m_pParent->MoveToFront(this);
}

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
  const TLayoutSize size = ConstrainedSize({std::max(width, 0), std::max(height, 0)});
  const TLayoutRect bounds{left, top, size.width, size.height};
  if (bounds == m_rcBounds) return;
  Invalidate();
  m_rcBounds = bounds;
  Invalidate();
  if (m_pParent) m_pParent->ControlChanged(this);
}

void TGraphicControl::SetVisible(bool visible) {
  if (visible == m_bVisible) return;
  m_bVisible = visible;
  if (!m_pParent) return;
  m_pParent->InvalidateArea(m_rcBounds);
  m_pParent->ControlChanged(this);
}

void TGraphicControl::SetEnabled(bool enabled) {
  if (enabled == m_bEnabled) return;
  m_bEnabled = enabled;
  Invalidate();
  if (m_pParent) m_pParent->ControlChanged(this);
}

void TGraphicControl::Invalidate() {
  if (m_pParent && m_bVisible) m_pParent->InvalidateArea(m_rcBounds);
}

void TGraphicControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter();
}

void TGraphicControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave();
}

void TGraphicControl::MouseDown(TMouseButton button, int x, int y) {
  if (OnMouseDown) OnMouseDown(button, x, y);
}

void TGraphicControl::MouseUp(TMouseButton button, int x, int y) {
  if (OnMouseUp) OnMouseUp(button, x, y);
}

void TGraphicControl::MouseDrag(bool) {}

void TGraphicControl::Click() {
  if (OnClick) OnClick();
}

// --- TImage ---------------------------------------------------------------------------------------------

void TImage::SetPicture(const TPicture* picture) {
  m_pPicture = picture;
  SetBounds(Left(), Top(), Width(), Height());
  Invalidate();
}

void TImage::SetAutoSize(bool autoSize) {
  m_bAutoSize = autoSize;
  SetBounds(Left(), Top(), Width(), Height());
}

void TImage::SetCenter(bool center) {
  m_bCenter = center;
  Invalidate();
}

void TImage::SetProportional(bool proportional) {
  m_bProportional = proportional;
  Invalidate();
}

void TImage::SetStretch(bool stretch) {
  m_bStretch = stretch;
  Invalidate();
}

TLayoutSize TImage::ConstrainedSize(TLayoutSize requested) const {
  if (!m_bAutoSize || !m_pPicture) return requested;
  return m_pPicture->Size();
}

void TImage::Paint(Gdiplus::Graphics& g) {
  if (!m_pPicture) return;
  const int dpi = Dpi();
  Gdiplus::Bitmap& bitmap = m_pPicture->ForDpi(dpi);
  const TLayoutRect at = FitPicture(BoundsRect(), m_pPicture->Size(), m_bCenter, m_bProportional, m_bStretch);
  const TLayoutRect onScreen = ScaleRect(at, dpi);
  const int width = static_cast<int>(bitmap.GetWidth());
  const int height = static_cast<int>(bitmap.GetHeight());
  // A bitmap shown at its own size is copied pixel for pixel; only a scaled one is filtered.
  const Gdiplus::InterpolationMode mode = g.GetInterpolationMode();
  if (onScreen.width == width && onScreen.height == height) {
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
  }
  g.DrawImage(&bitmap, Gdiplus::Rect(at.left, at.top, at.width, at.height), 0, 0, width, height, Gdiplus::UnitPixel);
  g.SetInterpolationMode(mode);
}

// --- TLabel ---------------------------------------------------------------------------------------------

TLabel::TLabel() = default;
TLabel::~TLabel() = default;

void TLabel::SetCaption(std::wstring caption) {
  if (caption == m_strCaption) return;
  m_strCaption = std::move(caption);
  m_FittedFont.reset();
  AdjustSize();
  Invalidate();
}

void TLabel::SetFont(const TFontSpec& font) {
  m_Font = font;
  m_pTextFont.reset();
  m_FittedFont.reset();
  AdjustSize();
  Invalidate();
}

void TLabel::SetFontColor(TColor color) {
  m_Font.color = color;
  if (m_FittedFont) m_FittedFont->color = color;
  Invalidate();
}

void TLabel::SetAutoSize(bool autoSize) {
  m_bAutoSize = autoSize;
  m_FittedFont.reset();
  AdjustSize();
}

void TLabel::SetAlignment(TAlignment alignment) {
  m_Alignment = alignment;
  Invalidate();
}

void TLabel::SetWordWrap(bool wordWrap) {
  m_bWordWrap = wordWrap;
  m_FittedFont.reset();
  AdjustSize();
  Invalidate();
}

const TTextFont& TLabel::TextFont() const {
  if (!m_pTextFont) m_pTextFont = std::make_unique<TTextFont>(m_Font);
  return *m_pTextFont;
}

TLayoutSize TLabel::ConstrainedSize(TLayoutSize requested) const {
  if (!m_bAutoSize) return requested;
  // A wrapping label keeps its width and grows downwards. The text is measured as the screen shows it;
  // the design size is what covers that.
  const int dpi = Dpi();
  const TLayoutSize text = TextFont().Measure(m_strCaption, m_bWordWrap ? requested.width : 0, dpi);
  const auto design = [dpi](int length) { return (length * kDesignDpi + dpi - 1) / dpi; };
  return {m_bWordWrap ? requested.width : design(text.width), design(text.height)};
}

void TLabel::DpiChanged() {
  m_FittedFont.reset();
  AdjustSize();
  Invalidate();
}

const TFontSpec& TLabel::DrawnFont() {
  // An auto-sized label takes its text's size, so its text always fits.
  if (m_bAutoSize) return m_Font;
  const TLayoutSize box{Width(), Height()};
  const int dpi = Dpi();
  if (m_FittedFont && m_FittedFor == box && m_nFittedDpi == dpi) return *m_FittedFont;
  // Measured on the screen, against what the panel lets the label draw into.
  const TLayoutRect onScreen = CoveringRect(BoundsRect(), dpi);
  const int wrapWidth = m_bWordWrap ? box.width : 0;
  const TFittedHeight fitted = FitTextHeight(m_Font.EmHeight(), {onScreen.width, onScreen.height}, m_bWordWrap,
                                             [&](int height) {
    if (height == m_Font.EmHeight()) return TextFont().Measure(m_strCaption, wrapWidth, dpi);
    TFontSpec smaller = m_Font;
    smaller.height = -height;
    return TTextFont(smaller).Measure(m_strCaption, wrapWidth, dpi);
  });
  TFontSpec font = m_Font;
  if (fitted.height != m_Font.EmHeight()) font.height = -fitted.height;
  m_FittedFont = font;
  m_FittedFor = box;
  m_nFittedDpi = dpi;
  m_pFittedTextFont.reset();
  return *m_FittedFont;
}

std::optional<TDrawnText> TLabel::DrawnText() {
  return TDrawnText{m_strCaption, DrawnFont(), BoundsRect(), m_bWordWrap};
}

void TLabel::Paint(Gdiplus::Graphics& g) {
  const TFontSpec& font = DrawnFont();
  const TTextFont* text = &TextFont();
  if (font.height != m_Font.height) {
    if (!m_pFittedTextFont) m_pFittedTextFont = std::make_unique<TTextFont>(font);
    text = m_pFittedTextFont.get();
  }
  text->Draw(g, m_strCaption, BoundsRect(), font.color, m_Alignment, m_bWordWrap);
}

}  // namespace sf
