// System diagnostics: the facts about the machine that the run log and the error report carry. The
// texts follow the rules of SystemNamesU and VMDetectorU; this module reads the facts from Windows.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logging/SystemNamesU.h"
#include "logging/VMDetectorU.h"

struct _IP_ADAPTER_INFO;

namespace sf {

// Writes the free space of the APPDATA drive, whether this is a Parallels virtual machine and whether
// this is Wine: three lines, each always written, a failing probe giving its failure text.
void AppendLogSystemDiag();

// How long a WMI query may take before the diagnostics give up on it.
inline constexpr std::chrono::milliseconds kWmiTimeout{5000};

// Writes "Checking Disk Status..." and one line per disk drive that WMI knows; true when a drive line was
// written. Never raises and never waits longer than the time-out: a failure, a time-out included, becomes
// one log line. The lines are written together once the query has ended, so that the lines of other
// threads do not come between them.
bool LogDiskStatus(std::chrono::milliseconds timeout = kWmiTimeout);

// LogDiskStatus on a thread of its own, started by whoever comes first: the engine's window once its first
// page is on screen (under Wine the query loads a graphics stack, which would otherwise hold up that page),
// or the engine's end, which waits for the lines, so that every run log has them.
class TDiskStatusLog {
 public:
  TDiskStatusLog() = default;
  // Waits for a query that was started; starts none.
  ~TDiskStatusLog() {
    if (m_thread.joinable()) m_thread.join();
  }
  TDiskStatusLog(const TDiskStatusLog&) = delete;
  TDiskStatusLog& operator=(const TDiskStatusLog&) = delete;

  // Any thread, any number of times; only the first call starts the query.
  void Start();
  // Starts the query if nobody did and waits until its lines are written (at most the WMI time-out). Only
  // on the owner's thread.
  void Finish();

 private:
  std::once_flag m_started;
  std::thread m_thread;
};

// Runs a WQL query in root\CIMV2 of the local machine through WMI, on a thread of its own in the
// multithreaded apartment, and hands on one line per object: each of the named properties that is not
// null, in order, after one blank, trimmed. Raises TError on any failure, and "WMI did not answer within
// N ms" when the query has not ended by the time-out (its thread is left to end on its own); the lines
// that arrived before are handed on first.
void ForEachWmiLine(const std::wstring& query, const std::vector<std::wstring>& propertyNames,
                    const std::function<void(const std::wstring&)>& onLine,
                    std::chrono::milliseconds timeout = kWmiTimeout);

// The facts of the running Windows, with its real version numbers (no compatibility shim answers).
TWindowsFacts WindowsFacts();
std::wstring OsDescription();
std::wstring WindowsVersionName();
std::wstring WindowsProductTypeName();

// True when the process runs under Wine: a Wine registry key exists and ntdll exports the Wine version
// query. Never raises.
bool UnderWine();

// The error report's probe: true on 64-bit Windows, whatever the Windows version (Is64BitWindows of
// WindowsFactsU adds the Windows 10 condition). Raises TError "Invalid handle" when the WOW64 query fails.
bool IsWindows64BitForReport();

// Free space available to the user on a drive (1 is A:), in whole MB with the locale's thousands
// separator: "12.345 MB". A drive that does not exist gives "0 MB". Raises when the number cannot be
// formatted.
std::wstring FreeDiskSpaceText(int driveNumber);

// A whole number with the user's locale thousands separator and no decimals.
std::wstring FormatWholeNumber(long long value);

struct TProcessorInfo {
  std::wstring strVendor;           // "GenuineIntel", "AuthenticAMD"...
  std::wstring strName;             // brand text, blanks trimmed; empty when the processor has none
  std::uint32_t nFeatureFlags = 0;  // EDX of identification leaf 1
  int nFrequencyMHz = 0;            // measured against the time-stamp counter, normalised
  bool bMmx = false;
  bool bFdivBug = false;
};

// Identification and clock rate of the processor; takes about 50 ms for the measurement.
TProcessorInfo ProcessorInfo();

// The platform's adapter query, replaceable so the buffer rule can be exercised.
using TAdaptersInfoQuery = ULONG(WINAPI*)(_IP_ADAPTER_INFO* adapters, PULONG size);
// One upper-case hexadecimal hardware address per adapter; empty when the query fails.
std::vector<std::wstring> AdapterMacAddresses(TAdaptersInfoQuery query = nullptr);
// Executable file names of the running processes.
std::vector<std::wstring> RunningProcessNames();
// A detector filled with this machine's adapters and processes.
TVMDetector MachineVMDetector();

}  // namespace sf
