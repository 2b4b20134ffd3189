// TInstallerThread: the engine. All installation work runs on this one thread, which handles the
// messages of its own queue strictly one at a time and talks to the wizard window only by posting.
//
// The engine owns the run's lifecycle: one stop signal for the run, set by a cancel, an abort, a failed
// unattended run and the end of the program alike; it wakes the queues and ends every request in flight,
// and the engine waits (bounded) for every worker to leave before it moves folders, writes the registry
// or lets the program end. Workers report what they could not finish; the engine alone turns that into
// pages, retries, exit codes and aborts.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/ConstantsU.h"
#include "common/StopSignalU.h"
#include "common/ThreadU.h"
#include "engine/ExitCodeU.h"
#include "engine/InstallationSwapU.h"
#include "engine/MessagePayloadU.h"
#include "engine/MessagesU.h"
#include "engine/ProgressLogU.h"
#include "engine/ProgressPlanU.h"
#include "engine/RunModeU.h"
#include "logging/SystemDiagU.h"
#include "network/HttpClientU.h"
#include "network/ProxySettingsU.h"
#include "transfer/WorkerThreadU.h"

namespace sf {

// Once a run finished a swap that an earlier run left unfinished: the installation's uninstall entry, when
// it has one, gets the version and size of what is now on disk.
void RefreshUninstallEntry(const std::wstring& registryFolder, const std::wstring& installFolder);

enum class TFileStatus : std::uint8_t { fsPendingDownload = 0, fsDownloaded = 1, fsIgnored = 2 };

// The company's folder under this user's APPDATA, read at each call: the installations, the unpack folder,
// the update folders and the run's package folder live in it.
std::wstring CurrentCompanyFolder();

class TInstallerThread : public TThreadBase, public IWorkerHost {
 public:
  // Constructs the engine suspended, for the given window. The version server is the product's own
  // unless told otherwise (tests serve their own).
  explicit TInstallerThread(HWND mainHandle, std::wstring versionServerUrl = VersionServerUrl);
  ~TInstallerThread() override;

  // Called by the window right after Start: returns once the thread runs and its queue exists, so
  // that no message posted afterwards is lost. Polls every millisecond, without a time limit.
  void WaitStart();

  // Requests from the window; each only posts a message.
  void SetUnnatendedValues(const std::wstring& name, TCmdInstallType type);
  void SetProxyConfig(const TProxySettings& proxy);
  void VerifyPreviousInstall();
  void VerifyInstallerHasUpdate();
  bool Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;

  // The user ends the run (window thread): sets the run's stop signal, so that whatever the engine waits
  // for ends at once, and asks the engine to end the run. The engine then stops the workers, removes what
  // a new installation left, sets the exit code and ends the program; the window waits for that (with a
  // time-out of its own) and stays responsive meanwhile.
  void UndoInstall();
  // The program ends (window thread, after its message loop): ends the run as a cancel does, but without
  // a word to the window, and waits up to the time-out for the engine thread. False when it did not end.
  bool Shutdown(DWORD timeoutMs);

  // The window's first page is on screen: the disk status, which the engine's start leaves for later, may
  // now be logged. Window thread.
  void FirstPageShown() { m_DiskStatus.Start(); }

  // Views for the window and the workers.
  bool bInstallSuspended() const override { return m_bInstallationSuspended.load(); }
  TCmdInstallType GetInstallType() const { return m_CmdInstall; }
  const std::wstring& Identifier() const { return m_strIdentifier; }
  TProxySettings GetProxySettings() const override;
  // The chosen installation's folder, ending in "\".
  std::wstring InstallPath() const;

  // Workers report here, from their own threads.
  void ReportOutcome(TWorkerReport report) override;

  // How long the engine waits for the workers of a stopped run.
  static constexpr DWORD kWorkerExitTimeoutMs = 5000;

 protected:
  void Execute() override;
  // Handles one message; an error it raises is caught by the loop, which aborts the installation.
  virtual void ProcessMessage(const MSG& msg);
  // The workers of a run, made suspended; tests put their own in.
  virtual std::shared_ptr<TDownloadThread> NewDownloadThread(std::shared_ptr<const TDownloadRun> run, int number);
  virtual std::shared_ptr<TExtractThread> NewExtractThread(std::shared_ptr<const TDownloadRun> run, int number);

  // Engine to window.
  TMessageTarget Window() const { return TMessageTarget::Window(m_MainHandle); }
  void ShowPage(TPage page) const;
  void EndProgram(TExitCode exitCode) const;

 private:
  void WMSetProxyConfig(const MSG& msg);
  void WMVerifyPreviousInstall();
  void WMSetInstallName(const MSG& msg);
  void WMSetUnnatendedValues(const MSG& msg);
  void WMAbortInstallation();
  void WMCancelInstallation();
  std::wstring RegistryFolderName() const;
  bool Unattended() const { return m_CmdInstall != TCmdInstallType::citNone; }

  // The end of a run (InstallerThreadU.cpp). EndRun stops the workers and clears what a failed new
  // installation left; AbortRun and FailRun then tell the user or the script.
  void EndRun();
  // The aborted page with the text (interactive), or exit code -1 (unattended).
  void AbortRun(const std::wstring& text);
  // An unattended run ends with the exit code.
  void FailRun(TExitCode exitCode);

