#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "WinTestSupport.h"
#include "common/ErrorU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "logging/LogU.h"
#include "logging/SystemDiagU.h"

namespace sf {
namespace {

// The texts of the run log's lines (time stamps removed) written by action.
template <typename Action>
std::vector<std::wstring> LoggedLines(Action action) {
  CreateRunLog();
  const std::wstring path = RunLogPath();
  action();
  const std::wstring content = FromUtf8(test::CloseAndReadRunLog());
  std::filesystem::remove(path);
  std::vector<std::wstring> lines;
  const std::wregex stamp(LR"(^\d\d.\d\d.\d\d\.\d{3}: )");
  std::wstringstream in(content);
  for (std::wstring line; std::getline(in, line);) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    std::wsmatch match;
    EXPECT_TRUE(std::regex_search(line, match, stamp)) << line;
    lines.push_back(match.suffix());
  }
  return lines;
}

std::wstring RegexEscape(const std::wstring& text) {
  std::wstring escaped;
  for (const wchar_t c : text) {
    if (std::wstring_view(L"\\^$.|?*+()[]{}").find(c) != std::wstring_view::npos) escaped += L'\\';
    escaped += c;
  }
  return escaped;
}

std::wstring ThousandsSeparator() {
  wchar_t separator[8] = {};
  ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
  return separator;
}

// Megabytes in "12.345 MB" with the locale's separator, or -1 when the text has another form.
long long ParseMegabytes(const std::wstring& text) {
  const std::wstring separator = RegexEscape(ThousandsSeparator());
  const std::wregex form(L"^(\\d{1,3}(" + separator + L"\\d{3})*) MB$");
  std::wsmatch match;
  if (!std::regex_match(text, match, form)) return -1;
  std::wstring digits;
  for (const wchar_t c : match[1].str()) {
    if (c >= L'0' && c <= L'9') digits += c;
  }
  return std::stoll(digits);
}

constexpr wchar_t kFreeSpace[] = L"LogU.AppendLogSystemDiag : Espaço Livre em Disco= ";
constexpr wchar_t kVirtualMachine[] = L"LogU.AppendLogSystemDiag : Usando Máquina Virtual = ";
constexpr wchar_t kWine[] = L"LogU.AppendLogSystemDiag : Usando Ambiente Emilado (Wine) = ";

bool WineNtdll() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TEST(AppendLogSystemDiag, WritesFreeSpaceVirtualMachineAndWine) {
  if (!WineNtdll()) GTEST_SKIP() << "the expected lines are those of a Wine prefix";
  const std::vector<std::wstring> lines = LoggedLines([] { AppendLogSystemDiag(); });
  ASSERT_EQ(lines.size(), 3u);

  ASSERT_EQ(lines[0].rfind(kFreeSpace, 0), 0u) << lines[0];
  const long long logged = ParseMegabytes(lines[0].substr(std::wcslen(kFreeSpace)));
  ASSERT_GE(logged, 0) << lines[0];
  ULARGE_INTEGER available{};
  const std::wstring appData = EnvironmentVariable(L"APPDATA");
  ASSERT_TRUE(::GetDiskFreeSpaceExW(appData.substr(0, 3).c_str(), &available, nullptr, nullptr));
  EXPECT_NEAR(static_cast<double>(logged), static_cast<double>(available.QuadPart >> 20), 512.0);
  // Four digits and more must show the separator; the build machine has more than 1 GB free.
  EXPECT_GE(logged, 1000);

  EXPECT_TRUE(lines[1] == std::wstring(kVirtualMachine) + L"Sim" || lines[1] == std::wstring(kVirtualMachine) + L"Não")
      << lines[1];
  EXPECT_EQ(lines[2], std::wstring(kWine) + L"Sim");
}

TEST(AppendLogSystemDiag, FreeSpaceFollowsTheAppDataDrive) {
  DWORD drives = ::GetLogicalDrives();
  wchar_t absent = 0;
  for (wchar_t letter = L'Y'; letter > L'D' && !absent; --letter) {
    if (!(drives & (1u << (letter - L'A')))) absent = letter;
  }
  ASSERT_NE(absent, 0);
  ASSERT_TRUE(drives & (1u << 25)) << "Wine maps the Linux root as Z:";

  struct TCase {
    std::wstring appData;
    std::wstring value;
  };
  const TCase cases[] = {
      {L"", L" - "},
      {L"   ", L" - "},
      {L"\\\\server\\share\\AppData", L" - "},
      {std::wstring(1, absent) + L":\\Users\\x\\AppData\\Roaming", L"0 MB"},
      {L" z:\\home", FreeDiskSpaceText(26)},
  };
  for (const auto& c : cases) {
    test::TScopedEnvironment appData(L"APPDATA", c.appData);
    const std::vector<std::wstring> lines = LoggedLines([] { AppendLogSystemDiag(); });
    ASSERT_EQ(lines.size(), 3u);
    // Megabytes free on Z: may move while the test runs; the form and the drive are what count.
    if (c.appData.find(L"z:") != std::wstring::npos) {
      EXPECT_NEAR(static_cast<double>(ParseMegabytes(lines[0].substr(std::wcslen(kFreeSpace)))),
                  static_cast<double>(ParseMegabytes(c.value)), 512.0) << lines[0];
    } else {
      EXPECT_EQ(lines[0], kFreeSpace + c.value) << c.appData;
    }
  }
}

TEST(LogDiskStatus, DriveLinesOrTheFailureLineOnAnMtaThread) {
  bool wrote = false;
  const std::vector<std::wstring> lines = LoggedLines([&] {
    std::thread engine([&] {
      TComApartment com(COINIT_MULTITHREADED);
      wrote = LogDiskStatus();
    });
    engine.join();
  });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"Checking Disk Status...");
  if (wrote) {
    for (size_t i = 1; i < lines.size(); ++i) {
      ASSERT_FALSE(Trim(lines[i]).empty());
      EXPECT_EQ(lines[i].front(), L' ') << lines[i];
    }
  } else {
    EXPECT_EQ(lines.back().rfind(L"LogDiskStatus: Error getting disk info. Exception=", 0), 0u) << lines.back();
  }
  std::wcout << L"LogDiskStatus under this system: " << lines.back() << std::endl;
}

