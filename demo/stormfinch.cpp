// The demo product's main program: one window that says what it is, which version and where it runs from,
// so that a test or a person can see that the installer placed and started the right copy.
#include <windows.h>

#include <string>

namespace {

constexpr const wchar_t* kClassName = L"StormfinchDemoWindow";

std::wstring ModulePath() {
  std::wstring path(32768, L'\0');  // the longest path Windows has
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT area;
      ::GetClientRect(window, &area);
      ::InflateRect(&area, -16, -16);
      const std::wstring text = L"Stormfinch demo product, version " SF_DEMO_VERSION L"\r\n\r\nRunning from:\r\n" +
                                ModulePath();
      ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT | DT_WORDBREAK);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  if (!::RegisterClassW(&windowClass)) return 1;

  HWND window = ::CreateWindowExW(0, kClassName, L"Stormfinch Demo " SF_DEMO_VERSION, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 520, 220, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ::ShowWindow(window, show);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
