#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/TextU.h"
#include "errorreport/ReportTextU.h"

namespace sf {
namespace {

using namespace std::chrono_literals;

const std::wstring kSeparator(100, L'-');

// A locale with "." between thousands and "," before decimals, as a Brazilian user has it.
std::wstring GroupedWhole(long long value) {
  std::wstring digits = std::to_wstring(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), L".");
  return digits;
}
const TNumberFormat kBrazilian{&GroupedWhole, L","};

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find(L"\r\n", start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::wstring::npos ? text.size() : end + 2;
  }
  return lines;
}

TEST(ReportCounter, ReportsTheFirstCallAndThenOnlyAfterTenQuietMinutes) {
  struct TStep {
    std::chrono::seconds sincePrevious;
    std::optional<std::int32_t> reported;
  };
  const TStep steps[] = {
      {0s, 1},            // the first error of a run
      {300s, {}},         // five minutes later: nothing
      {601s, 3},          // 601 s after that: reported, and every call was counted
      {599s, {}},         // just inside the interval
      {599s, {}},         // a steady trickle keeps postponing the next report
      {600s, 6},          // exactly the interval
      {-700s, 7},         // a clock set back by more than the interval counts as long ago
  };
  TReportCounter counter;
  auto now = TReportClock::now();
  for (const TStep& step : steps) {
    now += step.sincePrevious;
    SCOPED_TRACE(step.sincePrevious.count());
    EXPECT_EQ(counter.Count(now), step.reported);
  }
  EXPECT_EQ(counter.Value(), 7);
}

TEST(ReportHead, NamesTheThreadOrTheAddress) {
  const std::vector<std::wstring> address =
      ReportHeadLines({L"sf::TError", L"it broke", std::nullopt, static_cast<std::uintptr_t>(0x1A2B3C)});
  const std::wstring digits = sizeof(void*) == 8 ? L"00000000001A2B3C" : L"001A2B3C";
  EXPECT_EQ(address, (std::vector<std::wstring>{L"Classe da Exceção   : sf::TError",
                                                L"Mensagem da Exceção : it broke",
                                                L"Endereço da Exceção: " + digits, kSeparator,
                                                L"Instalador - Stormfinch"}));

  const std::vector<std::wstring> thread =
      ReportHeadLines({L"std::runtime_error", L"gone", L"thread 1234", static_cast<std::uintptr_t>(0x1A2B3C)});
  ASSERT_EQ(thread.size(), 5u);
  EXPECT_EQ(thread[2], L"Thread: thread 1234");
  for (const std::wstring& line : thread) EXPECT_EQ(line.find(L"Endereço"), std::wstring::npos);
}

TDiagnosticFacts SampleDiagnostics() {
  TDiagnosticFacts facts;
  facts.memory = {42, 8ull << 30, 3ull << 30, 12ull << 30, 7ull << 30, 128ull << 40, 127ull << 40};
  facts.installerWorkingSet = 25'600'000;
  facts.heap = {2'000'000, 1'234'567, 765'433, 0, 0, 0, 1'535};
  facts.stack = TStackFacts{L"05/03/2024 14:02:07",
                            {L"Stormfinch.exe+0x1A2EC (routine +0x1A2B0, offset 0x3C)",
                             L"[0040ABCD] InstallerThreadU.TInstallerThread.Execute (412)"}};
  facts.bMainThread = true;
  facts.activeControls = {{L"Edit", L"", true}, {L"TGraphicPanel", L"", true}, {L"TSetupForm", L"Stormfinch", true}};
  facts.forms = {{L"TSetupForm", L"Stormfinch", true}, {L"THiddenForm", L"", false}};
  return facts;
}

TSystemFacts SampleSystem() {
  TSystemFacts facts;
  facts.strVersion = L"1.41.0.0";
  facts.bUnderWine = true;
  facts.strWindowsName = L"Windows 10";
  facts.strProductType = L"Professional";
  facts.b64Bit = true;
  facts.nMajor = 10;
  facts.nMinor = 0;
  facts.nBuild = 19045;
  facts.strServicePack = L"";
  facts.strCpuVendor = L"GenuineIntel";
  facts.strCpuName = L"Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz";
  facts.nCpuMHz = 1800;
  facts.bMmx = true;
  facts.nScreenWidth = 1920;
  facts.nScreenHeight = 1080;
  facts.strFreeSpace = L"120.345 MB";
  return facts;
}

