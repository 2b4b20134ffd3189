#include "logging/TestPauseU.h"

#ifdef SF_TEST_HOOKS

#include <windows.h>

#include <atomic>
#include <string>

#include "common/WinErrorU.h"
#include "logging/LogU.h"

namespace sf {

namespace {

// Long enough for any test to notice and end the process; short enough that a forgotten one ends.
constexpr DWORD kPauseMs = 5 * 60 * 1000;

std::atomic<unsigned> g_arrivals{0};

}  // namespace

void TestPausePoint(const wchar_t* point) {
  const std::wstring wanted = EnvironmentVariable(L"SF_TEST_PAUSE");
  const std::wstring prefix = std::wstring(point) + L":";
  if (wanted.rfind(prefix, 0) != 0) return;
  const unsigned arrival = g_arrivals.fetch_add(1) + 1;
  if (std::to_wstring(arrival) != wanted.substr(prefix.size())) return;
  AppendLog(L"TestPausePoint: " + std::wstring(point) + L" " + std::to_wstring(arrival));
  ::Sleep(kPauseMs);
}

}  // namespace sf

#endif
