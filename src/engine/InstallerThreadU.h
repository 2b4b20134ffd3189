// TInstallerThread: the engine. All installation work runs on this one thread, which handles the
// messages of its own queue strictly one at a time and talks to the wizard window only by posting.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "common/ThreadU.h"
#include "engine/MessagePayloadU.h"
#include "engine/ProgressLogU.h"
#include "network/ProxySettingsU.h"
#include "startup/CommandLineU.h"

namespace sf {

enum class TFileStatus : std::uint8_t { fsPendingDownload = 0, fsDownloaded = 1, fsIgnored = 2 };

class TInstallerThread : public TThreadBase {
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
  bool bInstallSuspended() const { return m_bInstallationSuspended.load(); }
  bool IsNewInstall() const { return m_bNewInstall.load(); }
  TCmdInstallType GetInstallType() const { return m_CmdInstall; }
  void SetMd5Failed() { m_bMd5ValidationFailed.store(true); }
  const std::wstring& Identifier() const { return m_strIdentifier; }
  TProxySettings GetProxySettings() const;
  // The chosen installation's folder, ending in "\".
  std::wstring InstallPath() const;

  // Called by an extraction worker after a second failure to write a file: the aborted page.
  void AbortUnexpectedError();

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
  void StopWorkers();
  std::wstring RegistryFolderName() const;

  HWND m_MainHandle;
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
  std::vector<std::wstring> m_strlstFailedMd5;

  mutable std::mutex m_proxyLock;  // the workers copy the setting while the engine may replace it
  TProxySettings m_proxy;
};

}  // namespace sf
