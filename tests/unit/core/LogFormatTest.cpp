#include "logging/LogFormatU.h"

#include <gtest/gtest.h>

#include "common/TextU.h"

namespace sf {
namespace {

TEST(LogFormat, LineIsTimeColonTextCrLfInUtf8) {
  const TLocalTime t{2025, 1, 31, 14, 5, 9, 482};
  EXPECT_EQ(FormatLogLine(t, L":", L"Checking Disk Status..."), "14:05:09.482: Checking Disk Status...\r\n");
  EXPECT_EQ(FormatLogLine(t, L":", L""), "14:05:09.482: \r\n");
  EXPECT_EQ(FormatLogLine(t, L".", L"Espaço Não"), "14.05.09.482: Espa\xC3\xA7o N\xC3\xA3o\r\n");
  EXPECT_EQ(FormatLogLine(t, L":", L"a\r\nb"), "14:05:09.482: a\r\nb\r\n");
}

TEST(LogFormat, FileNameAndStamps) {
  const TLocalTime t{2025, 1, 31, 14, 5, 9, 0};
  EXPECT_EQ(RunLogFileName(t), L"Stormfinch 31-01-2025_14-05-09.log");
  EXPECT_EQ(RunStamp(t), L"2025-01-31_14-05-09");
  EXPECT_EQ(IdentifierStamp({2025, 12, 8, 23, 41, 0, 0}), L"08-12-23-41");
}

TEST(Text, Utf8RoundTripAndDamagedInput) {
  const std::wstring text = L"Configurações é ñ \U0001F600";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8("a\xFF" "b"), L"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xC3"), L"\uFFFD");
  EXPECT_EQ(FromUtf8("\xE0\x80\x80"), L"\uFFFD");  // overlong
}

TEST(Text, TrimRemovesBlanksAndControls) {
  EXPECT_EQ(Trim(L" \t\r\nC:\\x\\ \x01"), L"C:\\x\\");
  EXPECT_EQ(Trim(L"   "), L"");
}

}  // namespace
}  // namespace sf
