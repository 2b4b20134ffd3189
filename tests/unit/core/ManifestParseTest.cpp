#include "transfer/QuillonVersionU.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ManifestCases.h"
#include "common/ErrorU.h"
#include "common/TextU.h"

namespace sf {
namespace {

using nlohmann::json;

// A manifest as the version server sends it; each test changes what it is about.
json Manifest() {
  return json::parse(R"({
    "major": 5, "minor": 12, "release": 0, "build": 731,
    "video": "https://videos.example/v512", "version_type": "stable",
    "is_latest": true, "bugged": false,
    "changes": ["Novo gr\u00e1fico", "Corre\u00e7\u00f5es"],
    "files": [
      {"file": "quillon.exe", "md5": "0CC175B9C0F1B6A831C399E269772661", "size": 1048576, "install": true},
      {"file": "bin/plugins/a.dll", "md5": "92eb5ffee6ae2fec3ad71c777531578f", "size": "77"},
      {"file": "database/x.db", "md5": "d41d8cd98f00b204e9800998ecf8427e", "size": 0, "install": "yes"}
    ]
  })");
}

TQuillonVersion Parse(const json& manifest) {
  TQuillonVersion version;
  ParseVersionManifest(manifest.dump(), version);
  return version;
}

TEST(ManifestParse, ReadsEveryField) {
  const TQuillonVersion version = Parse(Manifest());
  EXPECT_EQ(VersionText(version), L"5.12.0.731");
  EXPECT_EQ(version.strVideo, L"https://videos.example/v512");
  EXPECT_EQ(version.strType, L"stable");
  EXPECT_TRUE(version.bIsLatest);
  EXPECT_FALSE(version.bBugVersion);
  EXPECT_EQ(version.strHeader, L"");
  EXPECT_EQ(version.strFooter, L"");
  EXPECT_EQ(version.lstChanges, (std::vector<std::wstring>{L"Novo gr\u00E1fico", L"Corre\u00E7\u00F5es"}));

  ASSERT_EQ(version.lstFiles.size(), 3u);
  const PQuillonVersionFile exe = version.lstFiles[0].get();
  EXPECT_EQ(exe->strFile, L"quillon.exe");
  EXPECT_EQ(exe->strMD5, L"0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(exe->nFileSize, 1048576u);
  EXPECT_TRUE(exe->bInstall);
  EXPECT_EQ(version.lstFiles[1]->strFile, L"bin\\plugins\\a.dll");
  EXPECT_EQ(version.lstFiles[1]->nFileSize, 77u);
  EXPECT_FALSE(version.lstFiles[1]->bInstall);  // absent
  EXPECT_FALSE(version.lstFiles[2]->bInstall);  // not a boolean
}

TEST(ManifestParse, AcceptsTheAlternativeTypesTheServerSends) {
  json manifest = Manifest();
  manifest["major"] = "7";
  manifest["build"] = "-2";
  manifest["video"] = 12;
  manifest["version_type"] = 1.5;
  manifest["changes"] = json::parse(R"(["text", 42])");
  manifest["files"][0]["size"] = "4294967295";
  const TQuillonVersion version = Parse(manifest);
  EXPECT_EQ(VersionText(version), L"7.12.0.-2");
  EXPECT_EQ(version.strVideo, L"12");
  EXPECT_EQ(version.strType, L"1.5");
  EXPECT_EQ(version.lstChanges, (std::vector<std::wstring>{L"text", L"42"}));
  EXPECT_EQ(version.lstFiles[0]->nFileSize, 4294967295u);
}

TEST(ManifestParse, AnUnreadableChangeNoteDropsTheNotesOnly) {
  json manifest = Manifest();
  manifest["changes"] = json::parse(R"(["first", {"text": "second"}, "third"])");
  const TQuillonVersion version = Parse(manifest);
  EXPECT_TRUE(version.lstChanges.empty());
  EXPECT_EQ(version.lstFiles.size(), 3u);
}

TEST(ManifestParse, AnEmptyFileListIsAManifest) {
  json manifest = Manifest();
  manifest["files"] = json::array();
  EXPECT_TRUE(Parse(manifest).lstFiles.empty());
}

// Every failure names its cause; `out` keeps what it held.
TEST(ManifestParse, RefusesWhatItCannotRead) {
  const test::TManifestChange changes[] = {
      {"/video", nullptr, L"\"video\" is missing"},
      {"/major", R"("abc")", L"\"major\" is not a whole number"},
      {"/major", R"("")", L"\"major\" is not a whole number"},
      {"/major", R"(" 5")", L"\"major\" is not a whole number"},
      {"/minor", "1.5", L"\"minor\" is not a whole number"},
      {"/release", "2147483648", L"\"release\" is not a whole number from -2147483648 to 2147483647"},
      {"/build", R"("99999999999999999999")", L"\"build\" is not a whole number"},
      {"/build", "null", L"\"build\" is not a whole number"},
      {"/video", "true", L"\"video\" is neither text nor a number"},
      {"/is_latest", R"("true")", L"\"is_latest\" is not true or false"},
      {"/bugged", nullptr, L"\"bugged\" is missing"},
      {"/changes", R"("none")", L"\"changes\" is not an array"},
      {"/files", "{}", L"\"files\" is not an array"},
      {"/files/1", "[]", L"\"files\"[1] is not an object"},
      {"/files/1/md5", nullptr, L"\"md5\" is missing in \"files\"[1]"},
      {"/files/2/size", nullptr, L"\"size\" is missing in \"files\"[2]"},
      {"/files/0/file", nullptr, L"\"file\" is missing in \"files\"[0]"},
      {"/files/0/file", "17", L"\"file\" in \"files\"[0] is not text"},
      {"/files/0/md5", "17", L"\"md5\" in \"files\"[0] (quillon.exe) is not text"},
      {"/files/0/size", "-1", L"\"size\" in \"files\"[0] (quillon.exe) is not a whole number from 0 to 4294967295"},
      {"/files/0/size", "4294967296", L"\"size\" in \"files\"[0] (quillon.exe) is not a whole number"},
      {"/files/0/size", R"("12kB")", L"\"size\" in \"files\"[0] (quillon.exe) is not a whole number"},
      {"/files/0/size", "true", L"\"size\" in \"files\"[0] (quillon.exe) is not a whole number"},
      // Paths that would place a file outside the installation folder, or on a device or stream.
      {"/files/1/file", R"("../../Startup/evil.exe")", L"\"file\" in \"files\"[1] is not a safe relative path: ..\\..\\Startup\\evil.exe"},
      {"/files/1/file", R"("bin/../../evil.exe")", L"is not a safe relative path"},
      {"/files/1/file", R"("/etc/evil")", L"is not a safe relative path"},
      {"/files/1/file", R"("C:/Windows/evil.dll")", L"is not a safe relative path"},
      {"/files/1/file", R"("\\\\server\\share\\evil.dll")", L"is not a safe relative path"},
      {"/files/1/file", R"("quillon.exe:payload")", L"is not a safe relative path"},
      {"/files/1/file", R"("bin/CON")", L"is not a safe relative path"},
      {"/files/1/file", R"("aux.dll")", L"is not a safe relative path"},
      {"/files/1/file", R"("")", L"is not a safe relative path"},
      // The digest becomes part of the package's address: 32 hexadecimal digits, nothing else.
      {"/files/1/md5", R"("92eb5ffee6ae2fec3ad71c777531578")", L"\"md5\" in \"files\"[1] (bin\\plugins\\a.dll) is not 32 hexadecimal digits: 92eb5ffee6ae2fec3ad71c777531578"},
      {"/files/1/md5", R"("92eb5ffee6ae2fec3ad71c777531578f0")", L"is not 32 hexadecimal digits"},
      {"/files/1/md5", R"("92eb5ffee6ae2fec3ad71c777531578g")", L"is not 32 hexadecimal digits"},
      {"/files/1/md5", R"("")", L"is not 32 hexadecimal digits"},
      {"/files/1/md5", R"("../../version/stormfinch/alpha/x")", L"is not 32 hexadecimal digits"},
      {"/files/1/md5", R"("92eb5ffee6ae2fec 3ad71c777531578")", L"is not 32 hexadecimal digits"},
      {"/files/1/md5", R"("92eb5ffee6ae2fec3ad71c777531578f\u0000")", L"is not 32 hexadecimal digits"},
      // Two entries for one file would have two workers write it; letter case does not tell files apart.
      {"/files/2/file", R"("quillon.exe")", L"\"file\" in \"files\"[2] (quillon.exe) names the same file as \"files\"[0] (quillon.exe)"},
      {"/files/2/file", R"("BIN/Plugins/A.DLL")", L"\"files\"[2] (BIN\\Plugins\\A.DLL) names the same file as \"files\"[1]"},
      {"/files/0/file", R"("bin\\plugins\\a.dll")", L"\"files\"[1] (bin\\plugins\\a.dll) names the same file as \"files\"[0]"},
  };
  test::ExpectEachRefused(Manifest(), changes, TManifestKind::Unsigned);
}

TEST(ManifestParse, LetterCaseBeyondAsciiDoesNotMakeAnotherFile) {
  json manifest = Manifest();
  manifest["files"][1]["file"] = "dados/Configura\u00E7\u00E3o.ini";
  manifest["files"][2]["file"] = "DADOS/CONFIGURA\u00C7\u00C3O.INI";
  TQuillonVersion version;
  try {
    ParseVersionManifest(manifest.dump(), version);
    ADD_FAILURE() << "accepted";
  } catch (const TError& e) {
    EXPECT_NE(e.Message().find(L"names the same file as \"files\"[1]"), std::wstring::npos) << e.what();
  }
  manifest["files"][2]["file"] = "DADOS/CONFIGURACAO.INI";
  EXPECT_EQ(Parse(manifest).lstFiles.size(), 3u);
}

TEST(ManifestParse, RefusesTextThatIsNotAJsonObject) {
  for (const char* text : {"", "<html>502 Bad Gateway</html>", "[1, 2]", "\"major\"", "{\"major\": 5",
                           "{\"video\": \"\xC3\x28\"}"}) {
    SCOPED_TRACE(text);
    TQuillonVersion version;
    try {
      ParseVersionManifest(text, version);
      ADD_FAILURE() << "accepted";
    } catch (const TError& e) {
      EXPECT_EQ(e.Message().rfind(L"Version manifest: ", 0), 0u) << e.what();
    }
  }
}

}  // namespace
}  // namespace sf
