// The demo product's uninstaller stand-in: the installer only registers it, so all it does is say so.
// "/silent" ends at once, for runs without anybody to close a message box.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  if (std::wcsstr(commandLine, L"/silent")) return 0;
  ::MessageBoxW(nullptr, L"Stormfinch demo: nothing is removed by this uninstaller.", L"Desinstalar",
                MB_OK | MB_ICONINFORMATION);
  return 0;
}
