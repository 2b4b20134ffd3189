#include <windows.h>
#include <gdiplus.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "WinTestSupport.h"
#include "common/DigestU.h"
#include "common/ErrorU.h"
#include "common/FileFactsU.h"
#include "common/HexU.h"
#include "common/MachineIdentityU.h"
#include "common/ResourcesU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "logging/SystemDiagU.h"
#include "logging/WindowsFactsU.h"
#include "transfer/FileOpsU.h"

namespace sf {
namespace {

namespace fs = std::filesystem;
using test::TTempFolder;

void WriteBytes(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  ASSERT_TRUE(out.good()) << path;
}

TEST(FileMD5Hex, DigestOfSmallFilesEmptyForMissingOnes) {
  TTempFolder temp;
  struct TCase {
    const char* content;
    const wchar_t* md5;
  };
  const TCase cases[] = {
      {"", L"D41D8CD98F00B204E9800998ECF8427E"},
      {"abc", L"900150983CD24FB0D6963F7D28E17F72"},
      {"The quick brown fox jumps over the lazy dog", L"9E107D9D372BB6826BD81D3542A419D6"},
  };
  for (const auto& c : cases) {
    const fs::path file = temp.Path() / "content.bin";
    WriteBytes(file, c.content);
    EXPECT_EQ(FileMD5Hex(file.wstring()), c.md5) << c.content;
  }
  EXPECT_EQ(FileMD5Hex((temp.Path() / "missing.bin").wstring()), L"");
  EXPECT_EQ(FileMD5Hex((temp.Path() / "no folder" / "missing.bin").wstring()), L"");
  EXPECT_EQ(FileMD5Hex(temp.Path().wstring()), L"");  // a folder is no file to hash
}

TEST(FileMD5Hex, FileOpenForWritingElsewhereRaises) {
  TTempFolder temp;
  const fs::path file = temp.Path() / "busy.bin";
  WriteBytes(file, "abc");
  {
    TScopedKernelHandle writer(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    // Hashing denies writers, so a file that someone may still be changing is refused, not half-read.
    EXPECT_THROW(FileMD5Hex(file.wstring()), TWinError);
  }
  EXPECT_EQ(FileMD5Hex(file.wstring()), L"900150983CD24FB0D6963F7D28E17F72");
}

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize;
}

TEST(FileMD5Hex, LargeFileIsHashedInPieces) {
  // 256 MiB and 12 345 bytes: each MiB is a fixed pattern whose first 8 bytes hold the MiB's number, then
  // the pattern's start. The digest was computed once with md5sum from the same bytes.
  TTempFolder temp;
  const fs::path file = temp.Path() / "large.bin";
  std::vector<unsigned char> block(1 << 20);
  for (size_t j = 0; j < block.size(); ++j) block[j] = static_cast<unsigned char>((j * 31 + (j >> 11)) & 0xFF);
  {
    std::ofstream out(file, std::ios::binary);
    for (std::uint64_t k = 0; k < 256; ++k) {
      std::vector<unsigned char> chunk = block;
      for (int b = 0; b < 8; ++b) chunk[b] = static_cast<unsigned char>(k >> (8 * b));
      out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    }
    out.write(reinterpret_cast<const char*>(block.data()), 12345);
    ASSERT_TRUE(out.good());
  }
  const SIZE_T peakBefore = PeakWorkingSet();
  EXPECT_EQ(FileMD5Hex(file.wstring()), L"3EAC6C18F582906E89DAC4A924C49A05");
  EXPECT_LT(PeakWorkingSet() - peakBefore, SIZE_T{64} << 20) << "the file was read into memory whole";
}

TEST(FileFacts, SizeTextAndErrorText) {
  TTempFolder temp;
  const fs::path file = temp.Path() / "sized.bin";
  WriteBytes(file, std::string(12345, 'x'));
  EXPECT_EQ(FileSizeText(file.wstring()), L"12345");
  const std::wstring missing = (temp.Path() / "missing.bin").wstring();
  EXPECT_EQ(FileSizeText(missing), SystemErrorText(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FileModifiedTimeText(missing), SystemErrorText(ERROR_FILE_NOT_FOUND));
}

TEST(FileFacts, SizeOfFourGiBAndMoreIsItsLow32Bits) {
  TTempFolder temp;
  const fs::path file = temp.Path() / "sparse.bin";
  TScopedKernelHandle handle(::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(handle);
  DWORD returned = 0;
  if (!::DeviceIoControl(handle.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr)) {
    GTEST_SKIP() << "the file system refuses sparse files, and 4 GiB of real data is too much for a unit test";
  }
  for (const auto& [size, text] : {std::pair{0x100000000LL, L"0"}, std::pair{0x100000007LL, L"7"}}) {
    LARGE_INTEGER end{};
    end.QuadPart = size;
    ASSERT_TRUE(::SetFilePointerEx(handle.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(handle.Get()));
    EXPECT_EQ(FileSizeText(file.wstring()), text) << size;
  }
}

TEST(FileFacts, ModifiedTimeInLocalText) {
  TTempFolder temp;
  const fs::path file = temp.Path() / "dated.bin";
  WriteBytes(file, "x");
  // 2021-11-23 17:34:56 UTC; any time zone keeps the seconds and, this far from new year, the year.
  const SYSTEMTIME utc{2021, 11, 2, 23, 17, 34, 56, 0};
  FILETIME written{};
  ASSERT_TRUE(::SystemTimeToFileTime(&utc, &written));
  {
    TScopedKernelHandle handle(
        ::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle);
    ASSERT_TRUE(::SetFileTime(handle.Get(), nullptr, nullptr, &written));
  }
  const std::wstring text = FileModifiedTimeText(file.wstring());
  EXPECT_EQ(text, FileTimeToLocalText(written));
  EXPECT_NE(text.find(L"56"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"21"), std::wstring::npos) << text;

  // Beyond the calendar the platform converts: the error text stands in for the time.
  const FILETIME invalid{0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_EQ(FileTimeToLocalText(invalid).find(L"56"), std::wstring::npos);
  EXPECT_FALSE(FileTimeToLocalText(invalid).empty());
}

// DeleteTree acts only inside the installer's folders: the company's folder under APPDATA here.
class DeleteTreeTest : public testing::Test {
 protected:
  TTempFolder temp;
  test::TScopedEnvironment appData{L"APPDATA", temp.Path().wstring()};
  const fs::path company = temp.Path() / "Ardentis";
};

TEST_F(DeleteTreeTest, RemovesATreeWithReadOnlyFiles) {
  for (const wchar_t* trailing : {L"", L"\\"}) {
    const fs::path tree = company / "tree";
    const fs::path sibling = company / "tree2";
    fs::create_directories(tree / "a" / "b");
    fs::create_directories(sibling);
    WriteBytes(tree / "top.txt", "1");
    WriteBytes(tree / "a" / "b" / "deep.txt", "2");
    WriteBytes(sibling / "keep.txt", "3");
    for (const auto& file : {tree / "top.txt", tree / "a" / "b" / "deep.txt"}) {
      ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    EXPECT_NO_THROW(DeleteTree(tree.wstring() + trailing)) << trailing;
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(sibling / "keep.txt"));
  }
}

TEST_F(DeleteTreeTest, RaisesForWhatIsNoFolderOrNotTheInstallers) {
  const fs::path file = company / "file.txt";
  fs::create_directories(company / "folder");
  WriteBytes(file, "x");
  fs::create_directories(temp.Path() / "outside");
  EXPECT_THROW(DeleteTree((company / "missing").wstring()), TError);
  EXPECT_THROW(DeleteTree(L""), TError);
  EXPECT_THROW(DeleteTree(file.wstring()), TError);
  EXPECT_THROW(DeleteTree((company / "fold*").wstring()), TError);
  EXPECT_THROW(DeleteTree((temp.Path() / "outside").wstring()), TUnsafePathError);
  EXPECT_THROW(DeleteTree((company / "folder" / ".." / ".." / "outside").wstring()), TUnsafePathError);
  EXPECT_THROW(DeleteTree(company.wstring()), TUnsafePathError);
  EXPECT_TRUE(fs::exists(file));
  EXPECT_TRUE(fs::exists(company / "folder"));
  EXPECT_TRUE(fs::exists(temp.Path() / "outside"));
}

class LoadPngResourceTest : public testing::Test {
 protected:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&m_token, &input, nullptr), Gdiplus::Ok);
  }
  void TearDown() override {
    if (m_token) Gdiplus::GdiplusShutdown(m_token);
  }

 private:
  ULONG_PTR m_token = 0;
};

TEST_F(LoadPngResourceTest, LoadsByNameInAnyLetterCase) {
  for (const wchar_t* name : {L"testpicture", L"TESTPICTURE", L"tEsTpIcTuRe"}) {
    std::unique_ptr<Gdiplus::Bitmap> picture = LoadPngResource(name);
    ASSERT_TRUE(picture) << name;
    EXPECT_EQ(picture->GetWidth(), 4u);
    EXPECT_EQ(picture->GetHeight(), 3u);
    Gdiplus::Color pixel;
    ASSERT_EQ(picture->GetPixel(3, 2, &pixel), Gdiplus::Ok);
    EXPECT_EQ(pixel.GetValue(), 0xFFFF0000u);  // opaque red
  }
}

TEST_F(LoadPngResourceTest, MissingOrInvalidResourceRaises) {
  try {
    LoadPngResource(L"NoSuchPicture");
    ADD_FAILURE() << "a missing resource loaded";
  } catch (const TError& e) {
    EXPECT_NE(e.Message().find(L"NoSuchPicture"), std::wstring::npos) << e.Message();
  }
  EXPECT_THROW(LoadPngResource(L"NotAPicture"), TError);
}

// The check that lets the wizard start before its larger artwork is decoded: it passes the program's own
// pictures and refuses what a decoder would refuse for want of bytes.
TEST_F(LoadPngResourceTest, CheckFindsWholePicturesWithoutDecodingThem) {
  for (const wchar_t* name : {L"TestPicture", L"imgBackground", L"imgLogo2x", L"imgAlert2x", L"imgClose2x",
                              L"imgCloseOnOver2x", L"imgCloseOnClick2x"}) {
    EXPECT_NO_THROW(CheckPngResource(name)) << name;
  }
  EXPECT_NO_THROW(CheckJpegResource(L"imgBackground2x"));
  for (const wchar_t* name : {L"TestPictureCut", L"NotAPicture", L"NoSuchPicture", L"imgBackground2x"}) {
    EXPECT_THROW(CheckPngResource(name), TError) << name;
  }
  EXPECT_THROW(LoadPngResource(L"TestPictureCut"), TError);
  for (const wchar_t* name : {L"TestPicture", L"NotAPicture"}) EXPECT_THROW(CheckJpegResource(name), TError) << name;
}

TEST(MachineId, EightHexDigitsStableAcrossCalls) {
  const std::uint32_t id = CreateMachineID();
  EXPECT_EQ(CreateMachineID(), id);
  const unsigned char bytes[4] = {static_cast<unsigned char>(id >> 24), static_cast<unsigned char>(id >> 16),
                                  static_cast<unsigned char>(id >> 8), static_cast<unsigned char>(id)};
  EXPECT_EQ(GetMachineIDText(), BytesToHex(bytes, 4));
  EXPECT_EQ(GetMachineIDText().size(), 8u);
}

TEST(WindowsChecks, SixtyFourBitPackagesOnlyFromWindows10On) {
  // Wine reports whichever Windows version its prefix is set to; the checks must agree with that version.
  const TWindowsFacts facts = WindowsFacts();
  const bool windows10 = facts.nMajor >= 10 && facts.nProductType == 1;
  EXPECT_EQ(IsWindows10OrLater(), windows10) << OsDescription();
  // This build is 64-bit, so it runs on 64-bit Windows: only the Windows version decides.
  EXPECT_TRUE(IsWindows64BitForReport());
  EXPECT_EQ(Is64BitWindows(), windows10);
}

}  // namespace
}  // namespace sf
