#include "engine/InstallerThreadU.h"

#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/LocalTimeU.h"
#include "common/MachineIdentityU.h"
#include "common/TimeTextU.h"
#include "common/WinErrorU.h"
#include "engine/EngineTextsU.h"
#include "engine/ExitCodeU.h"
#include "engine/InstallationRulesU.h"
#include "engine/InstallationsU.h"
#include "engine/MessagesU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "logging/SystemDiagU.h"
#include "transfer/PackageFileU.h"
#include "transfer/WorkQueuesU.h"

namespace sf {

namespace {

const wchar_t* TrueFalse(bool value) { return value ? L"True" : L"False"; }

}  // namespace

TInstallerThread::TInstallerThread(HWND mainHandle, std::wstring versionServerUrl)
    : m_MainHandle(mainHandle),
      m_strVersionServerUrl(std::move(versionServerUrl)),
      m_strlstFailedMd5{L"Invalid md5 verified while installing"} {}

TInstallerThread::~TInstallerThread() = default;

void TInstallerThread::WaitStart() {
  while (!Started() || !m_bGetMessageReady.load()) ::Sleep(1);
}

bool TInstallerThread::Post(UINT msg, WPARAM wParam, LPARAM lParam) const {
  return ::PostThreadMessageW(ThreadId(), msg, wParam, lParam) != FALSE;
}

void TInstallerThread::SetUnnatendedValues(const std::wstring& name, TCmdInstallType type) {
  PostText(TMessageTarget::Thread(ThreadId()), WM_SET_UNNATENDED_VALUES, name, static_cast<LPARAM>(type));
}

void TInstallerThread::SetProxyConfig(const TProxySettings& proxy) {
  PostProxySettings(TMessageTarget::Thread(ThreadId()), WM_SET_PROXY_CONFIG, proxy);
}

void TInstallerThread::VerifyPreviousInstall() { Post(WM_VERIFY_PREVIOUS_INSTALL); }

void TInstallerThread::VerifyInstallerHasUpdate() { Post(WM_VERIFY_INSTALLER_UPDATE); }

TProxySettings TInstallerThread::GetProxySettings() const {
  std::lock_guard guard(m_proxyLock);
  return m_proxy;
}

std::wstring TInstallerThread::InstallPath() const { return InstallPathFor(m_strInstallPath, m_strQuillonName); }

std::wstring TInstallerThread::RegistryFolderName() const {
  return RegistryFolderFor(m_strRegFolder, m_strQuillonName);
}

void TInstallerThread::ShowPage(TPage page) const { PostPlain(Window(), WM_CHANGE_VISIBLE_FRAME, page); }

void TInstallerThread::EndProgram(TExitCode exitCode) const {
  SetExitCode(exitCode);
  PostPlain(Window(), WM_QUIT);
}

void TInstallerThread::UndoInstall() {
  m_Stop->Stop();
  Post(WM_CANCEL_INSTALLATION);
}

bool TInstallerThread::Shutdown(DWORD timeoutMs) {
  m_Stop->Stop();
  ::PostThreadMessageW(ThreadId(), WM_QUIT, 0, 0);
  if (WaitFor(timeoutMs)) return true;
  AppendLog(L"TInstallerThread.Shutdown: the engine did not end within " + std::to_wstring(timeoutMs) + L" ms");
  return false;
}

void TInstallerThread::ReportOutcome(TWorkerReport report) {
  {
    std::lock_guard guard(m_reportsLock);
    m_reports.push_back(std::move(report));
  }
  Post(WM_WORKER_OUTCOME);
}

void TInstallerThread::Execute() {
  TComApartment com(COINIT_MULTITHREADED);  // shell links and the disk query need it
  AppendLog(L"Execute");
  m_strIdentifier = GetMachineIDText() + L"_" + IdentifierStamp(LocalTimeNow());
  AppendLog(L"TInstallerThread.Execute: Identifier=" + m_strIdentifier);

  // The queue must exist before the window is told it may post. The window waits for this before it
  // shows itself, so the diagnostics come after; its messages wait in the queue. The disk status (a WMI
  // query, which may take seconds) comes once the first page is on screen, or at the engine's end.
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  m_bGetMessageReady.store(true);

  AppendLog(L"TInstallerThread.Execute: OS=" + OsDescription());
  m_NetHttpClient = std::make_unique<TNetHttpClient>();
  m_NetHttpClient->SetStopSignal(m_Stop);

  for (;;) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) break;
    if (got == -1) {
      AppendLog(L"TInstallerThread.Execute: GetMessage Error=\"" + SystemErrorText(::GetLastError()) +
                L"\". Aborting...");
      WMAbortInstallation();
      break;
    }
    try {
      ProcessMessage(msg);
    } catch (const std::exception& e) {
      AppendLog(L"TInstallerThread.Execute: MessageID=" + MessageName(msg.message) + L" Except: " +
                ExceptionMessage(e));
      SilentException(L"", e);
      WMAbortInstallation();
    }
  }
  // The program ends: no worker may go on writing once the process is told it may exit.
  try {
    if (!m_bRunEnded) EndRun();
  } catch (const std::exception& e) {
    AppendLog(L"TInstallerThread.Execute: Except: " + ExceptionMessage(e));
  }
  m_NetHttpClient.reset();
  m_DiskStatus.Finish();
  DrainThreadQueue();
}

