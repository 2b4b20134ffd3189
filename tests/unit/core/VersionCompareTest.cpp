// The installer's own version against the published version text: "major.minor" as major * 256 + minor,
// with the runtime's integer reading (a line break after the digits makes a part invalid, i.e. 0).
#include <gtest/gtest.h>

#include "common/TextU.h"
#include "engine/VersionCompareU.h"

namespace sf {
namespace {

TEST(VersionCompare, PublishedVersionAgainstTheRunningOne) {
  struct TCase {
    const wchar_t* local;
    const wchar_t* published;
    bool newer;
  };
  const TCase cases[] = {
      {L"1.41", L"1.42", true},
      {L"1.41", L"1.41", false},
      {L"1.41", L"1.5", false},     // 5 is lower than 41
      {L"1.300", L"2.0", false},    // 512 against 556
      {L"1.41", L"1.42\n", false},  // the minor part is no number: 1.0
      {L"1.41", L"2", true},        // no minor part: 2.0
      {L"1.41", L" +1.42", true},   // leading blanks and a sign are read
      {L"1.41", L"1.42.7", true},   // only the first two parts count
      {L"1.41", L"abc", false},
      {L"1.41", L"", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(ToUtf8(std::wstring(c.local) + L" / " + c.published));
    EXPECT_EQ(IsNewerInstaller(c.local, c.published), c.newer);
  }
}

}  // namespace
}  // namespace sf
