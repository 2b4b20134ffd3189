#include "logging/WindowsFactsU.h"

#include <string>

#include "logging/LogU.h"
#include "logging/SystemDiagU.h"

namespace sf {

namespace {
constexpr unsigned kFirstWindows11Build = 22000;
}  // namespace

bool IsWindows10OrLater() {
  const TWindowsFacts facts = WindowsFacts();
  return WindowsVersionNameOf(facts).find(L"Windows 10") != std::wstring::npos || facts.nBuild >= kFirstWindows11Build;
}

bool Is64BitWindows() {
  try {
    // Older Windows versions always get the 32-bit packages, whatever their width.
    return IsWindows10OrLater() && IsWindows64BitForReport();
  } catch (...) {
  }
  // AppendLog never raises: not even a run log that cannot be written turns this answer into an error.
  AppendLog(L"VexUtils.Is64BitWindows : Error= Failed to check for 64bit version. Invalid handle");
  return false;
}

}  // namespace sf