void TInstallerThread::ProcessMessage(const MSG& msg) {
  if (auto line = m_ProgressLog.LineFor(msg.message, msg.wParam)) AppendLog(*line);
  switch (msg.message) {
    case WM_SET_PROXY_CONFIG: WMSetProxyConfig(msg); break;
    case WM_VERIFY_PREVIOUS_INSTALL: WMVerifyPreviousInstall(); break;
    case WM_ABORT_INSTALLATION: WMAbortInstallation(); break;
    case WM_SET_INSTALL_NAME: WMSetInstallName(msg); break;
    case WM_SET_UNNATENDED_VALUES: WMSetUnnatendedValues(msg); break;
    case WM_VERIFY_INSTALLER_UPDATE: VerifyInstallerUpdate(); break;
    case WM_SET_UPDATE_ONLY: WMSetUpdateOnly(); break;
    case WM_SETUP_DOWNLOADS: WMSetupDownloads(); break;
    case WM_SET_NEW_INSTALL: WMSetNewInstall(); break;
    case WM_START_DOWNLOAD_THREADS: StartDownloadThreads(); break;
    case WM_START_EXTRACT_THREADS: StartExtractThreads(); break;
    case WM_UPDATE_PROGRESS: WMUpdateProgress(); break;
    case WM_RUN_QUILLON: WMRunQuillon(); break;
    case WM_RETRY: WMRetry(); break;
    case WM_WORKER_OUTCOME: WMWorkerOutcome(); break;
    case WM_CANCEL_INSTALLATION: WMCancelInstallation(); break;
    default: ReleasePayloads(msg); break;  // only logged
  }
}

void TInstallerThread::WMSetUnnatendedValues(const MSG& msg) {
  m_CmdInstall = static_cast<TCmdInstallType>(msg.lParam);
  m_strCmdName = TakeText(msg.wParam);
}

void TInstallerThread::WMSetProxyConfig(const MSG& msg) {
  const auto received = TakeProxySettings(msg.wParam);
  if (!received) return;
  {
    std::lock_guard guard(m_proxyLock);
    m_proxy = *received;
  }
  if (m_NetHttpClient) m_NetHttpClient->SetProxySettings(*received);
  AppendLog(L"WMSetProxyConfig: Host=" + received->FHost + L" Port=" + std::to_wstring(received->FPort) +
            L" Scheme=" + received->FScheme + L" Username=" + TrueFalse(!received->FUserName.empty()) +
            L" Password=" + TrueFalse(!received->FPassword.empty()));
}

