#include "common/FileFactsU.h"

#include "common/WinErrorU.h"

namespace sf {

namespace {

std::wstring LocaleDateTimeText(const SYSTEMTIME& time) {
  wchar_t date[128] = {};
  wchar_t clock[128] = {};
  if (::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 128, nullptr) <= 0 ||
      ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, clock, 128) <= 0) {
    return SystemErrorText(::GetLastError());
  }
  return std::wstring(date) + L" " + clock;
}

}  // namespace

std::wstring FileModifiedTimeText(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return SystemErrorText(::GetLastError());
  return FileTimeToLocalText(data.ftLastWriteTime);
}

std::wstring FileTimeToLocalText(const FILETIME& time) {
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!::FileTimeToSystemTime(&time, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return SystemErrorText(::GetLastError());
  }
  return LocaleDateTimeText(local);
}

std::wstring FileSizeText(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return SystemErrorText(::GetLastError());
  return std::to_wstring(data.nFileSizeLow);
}

}  // namespace sf
