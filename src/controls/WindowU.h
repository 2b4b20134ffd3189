// The base of every window class of the installer: registers the class once and routes the window
// procedure to a virtual member function of the object that owns the window.
#pragma once

#include <windows.h>

#include "controls/ControlGeometryU.h"

namespace sf {

class TWindowBase {
 public:
  TWindowBase() = default;
  virtual ~TWindowBase();
  TWindowBase(const TWindowBase&) = delete;
  TWindowBase& operator=(const TWindowBase&) = delete;

  HWND Handle() const { return m_hWnd; }

 protected:
  // Registers className once per process (with this module's instance) and creates the window.
  // Throws TWinError on failure.
  void CreateHandle(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* title, int x, int y,
                    int width, int height, HWND parent, HBRUSH background = nullptr, UINT classStyle = 0);

  // Called for every message of the window; the default runs DefWindowProc.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND m_hWnd = nullptr;
};

// Window size whose client area is width by height for the given styles, with the frame of a window
// shown at dpi.
SIZE OuterSizeForClient(int width, int height, DWORD style, DWORD exStyle, int dpi = 96);
// The DPI a window is shown at (the system's for no window).
int WindowDpi(HWND hWnd);
// Moves and sizes a window to a rectangle of the 96-DPI design, as a screen of dpi shows it.
void PlaceWindow(HWND hWnd, const TLayoutRect& design, int dpi);
// Top-left corner that centres a window of the given outer size on the primary monitor's work area.
POINT CentredOnDesktop(SIZE outer);

}  // namespace sf
