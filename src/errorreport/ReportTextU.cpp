#include "errorreport/ReportTextU.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "common/ConstantsU.h"
#include "common/TextU.h"

namespace sf {

namespace {

const std::wstring kSeparator(100, L'-');
constexpr std::wstring_view kThemeHookRoutine = L"Detour_UxTheme_OpenThemeDataForDPI";
// The endpoint wants a value here; the installer has no activation code of its own.
constexpr std::string_view kActivationCode = "00000000-0000-0000-0000-000000000000";

std::wstring HexText(std::uint64_t value, int digits) {
  std::array<wchar_t, 32> buffer{};
  std::swprintf(buffer.data(), buffer.size(), L"%0*llX", digits, static_cast<unsigned long long>(value));
  return buffer.data();
}

std::wstring WindowLine(const TWindowFacts& window) {
  return window.strClassName + L" \"" + window.strName + L"\"";
}

}  // namespace

std::optional<std::int32_t> TReportCounter::Count(TReportClock::time_point now) {
  const auto elapsed = now > m_dtLast ? now - m_dtLast : m_dtLast - now;
  // Every call counts; a run of errors that never ends must not overflow the counter.
  if (m_nCount < std::numeric_limits<std::int32_t>::max()) ++m_nCount;
  m_dtLast = now;
  if (m_nCount == 1 || std::chrono::duration_cast<std::chrono::seconds>(elapsed) >= Interval) return m_nCount;
  return std::nullopt;
}

std::wstring KilobytesText(std::uint64_t bytes, const TNumberFormat& format) {
  return format.formatWhole(static_cast<long long>((bytes + 512) / 1024));
}

std::wstring KilobytesTextTwoDecimals(std::uint64_t bytes, const TNumberFormat& format) {
  const std::uint64_t hundredths = (bytes * 100 + 512) / 1024;
  const std::uint64_t cents = hundredths % 100;
  return format.formatWhole(static_cast<long long>(hundredths / 100)) + format.strDecimalSeparator +
         (cents < 10 ? L"0" : L"") + std::to_wstring(cents);
}

std::vector<std::wstring> ReportHeadLines(const TReportHead& head) {
  std::vector<std::wstring> lines{L"Classe da Exceção   : " + head.strClassName,
                                  L"Mensagem da Exceção : " + head.strMessage};
  if (head.strThread) {
    lines.push_back(L"Thread: " + *head.strThread);
  } else {
    // As wide as a pointer of the build: the full address, upper case.
    lines.push_back(L"Endereço da Exceção: " + HexText(head.nAddress, 2 * sizeof(void*)));
  }
  lines.push_back(kSeparator);
  lines.push_back(L"Instalador - " + std::wstring(DisplayName));
  return lines;
}

std::vector<std::wstring> DiagnosticBlockLines(const TDiagnosticFacts& facts, const TNumberFormat& format) {
  std::vector<std::wstring> lines;
  const TMemoryFacts& memory = facts.memory;
  lines.push_back(L"Mem Load          : " + std::to_wstring(memory.nLoad) + L" %");
  for (const auto& [label, bytes] : {std::pair{L"Mem Fisica Total  : ", memory.nTotalPhys},
                                     std::pair{L"Mem Fisica Livre  : ", memory.nAvailPhys},
                                     std::pair{L"Mem PageFile Total: ", memory.nTotalPageFile},
                                     std::pair{L"Mem PageFile Livre: ", memory.nAvailPageFile},
                                     std::pair{L"Mem Virtual Total : ", memory.nTotalVirtual},
                                     std::pair{L"Mem Virtual Livre : ", memory.nAvailVirtual}}) {
    lines.push_back(label + KilobytesText(bytes, format) + L" kb");
  }
  lines.push_back(L"Memoria Em Uso (Installer) : " +
                  (facts.installerWorkingSet
                       ? format.formatWhole(static_cast<long long>(*facts.installerWorkingSet / 1024)) + L" kb"
                       : std::wstring(L" - ")));
  lines.push_back(kSeparator);

  const THeapFacts& heap = facts.heap;
  for (const auto& [label, bytes] :
       {std::pair{L"Commited  : ", heap.nCommitted}, std::pair{L"Allocated : ", heap.nAllocated},
        std::pair{L"Free      : ", heap.nFree}, std::pair{L"FreeSmall : ", heap.nFreeSmall},
        std::pair{L"FreeBig   : ", heap.nFreeBig}, std::pair{L"Unused    : ", heap.nUnused},
        std::pair{L"Overhead  : ", heap.nOverhead}}) {
    lines.push_back(label + KilobytesTextTwoDecimals(bytes, format) + L" kb");
  }
  lines.push_back(kSeparator);

  if (facts.stack) {
    lines.push_back(L"Lista da Pilha, gerada " + facts.stack->strTakenAt);
    // A frame line that starts with its bracketed address, "[0040ABCD]", loses it.
    for (const std::wstring& frame : facts.stack->frames) {
      lines.push_back(!frame.empty() && frame.front() == L'[' ? frame.substr(std::min<std::size_t>(10, frame.size()))
                                                             : frame);
    }
  }
  lines.push_back(kSeparator);

  if (facts.bMainThread && !facts.activeControls.empty()) {
    lines.push_back(L"Hierarquia de Controles Ativos:");
    for (const TWindowFacts& control : facts.activeControls) lines.push_back(WindowLine(control));
    lines.push_back(kSeparator);
  }
  if (facts.bMainThread) {
    lines.push_back(L"");
    lines.push_back(kSeparator);
    for (std::size_t i = 0; i < facts.forms.size(); ++i) {
      const TWindowFacts& form = facts.forms[i];
      lines.push_back(form.strClassName + (form.bVisible ? L"" : L"  (Invisible)"));
      if (i + 1 == MaxReportedForms) {
        lines.push_back(L"...");
        break;
      }
    }
  }
  lines.push_back(kSeparator);
  return lines;
}

bool IsThemeHookError(const std::vector<std::wstring>& diagnosticBlock) {
  for (const std::wstring& line : diagnosticBlock) {
    if (line.find(kThemeHookRoutine) != std::wstring::npos) return true;
  }
  return false;
}

std::vector<std::wstring> ErrorDescriptionLines(const TSystemFacts& facts, std::int32_t errorNumber,
                                                const std::vector<std::wstring>& diagnosticBlock, bool silent) {
  std::vector<std::wstring> lines{L"Versão    : " + facts.strVersion};
  if (facts.bUnderWine) lines.push_back(L"Windows Emulado : Sim");
  lines.push_back(kSeparator);
  lines.push_back(L"Error Number   : " + std::to_wstring(errorNumber));
  lines.push_back(kSeparator);

  const std::wstring bits = facts.b64Bit ? (*facts.b64Bit ? L"64 Bits" : L"32 Bits") : L"";
  lines.push_back(L"Sistema    : " + facts.strWindowsName + L" " + facts.strProductType + L" [" + bits +
                  L"], Versão: " + std::to_wstring(facts.nMajor) + L"." + std::to_wstring(facts.nMinor) +
                  L", Build: " + HexText(facts.nBuild, 1) + L", \"" + facts.strServicePack + L"\"");
  lines.push_back(L"Processador: " + facts.strCpuVendor + L", " + facts.strCpuName + L", " +
                  std::to_wstring(facts.nCpuMHz) + L" MHz " + (facts.bMmx ? L"MMX" : L"") +
                  (facts.bFdivBug ? L" [FDIV Bug]" : L""));
  lines.push_back(L"Monitor    : " + std::to_wstring(facts.nScreenWidth) + L"x" + std::to_wstring(facts.nScreenHeight) +
                  L" pixels, 32 bpp");
  lines.push_back(kSeparator);
  lines.push_back(L"Espaço Livre em Disco        : " + facts.strFreeSpace);
  lines.push_back(kSeparator);

  std::wstring block;
  for (const std::wstring& line : diagnosticBlock) block += line + L"\r\n";
  lines.push_back(Trim(block));
  if (silent) {
    lines.push_back(L"Silent Mode");
    lines.push_back(kSeparator);
  }
  return lines;
}

std::wstring JoinReportLines(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  return text;
}

std::string ReportBody(std::wstring_view machineId, std::wstring_view version, std::wstring_view reportText,
                       bool silent) {
  return "strActivationCode=" + std::string(kActivationCode) + "&strHardID=" + ToUtf8(machineId) +
         "&strVersion=" + ToUtf8(version) + "&str_error=" + ToUtf8(reportText) + "&bSilentMode=" +
         (silent ? "1" : "0");
}

std::wstring ReportLogText(std::wstring_view machineId, std::wstring_view version, std::wstring_view reportText,
                           bool silent) {
  return L"Exception:  HardID=" + std::wstring(machineId) + L" Version=" + std::wstring(version) +
         L" SilentMode=" + (silent ? L"1" : L"0") + L"\r\n" + std::wstring(reportText) + L"\r\n";
}

std::wstring UserMessageText(std::uint8_t language, bool delivered) {
  struct TMessage {
    const wchar_t* problem;
    const wchar_t* sent;
  };
  static constexpr TMessage kPortuguese{
      L"Ocorreu um erro com o Instalador.",
      L"Informações do problema foram enviadas à Ardentis para análise da equipe técnica."};
  static constexpr TMessage kSpanish{
      L"Hay un error con el instalador.",
      L"Informaciones del problema fueron enviadas para Ardentis para un analisis del equipo técnico."};
  static constexpr TMessage kEnglish{
      L"There was an error with the Installer.",
      L"The error report has been sent to Ardentis and is being reviewed by our technical team."};
  const TMessage& message = language == 0 ? kPortuguese : language == 2 ? kSpanish : kEnglish;
  return delivered ? std::wstring(message.problem) + L"\r\n" + message.sent : std::wstring(message.problem);
}

}  // namespace sf