// Lines of a WMI query made on an MTA thread, as the engine makes them (or a thread without COM); a
// failure's message instead.
std::vector<std::wstring> WmiLines(const std::wstring& query, const std::vector<std::wstring>& properties,
                                   bool joinCom = true) {
  std::vector<std::wstring> lines;
  std::thread engine([&] {
    std::optional<TComApartment> com;
    if (joinCom) com.emplace(COINIT_MULTITHREADED);
    try {
      ForEachWmiLine(query, properties, [&](const std::wstring& line) { lines.push_back(line); });
    } catch (const std::exception& e) {
      lines.push_back(L"raised: " + ExceptionMessage(e));
    }
  });
  engine.join();
  return lines;
}

TEST(LogDiskStatus, ObjectLinesOfTheNonNullPropertiesEachAfterABlank) {
  // The process class stands in for the disk drives, which Wine's WMI describes without a caption: it has
  // this process with a known command line, and system processes whose command line is null.
  const std::vector<std::wstring> lines = WmiLines(L"Select Name, CommandLine, Caption from Win32_Process",
                                                   {L"Name", L"CommandLine", L"Caption"});
  const std::wstring self = L" unit_win.exe " + Trim(::GetCommandLineW()) + L" unit_win.exe";
  bool sawSelf = false;
  bool sawNullSkipped = false;
  for (const std::wstring& line : lines) {
    ASSERT_EQ(line.rfind(L"raised: ", 0), std::wstring::npos) << line;
    sawSelf = sawSelf || line == self;
    // Name and caption are the same text; a null command line leaves exactly one blank between them.
    const size_t middle = line.size() / 2;
    sawNullSkipped = sawNullSkipped || (line.size() > 2 && line[middle] == L' ' &&
                                        line.substr(0, middle) == line.substr(middle) && line.front() == L' ');
  }
  EXPECT_TRUE(sawSelf) << "no line " << self;
  EXPECT_TRUE(sawNullSkipped);
}

