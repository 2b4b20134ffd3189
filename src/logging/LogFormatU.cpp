#include "logging/LogFormatU.h"

#include "common/ConstantsU.h"
#include "common/TextU.h"

namespace sf {

std::string FormatLogLine(const TLocalTime& now, std::wstring_view timeSeparator, std::wstring_view text) {
  std::wstring line = LogTimeStamp(now, timeSeparator);
  line += L": ";
  line += text;
  line += L"\r\n";
  return ToUtf8(line);
}

std::wstring RunLogFileName(const TLocalTime& start) {
  return std::wstring(ProductName) + L" " + RunLogStamp(start) + L".log";
}

}  // namespace sf
