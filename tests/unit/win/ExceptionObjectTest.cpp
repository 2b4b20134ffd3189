#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestServers.h"
#include "WinTestSupport.h"
#include "common/ErrorU.h"
#include "common/LanguageU.h"
#include "common/MachineIdentityU.h"
#include "common/TextU.h"
#include "common/WinHandleU.h"
#include "controls/WindowU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "logging/SystemDiagU.h"

namespace sf {
namespace {

using nlohmann::json;

const std::wstring kSeparator(100, L'-');

__attribute__((noinline)) void ThrowFromHere(const std::wstring& message) { throw TError(message); }

TExceptionObject DescribedReport(const std::exception& error, bool silent, std::int32_t number = 1) {
  TExceptionObject report(error, silent, number);
  report.CreateErrorDescription();
  return report;
}

// A report of an error raised and caught here, made while the error is being handled.
TExceptionObject ReportOfRaisedError(const std::wstring& message) {
  try {
    ThrowFromHere(message);
  } catch (const std::exception& e) {
    return DescribedReport(e, false);
  }
  throw std::logic_error("not raised");
}

std::wstring LineStartingWith(const std::vector<std::wstring>& lines, std::wstring_view start) {
  for (const std::wstring& line : lines) {
    if (line.rfind(start, 0) == 0) return line;
  }
  return L"(no line starting with " + std::wstring(start) + L")";
}

bool HasLine(const std::vector<std::wstring>& lines, std::wstring_view wanted) {
  for (const std::wstring& line : lines) {
    if (line == wanted) return true;
  }
  return false;
}

// The report text as lines (the diagnostic block sits in one entry with its own line breaks).
std::vector<std::wstring> TextLines(const TExceptionObject& report) {
  std::vector<std::wstring> lines;
  std::wstringstream text(JoinReportLines(report.Lines()));
  for (std::wstring line; std::getline(text, line);) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::uintptr_t ModuleOffset(const void* address) {
  return reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(nullptr));
}

std::wstring Hex(std::uintptr_t value) {
  wchar_t text[24];
  std::swprintf(text, 24, L"%llX", static_cast<unsigned long long>(value));
  return text;
}

struct TShownBox {
  std::wstring caption;
  std::wstring text;
  bool bInformationIcon = false;
};

bool ShowsInformationIcon(HWND box) {
  HICON shown = nullptr;
  ::EnumChildWindows(
      box,
      [](HWND child, LPARAM icon) -> BOOL {
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
        *reinterpret_cast<HICON*>(icon) = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&shown));
  return shown && shown == ::LoadIconW(nullptr, IDI_INFORMATION);
}

// Runs action on this thread while another thread answers every message box of this process with OK,
// recording what each one said. A box that is never answered would block the action for ever.
std::vector<TShownBox> WithMessageBoxesAnswered(const std::function<void()>& action) {
  std::vector<TShownBox> shown;
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    std::set<HWND> answered;
    auto visit = [&] {
      std::vector<HWND> boxes;
      ::EnumWindows(
          [](HWND window, LPARAM list) -> BOOL {
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            wchar_t className[16] = {};
            ::GetClassNameW(window, className, 16);
            if (process == ::GetCurrentProcessId() && std::wstring_view(className) == L"#32770" &&
                ::IsWindowVisible(window)) {
              reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&boxes));
      for (HWND box : boxes) {
        if (!answered.insert(box).second) continue;
        wchar_t caption[128] = {}, text[1024] = {};
        ::GetWindowTextW(box, caption, 128);
        ::GetDlgItemTextW(box, 0xFFFF, text, 1024);  // the message box's text control
        shown.push_back({caption, text, ShowsInformationIcon(box)});
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    };
    while (!done.load()) {
      visit();
      ::Sleep(20);
    }
  });
  action();
  done.store(true);
  watcher.join();
  return shown;
}

class ExceptionObjectTest : public testing::Test {
 protected:
  void SetUp() override { InstallExceptionCapture(); }
  void TearDown() override { RemoveExceptionCapture(); }
};

TEST_F(ExceptionObjectTest, ARaisedErrorCarriesItsClassMessageAddressAndTheStackOfItsRaise) {
  const TExceptionObject report = ReportOfRaisedError(L"broken & gone");
  const std::vector<std::wstring> lines = TextLines(report);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], L"Classe da Exceção   : sf::TError");
  EXPECT_EQ(lines[1], L"Mensagem da Exceção : broken & gone");
  EXPECT_EQ(lines[3], kSeparator);
  EXPECT_EQ(lines[4], L"Instalador - Stormfinch");

