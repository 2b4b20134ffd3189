#include "errorreport/ExceptionObjectU.h"

#include <windows.h>
#include <psapi.h>

#include <cxxabi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "common/FileFactsU.h"
#include "common/LanguageU.h"
#include "common/MachineIdentityU.h"
#include "common/NoDestructorU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "errorreport/StackTraceU.h"
#include "logging/LogU.h"
#include "logging/SystemDiagU.h"
#include "network/HttpClientU.h"

namespace sf {

namespace {

constexpr std::size_t kMaxWindowNameLength = 100;
constexpr int kReportTimeoutMs = 30000;

std::atomic<DWORD> g_nUiThreadId{0};
bool g_bCaptureInstalled = false;  // only touched at start-up and finalisation, on the UI thread
LPTOP_LEVEL_EXCEPTION_FILTER g_pPreviousFilter = nullptr;
std::terminate_handler g_pPreviousTerminate = nullptr;

TErrorReporter& ProcessReporter() {
  // Never destroyed: threads that are not joined may still report while the process exits.
  static TNoDestructor<TErrorReporter> reporter(ErrorReportUrl);
  return *reporter;
}

bool OnUiThread() { return ::GetCurrentThreadId() == g_nUiThreadId.load(); }

std::wstring ClassNameOf(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                              &std::free);
  return FromUtf8(status == 0 && demangled ? demangled.get() : mangled);
}

TNumberFormat LocaleNumberFormat() {
  wchar_t separator[8] = {};
  if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) <= 0) separator[0] = L'.';
  return TNumberFormat{&FormatWholeNumber, separator};
}

TMemoryFacts MemoryFacts() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status)) return {};
  return {status.dwMemoryLoad,   status.ullTotalPhys,    status.ullAvailPhys, status.ullTotalPageFile,
          status.ullAvailPageFile, status.ullTotalVirtual, status.ullAvailVirtual};
}

// The working set of whichever process shows the wizard window, which need not be this one.
std::optional<std::uint64_t> InstallerWorkingSet() {
  const HWND window = ::FindWindowW(SetupFormClassName, nullptr);
  if (!window) return std::nullopt;
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  const TScopedKernelHandle process(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!process || !::GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters))) return 0;
  return counters.WorkingSetSize;
}

// The heaps of the process stand in for a memory manager of our own. They keep no separate small and
// big free lists nor never-used space, so those figures stay 0.
THeapFacts HeapFacts() {
  std::vector<HANDLE> heaps(64);
  DWORD count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (count > heaps.size()) {
    heaps.resize(count);
    count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  }
  heaps.resize(std::min<std::size_t>(count, heaps.size()));
  THeapFacts facts;
  for (const HANDLE heap : heaps) {
    if (!::HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heap, &entry)) {
      facts.nOverhead += entry.cbOverhead;
      if (entry.wFlags & PROCESS_HEAP_REGION) {
        facts.nCommitted += entry.Region.dwCommittedSize;
      } else if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
        facts.nAllocated += entry.cbData;
      } else if (!(entry.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE)) {
        facts.nFree += entry.cbData;
      }
    }
    ::HeapUnlock(heap);
  }
  return facts;
}

TWindowFacts WindowFactsOf(HWND window) {
  wchar_t className[256] = {};
  ::GetClassNameW(window, className, 256);
  TWindowFacts facts{className, L"", ::IsWindowVisible(window) != FALSE};
  // What the user typed is never reported: an edit field may hold a password.
  if (!EqualsIgnoreCaseInLocale(className, L"Edit")) {
    wchar_t text[kMaxWindowNameLength + 1] = {};
    ::GetWindowTextW(window, text, static_cast<int>(kMaxWindowNameLength + 1));
    facts.strName = text;
  }
  return facts;
}

std::vector<TWindowFacts> ControlChain(HWND control) {
  std::vector<TWindowFacts> chain;
  const HWND desktop = ::GetDesktopWindow();
  for (HWND window = control; window && window != desktop; window = ::GetAncestor(window, GA_PARENT)) {
    chain.push_back(WindowFactsOf(window));
  }
  return chain;
}

// The application's forms: the top-level windows of the calling thread that this program created.
std::vector<TWindowFacts> FormList() {
  std::vector<TWindowFacts> forms;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM list) -> BOOL {
        const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
        if (instance == ::GetModuleHandleW(nullptr)) {
          reinterpret_cast<std::vector<TWindowFacts>*>(list)->push_back(WindowFactsOf(window));
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&forms));
  return forms;
}

TStackFacts StackFactsOf(const TStackTrace& trace) {
  TStackFacts facts{FileTimeToLocalText(trace.ftTaken), {}};
  for (const std::uintptr_t frame : trace.frames) facts.frames.push_back(FrameText(frame));
  return facts;
}

