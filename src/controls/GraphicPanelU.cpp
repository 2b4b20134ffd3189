#include "controls/GraphicPanelU.h"

#include <windowsx.h>

#include <algorithm>

#include "common/WinErrorU.h"
#include "controls/NativeControlsU.h"

namespace sf {

namespace {

constexpr WPARAM kMoveByCaption = SC_MOVE | HTCAPTION;  // 0xF012: "move", as if the caption were grabbed

Gdiplus::Rect ToRect(const TLayoutRect& r) { return Gdiplus::Rect(r.left, r.top, r.width, r.height); }

bool Intersects(const TLayoutRect& r, const RECT& area) {
  return r.left < area.right && area.left < r.Right() && r.top < area.bottom && area.top < r.Bottom();
}

TLayoutSize SizeOf(const TLayoutRect& r) { return {r.width, r.height}; }

}  // namespace

TGraphicPanel::TGraphicPanel(HWND parent, int left, int top, int width, int height)
    : m_rcBounds{left, top, width, height}, m_nDpi(WindowDpi(parent)), m_hCursor(::LoadCursorW(nullptr, IDC_ARROW)) {
  const DWORD style = (parent ? WS_CHILD : WS_POPUP) | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  const TLayoutRect r = ScaleRect(m_rcBounds, m_nDpi);
  CreateHandle(L"TGraphicPanel", 0, style, L"", r.left, r.top, r.width, r.height, parent);
}

TGraphicPanel::~TGraphicPanel() {
  // Controls that outlive the panel must not call back into it.
  for (TGraphicControl* control : m_lstControls) control->m_pParent = nullptr;
  for (TNativeControl* control : m_lstNative) control->m_pParent = nullptr;
}

void TGraphicPanel::SetBounds(int left, int top, int width, int height) {
  m_rcBounds = {left, top, width, height};
  PlaceWindow(Handle(), m_rcBounds, m_nDpi);
}

void TGraphicPanel::SetDpi(int dpi) {
  if (dpi == m_nDpi || dpi <= 0) return;
  m_nDpi = dpi;
  SetBounds(m_rcBounds.left, m_rcBounds.top, m_rcBounds.width, m_rcBounds.height);
  for (TNativeControl* control : m_lstNative) control->ApplyDpi();
  for (TGraphicControl* control : std::vector<TGraphicControl*>(m_lstControls)) control->DpiChanged();
  DpiChanged();
  ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TGraphicPanel::SetVisible(bool visible) { ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE); }

bool TGraphicPanel::Visible() const { return ::IsWindowVisible(Handle()) != FALSE; }

void TGraphicPanel::SetColor(TColor color) {
  m_clColor = color;
  ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TGraphicPanel::SetCursor(const wchar_t* systemCursor) {
  m_hCursor = ::LoadCursorW(nullptr, systemCursor);
  // Takes effect at once when the pointer is over the panel, not only at its next move.
  POINT pt;
  if (::GetCursorPos(&pt) && ::WindowFromPoint(pt) == Handle()) ::SetCursor(m_hCursor);
}

void TGraphicPanel::PaintTo(TPaintBuffer& buffer) {
  const TLayoutSize screen = SizeOf(ScaleRect(m_rcBounds, m_nDpi));
  Render(buffer, RECT{0, 0, screen.width, screen.height});
}

TColor TGraphicPanel::BackdropAt(int x, int y) {
  x = ScaleLength(x, m_nDpi);
  y = ScaleLength(y, m_nDpi);
  if (!m_pRendering || !m_pRenderGraphics) return m_Buffer.PixelAt(x, y);
  m_pRenderGraphics->Flush(Gdiplus::FlushIntentionSync);
  return m_pRendering->PixelAt(x, y);
}

void TGraphicPanel::Render(TPaintBuffer& buffer, const RECT& area) {
  const TLayoutSize screen = SizeOf(ScaleRect(m_rcBounds, m_nDpi));
  buffer.Resize(screen.width, screen.height);
  Gdiplus::Graphics g(&buffer.Bitmap());
  PrepareGraphics(g);
  const Gdiplus::Rect clip(area.left, area.top, area.right - area.left, area.bottom - area.top);
  g.SetClip(clip);
  const Gdiplus::SolidBrush background(ToGdiplusColor(m_clColor));
  g.FillRectangle(&background, clip);

  struct TRenderingScope {
    TGraphicPanel& panel;
    ~TRenderingScope() {
      panel.m_pRendering = nullptr;
      panel.m_pRenderGraphics = nullptr;
    }
  } scope{*this};
  m_pRendering = &buffer;
  m_pRenderGraphics = &g;

  // A copy: painting must not be disturbed by a control that changes the list.
  const std::vector<TGraphicControl*> controls = m_lstControls;
  const Gdiplus::REAL scale = static_cast<Gdiplus::REAL>(m_nDpi) / kDesignDpi;
  for (TGraphicControl* control : controls) {
    const TLayoutRect onScreen = CoveringRect(control->BoundsRect(), m_nDpi);
    if (!control->Visible() || !Intersects(onScreen, area)) continue;
    const Gdiplus::GraphicsState state = g.Save();
    // The clip in whole screen pixels, those the control touches at least in part; the control itself
    // draws in design pixels.
    g.SetClip(ToRect(onScreen));
    g.IntersectClip(clip);
    if (m_nDpi != kDesignDpi) g.ScaleTransform(scale, scale);
    control->Paint(g);
    g.Restore(state);
  }
  g.Flush(Gdiplus::FlushIntentionSync);
}

void TGraphicPanel::Attach(TGraphicControl* control) {
  m_lstControls.push_back(control);
  InvalidateArea(control->BoundsRect());
}

void TGraphicPanel::Detach(TGraphicControl* control) {
  // Also runs from a control's destructor: no virtual calls on it here.
  std::erase(m_lstControls, control);
  if (m_pHovered == control) m_pHovered = nullptr;
  if (m_pPressed == control) {
    m_pPressed = nullptr;
    if (::GetCapture() == Handle()) ::ReleaseCapture();
  }
  control->m_bMouseInside = false;
  control->m_pParent = nullptr;
  InvalidateArea(control->BoundsRect());
}

void TGraphicPanel::MoveToFront(TGraphicControl* control) {
  const auto it = std::find(m_lstControls.begin(), m_lstControls.end(), control);
  if (it == m_lstControls.end()) return;
  std::rotate(it, it + 1, m_lstControls.end());
  InvalidateArea(control->BoundsRect());
}

void TGraphicPanel::ControlChanged(TGraphicControl* control) {
  if (control->Visible() && control->Enabled()) return;
  if (m_pPressed == control) EndPress(true);
  if (m_pHovered == control) {
    m_pHovered = nullptr;
    control->m_bMouseInside = false;
  }
}

void TGraphicPanel::InvalidateArea(const TLayoutRect& area) {
  if (!Handle() || area.width <= 0 || area.height <= 0) return;
  const TLayoutRect r = CoveringRect(area, m_nDpi);
  const RECT rc{r.left, r.top, r.Right(), r.Bottom()};
  ::InvalidateRect(Handle(), &rc, FALSE);
}

bool TGraphicPanel::IsAttached(const TGraphicControl* control) const {
  return std::find(m_lstControls.begin(), m_lstControls.end(), control) != m_lstControls.end();
}

TGraphicControl* TGraphicPanel::ControlAt(int x, int y) const {
  for (auto it = m_lstControls.rbegin(); it != m_lstControls.rend(); ++it) {
    TGraphicControl* control = *it;
    if (control->Visible() && control->Enabled() && control->BoundsRect().Contains(x, y)) return control;
  }
  return nullptr;
}

void TGraphicPanel::AttachNative(TNativeControl* control) { m_lstNative.push_back(control); }

void TGraphicPanel::DetachNative(TNativeControl* control) { std::erase(m_lstNative, control); }

TNativeControl* TGraphicPanel::NativeFromHandle(HWND hWnd) const {
  for (TNativeControl* control : m_lstNative) {
    if (control->Handle() == hWnd) return control;
  }
  return nullptr;
}

void TGraphicPanel::SetHovered(TGraphicControl* control) {
  if (control == m_pHovered) return;
  TGraphicControl* previous = m_pHovered;
  m_pHovered = control;
  if (previous) {
    previous->m_bMouseInside = false;
    previous->Invalidate();
    previous->MouseLeave();
  }
  // The leave handler may have removed the control or moved the hover elsewhere.
  if (control && m_pHovered == control && IsAttached(control)) {
    control->m_bMouseInside = true;
    control->Invalidate();
    control->MouseEnter();
  }
}

void TGraphicPanel::OnMouseMove(int x, int y) {
  if (!m_bTrackingLeave) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Handle(), 0};
    m_bTrackingLeave = ::TrackMouseEvent(&track) != FALSE;
  }
  if (m_pPressed) {
    const bool inside = m_pPressed->BoundsRect().Contains(x, y);
    if (inside != m_pPressed->m_bMouseInside) {
      m_pPressed->m_bMouseInside = inside;
      m_pPressed->MouseDrag(inside);
    }
    return;
  }
  SetHovered(ControlAt(x, y));
}