  // The address is inside the routine that threw, not in the runtime that raised it.
  const std::wstring prefix = L"Endereço da Exceção: ";
  ASSERT_EQ(lines[2].rfind(prefix, 0), 0u) << ToUtf8(lines[2]);
  ASSERT_EQ(lines[2].size(), prefix.size() + 16);
  const DWORD64 address = std::stoull(lines[2].substr(prefix.size()), nullptr, 16);
  DWORD64 imageBase = 0;
  const PRUNTIME_FUNCTION routine = ::RtlLookupFunctionEntry(address, &imageBase, nullptr);
  ASSERT_NE(routine, nullptr);
  EXPECT_EQ(imageBase + routine->BeginAddress, reinterpret_cast<DWORD64>(&ThrowFromHere));

  // The stack starts at that same place: the first frame names the address and its routine.
  std::size_t stack = 0;
  while (stack < lines.size() && lines[stack].rfind(L"Lista da Pilha, gerada ", 0) != 0) ++stack;
  ASSERT_LT(stack + 2, lines.size()) << "no stack in the report";
  EXPECT_GT(lines[stack].size(), std::wstring(L"Lista da Pilha, gerada ").size()) << "no time";
  EXPECT_EQ(lines[stack + 1], L"unit_win.exe+0x" + Hex(ModuleOffset(reinterpret_cast<const void*>(address))) +
                                  L" (routine +0x" + Hex(ModuleOffset(reinterpret_cast<const void*>(&ThrowFromHere))) +
                                  L", offset 0x" + Hex(address - reinterpret_cast<DWORD64>(&ThrowFromHere)) + L")");
  // ... and goes on outwards through the routine that caught it.
  const std::wstring catcher = L"(routine +0x" + Hex(ModuleOffset(reinterpret_cast<const void*>(&ReportOfRaisedError)));
  EXPECT_NE(lines[stack + 2].find(catcher), std::wstring::npos) << ToUtf8(lines[stack + 2]);
}

// A silent report carries the stack of the thread that reports, taken when it reports.
__attribute__((noinline)) std::vector<std::wstring> SilentReportLines(const std::exception& error) {
  return TextLines(DescribedReport(error, true));
}

TEST_F(ExceptionObjectTest, AnErrorNeverRaisedHasNoAddressAndOnlyASilentReportHasAStack) {
  const TError made(L"Invalid md5 verified while installing");
  const std::vector<std::wstring> loud = TextLines(DescribedReport(made, false));
  EXPECT_EQ(loud[2], L"Endereço da Exceção: 0000000000000000");
  EXPECT_EQ(LineStartingWith(loud, L"Lista da Pilha").rfind(L"(no line", 0), 0u);

  const std::vector<std::wstring> silent = SilentReportLines(made);
  EXPECT_EQ(LineStartingWith(silent, L"Lista da Pilha, gerada ").rfind(L"(no line", 0), std::wstring::npos);
  const std::wstring reporter =
      L"(routine +0x" + Hex(ModuleOffset(reinterpret_cast<const void*>(&SilentReportLines))) + L",";
  bool found = false;
  for (const std::wstring& line : silent) found = found || line.find(reporter) != std::wstring::npos;
  EXPECT_TRUE(found) << "the reporting routine is not on the stack";
}

