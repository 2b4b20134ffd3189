// Date and time stamps the installer writes into file names, log lines and identifiers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// "YYYY-MM-DDTHH:MM:SSZ", a UTC time as signed manifests state their expiry: the seconds since
// 1970-01-01T00:00:00Z it stands for, or none unless the text has exactly that form and names a real
// moment of the Gregorian calendar (no 30 February, no 24:00:00, no leap second).
std::optional<std::int64_t> ParseUtcStamp(std::string_view text);
// The same form of a number of seconds since 1970-01-01T00:00:00Z (years 0 to 9999).
std::wstring UtcStamp(std::int64_t secondsSince1970);

}  // namespace sf
