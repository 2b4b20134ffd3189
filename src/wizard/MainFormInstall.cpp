#include "wizard/MainFormInstall.h"

#include "common/ConstantsU.h"

namespace sf {

namespace {
constexpr DWORD kStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
// Without a title bar the window would not appear on the taskbar by itself.
constexpr DWORD kExStyle = WS_EX_APPWINDOW;
}  // namespace

TSetupForm::TSetupForm() {
  const SIZE outer = OuterSizeForClient(kWidth, kHeight, kStyle, kExStyle);
  const POINT at = CentredOnDesktop(outer);
  CreateHandle(SetupFormClassName, kExStyle, kStyle, AppTitle, at.x, at.y, outer.cx, outer.cy, nullptr,
               ::GetSysColorBrush(COLOR_WINDOW), CS_DBLCLKS);
}

void TSetupForm::Show() {
  ::ShowWindow(Handle(), SW_SHOWNORMAL);
  ::UpdateWindow(Handle());
}

LRESULT TSetupForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      ::DestroyWindow(Handle());
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