TEST_F(ExceptionObjectTest, SystemPartCarriesTheFactsOfThisMachine) {
  const TExceptionObject report = DescribedReport(TError(L"x"), false, 7);
  const std::vector<std::wstring> lines = TextLines(report);
  EXPECT_EQ(lines[5], L"Versão    : 1.41.0.0");
  std::size_t next = 6;
  if (UnderWine()) {
    EXPECT_EQ(lines[next++], L"Windows Emulado : Sim");
  }
  EXPECT_EQ(lines[next++], kSeparator);
  EXPECT_EQ(lines[next++], L"Error Number   : 7");
  EXPECT_EQ(lines[next++], kSeparator);
  const std::wstring name = WindowsVersionName();
  EXPECT_TRUE(std::regex_match(lines[next++], std::wregex(L"Sistema    : " + name + LR"( .* \[64 Bits\], Versão: \d+\.\d+, Build: [0-9A-F]+, ".*")")))
      << ToUtf8(lines[next - 1]);
  EXPECT_TRUE(std::regex_match(lines[next++], std::wregex(LR"(Processador: \w+, .*, \d+ MHz (MMX)?( \[FDIV Bug\])?)")))
      << ToUtf8(lines[next - 1]);
  EXPECT_EQ(lines[next++], L"Monitor    : " + std::to_wstring(::GetSystemMetrics(SM_CXSCREEN)) + L"x" +
                               std::to_wstring(::GetSystemMetrics(SM_CYSCREEN)) + L" pixels, 32 bpp");
  EXPECT_EQ(lines[next++], kSeparator);
  EXPECT_EQ(lines[next++], L"Espaço Livre em Disco        : " + FreeDiskSpaceText(3));
  EXPECT_EQ(lines[next++], kSeparator);
  EXPECT_EQ(lines[next].rfind(L"Mem Load          : ", 0), 0u);
  EXPECT_FALSE(report.SilentMode());
  EXPECT_EQ(lines.back(), kSeparator);

  // The heap figures are real where the platform has them.
  for (const wchar_t* label : {L"Commited  : ", L"Allocated : "}) {
    const std::wstring line = LineStartingWith(lines, label);
    EXPECT_TRUE(std::regex_match(line, std::wregex(std::wstring(label) + LR"([1-9][\d.,\s\xA0]*[.,]\d\d kb)")))
        << ToUtf8(line);
  }
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

TScopedWindow MakeWindow(const wchar_t* className, const wchar_t* title, DWORD style, HWND parent = nullptr) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &PlainWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = className;
  ::RegisterClassExW(&wc);
  return TScopedWindow(::CreateWindowExW(0, className, title, style, 0, 0, 300, 200, parent, nullptr,
                                         ::GetModuleHandleW(nullptr), nullptr));
}