// A WMI that does not answer in time (a hung service, or here no time at all) leaves the caller at the
// time-out with one line that says so; the query's own thread is left to end by itself. The query joins
// COM on its own thread, so the caller need not have.
TEST(LogDiskStatus, WmiThatDoesNotAnswerInTimeIsOneLineThatSaysSo) {
  bool wrote = true;
  const std::vector<std::wstring> lines = LoggedLines([&] {
    std::thread engine([&] { wrote = LogDiskStatus(std::chrono::milliseconds(0)); });
    engine.join();
  });
  EXPECT_FALSE(wrote);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"Checking Disk Status...");
  EXPECT_EQ(lines[1], L"LogDiskStatus: Error getting disk info. Exception=WMI did not answer within 0 ms");
  EXPECT_EQ(kWmiTimeout, std::chrono::milliseconds(5000));
}

// The window starts the query once its first page is shown, the engine's end waits for it: it runs once,
// and its lines stand together although another thread logs all the while.
TEST(LogDiskStatus, StartedFromTwoThreadsIsOneBlockAmongAnotherThreadsLines) {
  const std::vector<std::wstring> lines = LoggedLines([] {
    std::atomic<bool> done{false};
    std::thread other([&] {
      while (!done.load()) {
        AppendLog(L"other");
        ::Sleep(1);
      }
    });
    {
      TDiskStatusLog status;
      std::thread window([&] { status.Start(); });
      status.Finish();
      window.join();
    }
    done.store(true);
    other.join();
  });
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Checking Disk Status..."), 1);
  auto line = std::find(lines.begin(), lines.end(), L"Checking Disk Status...");
  ASSERT_NE(line, lines.end());
  ASSERT_NE(++line, lines.end());
  ASSERT_NE(*line, L"other");
  for (; line != lines.end() && *line != L"other"; ++line) {
    EXPECT_TRUE(line->front() == L' ' || line->rfind(L"LogDiskStatus: Error getting disk info. Exception=", 0) == 0)
        << *line;
  }
  for (; line != lines.end(); ++line) EXPECT_EQ(*line, L"other");
}

TEST(LogDiskStatus, TheQueryNeedsNoComOnTheCallersThread) {
  const std::vector<std::wstring> lines = WmiLines(L"Select Name from Win32_Process", {L"Name"}, false);
  ASSERT_FALSE(lines.empty());
  for (const std::wstring& line : lines) ASSERT_EQ(line.rfind(L"raised: ", 0), std::wstring::npos) << line;
  EXPECT_NE(std::find(lines.begin(), lines.end(), L" unit_win.exe"), lines.end());
}

TEST(UnderWine, MachineKeyStandsInForTheUsersKey) {
  if (!WineNtdll()) GTEST_SKIP() << "not running under Wine";
  EXPECT_TRUE(UnderWine());
  test::TRegistrySandbox emptyCurrentUser;  // HKCU without Software\Wine
  EXPECT_TRUE(UnderWine());
}

