// TInstallerThread: the engine. All installation work runs on this one thread, which handles the
// messages of its own queue strictly one at a time and talks to the wizard window only by posting.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/ThreadU.h"
#include "engine/MessagePayloadU.h"
#include "engine/ProgressLogU.h"
#include "engine/ProgressPlanU.h"
#include "network/HttpClientU.h"
#include "network/ProxySettingsU.h"
#include "startup/CommandLineU.h"
#include "transfer/WorkerThreadU.h"

namespace sf {

// Clears an installation's database folder (F ends in "\") except its three kept subfolders, through a
// backup folder beside it. Every failing step is logged and skipped; the answer is only logged.
bool BackupAndDeleteDatabaseFiles(const std::wstring& folder);

// The file's version from its version resource: "major.minor.release.build", or "major.minor" with
// fourParts false; "65535.65535" when the file has no readable version.
std::wstring FileVersionText(const std::wstring& path, bool fourParts);

enum class TFileStatus : std::uint8_t { fsPendingDownload = 0, fsDownloaded = 1, fsIgnored = 2 };

class TInstallerThread : public TThreadBase, public IWorkerHost {
 public:
  // Constructs the engine suspended, for the given window, and makes it the process's engine.
  explicit TInstallerThread(HWND mainHandle);
  ~TInstallerThread() override;

  // The process's one engine (the workers and the error reporter reach it through this).
  static TInstallerThread* Instance();

  // Called by the window right after Start: returns once the thread runs and its queue exists, so
  // that no message posted afterwards is lost. Polls every millisecond, without a time limit.
  void WaitStart();

  // Requests from the window; each only posts a message.
  void SetUnnatendedValues(const std::wstring& name, TCmdInstallType type);
  void SetProxyConfig(const TProxySettings& proxy);
  void VerifyPreviousInstall();
  void VerifyInstallerHasUpdate();
  bool Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;

  // Views for the window and the workers.
  bool bInstallSuspended() const override { return m_bInstallationSuspended.load(); }
  bool SuspendInstallation() override { return m_bInstallationSuspended.exchange(true); }
  bool IsNewInstall() const { return m_bNewInstall.load(); }
  TCmdInstallType GetInstallType() const { return m_CmdInstall; }
  void SetMd5Failed() override { m_bMd5ValidationFailed.store(true); }
  void AddFailedMd5Info(const std::wstring& line) override;
  const std::wstring& Identifier() const { return m_strIdentifier; }
  TProxySettings GetProxySettings() const;
  // The chosen installation's folder, ending in "\".
  std::wstring InstallPath() const;

  // Called by an extraction worker after a second failure to write a file: the aborted page.
  void AbortUnexpectedError() override;

  // The user cancels a new installation (window thread): stops the work and removes the unpack folder.
  void UndoInstall();

 protected:
  void Execute() override;
  // Handles one message; an error it raises is caught by the loop, which aborts the installation.
  virtual void ProcessMessage(const MSG& msg);

  // Engine to window.
  TMessageTarget Window() const { return TMessageTarget::Window(m_MainHandle); }
  void ShowPage(int page) const;
  void EndProgram(int exitCode) const;

 private:
  void WMSetProxyConfig(const MSG& msg);
  void WMVerifyPreviousInstall();
  void WMSetInstallName(const MSG& msg);
  void WMSetUnnatendedValues(const MSG& msg);
  void WMAbortInstallation();
  std::wstring RegistryFolderName() const;

  // Downloads and extraction (InstallerDownloadsU.cpp).
  void Translate();
  void WMSetupDownloads();
  void StartDownloadThreads();
  void StartExtractThreads();
  void WMUpdateProgress();
  void WMRetry();
  void StopWorkers();
  void FinishInstallation();
  std::shared_ptr<TDownloadRun> CurrentRun() const;

  // Placing files (InstallerPlacingU.cpp).
  void WMSetNewInstall();
  void WMSetUpdateOnly();
  void MoveIntoPlace();
  bool DeleteAndInstall(const std::wstring& installFolder, std::wstring& errors);
  bool RecursiveDeleteAndInstall(const std::wstring& installFolder, const std::wstring& currFolder,
                                 std::wstring& errors);

  // Registry, shortcuts and the product (InstallerRegistryU.cpp).
  void WriteRegistry();
  void CreateShortcuts();
  void RecordFailure(const std::wstring& logLine, const std::exception& error);
  void WMRunQuillon();

  // The installer's own version check and payload slots (InstallerSelfUpdateU.cpp).
  void VerifyInstallerUpdate();
  std::wstring GetURLAsString(const std::wstring& url);
  void LoadPayloads();

  std::unique_ptr<TNetHttpClient> m_NetHttpClient;
  HWND m_MainHandle;
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
  std::atomic<bool> m_bMd5ValidationFailed{false};
  std::mutex m_failedMd5Lock;  // extraction workers append concurrently
  std::vector<std::wstring> m_strlstFailedMd5;

  // The current download run: its queues, counters and workers. Guarded because UndoInstall stops it
  // from the window's thread while the engine may be in a progress round.
  mutable std::mutex m_runLock;
  std::shared_ptr<TDownloadRun> m_run;
  std::vector<std::shared_ptr<TDownloadThread>> m_TDownloadThreads;
  std::vector<std::shared_ptr<TExtractThread>> m_TExtractThreads;
  std::uint32_t m_nDownloadSize = 0;
  TProgressPlan m_Progress;  // m_nProgressSize, m_nFileExtractedProgress

  mutable std::mutex m_proxyLock;  // the workers copy the setting while the engine may replace it
  TProxySettings m_proxy;
};

}  // namespace sf