TEST_F(ExceptionObjectTest, OnTheUiThreadTheFocusedControlsAndTheFormsAreListed) {
  const TScopedWindow form = MakeWindow(L"TReportTestForm", L"Report test", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  const TScopedWindow hidden = MakeWindow(L"TReportHiddenForm", L"", WS_OVERLAPPEDWINDOW);
  const TScopedWindow edit(::CreateWindowExW(0, L"EDIT", L"typed secret", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20,
                                             form.Get(), nullptr, ::GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(form && hidden && edit);
  ::SetForegroundWindow(form.Get());
  ::SetFocus(edit.Get());
  ASSERT_EQ(::GetFocus(), edit.Get());

  const std::vector<std::wstring> lines = TextLines(DescribedReport(TError(L"x"), false));
  std::size_t chain = 0;
  while (chain < lines.size() && lines[chain] != L"Hierarquia de Controles Ativos:") ++chain;
  ASSERT_LT(chain + 3, lines.size()) << "no control hierarchy";
  EXPECT_EQ(AsciiLower(lines[chain + 1]), L"edit \"\"") << "what the user typed is never reported";
  EXPECT_EQ(lines[chain + 2], L"TReportTestForm \"Report test\"");
  EXPECT_EQ(lines[chain + 3], kSeparator);
  EXPECT_TRUE(HasLine(lines, L"TReportTestForm"));
  EXPECT_TRUE(HasLine(lines, L"TReportHiddenForm  (Invisible)"));
  for (const std::wstring& line : lines) EXPECT_EQ(line.find(L"typed secret"), std::wstring::npos);
  EXPECT_EQ(LineStartingWith(lines, L"Memoria Em Uso (Installer) : "), L"Memoria Em Uso (Installer) :  - ");

  // Off the UI thread neither list appears.
  std::vector<std::wstring> elsewhere;
  std::thread([&] { elsewhere = TextLines(DescribedReport(TError(L"x"), false)); }).join();
  EXPECT_FALSE(elsewhere.empty());
  for (const std::wstring& line : elsewhere) {
    EXPECT_EQ(line.find(L"Hierarquia"), std::wstring::npos);
    EXPECT_EQ(line.find(L"TReportTestForm"), std::wstring::npos);
  }
}

// A hidden window of the wizard's class, registered the way the wizard registers it.
class TWizardStandIn : public TWindowBase {
 public:
  TWizardStandIn() { CreateHandle(SetupFormClassName, 0, WS_OVERLAPPEDWINDOW, DisplayName, 0, 0, 100, 100, nullptr); }
};

TEST_F(ExceptionObjectTest, WorkingSetOfTheProcessShowingTheWizardWindow) {
  const TWizardStandIn wizard;
  const std::wstring line =
      LineStartingWith(TextLines(DescribedReport(TError(L"x"), false)), L"Memoria Em Uso (Installer) : ");
  std::wstring digits;
  for (const wchar_t c : line.substr(std::wstring(L"Memoria Em Uso (Installer) : ").size())) {
    if (std::iswdigit(c)) digits += c;
  }
  ASSERT_FALSE(digits.empty()) << ToUtf8(line);
  EXPECT_GT(std::stoll(digits), 1000) << "this process uses more than a megabyte";
  EXPECT_EQ(line.substr(line.size() - 3), L" kb");
}

// --- Handlers, against the error endpoint over HTTPS -------------------------------------------------------

// The run log's content so far, starting a fresh one.
std::string TakeRunLog() {
  const std::wstring path = RunLogPath();
  std::string content = test::CloseAndReadRunLog();
  std::filesystem::remove(path);
  CreateRunLog();
  return content;
}

class ErrorReporterTest : public ExceptionObjectTest {
 protected:
  void SetUp() override {
    SF_REQUIRE_TEST_SERVERS();
    ExceptionObjectTest::SetUp();
    CreateRunLog();
    m_trusted.emplace();
    ASSERT_TRUE(m_trusted->Added());
  }
  void TearDown() override {
    if (!test::TestServers()) return;
    TakeRunLog();
    const std::wstring path = RunLogPath();
    CloseRunLog();
    std::filesystem::remove(path);
    m_trusted.reset();
    ExceptionObjectTest::TearDown();
  }
  static std::wstring Endpoint(const wchar_t* path = L"/software/error") {
    return test::TestServers()->strReportUrl + path;
  }
  std::optional<test::TTrustedTestCa> m_trusted;
};

TEST_F(ErrorReporterTest, ASilentReportIsPostedOnceWithoutProxyOrMessage) {
  const std::size_t before = test::ReportLog().size();
  const std::string proxyBefore = test::ReadFileBytes(test::TestServers()->proxyLog);
  TErrorReporter reporter(Endpoint());

  const std::wstring message = L"a=b&c=d ção";
  const std::vector<TShownBox> boxes = WithMessageBoxesAnswered([&] {
    reporter.SilentException(L"TInstallerThread", TError(message));
    reporter.SilentException(L"TInstallerThread", TError(L"a second one, within ten minutes"));
  });
  EXPECT_TRUE(boxes.empty()) << ToUtf8(boxes.front().text);

  const json requests = test::ReportLog();
  ASSERT_EQ(requests.size(), before + 1) << "the second error is swallowed by the rate limit";
  const json& request = requests.back();
  EXPECT_EQ(request["method"], "POST");
  EXPECT_EQ(request["path"], "/software/error");
  EXPECT_EQ(request["headers"]["Content-Type"], "application/x-www-form-urlencoded");

  const std::string body = request["body"];
  const std::string id = ToUtf8(GetMachineIDText());
  const std::string head = "&strHardID=" + id + "&strVersion=1.41.0.0&str_error=Classe da Exceção   : sf::TError\r\n"
                           "Mensagem da Exceção : " + ToUtf8(message) + "\r\n";
  EXPECT_EQ(body.rfind("strActivationCode=", 0), 0u);
  EXPECT_NE(body.find(head), std::string::npos) << body.substr(0, 300);
  const std::string tail = "Silent Mode\r\n" + ToUtf8(kSeparator) + "\r\n&bSilentMode=1";
  ASSERT_GT(body.size(), tail.size());
  EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
  EXPECT_NE(body.find("Error Number   : 1\r\n"), std::string::npos);

  EXPECT_EQ(test::ReadFileBytes(test::TestServers()->proxyLog), proxyBefore) << "the proxy saw the report";
  const std::string log = TakeRunLog();
  EXPECT_NE(log.find("Exception:  HardID=" + id + " Version=1.41.0.0 SilentMode=1\r\nClasse da Exceção"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("was not sent"), std::string::npos) << log;
}

TEST_F(ErrorReporterTest, AnUndeliveredReportIsLoggedAndTheHandlerCarriesOn) {
  struct TCase {
    std::wstring url;
    const char* cause;
  };
  const TCase cases[] = {
      {L"https://127.0.0.1:1/software/error", "WinHttpSendRequest"},                   // nobody listens
      {test::TestServers()->strUntrustedHttpsUrl + L"/software/error", "WinHttp"},     // untrusted certificate
      {Endpoint(L"/status/503/software/error"), "the error endpoint answered 503"},   // refused by the endpoint
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(ToUtf8(c.url));
    TErrorReporter reporter(c.url);
    reporter.SilentException(L"TInstallerThread", TError(L"undeliverable"));
    const std::string log = TakeRunLog();
    const std::size_t line = log.find("ExceptionObjectU.SilentException (TInstallerThread): the error report was not sent: ");
    ASSERT_NE(line, std::string::npos) << log;
    EXPECT_NE(log.find(c.cause, line), std::string::npos) << log.substr(line);
    EXPECT_NE(log.find("(error: undeliverable)", line), std::string::npos);

    // The lock is free again and the counter kept its new value: another thread's error right after is
    // swallowed by the rate limit at once.
    const TScopedKernelHandle finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread([&reporter, event = finished.Get()] {
      reporter.SilentException(L"TInstallerThread", TError(L"right after"));
      ::SetEvent(event);
    }).detach();
    ASSERT_EQ(::WaitForSingleObject(finished.Get(), 20000), WAIT_OBJECT_0) << "the reporter lock is still held";
    EXPECT_EQ(TakeRunLog().find("right after"), std::string::npos);
  }
}

TEST_F(ErrorReporterTest, AUiErrorTellsTheUserInTheirLanguageOnceInTenMinutes) {
  struct TCase {
    TLanguage language;
    std::wstring url;
    bool delivered;
  };
  const TCase cases[] = {
      {TLanguage::Portuguese, Endpoint(), true},
      {TLanguage::Spanish, Endpoint(), true},
      {TLanguage::English, Endpoint(L"/status/500/software/error"), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.language));
    SetLanguage(c.language);
    const std::size_t before = test::ReportLog().size();
    TErrorReporter reporter(c.url);
    const std::vector<TShownBox> boxes = WithMessageBoxesAnswered([&] {
      try {
        ThrowFromHere(L"a click went wrong");
      } catch (const std::exception& e) {
        reporter.ExceptionHandler(e);
        reporter.ExceptionHandler(e);  // within ten minutes: no report, no message
      }
    });
    SetLanguage(TLanguage::Portuguese);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"unit_win");
    EXPECT_TRUE(boxes[0].bInformationIcon);
    EXPECT_EQ(boxes[0].text, UserMessageText(static_cast<std::uint8_t>(c.language), c.delivered));

    const json requests = test::ReportLog();
    ASSERT_EQ(requests.size(), before + 1);
    const std::string body = requests.back()["body"];
    EXPECT_EQ(body.substr(body.size() - 14), "&bSilentMode=0");
    EXPECT_NE(body.find("Error Number   : 1\r\n"), std::string::npos);
    EXPECT_NE(body.find("Endereço da Exceção: "), std::string::npos);
    EXPECT_NE(body.find("Lista da Pilha, gerada "), std::string::npos) << "the stack of the raise";
    EXPECT_NE(body.find("\r\n\r\n" + ToUtf8(kSeparator) + "\r\n"), std::string::npos) << "the UI thread's form list";
  }
}

TEST_F(ErrorReporterTest, AThreadErrorIsReportedEveryTimeWithTheThreadNamed) {
  const std::size_t before = test::ReportLog().size();
  TErrorReporter reporter(Endpoint());
  const std::vector<TShownBox> boxes = WithMessageBoxesAnswered([&] {
    std::thread([&] {
      reporter.ExceptionThreadHandler(L"TDownloadThread 3", TError(L"worker failed"));
      reporter.ExceptionThreadHandler(L"TDownloadThread 4", TError(L"worker failed again"));
    }).join();
  });
  EXPECT_EQ(boxes.size(), 2u);
  const json requests = test::ReportLog();
  ASSERT_EQ(requests.size(), before + 2) << "no rate limit for thread errors";
  for (int i = 0; i < 2; ++i) {
    const std::string body = requests[before + i]["body"];
    EXPECT_NE(body.find("\r\nThread: TDownloadThread " + std::to_string(3 + i) + "\r\n"), std::string::npos);
    EXPECT_EQ(body.find("Endereço da Exceção"), std::string::npos);
    EXPECT_NE(body.find("Error Number   : 0\r\n"), std::string::npos) << "the UI counter, which no UI error raised";
    EXPECT_EQ(body.find("Hierarquia de Controles Ativos"), std::string::npos) << "made off the UI thread";
  }
}

}  // namespace
}  // namespace sf
