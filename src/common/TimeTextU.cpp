#include "common/TimeTextU.h"

#include <cstdio>

namespace sf {

namespace {

std::wstring Digits(int value, int width) {
  wchar_t buffer[16];
  std::swprintf(buffer, 16, L"%0*d", width, value);
  return buffer;
}

}  // namespace

std::wstring LogTimeStamp(const TLocalTime& t, std::wstring_view sep) {
  std::wstring out = Digits(t.hour, 2);
  out += sep;
  out += Digits(t.minute, 2);
  out += sep;
  out += Digits(t.second, 2);
  out += L'.';
  out += Digits(t.millisecond, 3);
  return out;
}

std::wstring RunLogStamp(const TLocalTime& t) {
  return Digits(t.day, 2) + L"-" + Digits(t.month, 2) + L"-" + Digits(t.year, 4) + L"_" + Digits(t.hour, 2) +
         L"-" + Digits(t.minute, 2) + L"-" + Digits(t.second, 2);
}

std::wstring RunStamp(const TLocalTime& t) {
  return Digits(t.year, 4) + L"-" + Digits(t.month, 2) + L"-" + Digits(t.day, 2) + L"_" + Digits(t.hour, 2) +
         L"-" + Digits(t.minute, 2) + L"-" + Digits(t.second, 2);
}

std::wstring IdentifierStamp(const TLocalTime& t) {
  return Digits(t.day, 2) + L"-" + Digits(t.month, 2) + L"-" + Digits(t.hour, 2) + L"-" + Digits(t.minute, 2);
}

}  // namespace sf
