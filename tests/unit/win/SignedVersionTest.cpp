// Signed manifests as the reader fetches them from nginx (the fixture's signed publication, serial 7, and
// variants of its bytes written here), the check of an unpacked file against a signed entry, and the
// serial an installation records.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "TestServers.h"
#include "WinTestSupport.h"
#include "common/ConstantsU.h"
#include "common/RegistryU.h"
#include "common/TextU.h"
#include "common/TimeTextU.h"
#include "engine/ManifestTrustU.h"
#include "transfer/QuillonUpdateReaderU.h"
#include "transfer/WorkerThreadU.h"

namespace sf {
namespace {

using nlohmann::json;

constexpr const char* kManifest = "/version/stormfinch/alpha/to/stable/pt-br_x64";
// A valid P-256 key (the curve's generator) that signed nothing here.
constexpr std::string_view kOtherKey =
    "046B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296"
    "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5";

std::string ReadServed(const std::string& relative) {
  return test::ReadFileBytes(test::TestServers()->www / FromUtf8(relative));
}

class SignedManifestFetch : public testing::Test {
 protected:
  void SetUp() override { SF_REQUIRE_TEST_SERVERS(); }
};

TEST_F(SignedManifestFetch, EachRuleRefusesWithItsDiagnosticAfterTheManifestAndItsSignatureOnly) {
  const std::string manifest = ReadServed(std::string("signed") + kManifest);
  const std::string signature = ReadServed(std::string("signed") + kManifest + ".sig");
  const std::string expires = json::parse(manifest).at("expires");
  const std::int64_t expiry = *ParseUtcStamp(expires);
  const std::string_view key = test::TestServers()->strSignedKey;
  std::string flipped = manifest;
  flipped[flipped.find("\"size\"") + 9] ^= 0x01;  // a digit of the first package's size

  struct TCase {
    const char* name;
    std::string body;
    std::optional<std::string> sig;  // none: no .sig published
    std::vector<std::string_view> keys;
    std::uint64_t accepted;
    std::int64_t now;
    const char* result;  // the diagnostic's first piece, or "" when the manifest is accepted
  };
  const std::vector<TCase> cases = {
      {"valid", manifest, signature, {key}, 0, expiry - 60, ""},
      {"second-key", manifest, signature, {kOtherKey, key}, 0, expiry - 60, ""},
      {"equal-serial-last-second", manifest, signature, {key}, 7, expiry, ""},
      {"flipped-byte", flipped, signature, {key}, 0, expiry - 60, "Signature=Invalid"},
      {"missing-sig", manifest, std::nullopt, {key}, 0, expiry - 60, "Signature=Missing StatusCode=404 ResponseText=Not Found"},
      {"truncated-sig", manifest, signature.substr(0, 63), {key}, 0, expiry - 60, "Signature=Malformed Size=63"},
      {"other-key", manifest, signature, {kOtherKey}, 0, expiry - 60, "Signature=Invalid"},
      {"expired", manifest, signature, {key}, 0, expiry + 1, "Expired="},
      {"older-serial", manifest, signature, {key}, 8, expiry - 60, "Serial=7 Accepted=8"},
  };
  for (const auto& c : cases) {
    const std::string folder = std::string("reader-signed/") + c.name;
    test::WriteServedFile(folder + kManifest, c.body);
    if (c.sig) test::WriteServedFile(folder + kManifest + ".sig", *c.sig);
  }

  const std::wstring base = test::TestServers()->strNginxUrl + L"/reader-signed/";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t logged = test::NginxLog(0).size();
    const std::wstring url = base + FromUtf8(c.name) + FromUtf8(kManifest);
    TQuillonVersion version;
    std::wstring diagnostic;
    const TManifestTrust trust{c.keys, c.accepted, c.now};
    const bool ok = DownloadVersionInfo(url, TProxySettings{}, version, diagnostic, nullptr, trust);

    const std::wstring tail = L"URL=" + url + L" Proxy=True";
    if (*c.result == '\0') {
      ASSERT_TRUE(ok) << ToUtf8(diagnostic);
      const std::wstring which = c.keys.size() == 2 ? L"2" : L"1";
      EXPECT_EQ(diagnostic, tail + L" Signature=Valid Key=" + which + L" Serial=7 Expires=" + FromUtf8(expires));
      EXPECT_EQ(version.lstFiles.size(), 3u);
      EXPECT_EQ(version.lstFiles[0]->strSHA256.size(), 64u);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(diagnostic.rfind(FromUtf8(c.result), 0), 0u) << ToUtf8(diagnostic);
      EXPECT_TRUE(diagnostic.ends_with(L" " + tail)) << ToUtf8(diagnostic);
    }
    if (std::string_view(c.name) == "expired") {
      EXPECT_EQ(diagnostic.rfind(L"Expired=" + FromUtf8(expires) + L" Now=" + UtcStamp(c.now) + L" ", 0), 0u);
    }
    // The manifest, then its signature: nothing else is asked for, accepted or not.
    const json log = test::NginxLog(logged + 2);
    std::vector<std::string> paths;
    for (std::size_t i = logged; i < log.size(); ++i) paths.push_back(log[i].at("path"));
    const std::string path = "/reader-signed/" + std::string(c.name) + kManifest;
    EXPECT_EQ(paths, (std::vector<std::string>{path, path + ".sig"}));
  }
}

TEST_F(SignedManifestFetch, WithoutKeysTheSignedFieldsAndTheSignatureAreLeftAlone) {
  const std::wstring url = test::TestServers()->strNginxUrl + L"/signed" + FromUtf8(kManifest);
  const std::size_t logged = test::NginxLog(0).size();
  TQuillonVersion version;
  std::wstring diagnostic;
  ASSERT_TRUE(DownloadVersionInfo(url, std::nullopt, version, diagnostic)) << ToUtf8(diagnostic);
  EXPECT_EQ(diagnostic, L"URL=" + url);
  EXPECT_EQ(version.nSerial, 0u);
  EXPECT_EQ(version.lstFiles.at(0)->strSHA256, L"");
  const json log = test::NginxLog(logged + 1);
  ASSERT_EQ(log.size(), logged + 1);
  EXPECT_EQ(log.back().at("path"), std::string("/signed") + kManifest);
}

TEST(ValidateMD5Hash, ASignedEntryNeedsBothDigestsFromOneRead) {
  test::TTempFolder temp;
  const std::wstring file = (temp.Path() / "abc.bin").wstring();
  std::ofstream(temp.Path() / "abc.bin", std::ios::binary) << "abc";
  const std::wstring md5 = L"900150983CD24FB0D6963F7D28E17F72";
  const std::wstring sha256 = L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
  const std::wstring otherSha256 = L"CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB";
  struct TCase {
    const char* name;
    std::wstring path, md5, sha256;
    bool valid;
  };
  const TCase cases[] = {
      {"unsigned entry", file, md5, L"", true},
      {"both digests", file, md5, sha256, true},
      {"letter case ignored", file, AsciiLower(md5), AsciiLower(sha256), true},
      {"the MD5 matches, the SHA-256 does not", file, md5, otherSha256, false},
      {"the SHA-256 matches, the MD5 does not", file, L"0CC175B9C0F1B6A831C399E269772661", sha256, false},
      {"no file", file + L".missing", md5, sha256, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFileDigests local;
    EXPECT_EQ(TBaseWorkerThread::ValidateMD5Hash(c.path, c.md5, c.sha256, &local), c.valid);
    if (c.path == file) {
      EXPECT_EQ(local.strMD5, md5);
      EXPECT_EQ(local.strSHA256, c.sha256.empty() ? L"" : sha256);
    }
  }
}

TEST(ManifestSerial, RecordedAfterACompletedRunAndNeverLowered) {
  test::TRegistrySandbox registry;
  EXPECT_EQ(AcceptedManifestSerial(), 0u);
  EXPECT_EQ(RecordManifestSerial(20250131140509), ERROR_SUCCESS);
  EXPECT_EQ(AcceptedManifestSerial(), 20250131140509u);
  EXPECT_EQ(RecordManifestSerial(7), ERROR_SUCCESS);
  EXPECT_EQ(AcceptedManifestSerial(), 20250131140509u);

  TRegKey company;
  ASSERT_EQ(company.Open(HKEY_CURRENT_USER, std::wstring(L"Software\\") + CompanyName, KEY_READ | KEY_WRITE),
            ERROR_SUCCESS);
  DWORD type = 0;
  ASSERT_EQ(::RegQueryValueExW(company.Get(), L"ManifestSerial", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
  // A value of another type is no record: the next completed run writes a real one.
  ASSERT_EQ(company.WriteString(L"ManifestSerial", L"99999999999999"), ERROR_SUCCESS);
  EXPECT_EQ(AcceptedManifestSerial(), 0u);
  EXPECT_EQ(RecordManifestSerial(8), ERROR_SUCCESS);
  EXPECT_EQ(AcceptedManifestSerial(), 8u);
}

}  // namespace
}  // namespace sf
