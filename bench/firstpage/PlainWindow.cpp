// The floor of the first-page measurement: the least a Win32 program does to put a page on screen, a
// borderless 600 by 250 window with one child window that paints a colour and a line of text. Under
// Wine most of a program's time to its first page is Wine's own start; this program shows how much.
// It imports only what any window needs (kernel32, user32, gdi32) and is linked as the installer is.
#include <windows.h>

namespace {

LRESULT CALLBACK PageProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_PAINT) return ::DefWindowProcW(hWnd, msg, wParam, lParam);
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hWnd, &ps);
  RECT client;
  ::GetClientRect(hWnd, &client);
  HBRUSH brush = ::CreateSolidBrush(RGB(30, 30, 30));
  ::FillRect(dc, &client, brush);
  ::DeleteObject(brush);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(255, 255, 255));
  ::DrawTextW(dc, L"Plain window", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ::EndPaint(hWnd, &ps);
  return 0;
}

LRESULT CALLBACK FrameProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

ATOM Register(const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = ::GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = name;
  return ::RegisterClassExW(&wc);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Register(L"PlainFrame", &FrameProc);
  Register(L"PlainPage", &PageProc);
  constexpr int kWidth = 600, kHeight = 250;
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  HWND frame = ::CreateWindowExW(WS_EX_APPWINDOW, L"PlainFrame", L"Plain window", WS_POPUP | WS_CLIPCHILDREN, left,
                                 top, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (!frame) return 1;
  ::CreateWindowExW(0, L"PlainPage", L"", WS_CHILD | WS_VISIBLE, 0, 0, kWidth, kHeight, frame, nullptr, instance,
                    nullptr);
  ::ShowWindow(frame, SW_SHOWNORMAL);
  ::UpdateWindow(frame);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