TSystemFacts SystemFacts(const std::wstring& version) {
  const TWindowsFacts windows = WindowsFacts();
  const TProcessorInfo processor = ProcessorInfo();
  TSystemFacts facts;
  facts.strVersion = version;
  facts.bUnderWine = UnderWine();
  facts.strWindowsName = WindowsVersionNameOf(windows);
  facts.strProductType = WindowsProductTypeNameOf(windows);
  try {
    facts.b64Bit = IsWindows64BitForReport();
  } catch (const std::exception&) {
  }
  facts.nMajor = windows.nMajor;
  facts.nMinor = windows.nMinor;
  facts.nBuild = windows.nBuild;
  facts.strServicePack = windows.strServicePack;
  facts.strCpuVendor = processor.strVendor;
  facts.strCpuName = processor.strName;
  facts.nCpuMHz = processor.nFrequencyMHz;
  facts.bMmx = processor.bMmx;
  facts.bFdivBug = processor.bFdivBug;
  facts.nScreenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  facts.nScreenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  try {
    facts.strFreeSpace = FreeDiskSpaceText(3);
  } catch (const std::exception&) {
    facts.strFreeSpace = L" - ";
  }
  return facts;
}

// Captioned with the program's file name without extension, as an application that never set its title.
void ShowUserMessage(bool delivered) {
  std::wstring caption = ModuleFileName();
  caption.erase(0, caption.find_last_of(L"\\/") + 1);
  caption = caption.substr(0, caption.find_last_of(L'.'));
  ::MessageBoxW(::GetActiveWindow(), UserMessageText(LanguageByte(), delivered).c_str(), caption.c_str(),
                MB_OK | MB_ICONINFORMATION);
}

std::wstring CurrentThreadDescription() {
  return L"thread " + std::to_wstring(::GetCurrentThreadId()) + (OnUiThread() ? L" (UI)" : L"");
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* info) {
  wchar_t text[96];
  std::swprintf(text, 96, L"ExceptionObjectU: unhandled exception 0x%08lX at %p", info->ExceptionRecord->ExceptionCode,
                info->ExceptionRecord->ExceptionAddress);
  AppendLog(text);
  return EXCEPTION_CONTINUE_SEARCH;
}

// A C++ error that nothing caught ends the process; it is reported first, like the error of a thread.
void OnTerminate() {
  std::wstring line = L"ExceptionObjectU: terminate";
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      line += L": " + ExceptionMessage(e);
      AppendLog(line);
      ProcessReporter().ExceptionThreadHandler(CurrentThreadDescription(), e);
      std::abort();
    } catch (...) {
    }
  }
  AppendLog(line);
  std::abort();
}

}  // namespace

// --- TExceptionObject -------------------------------------------------------------------------------------

TExceptionObject::TExceptionObject(const std::exception& error, bool silent, std::int32_t errorNumber,
                                   const std::optional<std::wstring>& threadDescription)
    : m_bIsMainThread(OnUiThread()), m_nErrorNumber(errorNumber), m_bSilentMode(silent) {
  m_LastActiveControl = m_bIsMainThread ? ::GetFocus() : nullptr;
  const std::optional<TStackTrace> raised = RaisedStackOf(&error);
  m_lstError = ReportHeadLines(
      {ClassNameOf(error), ExceptionMessage(error), threadDescription, raised ? raised->nRaiseAddress : 0});

  TDiagnosticFacts facts;
  facts.memory = MemoryFacts();
  facts.installerWorkingSet = InstallerWorkingSet();
  facts.heap = HeapFacts();
  if (silent) {
    facts.stack = StackFactsOf(CurrentStack());
  } else if (raised) {
    facts.stack = StackFactsOf(*raised);
  }
  facts.bMainThread = m_bIsMainThread;
  if (m_bIsMainThread) {
    if (m_LastActiveControl) facts.activeControls = ControlChain(m_LastActiveControl);
    facts.forms = FormList();
  }
  m_lstStackList = DiagnosticBlockLines(facts, LocaleNumberFormat());
  if (!m_bSilentMode && IsThemeHookError(m_lstStackList)) m_bSilentMode = true;
}

void TExceptionObject::CreateErrorDescription() {
  m_strMachineID = GetMachineIDText();
  m_strVersion = FileVersionText(ModuleFileName(), true);
  for (std::wstring& line : ErrorDescriptionLines(SystemFacts(m_strVersion), m_nErrorNumber, m_lstStackList,
                                                  m_bSilentMode)) {
    m_lstError.push_back(std::move(line));
  }
}

std::string TExceptionObject::Body() const {
  return ReportBody(m_strMachineID, m_strVersion, JoinReportLines(m_lstError), m_bSilentMode);
}

