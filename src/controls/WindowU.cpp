#include "controls/WindowU.h"

#include "common/UnhandledErrorU.h"
#include "common/WinErrorU.h"

namespace sf {

TWindowBase::~TWindowBase() {
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    ::DestroyWindow(m_hWnd);
  }
}

void TWindowBase::CreateHandle(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* title, int x,
                               int y, int width, int height, HWND parent, HBRUSH background, UINT classStyle) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  if (!::GetClassInfoExW(instance, className, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = &TWindowBase::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.hIcon = ::LoadIconW(instance, L"MAINICON");
    wc.lpszClassName = className;
    if (!::RegisterClassExW(&wc)) throw TWinError(std::wstring(L"RegisterClassEx ") + className);
  }
  m_hWnd = ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, nullptr, instance, this);
  if (!m_hWnd) throw TWinError(std::wstring(L"CreateWindowEx ") + className);
}

LRESULT TWindowBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK TWindowBase::WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<TWindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = hWnd;
    ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWindowBase*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hWnd, msg, wParam, lParam);
  // C++ exceptions must not unwind through the system's frames: an error that escapes a handler goes
  // to the error reporter (through the hook start-up points at it) and the message counts as handled.
  try {
    if (msg == WM_NCDESTROY) {
      const LRESULT result = self->HandleMessage(msg, wParam, lParam);
      ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
      self->m_hWnd = nullptr;
      return result;
    }
    return self->HandleMessage(msg, wParam, lParam);
  } catch (const std::exception& e) {
    HandleWindowError(e);
    return 0;
  }
}

SIZE OuterSizeForClient(int width, int height, DWORD style, DWORD exStyle, int dpi) {
  RECT rc{0, 0, width, height};
  ::AdjustWindowRectExForDpi(&rc, style, FALSE, exStyle, static_cast<UINT>(dpi));
  return {rc.right - rc.left, rc.bottom - rc.top};
}

void PlaceWindow(HWND hWnd, const TLayoutRect& design, int dpi) {
  const TLayoutRect r = ScaleRect(design, dpi);
  ::SetWindowPos(hWnd, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int WindowDpi(HWND hWnd) {
  const UINT dpi = hWnd ? ::GetDpiForWindow(hWnd) : ::GetDpiForSystem();
  return dpi ? static_cast<int>(dpi) : 96;
}

POINT CentredOnDesktop(SIZE outer) {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return {work.left + (work.right - work.left - outer.cx) / 2, work.top + (work.bottom - work.top - outer.cy) / 2};
}

}  // namespace sf
