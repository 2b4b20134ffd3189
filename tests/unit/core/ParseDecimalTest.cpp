// ParseDecimal carries the port of the proxy dialog, the installer's version numbers and the
// Content-Length of every download: its edges are theirs.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "common/TextU.h"

namespace sf {
namespace {

TEST(ParseDecimal, TakesOnlyPlainDigitsUpToTheBound) {
  constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();
  const struct {
    std::wstring text;
    std::uint64_t max;
    std::optional<std::uint64_t> expected;
  } cases[] = {
      {L"0", 10, 0},
      {L"0080", 100, 80},
      {L"2147483647", 2147483647, 2147483647},
      {L"2147483648", 2147483647, std::nullopt},             // one above the bound
      {L"18446744073709551615", kMax64, kMax64},             // the largest value there is
      {L"18446744073709551616", kMax64, std::nullopt},       // wraps past 64 bits: refused, never wrapped
      {L"99999999999999999999999999", kMax64, std::nullopt},
      {L"", 10, std::nullopt},
      {L"+1", 10, std::nullopt},
      {L"-1", 10, std::nullopt},
      {L" 1", 10, std::nullopt},
      {L"1 ", 10, std::nullopt},
      {L"1\r\n", 10, std::nullopt},
      {L"0x1", 10, std::nullopt},
      {L"\u0661", 10, std::nullopt},                         // an Arabic-Indic digit is not 0-9
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDecimal(c.text, c.max), c.expected) << ToUtf8(c.text);
  }
}

}  // namespace
}  // namespace sf