TEST(ErrorReport, WholeReportFromKnownFacts) {
  std::vector<std::wstring> report =
      ReportHeadLines({L"sf::TWinError", L"RegCreateKeyEx: Acesso negado.", std::nullopt, 0x401000});
  const std::vector<std::wstring> block = DiagnosticBlockLines(SampleDiagnostics(), kBrazilian);
  for (std::wstring& line : ErrorDescriptionLines(SampleSystem(), 1, block, false)) report.push_back(line);

  const std::wstring address = sizeof(void*) == 8 ? L"0000000000401000" : L"00401000";
  const std::vector<std::wstring> expected = {
      L"Classe da Exceção   : sf::TWinError",
      L"Mensagem da Exceção : RegCreateKeyEx: Acesso negado.",
      L"Endereço da Exceção: " + address,
      kSeparator,
      L"Instalador - Stormfinch",
      L"Versão    : 1.41.0.0",
      L"Windows Emulado : Sim",
      kSeparator,
      L"Error Number   : 1",
      kSeparator,
      L"Sistema    : Windows 10 Professional [64 Bits], Versão: 10.0, Build: 4A65, \"\"",
      L"Processador: GenuineIntel, Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz, 1800 MHz MMX",
      L"Monitor    : 1920x1080 pixels, 32 bpp",
      kSeparator,
      L"Espaço Livre em Disco        : 120.345 MB",
      kSeparator,
      L"Mem Load          : 42 %",
      L"Mem Fisica Total  : 8.388.608 kb",
      L"Mem Fisica Livre  : 3.145.728 kb",
      L"Mem PageFile Total: 12.582.912 kb",
      L"Mem PageFile Livre: 7.340.032 kb",
      L"Mem Virtual Total : 137.438.953.472 kb",
      L"Mem Virtual Livre : 136.365.211.648 kb",
      L"Memoria Em Uso (Installer) : 25.000 kb",
      kSeparator,
      L"Commited  : 1.953,13 kb",
      L"Allocated : 1.205,63 kb",
      L"Free      : 747,49 kb",
      L"FreeSmall : 0,00 kb",
      L"FreeBig   : 0,00 kb",
      L"Unused    : 0,00 kb",
      L"Overhead  : 1,50 kb",
      kSeparator,
      L"Lista da Pilha, gerada 05/03/2024 14:02:07",
      L"Stormfinch.exe+0x1A2EC (routine +0x1A2B0, offset 0x3C)",
      L" InstallerThreadU.TInstallerThread.Execute (412)",  // the bracketed address is cut, the blank stays
      kSeparator,
      L"Hierarquia de Controles Ativos:",
      L"Edit \"\"",
      L"TGraphicPanel \"\"",
      L"TSetupForm \"Stormfinch\"",
      kSeparator,
      L"",
      kSeparator,
      L"TSetupForm",
      L"THiddenForm  (Invisible)",
      kSeparator,
  };
  EXPECT_EQ(SplitLines(JoinReportLines(report)), expected);
}

TEST(ErrorReport, OptionalFactsAndFailedProbes) {
  TDiagnosticFacts diagnostics;  // off the UI thread, no stack, no installer window
  diagnostics.activeControls = {{L"Edit", L"", true}};  // ignored off the UI thread
  diagnostics.forms = {{L"TSetupForm", L"Stormfinch", true}};
  const std::vector<std::wstring> block = DiagnosticBlockLines(diagnostics, kBrazilian);
  EXPECT_EQ(block[7], L"Memoria Em Uso (Installer) :  - ");
  // Memory, separator, heap, separator, (no stack) separator, final separator.
  EXPECT_EQ(block.size(), 8u + 1 + 7 + 1 + 1 + 1);
  for (const std::wstring& line : block) {
    EXPECT_EQ(line.find(L"Hierarquia"), std::wstring::npos);
    EXPECT_EQ(line.find(L"TSetupForm"), std::wstring::npos);
  }

  diagnostics.installerWorkingSet = 0;  // the process could not be queried
  EXPECT_EQ(DiagnosticBlockLines(diagnostics, kBrazilian)[7], L"Memoria Em Uso (Installer) : 0 kb");

  TSystemFacts system = SampleSystem();
  system.bUnderWine = false;
  system.b64Bit.reset();
  system.bMmx = false;
  system.bFdivBug = true;
  system.strServicePack = L"Service Pack 1";
  system.strFreeSpace = L" - ";
  const std::vector<std::wstring> lines = ErrorDescriptionLines(system, 12, block, false);
  EXPECT_EQ(lines[0], L"Versão    : 1.41.0.0");
  EXPECT_EQ(lines[1], kSeparator) << "no Wine line on Windows";
  EXPECT_EQ(lines[2], L"Error Number   : 12");
  EXPECT_EQ(lines[4], L"Sistema    : Windows 10 Professional [], Versão: 10.0, Build: 4A65, \"Service Pack 1\"");
  EXPECT_EQ(lines[5], L"Processador: GenuineIntel, Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz, 1800 MHz  [FDIV Bug]");
  EXPECT_EQ(lines[8], L"Espaço Livre em Disco        :  - ");
}

