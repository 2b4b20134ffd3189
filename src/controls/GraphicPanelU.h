// The window the wizard's pages are made of: it paints its lightweight controls (images, labels,
// gradient buttons) in z-order into one buffer, so that frequent updates do not flicker, routes the
// mouse to them (enter, leave, down, up, click), and hosts real child windows (the progress bar, edit
// fields, radio buttons) above them.
//
// Everything on a panel is placed in the pixels of the 96-DPI design; on a scaled screen the panel
// draws at its DPI (the design times DPI / 96) and reads the mouse back into design pixels.
#pragma once

#include <windows.h>

#include <vector>

#include "controls/GraphicControlsU.h"
#include "controls/WindowU.h"

namespace sf {

class TNativeControl;

class TGraphicPanel : public TWindowBase {
 public:
  // A child panel of parent at the parent's DPI; without a parent, a borderless top-level window (for
  // tools and tests) at the system's DPI. Hidden until SetVisible(true). Throws TWinError on failure.
  TGraphicPanel(HWND parent, int left, int top, int width, int height);
  ~TGraphicPanel() override;

  void SetBounds(int left, int top, int width, int height);
  int Width() const { return m_rcBounds.width; }
  int Height() const { return m_rcBounds.height; }
  // Draws everything at dpi from now on: the panel and its child windows take their scaled places.
  void SetDpi(int dpi);
  int Dpi() const { return m_nDpi; }
  void SetVisible(bool visible);
  bool Visible() const;

  // What shows where no control paints.
  void SetColor(TColor color);
  // The pointer over the whole panel, e.g. IDC_HAND while over a link (a system cursor id).
  void SetCursor(const wchar_t* systemCursor);

  // Paints the panel and its lightweight controls, as the screen shows them, into buffer (resized to
  // the panel's size on the screen). Child windows are not included; WM_PRINT with PRF_CHILDREN adds them.
  void PaintTo(TPaintBuffer& buffer);

  // While a control paints: the colour already painted at design point (x, y), i.e. what shows through.
  TColor BackdropAt(int x, int y);

  // The lightweight controls, back to front.
  const std::vector<TGraphicControl*>& Controls() const { return m_lstControls; }

  // A mouse button pressed where no control is.
  TGraphicControl::TMouseEvent OnMouseDown;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // After SetDpi has rescaled the panel and its native controls: a page re-places what it placed itself.
  virtual void DpiChanged() {}

 private:
  friend class TGraphicControl;
  friend class TNativeControl;

  void Attach(TGraphicControl* control);
  void Detach(TGraphicControl* control);
  void MoveToFront(TGraphicControl* control);
  void ControlChanged(TGraphicControl* control);  // hidden, disabled or moved: mouse state follows
  void InvalidateArea(const TLayoutRect& area);
  bool IsAttached(const TGraphicControl* control) const;
  TGraphicControl* ControlAt(int x, int y) const;

  void AttachNative(TNativeControl* control);
  void DetachNative(TNativeControl* control);
  TNativeControl* NativeFromHandle(HWND hWnd) const;

  void Render(TPaintBuffer& buffer, const RECT& area);
  void OnMouseMove(int x, int y);
  void OnMouseLeave();
  void OnButtonDown(TMouseButton button, int x, int y);
  void OnButtonUp(TMouseButton button, int x, int y);
  void EndPress(bool cancelled);
  void SetHovered(TGraphicControl* control);
  void PrintChildren(HDC dc, LPARAM flags);

  TLayoutRect m_rcBounds;  // design pixels
  int m_nDpi = kDesignDpi;
  TColor m_clColor = clBtnFace;
  HCURSOR m_hCursor = nullptr;
  std::vector<TGraphicControl*> m_lstControls;  // back to front
  std::vector<TNativeControl*> m_lstNative;
  TGraphicControl* m_pHovered = nullptr;
  TGraphicControl* m_pPressed = nullptr;
  TMouseButton m_PressedButton = TMouseButton::mbLeft;
  bool m_bTrackingLeave = false;
  TPaintBuffer m_Buffer;
  TPaintBuffer* m_pRendering = nullptr;
  Gdiplus::Graphics* m_pRenderGraphics = nullptr;
};

// Starts moving the top-level window that holds hWnd, as if its title bar had been grabbed.
void BeginWindowDrag(HWND hWnd);

}  // namespace sf
