#include "controls/ProgressPanelU.h"

#include <windowsx.h>

#include "common/WinErrorU.h"

namespace sf {

namespace {

TRIVERTEX Vertex(int x, int y, TColor color) {
  const TColor c = ResolveColor(color);
  return TRIVERTEX{x, y, static_cast<COLOR16>(RedOf(c) << 8), static_cast<COLOR16>(GreenOf(c) << 8),
                   static_cast<COLOR16>(BlueOf(c) << 8), 0};
}

// From the first colour at the top (left) edge to the second at the bottom (right) edge; nothing for a
// rectangle without height (width).
void FillGradient(HDC dc, const RECT& rc, TColor first, TColor second, bool vertical) {
  if (vertical ? rc.bottom <= rc.top : rc.right <= rc.left) return;
  TRIVERTEX vertices[2] = {Vertex(rc.left, rc.top, first), Vertex(rc.right, rc.bottom, second)};
  GRADIENT_RECT rect{0, 1};
  ::GradientFill(dc, vertices, 2, &rect, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

HRGN CreateShape(bool round, int width, int height, int roundX, int roundY) {
  // A rounded-rectangle region stops one pixel short of its right and bottom coordinates (a plain one
  // does not), which would shave the bar's last column and row.
  return round ? ::CreateRoundRectRgn(0, 0, width + 1, height + 1, roundX, roundY)
               : ::CreateRectRgn(0, 0, width, height);
}

}  // namespace

TCustomProgressPanel::TCustomProgressPanel(HWND parent) : m_nDpi(WindowDpi(parent)) {
  const TLayoutRect r = ScaleRect(m_rcBounds, m_nDpi);
  m_nWidth = r.width;
  m_nHeight = r.height;
  CreateHandle(L"TProgressPanel", 0, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, L"", r.left, r.top, r.width, r.height,
               parent, nullptr, CS_HREDRAW | CS_VREDRAW);
  m_nRoundX = m_nRoundY = m_rcBounds.height - 2;
  UpdateShape();
}

TCustomProgressPanel::~TCustomProgressPanel() = default;

void TCustomProgressPanel::Repaint() { ::InvalidateRect(Handle(), nullptr, FALSE); }

void TCustomProgressPanel::SetMin(std::int32_t value) {
  m_Range.SetMin(value);
  Repaint();
}

void TCustomProgressPanel::SetMax(std::int32_t value) {
  m_Range.SetMax(value);
  Repaint();
}

void TCustomProgressPanel::SetProgress(std::int32_t value) {
  m_Range.SetProgress(value);
  Repaint();
}

void TCustomProgressPanel::ApplyNotification(std::uint32_t position, std::uint32_t maximum) {
  ApplyProgressNotification(m_Range, position, maximum);
  Repaint();
}

void TCustomProgressPanel::SetBounds(int left, int top, int width, int height) {
  m_rcBounds = {left, top, width, height};
  PlaceWindow(Handle(), m_rcBounds, m_nDpi);
}

void TCustomProgressPanel::SetDpi(int dpi) {
  if (dpi == m_nDpi || dpi <= 0) return;
  m_nDpi = dpi;
  SetBounds(m_rcBounds.left, m_rcBounds.top, m_rcBounds.width, m_rcBounds.height);
  UpdateShape();
  Repaint();
}

void TCustomProgressPanel::SetVisible(bool visible) { ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE); }

void TCustomProgressPanel::BringToFront() {
  ::SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomProgressPanel::SetRoundCorners(bool round) {
  m_bRound = round;
  UpdateShape();
  Repaint();
}

void TCustomProgressPanel::SetRoundX(int roundX) {
  m_nRoundX = roundX;
  UpdateShape();
  Repaint();
}

void TCustomProgressPanel::SetRoundY(int roundY) {
  m_nRoundY = roundY;
  UpdateShape();
  Repaint();
}

void TCustomProgressPanel::SetBorder(bool border) {
  m_bHasBorder = border;
  Repaint();
}

void TCustomProgressPanel::SetBorderColor(TColor color) {
  m_clBorder = color;
  Repaint();
}

void TCustomProgressPanel::SetGradientVertical(bool vertical) {
  m_bGradientVertical = vertical;
  Repaint();
}

void TCustomProgressPanel::SetBackColorTop(TColor color) {
  m_clTopBackground = color;
  Repaint();
}

void TCustomProgressPanel::SetBackColorBotton(TColor color) {
  m_clBottonBackground = color;
  Repaint();
}

void TCustomProgressPanel::SetColorTop(TColor color) {
  m_clTopColor = color;
  Repaint();
}

void TCustomProgressPanel::SetColorBotton(TColor color) {
  m_clBottonColor = color;
  Repaint();
}

void TCustomProgressPanel::UpdateShape() {
  // The window deletes the shape it had.
  ::SetWindowRgn(Handle(), nullptr, FALSE);
  m_hRegion = nullptr;
  m_hRegion2.Reset();

  const int roundX = ScaleLength(m_nRoundX, m_nDpi);
  const int roundY = ScaleLength(m_nRoundY, m_nDpi);
  TScopedRegion shape(CreateShape(m_bRound, m_nWidth, m_nHeight, roundX, roundY));
  m_hRegion2.Reset(CreateShape(m_bRound, m_nWidth, m_nHeight, roundX, roundY));
  if (!shape || !m_hRegion2) throw TWinError(L"TProgressPanel.UpdateShape");
  if (!::SetWindowRgn(Handle(), shape.Get(), TRUE)) throw TWinError(L"SetWindowRgn");
  m_hRegion = shape.Release();
}

void TCustomProgressPanel::PaintBar(HDC dc) {
  m_Buffer.Resize(m_nWidth, m_nHeight);
  const HDC buffer = m_Buffer.Dc();
  const int filled = FilledWidth();
  // The unfilled gradient covers the whole bar and the filled one is painted over it.
  if (filled != m_nWidth) {
    FillGradient(buffer, RECT{0, 0, m_nWidth, m_nHeight}, m_clTopBackground, m_clBottonBackground,
                 m_bGradientVertical);
  }
  if (filled != 0) {
    FillGradient(buffer, RECT{0, 0, filled, m_nHeight}, m_clTopColor, m_clBottonColor, m_bGradientVertical);
  }
  if (m_bHasBorder && m_hRegion2) {
    const TScopedBrush border(::CreateSolidBrush(ResolveColor(m_clBorder)));
    if (border) ::FrameRgn(buffer, m_hRegion2.Get(), border.Get(), 1, 1);
  }
  ::BitBlt(dc, 0, 0, m_nWidth, m_nHeight, buffer, 0, 0, SRCCOPY);
}

LRESULT TCustomProgressPanel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // PaintBar covers every pixel
    case WM_PAINT: {
      TPaintScope paint(Handle());
      PaintBar(paint.Dc());
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintBar(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SIZE:
      m_nWidth = LOWORD(lParam);
      m_nHeight = HIWORD(lParam);
      UpdateShape();
      Repaint();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (OnMouseDown) OnMouseDown(MouseButtonOf(msg), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
