// The lifecycle of a run against the fault server: what the engine makes of its workers' failures, how a
// cancel ends them, and that nothing of the run is left behind. The engine is the real one, with real
// workers, WinHTTP, the registry sandbox and a throwaway APPDATA; only what a case names is changed.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <stdexcept>

#include "TestServers.h"
#include "WinTestSupport.h"
#include "common/RegistryU.h"
#include "common/TextU.h"
#include "engine/EngineTextsU.h"
#include "engine/ExitCodeU.h"
#include "engine/InstallerThreadU.h"
#include "engine/MessagesU.h"
#include "logging/LogU.h"

namespace sf {
namespace {

using nlohmann::json;
using test::TRecordedMessage;

// A download worker whose own code fails in the middle of its item, while the package arrives. The
// failing workers wait for each other (a moment at most), so that several fail at once.
class TFailingDownloadThread : public TDownloadThread {
 public:
  using TDownloadThread::TDownloadThread;
  static inline std::atomic<int> s_nFailing{0};
  static constexpr int kTogether = 3;  // the packages of the test's version

 protected:
  void HttpReceiveData(std::int64_t contentLength, std::int64_t bytesRead) override {
    TDownloadThread::HttpReceiveData(contentLength, bytesRead);
    s_nFailing.fetch_add(1);
    for (int waited = 0; s_nFailing.load() < kTogether && waited < 2000; waited += 5) ::Sleep(5);
    throw std::logic_error("a fault of the worker itself, in the middle of an item");
  }
};

// The real engine, whose workers the test can watch; download workers may be failing ones, and
// extraction workers may unpack into another folder.
class TObservedEngine : public TInstallerThread {
 public:
  TObservedEngine(HWND window, std::wstring versionServerUrl, bool failingDownloads, std::wstring unpackOnto)
      : TInstallerThread(window, std::move(versionServerUrl)),
        m_bFailingDownloads(failingDownloads),
        m_strUnpackOnto(std::move(unpackOnto)) {}

  // True once every worker the engine made has ended.
  bool AllWorkersGone() const {
    std::lock_guard guard(m_lock);
    for (const auto& worker : m_workers) {
      if (worker->Started() && !worker->WaitFor(0)) return false;
    }
    return !m_workers.empty();
  }

 protected:
  std::shared_ptr<TDownloadThread> NewDownloadThread(std::shared_ptr<const TDownloadRun> run, int number) override {
    auto worker = m_bFailingDownloads ? std::make_shared<TFailingDownloadThread>(*this, std::move(run), number)
                                      : TInstallerThread::NewDownloadThread(std::move(run), number);
    Watch(worker);
    return worker;
  }
  std::shared_ptr<TExtractThread> NewExtractThread(std::shared_ptr<const TDownloadRun> run, int number) override {
    if (!m_strUnpackOnto.empty()) {
      auto elsewhere = std::make_shared<TDownloadRun>(*run);
      elsewhere->strTempDownloadPath = m_strUnpackOnto;
      run = std::move(elsewhere);
    }
    auto worker = TInstallerThread::NewExtractThread(std::move(run), number);
    Watch(worker);
    return worker;
  }

 private:
  void Watch(std::shared_ptr<TBaseWorkerThread> worker) {
    std::lock_guard guard(m_lock);
    m_workers.push_back(std::move(worker));
  }