void TGraphicPanel::OnMouseLeave() {
  m_bTrackingLeave = false;
  if (!m_pPressed) SetHovered(nullptr);
}

void TGraphicPanel::OnButtonDown(TMouseButton button, int x, int y) {
  if (m_pPressed) return;  // a second button while one is held
  TGraphicControl* control = ControlAt(x, y);
  if (!control) {
    if (OnMouseDown) OnMouseDown(button, x, y);
    return;
  }
  SetHovered(control);
  if (!IsAttached(control)) return;
  m_pPressed = control;
  m_PressedButton = button;
  control->m_bMouseInside = true;
  ::SetCapture(Handle());
  // The handler may give the capture away (a window drag does): the press then ends without a click.
  control->MouseDown(button, x - control->Left(), y - control->Top());
}

void TGraphicPanel::OnButtonUp(TMouseButton button, int x, int y) {
  if (!m_pPressed || button != m_PressedButton) return;
  TGraphicControl* control = m_pPressed;
  m_pPressed = nullptr;
  if (::GetCapture() == Handle()) ::ReleaseCapture();
  const bool inside = control->BoundsRect().Contains(x, y);
  control->MouseUp(button, x - control->Left(), y - control->Top());
  if (inside && button == TMouseButton::mbLeft && IsAttached(control) && control->Visible() && control->Enabled()) {
    control->Click();
  }
  const bool overPanel = x >= 0 && y >= 0 && x < Width() && y < Height();
  SetHovered(overPanel ? ControlAt(x, y) : nullptr);
}