TEST(ErrorReport, FormListStopsAfterTwentyTwo) {
  struct TCase {
    std::size_t forms;
    std::size_t lines;
    bool dots;
  };
  for (const TCase& c : {TCase{0, 0, false}, TCase{21, 21, false}, TCase{22, 22, true}, TCase{30, 22, true}}) {
    SCOPED_TRACE(c.forms);
    TDiagnosticFacts facts;
    facts.bMainThread = true;
    for (std::size_t i = 0; i < c.forms; ++i) facts.forms.push_back({L"TForm" + std::to_wstring(i), L"", true});
    const std::vector<std::wstring> block = DiagnosticBlockLines(facts, kBrazilian);
    // After the stack's separator: an empty line and a separator open the list; a separator ends the block.
    ASSERT_EQ(block[block.size() - 1], kSeparator);
    const std::size_t listed = block.size() - (8 + 1 + 7 + 1 + 1 + 2 + 1) - (c.dots ? 1 : 0);
    EXPECT_EQ(listed, c.lines);
    EXPECT_EQ(block[block.size() - 2] == L"...", c.dots);
    if (c.forms > 0) {
      EXPECT_EQ(block[8 + 1 + 7 + 1 + 1 + 2], L"TForm0");
    }
  }
}

TEST(ErrorReport, ThemeHookErrorsAreRecognisedInTheStack) {
  TDiagnosticFacts facts;
  facts.stack = TStackFacts{L"now", {L"comctl32.dll+0x100", L"[0040ABCD] Detour_UxTheme_OpenThemeDataForDPI + 12"}};
  EXPECT_TRUE(IsThemeHookError(DiagnosticBlockLines(facts, kBrazilian)));
  facts.stack->frames = {L"uxtheme.dll+0x1234 (routine +0x1200, offset 0x34)", L"Detour_UxTheme_OpenThemeData"};
  EXPECT_FALSE(IsThemeHookError(DiagnosticBlockLines(facts, kBrazilian)));
}

TEST(ErrorReport, SilentReportsEndWithTheirMark) {
  const std::vector<std::wstring> block = DiagnosticBlockLines(TDiagnosticFacts{}, kBrazilian);
  const std::vector<std::wstring> silent = SplitLines(JoinReportLines(ErrorDescriptionLines(SampleSystem(), 2, block, true)));
  ASSERT_GE(silent.size(), 2u);
  EXPECT_EQ(silent[silent.size() - 2], L"Silent Mode");
  EXPECT_EQ(silent.back(), kSeparator);
  const std::vector<std::wstring> loud = ErrorDescriptionLines(SampleSystem(), 2, block, false);
  for (const std::wstring& line : loud) EXPECT_NE(line, L"Silent Mode");
}

TEST(ErrorReport, BodyCarriesTheTextVerbatimInUtf8) {
  const std::wstring text = L"Mensagem da Exceção : a=b&c=d 100%\r\nVersão    : 1.41.0.0\r\n";
  const std::string silent = ReportBody(L"0A1B2C3D", L"1.41.0.0", text, true);
  const std::string expectedStart = "strActivationCode=";
  EXPECT_EQ(silent.rfind(expectedStart, 0), 0u);
  const std::string fields = "&strHardID=0A1B2C3D&strVersion=1.41.0.0&str_error=" + ToUtf8(text) + "&bSilentMode=1";
  ASSERT_GE(silent.size(), fields.size());
  EXPECT_EQ(silent.substr(silent.size() - fields.size()), fields);
  EXPECT_NE(silent.find("Exce\xC3\xA7\xC3\xA3o : a=b&c=d 100%\r\n"), std::string::npos);

  const std::string loud = ReportBody(L"0A1B2C3D", L"1.41.0.0", text, false);
  EXPECT_EQ(loud.substr(loud.size() - 14), "&bSilentMode=0");
  // The activation code is one fixed value, the same in every report.
  EXPECT_EQ(loud.substr(0, loud.find('&')), silent.substr(0, silent.find('&')));

  EXPECT_EQ(ReportLogText(L"0A1B2C3D", L"1.41.0.0", L"line\r\n", true),
            L"Exception:  HardID=0A1B2C3D Version=1.41.0.0 SilentMode=1\r\nline\r\n\r\n");
}

TEST(ErrorReport, UserMessageByLanguage) {
  struct TCase {
    std::uint8_t language;
    const wchar_t* first;
  };
  for (const TCase& c : {TCase{0, L"Ocorreu um erro com o Instalador."}, TCase{1, L"There was an error with the Installer."},
                         TCase{2, L"Hay un error con el instalador."}, TCase{3, L"There was an error with the Installer."},
                         TCase{255, L"There was an error with the Installer."}}) {
    SCOPED_TRACE(c.language);
    const std::wstring delivered = UserMessageText(c.language, true);
    EXPECT_EQ(delivered.substr(0, delivered.find(L"\r\n")), c.first);
    EXPECT_NE(delivered.find(L"\r\n"), std::wstring::npos);
    EXPECT_EQ(UserMessageText(c.language, false), c.first) << "a report that was not sent is not said to be";
  }
  EXPECT_EQ(UserMessageText(0, true),
            L"Ocorreu um erro com o Instalador.\r\nInformações do problema foram enviadas à Ardentis para análise da "
            L"equipe técnica.");
}

}  // namespace
}  // namespace sf
