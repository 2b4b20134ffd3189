#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestServers.h"
#include "common/TextU.h"
#include "transfer/QuillonUpdateReaderU.h"

namespace sf {
namespace {

using nlohmann::json;

constexpr const char* kManifestPath = "/version/stormfinch/alpha/to/stable/";

json ValidManifest() {
  return json::parse(R"({
    "major": 5, "minor": 2, "release": 0, "build": 7, "video": "", "version_type": "stable",
    "is_latest": true, "bugged": false, "changes": ["Primeira"],
    "files": [{"file": "stormfinch.exe", "md5": "0123456789ABCDEF0123456789ABCDEF", "size": 1234, "install": true}]
  })");
}

json With(json manifest, const std::string& key, json value) {
  manifest[key] = std::move(value);
  return manifest;
}

json Without(json manifest, const std::string& key) {
  manifest.erase(key);
  return manifest;
}

struct TCase {
  const char* name;
  std::optional<std::string> body;  // none: nothing published, the server answers 404
  bool success;
  std::function<void(const TQuillonVersion&)> check;
};

class QuillonUpdateReaderTest : public testing::Test {
 protected:
  void SetUp() override { SF_REQUIRE_TEST_SERVERS(); }
  static const test::TTestServers& Servers() { return *test::TestServers(); }
  static TProxySettings NoProxy() { return {}; }
};

TEST_F(QuillonUpdateReaderTest, ManifestEdgeCasesFromBothServers) {
  const std::vector<TCase> cases = {
      {"not-found", std::nullopt, false, {}},
      {"not-json", "<html>maintenance</html>", false, {}},
      {"without-video", Without(ValidManifest(), "video").dump(), false, {}},
      {"major-letters", With(ValidManifest(), "major", "five").dump(), false, {}},
      {"major-digits", With(ValidManifest(), "major", "17").dump(), true,
       [](const TQuillonVersion& v) { EXPECT_EQ(VersionText(v), L"17.2.0.7"); }},
      {"changes-text-and-number", With(ValidManifest(), "changes", json::array({"Nova versão", 12.5})).dump(), true,
       [](const TQuillonVersion& v) { EXPECT_EQ(v.lstChanges, (std::vector<std::wstring>{L"Nova versão", L"12.5"})); }},
      {"install-absent-or-text",
       With(ValidManifest(), "files", json::parse(R"([{"file": "a.dll", "md5": "0CC175B9C0F1B6A831C399E269772661", "size": 1},
                                                      {"file": "b.dll", "md5": "92eb5ffee6ae2fec3ad71c777531578f", "size": "2", "install": "yes"},
                                                      {"file": "c.dll", "md5": "4A8A08F09D37B73795649038408B5F33", "size": 3, "install": true}])"))
           .dump(),
       true,
       [](const TQuillonVersion& v) {
         ASSERT_EQ(v.lstFiles.size(), 3u);
         EXPECT_FALSE(v.lstFiles[0]->bInstall);
         EXPECT_FALSE(v.lstFiles[1]->bInstall);
         EXPECT_TRUE(v.lstFiles[2]->bInstall);
         EXPECT_EQ(v.lstFiles[1]->nFileSize, 2u);
       }},
      {"slashes",
       With(ValidManifest(), "files", json::parse(R"([{"file": "bin/plugins/a.dll", "md5": "0CC175B9C0F1B6A831C399E269772661", "size": 1}])")).dump(),
       true, [](const TQuillonVersion& v) { EXPECT_EQ(v.lstFiles.at(0)->strFile, L"bin\\plugins\\a.dll"); }},
      {"md5-not-a-digest",
       With(ValidManifest(), "files", json::parse(R"([{"file": "a.dll", "md5": "../../version/x", "size": 1}])")).dump(),
       false, {}},
      {"empty-files", With(ValidManifest(), "files", json::array()).dump(), true,
       [](const TQuillonVersion& v) { EXPECT_TRUE(v.lstFiles.empty()); }},
  };
  for (const TCase& c : cases) {
    if (c.body) test::WriteServedFile(std::string("reader/") + c.name + kManifestPath + "pt-br_x64", *c.body);
  }

  for (const std::wstring& server : {Servers().strFaultUrl, Servers().strNginxUrl}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(ToUtf8(server) + " " + c.name);
      const std::wstring base = server + L"/reader/" + FromUtf8(c.name);
      const std::wstring url = base + FromUtf8(kManifestPath) + L"pt-br_x64";
      TQuillonVersion version;
      std::wstring diagnostic = L"left over";
      const bool ok = GetVersionInfo(base, L"stormfinch", L"alpha", L"stable", L"pt-br", true, NoProxy(), version,
                                     diagnostic);
      ASSERT_EQ(ok, c.success) << ToUtf8(diagnostic);
      const std::wstring tail = L"URL=" + url + L" Proxy=True";
      if (ok) {
        EXPECT_EQ(diagnostic, tail);
        c.check(version);
      } else if (!c.body) {
        EXPECT_EQ(diagnostic, L"StatusCode=404 ResponseText=Not Found " + tail);
      } else {
        EXPECT_EQ(diagnostic.rfind(L"Exception=", 0), 0u) << ToUtf8(diagnostic);
        EXPECT_TRUE(diagnostic.ends_with(L" " + tail)) << ToUtf8(diagnostic);
      }
    }
  }
}

