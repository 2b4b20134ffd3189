#include "common/FileFactsU.h"

#include <vector>

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

std::wstring FileVersionText(const std::wstring& path, bool fourParts) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size > 0) {
    std::vector<BYTE> buffer(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (::GetFileVersionInfoW(path.c_str(), 0, size, buffer.data()) &&
        ::VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&info), &length) && info &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
      std::wstring text = std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
                          std::to_wstring(LOWORD(info->dwFileVersionMS));
      if (fourParts) {
        text += L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
                std::to_wstring(LOWORD(info->dwFileVersionLS));
      }
      return text;
    }
  }
  // Without a version resource the platform's one-number version query has nothing either: all bits set.
  return L"65535.65535";
}

}  // namespace sf