void TExceptionObject::SendError(const std::wstring& url) const {
  const std::wstring text = JoinReportLines(m_lstError);
  AppendLog(ReportLogText(m_strMachineID, m_strVersion, text, m_bSilentMode));

  // Straight to the endpoint: neither the installer's proxy setting nor a platform proxy carries a report.
  TNetHttpClient client;
  client.UseDirectConnection();
  client.SetTimeouts({kReportTimeoutMs, kReportTimeoutMs, kReportTimeoutMs, kReportTimeoutMs});
  std::optional<THttpResponse> answer;
  try {
    // A body limit of 0: the answer's status is all that counts, so its body is never read.
    answer = client.Post(url, ReportBody(m_strMachineID, m_strVersion, text, m_bSilentMode),
                         L"application/x-www-form-urlencoded", 0);
  } catch (const std::exception&) {
    // Once the status line has arrived the report is delivered, whatever becomes of the body.
    if (!client.LastResponse()) throw;
    answer = client.LastResponse();
  }
  if (answer->nStatusCode >= 400) {
    throw TError(L"the error endpoint answered " + std::to_wstring(answer->nStatusCode) + L" " +
                 answer->strStatusText);
  }
}

// --- TErrorReporter ---------------------------------------------------------------------------------------

TErrorReporter::TErrorReporter(std::wstring url) : m_strUrl(std::move(url)) {}

bool TErrorReporter::Report(const std::wstring& handler, const std::exception& error, bool silent,
                            std::int32_t errorNumber, const std::optional<std::wstring>& threadDescription) {
  try {
    TExceptionObject report(error, silent, errorNumber, threadDescription);
    report.CreateErrorDescription();
    report.SendError(m_strUrl);
    return true;
  } catch (const std::exception& e) {
    AppendLog(L"ExceptionObjectU." + handler + L": the error report was not sent: " + ExceptionMessage(e) +
               L" (error: " + ExceptionMessage(error) + L")");
  } catch (...) {
    AppendLog(L"ExceptionObjectU." + handler + L": the error report was not sent (error: " +
               ExceptionMessage(error) + L")");
  }
  return false;
}

void TErrorReporter::ExceptionHandler(const std::exception& error) {
  try {
    const std::lock_guard lock(m_csReporter);
    const std::optional<std::int32_t> number = m_UiCounter.Count(TReportClock::now());
    if (!number) return;
    ShowUserMessage(Report(L"ExceptionHandler", error, false, *number, std::nullopt));
  } catch (...) {
    AppendLog(L"ExceptionObjectU.ExceptionHandler: failed: " + ExceptionMessage(error));
  }
}

void TErrorReporter::SilentException(const std::wstring& sender, const std::exception& error) {
  try {
    const std::lock_guard lock(m_csReporter);
    const std::optional<std::int32_t> number = m_SilentCounter.Count(TReportClock::now());
    if (!number) return;
    Report(sender.empty() ? L"SilentException" : L"SilentException (" + sender + L")", error, true, *number,
           std::nullopt);
  } catch (...) {
    AppendLog(L"ExceptionObjectU.SilentException: failed: " + ExceptionMessage(error));
  }
}

void TErrorReporter::ExceptionThreadHandler(const std::wstring& threadDescription, const std::exception& error) {
  try {
    const std::lock_guard lock(m_csReporter);
    ShowUserMessage(Report(L"ExceptionThreadHandler", error, false, m_UiCounter.Value(), threadDescription));
  } catch (...) {
    AppendLog(L"ExceptionObjectU.ExceptionThreadHandler: failed: " + ExceptionMessage(error));
  }
}

// --- Process-wide capture ---------------------------------------------------------------------------------

void InstallExceptionCapture() {
  ProcessReporter();
  g_nUiThreadId.store(::GetCurrentThreadId());
  StartRecordingRaisedStacks();
  if (g_bCaptureInstalled) return;
  g_bCaptureInstalled = true;
  g_pPreviousFilter = ::SetUnhandledExceptionFilter(&UnhandledFilter);
  g_pPreviousTerminate = std::set_terminate(&OnTerminate);
}

void RemoveExceptionCapture() {
  if (g_bCaptureInstalled) {
    g_bCaptureInstalled = false;
    std::set_terminate(g_pPreviousTerminate);
    ::SetUnhandledExceptionFilter(g_pPreviousFilter);
  }
  StopRecordingRaisedStacks();
  g_nUiThreadId.store(0);
}

void ExceptionHandler(const std::exception& error) { ProcessReporter().ExceptionHandler(error); }

void SilentException(const std::wstring& sender, const std::exception& error) {
  ProcessReporter().SilentException(sender, error);
}

void ExceptionThreadHandler(const std::wstring& threadDescription, const std::exception& error) {
  ProcessReporter().ExceptionThreadHandler(threadDescription, error);
}

void ExceptionThreadHandler(const std::exception& error) {
  ProcessReporter().ExceptionThreadHandler(CurrentThreadDescription(), error);
}

}  // namespace sf