void TGraphicPanel::EndPress(bool cancelled) {
  if (!m_pPressed) return;
  TGraphicControl* control = m_pPressed;
  m_pPressed = nullptr;
  if (cancelled) control->CancelPress();
  if (::GetCapture() == Handle()) ::ReleaseCapture();
}

void TGraphicPanel::PrintChildren(HDC dc, LPARAM flags) {
  POINT origin{};
  ::GetViewportOrgEx(dc, &origin);
  // Bottom of the z-order first, so that the top child ends up on top.
  const HWND top = ::GetWindow(Handle(), GW_CHILD);
  for (HWND child = top ? ::GetWindow(top, GW_HWNDLAST) : nullptr; child; child = ::GetWindow(child, GW_HWNDPREV)) {
    // The child's own visibility: the panel itself may be hidden while it is printed.
    if (!(::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) continue;
    RECT rc;
    ::GetWindowRect(child, &rc);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&rc), 2);
    // Each child prints into a buffer of its own: some system controls print nothing into a device
    // context whose origin has been moved.
    TPaintBuffer image;
    image.Resize(rc.right - rc.left, rc.bottom - rc.top);
    ::SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(image.Dc()), flags & ~PRF_CHECKVISIBLE);

    // Clip regions are in device coordinates: the child's rectangle, narrowed by its window shape.
    const int saved = ::SaveDC(dc);
    TScopedRegion clip(::CreateRectRgn(origin.x + rc.left, origin.y + rc.top, origin.x + rc.right,
                                       origin.y + rc.bottom));
    TScopedRegion shape(::CreateRectRgn(0, 0, 0, 0));
    if (clip && shape && ::GetWindowRgn(child, shape.Get()) != ERROR) {
      ::OffsetRgn(shape.Get(), origin.x + rc.left, origin.y + rc.top);
      ::CombineRgn(clip.Get(), clip.Get(), shape.Get(), RGN_AND);
    }
    if (clip) ::ExtSelectClipRgn(dc, clip.Get(), RGN_AND);
    ::BitBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, image.Dc(), 0, 0, SRCCOPY);
    ::RestoreDC(dc, saved);
  }
}