  // Downloads and extraction (InstallerDownloadsU.cpp).
  void Translate();
  void WMSetupDownloads();
  void StartDownloadThreads();
  void StartExtractThreads();
  void WMUpdateProgress();
  void WMRetry();
  void WMWorkerOutcome();
  void HandleReport(TWorkerReport& report);
  void HandleFileInUse(PFileToDownload item);
  // A file the run must write is held by a running program; `what` names the step for the log lines.
  void AskAboutFileInUse(const std::wstring& what);
  void AddFailedMd5Info(const std::wstring& line);
  // Sets the stop signal and waits, up to kWorkerExitTimeoutMs, for every worker to leave.
  void StopWorkers();
  void FinishInstallation();

  // Placing files (InstallerPlacingU.cpp).
  void WMSetNewInstall();
  void WMSetUpdateOnly();
  // Finishes or undoes the updates earlier runs left unfinished, before the installations are examined.
  void RecoverUpdates();
  // The chosen installation's update folders.
  TUpdateFolders UpdateFolders() const;
  // The unpacked files go in place, then the registry and the shortcuts record them. Again after a retry
  // of a swap that met a file in use.
  void PlaceAndRecord();
  // Each false when the files could not be placed; the run has then been ended or waits for a retry.
  bool MoveIntoPlace();
  bool SwapUpdateIntoPlace();
  // Removes what a run that did not complete unpacked: a new installation's unpack folder, or an update's
  // staging (unless a swap that could not be undone keeps its journal there).
  void DiscardUnpackFolder();
  // The run stops for lack of space on the drive of the folder (the installation's): the message that
  // names it, or -1 unattended.
  void StopForDiskFull(const std::wstring& folder, const std::wstring& detail);

  // Registry, shortcuts and the product (InstallerRegistryU.cpp).
  void WriteRegistry();
  void CreateShortcuts();
  void RecordFailure(const std::wstring& logLine, const std::exception& error);
  void WMRunQuillon();

  // The installer's own version check and payload slots (InstallerSelfUpdateU.cpp).
  void VerifyInstallerUpdate();
  // The body of the first 200 answer in up to 3 attempts, as received (UTF-8); empty when none came.
  std::string GetURLAsString(const std::wstring& url);
  void LoadPayloads();

  std::unique_ptr<TNetHttpClient> m_NetHttpClient;
  // Logged beside the engine's work, not before it (see FirstPageShown); the engine's end waits for it.
  TDiskStatusLog m_DiskStatus;
  HWND m_MainHandle;
  const std::wstring m_strVersionServerUrl;
  // The payload slots: a build that carries the resources gets them here at each run; nothing reads them
  // yet, and the download plan fetches every file of the manifest whatever they hold.
  std::string m_StreamFiles, m_StreamCef, m_StreamQuillon, m_StreamUninstaller;
  TFileStatus m_fsCef = TFileStatus::fsPendingDownload;
  TFileStatus m_fsQuillon = TFileStatus::fsPendingDownload;
  TFileStatus m_fsFiles = TFileStatus::fsPendingDownload;
  TFileStatus m_fsUninstaller = TFileStatus::fsPendingDownload;
  std::wstring m_strIdentifier;
  std::wstring m_strRegFolder;
  std::wstring m_strInstallPath;
  std::wstring m_strTempDownloadPath;
  std::atomic<bool> m_bNewInstall{false};
  bool m_bOldName = false;
  std::wstring m_strQuillonName;
  TProgressLogThinner m_ProgressLog;  // m_nWMUpdateProgressCount
  std::atomic<bool> m_bGetMessageReady{false};
  TCmdInstallType m_CmdInstall = TCmdInstallType::citNone;
  std::wstring m_strCmdName;
  std::atomic<bool> m_bInstallationSuspended{false};
  bool m_bMd5ValidationFailed = false;
  std::vector<std::wstring> m_strlstFailedMd5;
  // The first failure to create a file offers a retry; any later one, of any item, aborts.
  bool m_bExtractFailedOnce = false;

  // The run's end: once ended, nothing of the run happens any more; succeeded only after the shortcuts.
  bool m_bRunEnded = false;
  bool m_bRunSucceeded = false;
  // The files of the version (from the manifest), which the swap of an update needs.
  std::vector<TVersionFile> m_VersionFiles;
  // A swap met a file in use and was undone; the retry button tries the swap again.
  bool m_bSwapAwaitsRetry = false;

  // The run's stop signal, shared with its workers and every request the engine makes.
  const std::shared_ptr<TStopSignal> m_Stop = std::make_shared<TStopSignal>();

  // The current download run: its queues, counters and workers. Only the engine thread changes them;
  // the lock is for the progress rounds' reads beside a stop.
  mutable std::mutex m_runLock;
  std::shared_ptr<TDownloadRun> m_run;
  std::vector<std::shared_ptr<TDownloadThread>> m_TDownloadThreads;
  std::vector<std::shared_ptr<TExtractThread>> m_TExtractThreads;
  std::uint32_t m_nDownloadSize = 0;
  std::uint64_t m_nManifestSerial = 0;  // of the signed manifest of the run; recorded once the run completes
  TProgressPlan m_Progress;  // m_nProgressSize, m_nFileExtractedProgress

  std::mutex m_reportsLock;  // workers add, the engine takes
  std::vector<TWorkerReport> m_reports;

  mutable std::mutex m_proxyLock;  // workers read the setting while the engine may replace it
  TProxySettings m_proxy;
};

}  // namespace sf