void TInstallerThread::WMVerifyPreviousInstall() {
  AppendLog(L"WMVerifyPreviousInstall");
  // What an earlier run left half-done is settled before any decision rests on the installations.
  RecoverUpdates();
  DiscardPackageFolder(PackageFolderIn(CurrentCompanyFolder()));  // a killed run's
  m_bNewInstall.store(true);
  m_strRegFolder = ProductName;
  AppendLog(L"WMVerifyPreviousInstall Before Path=" + m_strInstallPath);

  TStringList keys = ScanInstallations([this](const std::wstring& dir) {
    AppendLog(L"Install Found: " + dir);
    m_bNewInstall.store(false);
  });
  const std::wstring baseFolder = BaseInstallFolder(EnvironmentVariable(L"APPDATA"));

  switch (m_CmdInstall) {
    case TCmdInstallType::citNone:
      m_strInstallPath = baseFolder;
      if (keys.empty()) {
        ShowPage(m_bNewInstall.load() ? Page::Install : Page::InstallUpdate);
      } else {
        PostStringList(Window(), WM_SET_INSTALL_LIST, std::move(keys));
        ShowPage(Page::InstallUpdate);
      }
      break;
    case TCmdInstallType::citInstall:
      if (DecideUnattended(m_CmdInstall, m_strCmdName, keys) == TUnattendedVerdict::GoOn) {
        m_strInstallPath = baseFolder;
        m_strQuillonName = m_strCmdName;
        PostWithTextLParam(Window(), WM_CHANGE_VISIBLE_FRAME, Page::Progress, StartingText());
        Post(WM_SET_NEW_INSTALL);
        Post(WM_SETUP_DOWNLOADS);
      } else {
        m_bRunEnded = true;
        EndProgram(TExitCode::NameExists);
      }
      break;
    case TCmdInstallType::citUpdate:
      if (DecideUnattended(m_CmdInstall, m_strCmdName, keys) == TUnattendedVerdict::GoOn) {
        m_strInstallPath = baseFolder;
        m_strQuillonName = m_strCmdName;
        if (IsProductRunning(InstallPath() + ProductExeName)) {
          m_bRunEnded = true;
          EndProgram(TExitCode::ProductRunning);
          return;
        }
        PostWithTextLParam(Window(), WM_CHANGE_VISIBLE_FRAME, Page::Progress, StartingText());
        Post(WM_SET_UPDATE_ONLY);
        Post(WM_SETUP_DOWNLOADS);
      } else {
        m_bRunEnded = true;
        EndProgram(TExitCode::NameNotFound);
      }
      break;
  }
  AppendLog(L"WMVerifyPreviousInstall After Path=" + m_strInstallPath);
}

void TInstallerThread::WMSetInstallName(const MSG& msg) {
  const std::wstring received = TakeText(msg.wParam);
  m_strQuillonName = received == ProductName ? std::wstring() : received;
  AppendLog(L"WMSetInstallName: " + m_strQuillonName + L" - " + received);
}

// The engine's own errors: while the retry page is shown the page stays; otherwise the run is aborted.
void TInstallerThread::WMAbortInstallation() {
  if (m_bRunEnded || m_bInstallationSuspended.exchange(true)) return;
  AbortRun(EngineTexts().unexpectedError);
}

void TInstallerThread::WMCancelInstallation() {
  AppendLog(L"TInstallerThread.WMCancelInstallation");
  if (!m_bRunEnded) {
    EndRun();
    // A script must not take a run the user ended for a completed one.
    if (Unattended()) SetExitCode(TExitCode::UnexpectedError);
  }
  PostPlain(Window(), WM_QUIT);
}

void TInstallerThread::EndRun() {
  m_bRunEnded = true;
  m_bInstallationSuspended.store(true);
  try {
    StopWorkers();
  } catch (const std::exception& e) {
    AppendLog(L"TInstallerThread.EndRun: Except: " + ExceptionMessage(e));
  }
  DiscardUnpackFolder();
}

void TInstallerThread::AbortRun(const std::wstring& text) {
  EndRun();
  if (Unattended()) {
    EndProgram(TExitCode::UnexpectedError);
    return;
  }
  PostTwoTexts(Window(), WM_SET_ABORT_MSG, text, m_strIdentifier);
  ShowPage(Page::Aborted);
}

void TInstallerThread::FailRun(TExitCode exitCode) {
  EndRun();
  EndProgram(exitCode);
}

}  // namespace sf
