// The progress bar of the progress page: a thin child window with optionally rounded corners (a window
// region) whose filled and unfilled parts are each a two-colour gradient. Placed, like everything on a
// page, in design pixels, and shown at its DPI (its parent's when it is made).
#pragma once

#include <windows.h>

#include <functional>

#include "common/WinHandleU.h"
#include "controls/GraphicControlsU.h"
#include "controls/ProgressRangeU.h"
#include "controls/WindowU.h"

namespace sf {

class TCustomProgressPanel : public TWindowBase {
 public:
  // A visible child of parent at (0, 0), 185 by 6 pixels, range 0..100 at 0. Throws TWinError.
  explicit TCustomProgressPanel(HWND parent);
  ~TCustomProgressPanel() override;

  void SetMin(std::int32_t value);
  void SetMax(std::int32_t value);
  void SetProgress(std::int32_t value);
  std::int32_t Min() const { return m_Range.Min(); }
  std::int32_t Max() const { return m_Range.Max(); }
  std::int32_t Progress() const { return m_Range.Progress(); }
  // A progress notification of the engine: see ApplyProgressNotification.
  void ApplyNotification(std::uint32_t position, std::uint32_t maximum);
  // Screen pixels of the bar that show as filled.
  int FilledWidth() const { return m_Range.FilledWidth(m_nWidth); }

  void SetBounds(int left, int top, int width, int height);
  const TLayoutRect& BoundsRect() const { return m_rcBounds; }
  void SetDpi(int dpi);
  void SetVisible(bool visible);
  void BringToFront();

  void SetRoundCorners(bool round);
  void SetRoundX(int roundX);
  void SetRoundY(int roundY);
  void SetBorder(bool border);
  void SetBorderColor(TColor color);
  void SetGradientVertical(bool vertical);
  void SetBackColorTop(TColor color);
  void SetBackColorBotton(TColor color);
  void SetColorTop(TColor color);
  void SetColorBotton(TColor color);

  // Coordinates relative to the bar.
  std::function<void(TMouseButton button, int x, int y)> OnMouseDown;

 protected:
  // Rebuilds the window's shape from its size and the corner settings.
  virtual void UpdateShape();
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void PaintBar(HDC dc);
  void Repaint();

  TProgressRange m_Range;
  TLayoutRect m_rcBounds{0, 0, 185, 6};
  int m_nDpi = kDesignDpi;
  // The window's size on the screen.
  int m_nWidth = 0;
  int m_nHeight = 0;
  int m_nRoundX = 4;  // design pixels
  int m_nRoundY = 4;
  TColor m_clBorder = clBlack;
  TColor m_clTopBackground = clBtnFace;
  TColor m_clBottonBackground = clBtnShadow;
  TColor m_clTopColor = 0x00FF00;
  TColor m_clBottonColor = 0x008000;
  bool m_bRound = false;
  bool m_bHasBorder = true;
  bool m_bGradientVertical = true;
  // The shape given to the window belongs to the window from then on (it deletes it); the second,
  // equal shape is ours and outlines the border.
  HRGN m_hRegion = nullptr;
  TScopedRegion m_hRegion2;
  TPaintBuffer m_Buffer;
};

// The toolkit's design-time subclass adds nothing at run time; the pages use this name.
using TProgressPanel = TCustomProgressPanel;

}  // namespace sf
