#include "startup/HelpFormU.h"

#include <shlwapi.h>

#include "common/WinErrorU.h"
#include "startup/HelpTextsU.h"

namespace sf {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
constexpr int kOkId = IDOK;

HFONT CreatePointFont(const wchar_t* face, int points) {
  HDC screen = ::GetDC(nullptr);
  const int height = -::MulDiv(points, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  return ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

}  // namespace

THelpForm::THelpForm() : m_font(CreatePointFont(L"Tahoma", 8)) {
  const int clientWidth = kMemoLeft + kMemoWidth + 8;
  const int buttonTop = kMemoTop + kMemoHeight + 8;
  const int clientHeight = buttonTop + kButtonHeight + 8;
  const SIZE outer = OuterSizeForClient(clientWidth, clientHeight, kStyle, kExStyle);
  const POINT at = CentredOnDesktop(outer);

  CreateHandle(L"THelpForm", kExStyle, kStyle, HelpTitle().c_str(), at.x, at.y, outer.cx, outer.cy, nullptr,
               ::GetSysColorBrush(COLOR_BTNFACE));

  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const std::wstring exeName = ::PathFindFileNameW(ModuleFileName().c_str());
  mmoAjuda = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", HelpText(exeName).c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                               kMemoLeft, kMemoTop, kMemoWidth, kMemoHeight, Handle(), nullptr, instance, nullptr);
  // Integer halves of the outer width, as the window was designed.
  const int buttonLeft = outer.cx / 2 - kButtonWidth / 2;
  Button1 = ::CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                              buttonLeft, buttonTop, kButtonWidth, kButtonHeight, Handle(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkId)), instance, nullptr);
  if (!mmoAjuda || !Button1) throw TWinError(L"THelpForm controls");
  for (HWND control : {mmoAjuda, Button1}) {
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
  }
}

void THelpForm::Show() {
  ::ShowWindow(Handle(), SW_SHOWNORMAL);
  ::UpdateWindow(Handle());
  ::SetFocus(Button1);
}

LRESULT THelpForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kOkId || LOWORD(wParam) == IDCANCEL) {
        ::SendMessageW(Handle(), WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_CLOSE:
      // The main window of a help run: closing it ends the program, which takes the window along.
      ::ShowWindow(Handle(), SW_HIDE);
      ::PostQuitMessage(0);
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
