#include "common/SingleInstanceU.h"

#include <windows.h>

#include "common/ConstantsU.h"
#include "common/WinHandleU.h"

namespace sf {

bool CheckSingleInstance() {
  // Deliberately never closed: the mutex marks this process as the running installer until it ends.
  static TScopedKernelHandle mutex;
  mutex.Reset(::CreateMutexW(nullptr, TRUE, ProductId));
  const DWORD error = ::GetLastError();
  if (mutex && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return true;

  if (HWND other = ::FindWindowW(SetupFormClassName, DisplayName)) {
    if (::IsIconic(other)) ::ShowWindow(other, SW_RESTORE);
    ::SetForegroundWindow(other);
  }
  return false;
}

}  // namespace sf
