// Date and time stamps the installer writes into file names, log lines and identifiers.
#pragma once

#include <string>

namespace sf {

struct TLocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "hh:nn:ss.zzz" with the locale's time separator in place of ':'.
std::wstring LogTimeStamp(const TLocalTime& t, std::wstring_view timeSeparator = L":");
// "dd-mm-yyyy_hh-nn-ss", the run log's file-name stamp.
std::wstring RunLogStamp(const TLocalTime& t);
// "yyyy-mm-dd_hh-nn-ss", the run timestamp of the start-up.
std::wstring RunStamp(const TLocalTime& t);
// "dd-mm-hh-nn", the time part of the engine's run identifier.
std::wstring IdentifierStamp(const TLocalTime& t);

}  // namespace sf