  const bool m_bFailingDownloads;
  const std::wstring m_strUnpackOnto;
  mutable std::mutex m_lock;
  std::vector<std::shared_ptr<TBaseWorkerThread>> m_workers;
};

std::size_t Count(const std::vector<TRecordedMessage>& messages, UINT id, WPARAM wParam = ~WPARAM(0)) {
  std::size_t count = 0;
  for (const auto& m : messages) {
    if (m.message == id && (wParam == ~WPARAM(0) || m.wParam == wParam)) ++count;
  }
  return count;
}

const TRecordedMessage* Find(const std::vector<TRecordedMessage>& messages, UINT id) {
  for (const auto& m : messages) {
    if (m.message == id) return &m;
  }
  return nullptr;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

json Manifest(const char* site) {
  std::ifstream in(test::TestServers()->www / site / "version/stormfinch/alpha/to/stable/pt-br_x64");
  return json::parse(in);
}

// The served path of a file's package, the largest one when no name is given.
std::string PackagePath(const char* site, const std::string& file = {}) {
  const json manifest = Manifest(site);
  json chosen;
  for (const auto& entry : manifest["files"]) {
    if (file.empty() ? (chosen.is_null() || entry["size"] > chosen["size"]) : entry["file"] == file) chosen = entry;
  }
  return std::string("/") + site + "/files/" + chosen["md5"].get<std::string>();
}

// The requests for one path that the fault server has answered so far (or is still answering).
std::size_t Requests(const json& log, const std::string& path, bool finishedOnly = false) {
  std::size_t count = 0;
  for (const auto& entry : log) {
    if (entry["path"] == path && (!finishedOnly || entry["done"].get<bool>())) ++count;
  }
  return count;
}

// One run of the engine in a throwaway profile: APPDATA (unless given), HKCU and the shortcut folders are
// the test's.
class TEngineRunCase {
 public:
  TEngineRunCase(TCmdInstallType mode, const char* site, bool failingDownloads = false,
                 std::filesystem::path appData = {}, std::wstring unpackOnto = {})
      : m_mode(mode),
        m_appDataPath(appData.empty() ? m_appData.Path() : appData),
        m_engine(m_sink.Handle(), test::TestServers()->strFaultUrl + L"/" + FromUtf8(site), failingDownloads,
                 std::move(unpackOnto)) {
    TRegKey folders;
    const std::wstring key = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    EXPECT_EQ(folders.Create(HKEY_CURRENT_USER, key), ERROR_SUCCESS);
    std::filesystem::create_directories(m_shell.Path() / L"Desktop");
    std::filesystem::create_directories(m_shell.Path() / L"Programs");
    folders.WriteString(L"Desktop", (m_shell.Path() / L"Desktop").wstring());
    folders.WriteString(L"Programs", (m_shell.Path() / L"Programs").wstring());
  }
  ~TEngineRunCase() { m_engine.Shutdown(10000); }

  // As the window starts an installation: the mode, then the search; interactively the install button.
  void Start() {
    m_engine.Start();
    m_engine.WaitStart();
    m_engine.SetUnnatendedValues(L"", m_mode);
    m_engine.VerifyPreviousInstall();
    if (m_mode == TCmdInstallType::citNone) {
      m_engine.Post(WM_SET_NEW_INSTALL);
      m_engine.Post(WM_SETUP_DOWNLOADS);
    }
  }

  // Pumps the window's messages until the condition holds; conditions on the servers are checked every
  // 100 ms.
  bool PumpUntil(const std::function<bool()>& until, DWORD timeoutMs = 20000) {
    ULONGLONG next = 0;
    return m_sink.PumpUntil(
        [&](const std::vector<TRecordedMessage>&) {
          if (::GetTickCount64() < next) return false;
          next = ::GetTickCount64() + 100;
          return until();
        },
        timeoutMs);
  }
  bool PumpUntilMessage(UINT id, WPARAM wParam = ~WPARAM(0), DWORD timeoutMs = 20000) {
    return m_sink.PumpUntil([&](const auto& messages) { return Count(messages, id, wParam) > 0; }, timeoutMs);
  }
  void PumpFor(DWORD ms) {
    m_sink.PumpUntil([](const auto&) { return false; }, ms);
  }

  const std::vector<TRecordedMessage>& Messages() const { return m_sink.Messages(); }
  TObservedEngine& Engine() { return m_engine; }
  std::filesystem::path UnpackFolder() const { return m_appDataPath / L"Ardentis" / L"temp_install_stormfinch"; }
  std::filesystem::path InstallFolder() const { return m_appDataPath / L"Ardentis" / L"Stormfinch"; }

 private:
  const TCmdInstallType m_mode;
  test::TTempFolder m_appData;
  const std::filesystem::path m_appDataPath;
  test::TScopedEnvironment m_appDataVariable{L"APPDATA", m_appDataPath.wstring()};
  test::TTempFolder m_shell;
  test::TMessageSink m_sink;
  TObservedEngine m_engine;
};

class EngineRun : public testing::Test {
 protected:
  void SetUp() override {
    SF_REQUIRE_TEST_SERVERS();
    test::ResetFaultServer();
    SetExitCode(TExitCode::Success);
    CreateRunLog();
  }
  void TearDown() override {
    test::ResetFaultServer();
    SetExitCode(TExitCode::Success);
  }
};

struct TRunCase {
  const char* name;
  TCmdInstallType mode;
  const char* site;
  bool failingDownloads;
  bool unpackOntoFullDisk;
  std::function<void()> faults;                                    // set before the run starts
  std::function<void(TEngineRunCase&)> drive;                      // what happens while it runs
  std::function<void(TEngineRunCase&, const std::string& log)> expect;
};

// A run that ends on the aborted page (interactive) or with -1 (unattended), with nothing left over.
void ExpectAbortedWith(TEngineRunCase& run, TCmdInstallType mode, const std::wstring& text) {
  if (mode == TCmdInstallType::citNone) {
    ASSERT_EQ(Count(run.Messages(), WM_SET_ABORT_MSG), 1u);
    EXPECT_EQ(Find(run.Messages(), WM_SET_ABORT_MSG)->text, text);
    EXPECT_EQ(Find(run.Messages(), WM_SET_ABORT_MSG)->text2, run.Engine().Identifier());
    EXPECT_EQ(Count(run.Messages(), WM_CHANGE_VISIBLE_FRAME, 7), 1u);
    EXPECT_EQ(ExitCodeValue(), 0);
  } else {
    EXPECT_EQ(Count(run.Messages(), WM_QUIT), 1u);
    EXPECT_EQ(Count(run.Messages(), WM_CHANGE_VISIBLE_FRAME, 7), 0u);
    EXPECT_EQ(ExitCodeValue(), -1);
  }
  EXPECT_TRUE(run.Engine().AllWorkersGone());
  EXPECT_FALSE(std::filesystem::exists(run.UnpackFolder()));
  EXPECT_FALSE(std::filesystem::exists(run.InstallFolder()));
}

// Until every package but the largest has been unpacked; the largest stalls.
void WaitForAllButTheStalledPackage(TEngineRunCase& run) {
  const std::size_t packages = Manifest("site")["files"].size();
  ASSERT_TRUE(run.PumpUntil([&] {
    const json log = test::FaultLog();
    std::size_t finished = 0;
    for (const auto& entry : log) {
      if (std::string(entry["path"]).rfind("/site/files/", 0) == 0 && entry["done"].get<bool>()) ++finished;
    }
    return finished == packages - 1 && Requests(log, PackagePath("site")) == 1;
  }));
  run.PumpFor(1000);  // the arrived packages unpacked
  ASSERT_TRUE(std::filesystem::exists(run.UnpackFolder() / L"readme.txt"));
}

void CancelAndExpectWorkersGoneAtOnce(TEngineRunCase& run) {
  const ULONGLONG started = ::GetTickCount64();
  run.Engine().UndoInstall();
  while (!run.Engine().AllWorkersGone() && ::GetTickCount64() - started < 5000) ::Sleep(10);
  EXPECT_LT(::GetTickCount64() - started, 1000u) << "the workers of a cancelled run took too long to leave";
  // The engine's answer: the program ends.
  EXPECT_TRUE(run.PumpUntilMessage(WM_QUIT));
}

TEST_F(EngineRun, WorkerPolicyAgainstTheFaultServer) {
  using enum TCmdInstallType;
  const std::string stalled = PackagePath("site");
  const std::string exe = PackagePath("site", "stormfinch.exe");
  const std::string plugin = PackagePath("site", "bin/plugins/quotes.dll");
  const std::string readme = PackagePath("site", "readme.txt");
  const auto noFaults = [] {};
  const auto stall = [&] { test::SetFault(stalled, json::array({{{"kind", "stall"}}})); };
  const auto cancelDuringTheStall = [](TEngineRunCase& run) {
    WaitForAllButTheStalledPackage(run);
    CancelAndExpectWorkersGoneAtOnce(run);
  };
  const auto cancelled = [](int exitCode) {
    return [exitCode](TEngineRunCase& run, const std::string&) {
      EXPECT_FALSE(std::filesystem::exists(run.UnpackFolder()));
      EXPECT_EQ(ExitCodeValue(), exitCode);
    };
  };
  const auto ends = [](TEngineRunCase& run, TCmdInstallType mode) {
    return mode == citNone ? run.PumpUntilMessage(WM_CHANGE_VISIBLE_FRAME, 7) : run.PumpUntilMessage(WM_QUIT);
  };

  const TRunCase cases[] = {
      {"a worker that raises mid-item aborts the run once", citNone, "site", true, false, noFaults,
       [&](TEngineRunCase& run) {
         ASSERT_TRUE(ends(run, citNone));
         run.PumpFor(500);  // any later failure would have shown by now
       },
       [](TEngineRunCase& run, const std::string& log) {
         ExpectAbortedWith(run, citNone, EngineTexts().unexpectedError);
         // Every download worker failed; the run was aborted, and reported, once.
         EXPECT_EQ(Occurrences(log, ": Unexpected error: a fault of the worker itself"),
                   static_cast<std::size_t>(TFailingDownloadThread::kTogether))
             << log;
         EXPECT_EQ(Occurrences(log, "TInstallerThread.WMWorkerOutcome: "), 1u) << log;
         EXPECT_EQ(Occurrences(log, "ExceptionThreadHandler"), 0u) << log;
       }},
      {"unattended, a worker that raises mid-item ends the run with -1", citInstall, "site", true, false, noFaults,
       [&](TEngineRunCase& run) { ASSERT_TRUE(ends(run, citInstall)); },
       [](TEngineRunCase& run, const std::string&) { ExpectAbortedWith(run, citInstall, {}); }},
      {"a cancel during a stalled transfer ends every worker at once", citNone, "site", false, false, stall,
       cancelDuringTheStall, cancelled(0)},
      {"unattended, a cancel ends the run with -1", citInstall, "site", false, false, stall, cancelDuringTheStall,
       cancelled(-1)},
      {"a proxy set on the retry page carries the retried downloads", citNone, "site", false, false,
       [&] { test::SetFault(plugin, json::array({{{"kind", "status"}, {"status", 503}}})); },
       [&](TEngineRunCase& run) {
         ASSERT_TRUE(run.PumpUntilMessage(WM_CHANGE_VISIBLE_FRAME, 6));
         const auto& servers = *test::TestServers();
         // Wine's WinHTTP takes a proxy of the server's own host name for the server: the proxy goes by
         // another name.
         TProxySettings proxy;
         proxy.FHost = L"localhost";
         proxy.FPort = servers.nProxyPort;
         proxy.FUserName = servers.strProxyUser;
         proxy.FPassword = servers.strProxyPassword;
         run.Engine().SetProxyConfig(proxy);
         test::SetFault(plugin, json::array());
         run.Engine().Post(WM_RETRY);
         ASSERT_TRUE(run.PumpUntilMessage(WM_CHANGE_VISIBLE_FRAME, 2));
       },
       [&](TEngineRunCase& run, const std::string& log) {
         std::ifstream in(test::TestServers()->proxyLog);
         const std::string proxied((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         const std::string fault = ToUtf8(test::TestServers()->strFaultUrl);
         EXPECT_NE(proxied.find(fault + plugin + " "), std::string::npos) << "the retried request went past the proxy";
         EXPECT_EQ(proxied.find(fault + exe + " "), std::string::npos) << "a request before the change used the proxy";
         EXPECT_TRUE(std::filesystem::exists(run.InstallFolder() / L"bin" / L"plugins" / L"quotes.dll")) << log;
         EXPECT_EQ(ExitCodeValue(), 0);
       }},
      {"two workers failing ask once, and their statuses are logged", citNone, "site", false, false,
       [&] {
         test::SetFault(exe, json::array({{{"kind", "status"}, {"status", 503}}}));
         // A "not found" page larger than the package the worker expects.
         const std::string page(70000, 'x');
         test::SetFault(readme, json::array({{{"kind", "status"}, {"status", 404}, {"body", page}}}));
       },
       [&](TEngineRunCase& run) {
         ASSERT_TRUE(run.PumpUntil([&] {
           const json log = test::FaultLog();
           return Requests(log, exe, true) == 3 && Requests(log, readme, true) == 3;
         }));
         run.PumpFor(1000);
         run.Engine().UndoInstall();
         ASSERT_TRUE(run.PumpUntilMessage(WM_QUIT));
       },
       [&](TEngineRunCase& run, const std::string& log) {
         EXPECT_EQ(Count(run.Messages(), WM_SET_RETRY_MSG), 1u);
         EXPECT_EQ(Count(run.Messages(), WM_CHANGE_VISIBLE_FRAME, 6), 1u);
         const std::string url = ToUtf8(test::TestServers()->strFaultUrl);
         EXPECT_NE(log.find("Failed to download File=" + url + exe + " HttpStatus=503"), std::string::npos) << log;
         EXPECT_NE(log.find("Failed to download File=" + url + readme + " HttpStatus=404"), std::string::npos) << log;
         EXPECT_FALSE(std::filesystem::exists(run.UnpackFolder()));
       }},
      {"a full disk stops the run after one download", citNone, "fullsite", false, true, noFaults,
       [&](TEngineRunCase& run) { ASSERT_TRUE(ends(run, citNone)); },
       [](TEngineRunCase& run, const std::string& log) {
         ExpectAbortedWith(run, citNone, DiskFullText(run.InstallFolder().wstring() + L"\\"));
         EXPECT_EQ(Requests(test::FaultLog(), PackagePath("fullsite"), true), 1u) << "fetched again";
         EXPECT_NE(log.find("(Disk full)"), std::string::npos) << log;
       }},
  };

  for (const TRunCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::path appData;
    std::wstring unpackOnto;
    if (c.unpackOntoFullDisk) {
      // Wine shows no attributes for a device: the link is there when it can be opened for writing.
      const std::filesystem::path device = test::TestServers()->FullDevice();
      const HANDLE opened =
          ::CreateFileW(device.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (opened == INVALID_HANDLE_VALUE) {
        std::cout << "[ SKIPPED  ] " << c.name << ": no link to a full device at " << device.string() << "\n";
        continue;
      }
      ::CloseHandle(opened);
      appData = test::TestServers()->fullDiskAppData;
      unpackOnto = device.parent_path().wstring() + L"\\";
    }
    test::ResetFaultServer();
    test::TRegistrySandbox registry;  // a fresh HKCU for each row
    SetExitCode(TExitCode::Success);
    CreateRunLog();
    TFailingDownloadThread::s_nFailing.store(0);
    c.faults();
    {
      TEngineRunCase run(c.mode, c.site, c.failingDownloads, appData, unpackOnto);
      run.Start();
      c.drive(run);
      const std::string log = test::CloseAndReadRunLog();
      c.expect(run, log);
    }
  }
}

}  // namespace
}  // namespace sf
