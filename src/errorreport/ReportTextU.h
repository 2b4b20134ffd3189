// The error report as text: its lines from facts that ExceptionObjectU gathers on Windows, the rate limit
// of the handlers, the form body and the user message. Portable, so every rule is checked natively.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sf {

using TReportClock = std::chrono::system_clock;

// One handler's count of calls and the time of the last one. Every call counts, reported or not, so a
// burst keeps postponing the next report until it has been quiet for the whole interval.
class TReportCounter {
 public:
  static constexpr std::chrono::seconds Interval{600};

  // Counts a call made at now. The error number to report (the counter's new value), or nothing when
  // the previous call was less than Interval ago.
  std::optional<std::int32_t> Count(TReportClock::time_point now);
  std::int32_t Value() const { return m_nCount; }

 private:
  std::int32_t m_nCount = 0;
  TReportClock::time_point m_dtLast{};  // the epoch: far enough back that the first call is reported
};

// Numbers "as a number": the locale's whole-number form, and its decimal separator for the decimals.
struct TNumberFormat {
  std::function<std::wstring(long long)> formatWhole;
  std::wstring strDecimalSeparator;
};

// bytes / 1024 rounded to whole, or to hundredths, in the locale's form.
std::wstring KilobytesText(std::uint64_t bytes, const TNumberFormat& format);
std::wstring KilobytesTextTwoDecimals(std::uint64_t bytes, const TNumberFormat& format);

// The first part of the report. A thread report names the thread instead of the address.
struct TReportHead {
  std::wstring strClassName;
  std::wstring strMessage;
  std::optional<std::wstring> strThread;
  std::uintptr_t nAddress = 0;  // where the error was raised; 0 when it never was
};
std::vector<std::wstring> ReportHeadLines(const TReportHead& head);

struct TMemoryFacts {
  std::uint32_t nLoad = 0;  // per cent
  std::uint64_t nTotalPhys = 0, nAvailPhys = 0;
  std::uint64_t nTotalPageFile = 0, nAvailPageFile = 0;
  std::uint64_t nTotalVirtual = 0, nAvailVirtual = 0;
};

// The memory manager's figures in bytes; 0 where the platform has no equivalent.
struct THeapFacts {
  std::uint64_t nCommitted = 0, nAllocated = 0, nFree = 0, nFreeSmall = 0, nFreeBig = 0, nUnused = 0,
                nOverhead = 0;
};

struct TStackFacts {
  std::wstring strTakenAt;           // local date and time text
  std::vector<std::wstring> frames;  // one line per frame, innermost first
};

// One window of the focused control's chain or of the form list.
struct TWindowFacts {
  std::wstring strClassName;
  std::wstring strName;
  bool bVisible = true;
};

struct TDiagnosticFacts {
  TMemoryFacts memory;
  // The installer's working set in bytes; 0 when its process could not be queried, nothing when no
  // installer window exists.
  std::optional<std::uint64_t> installerWorkingSet;
  THeapFacts heap;
  std::optional<TStackFacts> stack;
  bool bMainThread = false;
  std::vector<TWindowFacts> activeControls;  // the focused control first, then its parents
  std::vector<TWindowFacts> forms;
};

inline constexpr std::size_t MaxReportedForms = 22;

// The diagnostic block: memory, stack, controls and forms.
std::vector<std::wstring> DiagnosticBlockLines(const TDiagnosticFacts& facts, const TNumberFormat& format);

// An error inside the theme engine's hook is reported silently, whatever its kind.
bool IsThemeHookError(const std::vector<std::wstring>& diagnosticBlock);

struct TSystemFacts {
  std::wstring strVersion;
  bool bUnderWine = false;
  std::wstring strWindowsName;
  std::wstring strProductType;
  std::optional<bool> b64Bit;  // nothing when the probe failed
  unsigned nMajor = 0, nMinor = 0, nBuild = 0;
  std::wstring strServicePack;
  std::wstring strCpuVendor;
  std::wstring strCpuName;
  int nCpuMHz = 0;
  bool bMmx = false;
  bool bFdivBug = false;
  int nScreenWidth = 0, nScreenHeight = 0;
  std::wstring strFreeSpace;  // "12.345 MB", or " - " when the query failed
};

// The system part, then the diagnostic block, then the silent mark.
std::vector<std::wstring> ErrorDescriptionLines(const TSystemFacts& facts, std::int32_t errorNumber,
                                                const std::vector<std::wstring>& diagnosticBlock, bool silent);

// The lines as one text, each ended by a carriage return and a line feed.
std::wstring JoinReportLines(const std::vector<std::wstring>& lines);

// The form body, UTF-8, values inserted as they are: the endpoint takes the report text verbatim.
std::string ReportBody(std::wstring_view machineId, std::wstring_view version, std::wstring_view reportText,
                       bool silent);
// The run log's record of a report.
std::wstring ReportLogText(std::wstring_view machineId, std::wstring_view version, std::wstring_view reportText,
                           bool silent);

// The message box text for a language byte: 0 Portuguese, 2 Spanish, any other English. When the
// report could not be delivered only the first line is shown: the second one says it was sent.
std::wstring UserMessageText(std::uint8_t language, bool delivered);

}  // namespace sf