TEST_F(QuillonUpdateReaderTest, The64BitFlagChoosesTheManifest) {
  test::WriteServedFile(std::string("reader/width") + kManifestPath + "pt-br", With(ValidManifest(), "build", 32).dump());
  test::WriteServedFile(std::string("reader/width") + kManifestPath + "pt-br_x64",
                        With(ValidManifest(), "build", 64).dump());
  for (bool is64Bit : {false, true}) {
    TQuillonVersion version;
    std::wstring diagnostic;
    ASSERT_TRUE(GetVersionInfo(Servers().strNginxUrl + L"/reader/width", L"stormfinch", L"alpha", L"stable", L"pt-br",
                               is64Bit, std::nullopt, version, diagnostic))
        << ToUtf8(diagnostic);
    EXPECT_EQ(version.nBuild, is64Bit ? 64 : 32);
    // Without proxy settings the diagnostic says nothing about a proxy.
    EXPECT_EQ(diagnostic, L"URL=" + Servers().strNginxUrl + L"/reader/width" + FromUtf8(kManifestPath) +
                              (is64Bit ? L"pt-br_x64" : L"pt-br"));
  }
}

TEST_F(QuillonUpdateReaderTest, ReadsThePublishedTreeThroughTheProxy) {
  std::wstring base = Servers().strNginxUrl + L"/site";
  base.replace(base.find(L"127.0.0.1"), 9, L"localhost");  // see the proxy test of the HTTP client
  const TProxySettings proxy{Servers().strProxyHost, Servers().nProxyPort, L"", Servers().strProxyUser,
                             Servers().strProxyPassword};
  TQuillonVersion version;
  std::wstring diagnostic;
  ASSERT_TRUE(GetVersionInfo(base, L"stormfinch", L"alpha", L"stable", L"pt-br", true, proxy, version, diagnostic))
      << ToUtf8(diagnostic);
  EXPECT_EQ(VersionText(version), L"5.2.0.7");
  EXPECT_EQ(version.strType, L"stable");
  EXPECT_EQ(version.lstChanges, std::vector<std::wstring>{L"Primeira versão"});
  std::vector<std::wstring> files;
  for (const auto& file : version.lstFiles) {
    files.push_back(file->strFile);
    // Each entry names a package the server really has, of the size the manifest states.
    EXPECT_EQ(std::filesystem::file_size(Servers().www / L"site" / L"files" / file->strMD5), file->nFileSize);
  }
  EXPECT_EQ(files, (std::vector<std::wstring>{L"bin\\plugins\\quotes.dll", L"readme.txt", L"stormfinch.exe"}));
}

TEST_F(QuillonUpdateReaderTest, FailuresOfTheConnectionBecomeAnExceptionText) {
  TQuillonVersion version;
  std::wstring diagnostic;
  EXPECT_FALSE(DownloadVersionInfo(L"http://127.0.0.1:1/version", NoProxy(), version, diagnostic));
  EXPECT_EQ(diagnostic.rfind(L"Exception=WinHttpSendRequest: ", 0), 0u) << ToUtf8(diagnostic);
  EXPECT_TRUE(diagnostic.ends_with(L" URL=http://127.0.0.1:1/version Proxy=True")) << ToUtf8(diagnostic);

  // A server that answers with more than any manifest could be is cut off, not read into memory.
  test::SetFault("/reader/endless", json::array({{{"kind", "endless"}}}));
  EXPECT_FALSE(DownloadVersionInfo(Servers().strFaultUrl + L"/reader/endless", NoProxy(), version, diagnostic));
  EXPECT_EQ(diagnostic.rfind(L"Exception=The answer's body exceeds the limit", 0), 0u) << ToUtf8(diagnostic);
}

}  // namespace
}  // namespace sf
