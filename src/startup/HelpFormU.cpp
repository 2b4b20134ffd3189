#include "startup/HelpFormU.h"

#include <shlwapi.h>

#include "common/WinErrorU.h"
#include "controls/ControlGeometryU.h"
#include "startup/HelpTextsU.h"

namespace sf {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
constexpr int kOkId = IDOK;

HFONT CreatePointFont(const wchar_t* face, int points, int dpi) {
  return ::CreateFontW(-::MulDiv(points, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

constexpr int kClientWidth = THelpForm::kMemoLeft + THelpForm::kMemoWidth + 8;
constexpr int kButtonTop = THelpForm::kMemoTop + THelpForm::kMemoHeight + 8;
constexpr int kClientHeight = kButtonTop + THelpForm::kButtonHeight + 8;

}  // namespace

THelpForm::THelpForm() {
  const int dpi = WindowDpi(nullptr);
  const SIZE outer = OuterSizeForClient(ScaleLength(kClientWidth, dpi), ScaleLength(kClientHeight, dpi), kStyle,
                                        kExStyle, dpi);
  const POINT at = CentredOnDesktop(outer);
  CreateHandle(L"THelpForm", kExStyle, kStyle, HelpTitle().c_str(), at.x, at.y, outer.cx, outer.cy, nullptr,
               ::GetSysColorBrush(COLOR_BTNFACE));

  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const std::wstring exeName = ::PathFindFileNameW(ModuleFileName().c_str());
  mmoAjuda = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", HelpText(exeName).c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
                               0, 0, Handle(), nullptr, instance, nullptr);
  Button1 = ::CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0,
                              0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkId)), instance, nullptr);
  if (!mmoAjuda || !Button1) throw TWinError(L"THelpForm controls");
  Layout(WindowDpi(Handle()), at);
}

void THelpForm::Layout(int dpi, POINT topLeft) {
  const SIZE outer = OuterSizeForClient(ScaleLength(kClientWidth, dpi), ScaleLength(kClientHeight, dpi), kStyle,
                                        kExStyle, dpi);
  ::SetWindowPos(Handle(), nullptr, topLeft.x, topLeft.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  const TLayoutRect memo = ScaleRect({kMemoLeft, kMemoTop, kMemoWidth, kMemoHeight}, dpi);
  ::MoveWindow(mmoAjuda, memo.left, memo.top, memo.width, memo.height, TRUE);
  // Integer halves of the outer width, as the window was designed.
  const int designOuterWidth = OuterSizeForClient(kClientWidth, kClientHeight, kStyle, kExStyle).cx;
  const TLayoutRect button =
      ScaleRect({designOuterWidth / 2 - kButtonWidth / 2, kButtonTop, kButtonWidth, kButtonHeight}, dpi);
  ::MoveWindow(Button1, button.left, button.top, button.width, button.height, TRUE);
  TScopedFont font(CreatePointFont(L"Tahoma", 8, dpi));
  if (!font) throw TWinError(L"THelpForm font");
  for (HWND control : {mmoAjuda, Button1}) {
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
  }
  m_font = std::move(font);  // the controls use the new one now
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
    case WM_DPICHANGED: {
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      Layout(HIWORD(wParam), {suggested.left, suggested.top});
      return 0;
    }
    case WM_CLOSE:
      // The main window of a help run: closing it ends the program, which takes the window along.
      ::ShowWindow(Handle(), SW_HIDE);
      ::PostQuitMessage(0);
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