TEST(OsFacts, DescriptionNamesAndProcessor) {
  // Whatever version the prefix reports, the description and the name tell the same workstation and the
  // description carries the real version numbers.
  const TWindowsFacts facts = WindowsFacts();
  ASSERT_EQ(facts.nProductType, 1) << "Wine reports a workstation";
  const std::wstring numbers = L"(Version " + std::to_wstring(facts.nMajor) + L"." + std::to_wstring(facts.nMinor) +
                               L", Build " + std::to_wstring(facts.nBuild) + L", 64-bit Edition)";
  const std::wregex description(L"^" + RegexEscape(WindowsVersionName()) + L"( Service Pack \\d+)? " +
                                RegexEscape(numbers) + L"$");
  EXPECT_TRUE(std::regex_match(OsDescription(), description)) << OsDescription() << L" / " << WindowsVersionName();
  EXPECT_EQ(WindowsProductTypeName(), L"Professional");

  const TProcessorInfo cpu = ProcessorInfo();
  EXPECT_EQ(cpu.strVendor.size(), 12u) << cpu.strVendor;
  EXPECT_TRUE(cpu.bMmx) << "every x86-64 processor has MMX";
  EXPECT_FALSE(cpu.bFdivBug);
  EXPECT_GT(cpu.nFrequencyMHz, 200);
  EXPECT_LT(cpu.nFrequencyMHz, 10000);
  EXPECT_EQ(NormalizeCpuFrequency(cpu.nFrequencyMHz), cpu.nFrequencyMHz);
}

// A platform with more adapters than the first buffer holds: it asks for a larger buffer once.
constexpr ULONG kFakeAdapters = 40;
int g_adapterCalls = 0;

ULONG WINAPI ManyAdapters(PIP_ADAPTER_INFO adapters, PULONG size) {
  ++g_adapterCalls;
  const ULONG needed = kFakeAdapters * sizeof(IP_ADAPTER_INFO);
  if (*size < needed) {
    *size = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  for (ULONG i = 0; i < kFakeAdapters; ++i) {
    adapters[i] = IP_ADAPTER_INFO{};
    adapters[i].AddressLength = 6;
    const BYTE address[6] = {0x00, 0x1C, 0x42, 0xA0, 0x00, static_cast<BYTE>(i)};
    std::copy(std::begin(address), std::end(address), adapters[i].Address);
    adapters[i].Next = i + 1 < kFakeAdapters ? &adapters[i + 1] : nullptr;
  }
  return NO_ERROR;
}

ULONG WINAPI EverGrowing(PIP_ADAPTER_INFO, PULONG size) {
  ++g_adapterCalls;
  *size += 1024;
  return ERROR_BUFFER_OVERFLOW;
}

ULONG WINAPI NoAdapters(PIP_ADAPTER_INFO, PULONG) {
  ++g_adapterCalls;
  return ERROR_NO_DATA;
}

TEST(VMDetector, AdapterBufferGrowsToTheSizeThePlatformReports) {
  g_adapterCalls = 0;
  const std::vector<std::wstring> addresses = AdapterMacAddresses(&ManyAdapters);
  EXPECT_EQ(g_adapterCalls, 2);
  ASSERT_EQ(addresses.size(), kFakeAdapters);
  EXPECT_EQ(addresses.front(), L"001C42A00000");
  EXPECT_EQ(addresses.back(), L"001C42A00027");
  EXPECT_TRUE(TVMDetector(addresses, {}).IsVirtualMachine(ParallelsVMInfo()));

  for (const TAdaptersInfoQuery failing : {&EverGrowing, &NoAdapters}) {
    g_adapterCalls = 0;
    EXPECT_TRUE(AdapterMacAddresses(failing).empty());
    EXPECT_LE(g_adapterCalls, 2);
  }
}

TEST(VMDetector, ReadsThisMachinesAdaptersAndProcesses) {
  const TVMDetector detector = MachineVMDetector();
  bool sawSelf = false;
  for (const auto& name : detector.Processes()) {
    EXPECT_EQ(name.find_first_of(L"\\/"), std::wstring::npos) << name;
    sawSelf = sawSelf || EqualsIgnoreCaseInLocale(name, L"unit_win.exe");
  }
  EXPECT_TRUE(sawSelf);
  const std::wregex hex(L"^([0-9A-F]{2})*$");
  for (const auto& address : detector.MacAddresses()) EXPECT_TRUE(std::regex_match(address, hex)) << address;
}

}  // namespace
}  // namespace sf
