// What a signed manifest must carry beyond an unsigned one, and the rules it must still meet once its
// signature is good: not expired, not older than what this user accepted before.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ManifestCases.h"
#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/TextU.h"
#include "common/TimeTextU.h"
#include "transfer/QuillonVersionU.h"

namespace sf {
namespace {

using nlohmann::json;

constexpr const char* kSha256OfA = "CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB";

json SignedManifest() {
  return json::parse(R"({
    "major": 5, "minor": 2, "release": 0, "build": 7, "video": "", "version_type": "stable",
    "is_latest": true, "bugged": false, "changes": [],
    "serial": 20250131140509, "expires": "2025-03-02T14:05:09Z",
    "files": [
      {"file": "stormfinch.exe", "md5": "0CC175B9C0F1B6A831C399E269772661", "size": 10,
       "sha256": "CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB"},
      {"file": "bin/a.dll", "md5": "92eb5ffee6ae2fec3ad71c777531578f", "size": 20,
       "sha256": "3e23e8160039594a33894f6564e1b1348bbd7a0088d42c4acb73eeaed59c009d"}
    ]
  })");
}

TQuillonVersion Parse(const json& manifest, TManifestKind kind) {
  TQuillonVersion version;
  ParseVersionManifest(manifest.dump(), version, kind);
  return version;
}

TEST(SignedManifest, CarriesSerialExpiryAndADigestPerFile) {
  const TQuillonVersion version = Parse(SignedManifest(), TManifestKind::Signed);
  EXPECT_EQ(version.nSerial, 20250131140509u);
  EXPECT_EQ(version.strExpires, L"2025-03-02T14:05:09Z");
  EXPECT_EQ(version.nExpires, *ParseUtcStamp("2025-03-02T14:05:09Z"));
  ASSERT_EQ(version.lstFiles.size(), 2u);
  EXPECT_EQ(version.lstFiles[0]->strSHA256, FromUtf8(kSha256OfA));
  EXPECT_EQ(version.lstFiles[1]->strSHA256, L"3e23e8160039594a33894f6564e1b1348bbd7a0088d42c4acb73eeaed59c009d");
}

TEST(SignedManifest, AnUnsignedReadIgnoresTheSignedFields) {
  json manifest = SignedManifest();
  manifest["serial"] = "not even a number";
  manifest.erase("expires");
  manifest["files"][0].erase("sha256");
  const TQuillonVersion version = Parse(manifest, TManifestKind::Unsigned);
  EXPECT_EQ(version.nSerial, 0u);
  EXPECT_EQ(version.strExpires, L"");
  EXPECT_EQ(version.lstFiles[0]->strSHA256, L"");
  EXPECT_EQ(version.lstFiles[1]->strSHA256, L"");
}

TEST(SignedManifest, RefusesAMissingOrMalformedField) {
  const test::TManifestChange changes[] = {
      {"/serial", nullptr, L"\"serial\" is missing"},
      {"/serial", "0", L"\"serial\" is not a whole number from 1 to 18446744073709551615"},
      {"/serial", "-3", L"\"serial\" is not a whole number from 1"},
      {"/serial", "7.5", L"\"serial\" is not a whole number from 1"},
      {"/serial", R"("7")", L"\"serial\" is not a whole number from 1"},
      {"/serial", "18446744073709551616", L"\"serial\" is not a whole number from 1"},
      {"/expires", nullptr, L"\"expires\" is missing"},
      {"/expires", R"("2025-03-02 14:05:09Z")", L"\"expires\" is not a UTC time of the form YYYY-MM-DDTHH:MM:SSZ: \"2025-03-02 14:05:09Z\""},
      {"/expires", R"("2025-03-02T14:05:09")", L"\"expires\" is not a UTC time"},
      {"/expires", R"("2025-03-02T14:05:09+00:00")", L"\"expires\" is not a UTC time"},
      {"/expires", R"("2025-02-29T00:00:00Z")", L"\"expires\" is not a UTC time"},
      {"/expires", "1740924309", L"\"expires\" is not a UTC time of the form YYYY-MM-DDTHH:MM:SSZ: 1740924309"},
      {"/files/1/sha256", nullptr, L"\"sha256\" is missing in \"files\"[1] (bin\\a.dll)"},
      {"/files/0/sha256", "17", L"\"sha256\" in \"files\"[0] (stormfinch.exe) is not text"},
      {"/files/0/sha256", R"("CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48B")",
       L"\"sha256\" in \"files\"[0] (stormfinch.exe) is not 64 hexadecimal digits: CA978112"},
      {"/files/0/sha256", R"("CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB0")",
       L"is not 64 hexadecimal digits"},
      {"/files/0/sha256", R"("XA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB")",
       L"is not 64 hexadecimal digits"},
  };
  test::ExpectEachRefused(SignedManifest(), changes, TManifestKind::Signed);
}

TEST(SignedManifest, IsRefusedOnceExpiredOrOlderThanTheAcceptedOne) {
  TQuillonVersion version;
  version.nSerial = 7;
  version.strExpires = L"2025-03-02T14:05:09Z";
  version.nExpires = *ParseUtcStamp("2025-03-02T14:05:09Z");
  struct TCase {
    std::int64_t now;
    std::uint64_t accepted;
    const wchar_t* refusal;
  };
  const TCase cases[] = {
      {version.nExpires - 86400, 0, L""},
      {version.nExpires, 7, L""},  // the last second of its life, the serial already accepted once
      {version.nExpires + 1, 0, L"Expired=2025-03-02T14:05:09Z Now=2025-03-02T14:05:10Z"},
      {version.nExpires - 1, 8, L"Serial=7 Accepted=8"},
      {version.nExpires + 3600, 8, L"Expired=2025-03-02T14:05:09Z Now=2025-03-02T15:05:09Z"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.now);
    EXPECT_EQ(SignedManifestRefusal(version, c.now, c.accepted), c.refusal);
  }
}

TEST(UtcStamp, ReadsAndWritesTheSignedManifestsTimeForm) {
  struct TCase {
    const char* text;
    std::int64_t seconds;
  };
  const TCase cases[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2000-02-29T23:59:59Z", 951868799},
      {"2025-03-02T14:05:09Z", 1740924309},
      {"2038-01-19T03:14:08Z", 2147483648},
      {"1969-12-31T23:59:59Z", -1},
      {"9999-12-31T23:59:59Z", 253402300799},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseUtcStamp(c.text), c.seconds);
    EXPECT_EQ(UtcStamp(c.seconds), FromUtf8(c.text));
  }
  for (const char* text : {"", "2025-03-02T14:05:09z", "2025-13-01T00:00:00Z", "2025-00-10T00:00:00Z",
                           "2025-04-31T00:00:00Z", "1900-02-29T00:00:00Z", "2025-03-02T24:00:00Z",
                           "2025-03-02T14:60:00Z", "2025-03-02T14:05:60Z", "+025-03-02T14:05:09Z",
                           "2025-03-02T14:05:09Z ", "2025-3-02T14:05:09Z"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseUtcStamp(text), std::nullopt);
  }
}

TEST(Hex, BytesOfHexTextInEitherCase) {
  EXPECT_EQ(HexToBytes("04aBff00"), (std::vector<std::uint8_t>{0x04, 0xAB, 0xFF, 0x00}));
  EXPECT_EQ(HexToBytes(""), std::vector<std::uint8_t>{});
  for (const char* text : {"0", "0g", "04 b", "0x04"}) EXPECT_EQ(HexToBytes(text), std::nullopt) << text;
  EXPECT_TRUE(IsHexText(L"0cC175b9", 8));
  EXPECT_FALSE(IsHexText(L"0cC175b9", 7));
  EXPECT_FALSE(IsHexText(L"0cC175bZ", 8));
}

}  // namespace
}  // namespace sf
