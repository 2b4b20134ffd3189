// The run log's line format, kept apart from the file so that it can be checked on any platform.
#pragma once

#include <string>
#include <string_view>

#include "common/TimeTextU.h"

namespace sf {

// "<time>: <text>\r\n" in UTF-8. The text is written unchanged, line breaks included.
std::string FormatLogLine(const TLocalTime& now, std::wstring_view timeSeparator, std::wstring_view text);
// ProductName + " " + "dd-mm-yyyy_hh-nn-ss" + ".log"
std::wstring RunLogFileName(const TLocalTime& start);

}  // namespace sf
