#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/HexU.h"
#include "common/MachineIdU.h"
#include "logging/SystemNamesU.h"
#include "logging/VMDetectorU.h"

namespace sf {
namespace {

TEST(BytesToHex, TwoUpperCaseDigitsPerByte) {
  struct TCase {
    std::vector<std::uint8_t> bytes;
    const wchar_t* hex;
  };
  const TCase cases[] = {
      {{}, L""},
      {{0x00}, L"00"},
      {{0x0F}, L"0F"},
      {{0xA0, 0x05}, L"A005"},
      {{0xFF, 0xFF, 0xFF, 0xFF}, L"FFFFFFFF"},
      {{0x00, 0x1C, 0x42, 0xA1, 0xB2, 0xC3}, L"001C42A1B2C3"},
      {{0xD4, 0x1D, 0x8C, 0xD9, 0x8F, 0x00, 0xB2, 0x04, 0xE9, 0x80, 0x09, 0x98, 0xEC, 0xF8, 0x42, 0x7E},
       L"D41D8CD98F00B204E9800998ECF8427E"},
  };
  for (const auto& c : cases) EXPECT_EQ(BytesToHex(c.bytes.data(), c.bytes.size()), c.hex);
}

TEST(BytesToHex, StatusCodesInTheirDocumentedForm) {
  EXPECT_EQ(HexCodeText(0x8004100E), L"0x8004100E");
  EXPECT_EQ(HexCodeText(0), L"0x00000000");
  EXPECT_EQ(HexCodeText(0xC000000D), L"0xC000000D");
}

TEST(NormalizeCpuFrequency, MovesToNearestClockStep) {
  struct TCase {
    int measured;
    int normalized;
  };
  const TCase cases[] = {
      {2000, 2000}, {2019, 2020}, {2010, 2020},  // halfway between 0 and 20 goes up
      {2009, 2000}, {2026, 2020}, {2027, 2033}, {2033, 2033}, {2041, 2033}, {2042, 2050},
      {2055, 2060}, {2063, 2066}, {2066, 2066}, {2073, 2080}, {2085, 2090}, {2094, 2090},
      {2095, 2100},  // halfway between 90 and 100 goes up, into the next hundred
      {2099, 2100}, {3601, 3600}, {1, 0}, {99, 100}, {0, 0}, {-5, -5},
      {2147483647, 2147483647},  // rounding up would leave the range of the type
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeCpuFrequency(c.measured), c.normalized) << c.measured;
}

TEST(NormalizeCpuFrequency, NormalizedValuesStayPut) {
  for (int mhz = 1; mhz < 5000; ++mhz) {
    const int once = NormalizeCpuFrequency(mhz);
    ASSERT_EQ(NormalizeCpuFrequency(once), once) << mhz;
    ASSERT_LE(std::abs(once - mhz), 10) << mhz;
  }
}

TEST(VMDetector, ParallelsByAdapterPrefixOrToolProcess) {
  struct TCase {
    std::vector<std::wstring> macs;
    std::vector<std::wstring> processes;
    bool parallels;
  };
  const TCase cases[] = {
      {{L"001C42A1B2C3"}, {L"explorer.exe"}, true},
      {{L"525400123456", L"001C42000001"}, {}, true},       // any adapter counts
      {{}, {L"System", L"PRL_CC.EXE"}, true},              // tool names ignore letter case
      {{}, {L"prl_tools.exe"}, true},
      {{L"080027AABBCC"}, {L"VBoxService.exe"}, false},    // VirtualBox is not looked for
      {{L"000C29AABBCC"}, {L"vmtoolsd.exe"}, false},       // nor VMware
      {{L"001c42a1b2c3"}, {}, false},                      // prefixes are upper-case hexadecimal
      {{L"AA001C42BBCC"}, {}, false},                      // another maker's address with the digits inside
      {{}, {L"prl_cc.exe.bak", L"xprl_tools.exe"}, false},  // whole file names only
      {{}, {}, false},
  };
  for (const auto& c : cases) {
    TVMDetector detector(c.macs, c.processes);
    EXPECT_EQ(detector.IsVirtualMachine(ParallelsVMInfo()), c.parallels)
        << testing::PrintToString(c.macs) << testing::PrintToString(c.processes);
    EXPECT_EQ(detector.Name(), c.parallels ? L"Parallels" : L"");
  }
}

TEST(VMDetector, RemembersTheFamilyItFound) {
  TVMDetector detector({L"001C42A1B2C3"}, {});
  ASSERT_TRUE(detector.IsVirtualMachine(ParallelsVMInfo()));
  // A family already found answers true without its signs; another family is still checked on its own.
  EXPECT_TRUE(detector.IsVirtualMachine(VM_INFO{L"Parallels", {}, {}}));
  EXPECT_FALSE(detector.IsVirtualMachine(VM_INFO{L"VirtualBox", {L"080027"}, {L"VBoxService.exe"}}));
  EXPECT_EQ(detector.Name(), L"Parallels");
}

TWindowsFacts Facts(unsigned major, unsigned minor, unsigned build, std::uint8_t productType) {
  TWindowsFacts f;
  f.nMajor = major;
  f.nMinor = minor;
  f.nBuild = build;
  f.nProductType = productType;
  f.architecture = TProcessorArchitecture::X64;
  return f;
}

constexpr std::uint8_t kWorkstation = 1;
constexpr std::uint8_t kServer = 3;

TEST(WindowsNames, VersionNameTable) {
  auto with = [](TWindowsFacts f, auto change) {
    change(f);
    return f;
  };
  struct TCase {
    TWindowsFacts facts;
    const wchar_t* name;
  };
  const TCase cases[] = {
      {with(Facts(4, 0, 950, 0), [](auto& f) { f.bWin9x = true; }), L"Windows 95"},
      {with(Facts(4, 0, 1111, 0), [](auto& f) { f.bWin9x = true, f.strServicePack = L" B"; }), L"Windows 95 OSR2"},
      {with(Facts(4, 10, 1998, 0), [](auto& f) { f.bWin9x = true; }), L"Windows 98"},
      {with(Facts(4, 10, 2222, 0), [](auto& f) { f.bWin9x = true, f.strServicePack = L" A"; }), L"Windows 98 SE"},
      {with(Facts(4, 90, 3000, 0), [](auto& f) { f.bWin9x = true; }), L"Windows ME"},
      {Facts(3, 51, 1057, kWorkstation), L"Windows NT 3.51"},
      {Facts(4, 0, 1381, kServer), L"Windows NT 4.0"},
      {Facts(5, 0, 2195, kWorkstation), L"Windows 2000"},
      {Facts(5, 1, 2600, kWorkstation), L"Windows XP"},
      {Facts(5, 2, 3790, kWorkstation), L"Windows XP x64"},
      {Facts(5, 2, 3790, kServer), L"Windows Server 2003"},
      {with(Facts(5, 2, 3790, kServer), [](auto& f) { f.bServerR2 = true; }), L"Windows Server 2003 R2"},
      {Facts(6, 0, 6002, kWorkstation), L"Windows Vista"},
      {Facts(6, 0, 6002, 2), L"Windows Server 2008"},
      {Facts(6, 1, 7601, kWorkstation), L"Windows 7"},
      {Facts(6, 1, 7601, kServer), L"Windows Server 2008 R2"},
      {Facts(6, 2, 9200, kWorkstation), L"Windows 8"},
      {with(Facts(6, 2, 9200, kWorkstation), [](auto& f) { f.architecture = TProcessorArchitecture::Arm; }),
       L"Windows RT"},
      {Facts(6, 2, 9200, kServer), L"Windows Server 2012"},
      {Facts(6, 3, 9600, kWorkstation), L"Windows 8.1"},
      {with(Facts(6, 3, 9600, kWorkstation), [](auto& f) { f.architecture = TProcessorArchitecture::Arm; }),
       L"Windows RT 8.1"},
      {Facts(6, 3, 9600, kServer), L"Windows Server 2012 R2"},
      {with(Facts(10, 0, 19045, kWorkstation), [](auto& f) { f.strCurrentBuildNumber = L"19045"; }), L"Windows 10"},
      {with(Facts(10, 0, 22631, kWorkstation), [](auto& f) { f.strCurrentBuildNumber = L"22631"; }), L"Windows 11"},
      // The registry decides; the version query's build stands in only when the registry has none.
      {with(Facts(10, 0, 22631, kWorkstation), [](auto& f) { f.strCurrentBuildNumber = L"21999"; }), L"Windows 10"},
      {Facts(10, 0, 22000, kWorkstation), L"Windows 11"},
      {with(Facts(10, 0, 14393, kServer), [](auto& f) { f.strReleaseId = L"1607"; }), L"Windows Server 2016"},
      {with(Facts(10, 0, 17763, kServer), [](auto& f) { f.strReleaseId = L"1809"; }), L"Windows Server 2019"},
      {with(Facts(10, 0, 20348, kServer), [](auto& f) { f.strReleaseId = L"2009"; }), L"Windows Server"},
      {Facts(10, 1, 30000, kWorkstation), L""},
      {Facts(11, 0, 30000, kWorkstation), L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WindowsVersionNameOf(c.facts), c.name) << c.facts.nMajor << "." << c.facts.nMinor;
  }
}

TEST(WindowsNames, ProductTypeTable) {
  auto facts = [](unsigned major, unsigned minor, std::uint8_t type, std::uint16_t suite, const wchar_t* registry) {
    TWindowsFacts f = Facts(major, minor, 0, type);
    f.nSuiteMask = suite;
    f.strRegistryProductType = registry;
    return f;
  };
  struct TCase {
    TWindowsFacts facts;
    const wchar_t* name;
  };
  const TCase cases[] = {
      {facts(4, 0, kWorkstation, 0, L""), L"Workstation"},
      {facts(10, 0, kWorkstation, 0x0100, L""), L"Professional"},
      {facts(10, 0, kWorkstation, 0x0200, L""), L"Home Edition"},
      {facts(10, 0, kServer, 0, L""), L"Server"},
      {facts(10, 0, 2, 0x0080, L""), L"Datacenter Server"},
      {facts(6, 1, kServer, 0x0002, L""), L"Enterprise"},
      {facts(5, 0, kServer, 0x0002, L""), L"Advanced Server"},
      {facts(5, 2, kServer, 0x0400, L""), L"Web Edition"},
      // No product type from the version query: the registry decides.
      {facts(4, 0, 0, 0, L"WINNT"), L"Workstation"},
      {facts(4, 0, 0, 0, L"ServerNT"), L"Advanced Server"},
      {facts(4, 0, 0, 0, L"LANMANNT"), L"Server"},
      {facts(4, 0, 0, 0, L""), L""},
  };
  for (const auto& c : cases) EXPECT_EQ(WindowsProductTypeNameOf(c.facts), c.name) << c.name;
}

TEST(WindowsNames, OsDescription) {
  TWindowsFacts xp = Facts(5, 1, 2600, kWorkstation);
  xp.nServicePackMajor = 3;
  xp.architecture = TProcessorArchitecture::X86;
  TWindowsFacts r2 = Facts(5, 2, 3790, kServer);
  r2.bServerR2 = true;
  r2.nServicePackMajor = 2;
  struct TCase {
    TWindowsFacts facts;
    const wchar_t* text;
  };
  const TCase cases[] = {
      {Facts(10, 0, 19045, kWorkstation), L"Windows 10 (Version 10.0, Build 19045, 64-bit Edition)"},
      // The platform names Windows 11 "Windows 10"; the build number tells.
      {Facts(10, 0, 22000, kWorkstation), L"Windows 11 (Version 10.0, Build 22000, 64-bit Edition)"},
      {Facts(10, 0, 21999, kWorkstation), L"Windows 10 (Version 10.0, Build 21999, 64-bit Edition)"},
      {Facts(10, 0, 20348, kServer), L"Windows Server 2016 (Version 10.0, Build 20348, 64-bit Edition)"},
      {xp, L"Windows XP Service Pack 3 (Version 5.1, Build 2600, 32-bit Edition)"},
      {Facts(5, 2, 3790, kWorkstation), L"Windows XP (Version 5.2, Build 3790, 64-bit Edition)"},
      {r2, L"Windows Server 2003 R2 Service Pack 2 (Version 5.2, Build 3790, 64-bit Edition)"},
      {Facts(6, 1, 7601, kWorkstation), L"Windows 7 (Version 6.1, Build 7601, 64-bit Edition)"},
      {Facts(6, 3, 9600, kServer), L"Windows Server 2012 R2 (Version 6.3, Build 9600, 64-bit Edition)"},
      {Facts(12, 0, 30000, kWorkstation), L"Windows (Version 12.0, Build 30000, 64-bit Edition)"},
  };
  for (const auto& c : cases) EXPECT_EQ(OsDescriptionOf(c.facts), c.text);
}

TEST(DiskSpace, DriveNumberFromPath) {
  EXPECT_EQ(DriveNumberFromPath(L"C:\\Users\\a\\AppData\\Roaming"), 3);
  EXPECT_EQ(DriveNumberFromPath(L"  d:\\x"), 4);
  EXPECT_EQ(DriveNumberFromPath(L"A:"), 1);
  EXPECT_EQ(DriveNumberFromPath(L"z:\\"), 26);
  EXPECT_EQ(DriveNumberFromPath(L""), 0);
  EXPECT_EQ(DriveNumberFromPath(L"   "), 0);
  EXPECT_EQ(DriveNumberFromPath(L"\\\\server\\share\\AppData"), 0);
  EXPECT_EQ(DriveNumberFromPath(L"%APPDATA%"), 0);
}

TEST(DiskSpace, LocaleGroupingInTheFormattersForm) {
  EXPECT_EQ(NumberGroupingOf(L"3;0"), 3u);
  EXPECT_EQ(NumberGroupingOf(L"3;2;0"), 32u);
  EXPECT_EQ(NumberGroupingOf(L"3"), 30u);
  EXPECT_EQ(NumberGroupingOf(L"3;2"), 320u);
  EXPECT_EQ(NumberGroupingOf(L"0"), 0u);
  EXPECT_EQ(NumberGroupingOf(L""), 0u);
}

TEST(MachineId, SameFactsSameValueOtherFactsOtherValue) {
  const std::uint32_t id = MachineIdFromFacts(0x1234ABCD, L"6f1d2c3b-aaaa-4bbb-8ccc-0123456789ab");
  // Fixed forever (FNV-1a computed outside this code): a change would give every machine a new identifier.
  EXPECT_EQ(id, 0x042BB59Du);
  EXPECT_EQ(MachineIdFromFacts(0, L""), 0x4B95F515u);
  EXPECT_EQ(id, MachineIdFromFacts(0x1234ABCD, L"6F1D2C3B-AAAA-4BBB-8CCC-0123456789AB"));
  EXPECT_NE(id, MachineIdFromFacts(0x1234ABCE, L"6f1d2c3b-aaaa-4bbb-8ccc-0123456789ab"));
  EXPECT_NE(id, MachineIdFromFacts(0x1234ABCD, L"6f1d2c3b-aaaa-4bbb-8ccc-0123456789ac"));
}

}  // namespace
}  // namespace sf
