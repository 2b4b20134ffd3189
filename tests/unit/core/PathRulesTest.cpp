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

}  // namespace
}  // namespace sf
