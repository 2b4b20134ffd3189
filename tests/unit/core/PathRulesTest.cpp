#include "common/PathRulesU.h"

#include <gtest/gtest.h>

#include "common/TextU.h"

namespace sf {
namespace {

TEST(PathRules, AcceptsRelativePathsBelowTheFolder) {
  for (const wchar_t* path : {L"a.dll", L"bin\\plugins\\a.dll", L"bin/plugins/a.dll", L"database\\x.db",
                              L"Configura\u00E7\u00F5es\\dados.ini", L"conf.d\\x", L"console.exe", L"com10.dll",
                              L"lpt0.txt", L"nul_file", L"..a", L"a..b\\.hidden", L"x\\auxiliary\\y"}) {
    EXPECT_TRUE(IsSafeRelativePath(path)) << ToUtf8(path);
  }
}

TEST(PathRules, RefusesPathsThatEscapeOrNameSomethingElse) {
  for (const wchar_t* path : {
           L"", L"..", L"..\\a.dll", L"a\\..\\..\\b", L"a/../b", L"a\\..", L".\\a", L"a\\.\\b",  // climbing
           L"\\a.dll", L"/etc/passwd", L"\\\\server\\share\\a", L"//server/share/a",          // rooted, UNC
           L"\\\\?\\C:\\a", L"C:\\a.dll", L"C:a.dll", L"c:/a", L"a\\C:\\b",                    // drives
           L"a.dll:stream", L"a.dll::$DATA",                                                    // streams
           L"CON", L"con", L"nul.txt", L"bin\\NUL", L"aux.dll\\x", L"PRN", L"COM1", L"lpt9.log",  // devices
           L"COM\u00B9", L"conin$", L"CONOUT$.txt", L"nul .txt",
           L"a\\\\b", L"a\\", L"a/",                                    // empty segments
           L"a.", L"a \\b", L"dir.\\b",                                 // names Windows alters
           L"a\tb", L"a\nb", L"a\x01", L"a<b", L"a>b", L"a\"b", L"a|b", L"a?b", L"a*b"}) {
    EXPECT_FALSE(IsSafeRelativePath(path)) << ToUtf8(path);
  }
  EXPECT_FALSE(IsSafeRelativePath(std::wstring(L"a\0b", 3)));
}

// Windows cannot create a name longer than 255 UTF-16 units: such a path is refused, not met later as a
// file that cannot be created.
TEST(PathRules, NamesUpToTheLongestWindowsCreates) {
  const std::wstring longest(kMaxNameLength, L'x');
  EXPECT_TRUE(IsSafeRelativePath(longest));
  EXPECT_TRUE(IsSafeRelativePath(L"bin\\" + longest + L"\\" + longest));
  EXPECT_FALSE(IsSafeRelativePath(longest + L"x"));
  EXPECT_FALSE(IsSafeRelativePath(L"bin\\" + longest + L"x\\a.dll"));
  // Off Windows a wide character above U+FFFF counts twice, as its UTF-16 form does.
  if constexpr (sizeof(wchar_t) > 2) {
    EXPECT_TRUE(IsSafeRelativePath(std::wstring(127, static_cast<wchar_t>(0x1F600))));
    EXPECT_FALSE(IsSafeRelativePath(std::wstring(128, static_cast<wchar_t>(0x1F600))));
  }
}

// One rule for the command line and the name page. The name becomes part of the folder
// %APPDATA%\Ardentis\Stormfinch_<name> and of a registry key.
TEST(PathRules, InstallationNames) {
  for (const wchar_t* name : {L"", L"abc", L"a.b", L"a_b-c", L"abcdefghijklmnopq", L"Configura\u00E7\u00E3o",
                              L"x..y", L"CON", L"a b", L"(1)", L"#2", L"a'b", L"a%b", L"a\u00A0b"}) {
    EXPECT_TRUE(IsValidInstallationName(name)) << ToUtf8(name);
  }
  for (const wchar_t* name : {
           L"x\\..\\..\\..\\..", L"a/b", L"a\\b", L"..", L".", L"..\\x",                  // climbing or nesting
           L"a:b", L"C:", L"a*b", L"a?b", L"a\"b", L"a<b", L"a>b", L"a|b",            // characters Windows refuses
           L"a\tb", L"a\nb", L"a\x01", L"a\x7F", L"a\u0085b",                       // control characters
           L"abc.", L".abc", L"abc ", L" abc", L"abc\u00A0", L"\u3000abc", L"abc\uFEFF"}) {  // ends Windows drops
    EXPECT_FALSE(IsValidInstallationName(name)) << ToUtf8(name);
  }
  EXPECT_FALSE(IsValidInstallationName(std::wstring(L"a\0b", 3)));
}

TEST(PathRules, SameFileNameIgnoringLetterCase) {
  struct TCase {
    const wchar_t* a;
    const wchar_t* b;
    bool same;
  };
  const TCase cases[] = {
      {L"bin\\A.dll", L"BIN\\a.DLL", true},
      {L"Configura\u00C7\u00C3O.ini", L"configura\u00E7\u00E3o.INI", true},  // Latin-1
      {L"\u0141\u00F3d\u017A", L"\u0142\u00D3D\u0179", true},                  // Latin Extended-A, both orders
      {L"\u00FF", L"\u0178", true},
      {L"\u039A\u03B1\u03C2", L"\u03BA\u0391\u03A3", true},                     // Greek, final sigma
      {L"\u0414\u0430\u0451", L"\u0434\u0410\u0401", true},                     // Cyrillic
      {L"a.dll", L"a.dl", false},
      {L"a.dll", L"b.dll", false},
      {L"\u00E4.dll", L"a.dll", false},
      {L"\u00D7", L"\u00F7", false},  // the signs of multiplication and division are no letters
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(IsSameFileName(c.a, c.b), c.same) << ToUtf8(c.a) << " / " << ToUtf8(c.b);
    EXPECT_EQ(IsSameFileName(c.b, c.a), c.same) << ToUtf8(c.b) << " / " << ToUtf8(c.a);
  }
}

}  // namespace
}  // namespace sf