LRESULT TGraphicPanel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // everything is painted from the buffer
    case WM_PAINT: {
      TPaintScope paint(Handle());
      const RECT& area = paint.Area();
      if (area.right > area.left && area.bottom > area.top) {
        Render(m_Buffer, area);
        ::BitBlt(paint.Dc(), area.left, area.top, area.right - area.left, area.bottom - area.top, m_Buffer.Dc(),
                 area.left, area.top, SRCCOPY);
      }
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintTo(m_Buffer);
      ::BitBlt(reinterpret_cast<HDC>(wParam), 0, 0, m_Buffer.Width(), m_Buffer.Height(), m_Buffer.Dc(), 0, 0, SRCCOPY);
      return 0;
    case WM_PRINT: {
      // Handled here in full: the system's own handling does not draw the children everywhere.
      if ((lParam & PRF_CHECKVISIBLE) && !::IsWindowVisible(Handle())) return 0;
      const HDC dc = reinterpret_cast<HDC>(wParam);
      if (lParam & PRF_CLIENT) ::SendMessageW(Handle(), WM_PRINTCLIENT, wParam, lParam);
      if (lParam & PRF_CHILDREN) PrintChildren(dc, lParam);
      return 0;
    }
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == Handle() && LOWORD(lParam) == HTCLIENT) {
        ::SetCursor(m_hCursor);
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(DesignLength(GET_X_LPARAM(lParam), m_nDpi), DesignLength(GET_Y_LPARAM(lParam), m_nDpi));
      return 0;
    case WM_MOUSELEAVE:
      OnMouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      OnButtonDown(MouseButtonOf(msg), DesignLength(GET_X_LPARAM(lParam), m_nDpi),
                   DesignLength(GET_Y_LPARAM(lParam), m_nDpi));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      OnButtonUp(MouseButtonOf(msg), DesignLength(GET_X_LPARAM(lParam), m_nDpi),
                 DesignLength(GET_Y_LPARAM(lParam), m_nDpi));
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != Handle()) EndPress(true);
      return 0;
    case WM_COMMAND:
      if (TNativeControl* control = NativeFromHandle(reinterpret_cast<HWND>(lParam))) {
        control->Command(HIWORD(wParam));
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:  // read-only edits and radio buttons ask with this one
    case WM_CTLCOLORBTN:
      if (TNativeControl* control = NativeFromHandle(reinterpret_cast<HWND>(lParam))) {
        if (HBRUSH brush = control->CtlColor(reinterpret_cast<HDC>(wParam))) return reinterpret_cast<LRESULT>(brush);
      }
      break;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

void BeginWindowDrag(HWND hWnd) {
  ::ReleaseCapture();
  ::SendMessageW(::GetAncestor(hWnd, GA_ROOT), WM_SYSCOMMAND, kMoveByCaption, 0);
}

}  // namespace sf
