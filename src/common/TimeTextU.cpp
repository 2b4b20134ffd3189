#include "common/TimeTextU.h"

#include <cstdio>

namespace sf {

namespace {

std::wstring Digits(int value, int width) {
  wchar_t buffer[16];
  std::swprintf(buffer, 16, L"%0*d", width, value);
  return buffer;
}

constexpr std::int64_t kSecondsPerDay = 86400;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date, proleptic Gregorian calendar (eras of 400 years, March-based years so
// that the leap day comes last).
std::int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// The decimal number of text[at, at + width), or -1 when a character there is not a digit.
int Number(std::string_view text, std::size_t at, std::size_t width) {
  int value = 0;
  for (std::size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<std::int64_t> ParseUtcStamp(std::string_view text) {
  // 0123456789...
  // YYYY-MM-DDTHH:MM:SSZ
  if (text.size() != 20) return std::nullopt;
  struct TSeparator {
    std::size_t at;
    char c;
  };
  constexpr TSeparator kSeparators[] = {{4, '-'}, {7, '-'}, {10, 'T'}, {13, ':'}, {16, ':'}, {19, 'Z'}};
  for (const auto& separator : kSeparators) {
    if (text[separator.at] != separator.c) return std::nullopt;
  }
  const int year = Number(text, 0, 4);
  const int month = Number(text, 5, 2);
  const int day = Number(text, 8, 2);
  const int hour = Number(text, 11, 2);
  const int minute = Number(text, 14, 2);
  const int second = Number(text, 17, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

std::wstring UtcStamp(std::int64_t secondsSince1970) {
  std::int64_t days = secondsSince1970 / kSecondsPerDay;
  std::int64_t rest = secondsSince1970 % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  const int seconds = static_cast<int>(rest);
  return Digits(year, 4) + L"-" + Digits(month, 2) + L"-" + Digits(day, 2) + L"T" + Digits(seconds / 3600, 2) +
         L":" + Digits(seconds / 60 % 60, 2) + L":" + Digits(seconds % 60, 2) + L"Z";
}

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
