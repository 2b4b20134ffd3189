// The engine's download and extraction run: the manifest, the work items, the worker pools and the
// progress rounds.
#include <algorithm>

#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/FileOpsU.h"
#include "common/Utils.h"
#include "common/WinErrorU.h"
#include "engine/EngineTextsU.h"
#include "engine/InstallerThreadU.h"
#include "engine/MessagesU.h"
#include "engine/ProgressPlanU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "transfer/QuillonUpdateReaderU.h"

namespace sf {

namespace {

constexpr int kDownloadWorkers = 4;
constexpr int kExtractWorkers = 3;
constexpr DWORD kProgressPauseMs = 50;

std::wstring JoinLines(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const auto& line : lines) {
    if (!text.empty()) text += L"\r\n";
    text += line;
  }
  return text;
}

}  // namespace

void TInstallerThread::Translate() { TranslateEngineTexts(); }

void TInstallerThread::AddFailedMd5Info(const std::wstring& line) {
  std::lock_guard guard(m_failedMd5Lock);
  m_strlstFailedMd5.push_back(line);
}

std::shared_ptr<TDownloadRun> TInstallerThread::CurrentRun() const {
  std::lock_guard guard(m_runLock);
  return m_run;
}

void TInstallerThread::WMSetupDownloads() {
  AppendLog(L"WMSetupDownloads");
  Translate();
  LoadPayloads();
  if (!m_bNewInstall.load()) {
    const bool deleted = BackupAndDeleteDatabaseFiles(m_strTempDownloadPath);
    AppendLog(std::wstring(L"TInstallerThread.WMSetupDownloads:: Delete database folder = ") +
              (deleted ? L"-1" : L"0"));
  }

  const TProxySettings proxy = GetProxySettings();
  TQuillonVersion version;
  std::wstring diagnostic;
  if (!GetVersionInfo(VersionServerUrl, ProductId, L"alpha", L"stable", L"pt-br", Is64BitWindows(), proxy, version,
                      diagnostic)) {
    AppendLog(L"TInstallerThread.WMSetupDownloads: Error getting quillon version info: " + diagnostic);
    PostText(Window(), WM_SET_RETRY_MSG, EngineTexts().connectionRetry);
    ShowPage(6);
    return;
  }
  if (version.lstFiles.empty()) throw TError(L"The version " + VersionText(version) + L" lists no files");

  int downloaders = kDownloadWorkers;
  int extractors = kExtractWorkers;
  if (IsSingleThreaded(CommandLineArguments())) {
    AppendLog(L"TInstallerThread.WMSetupDownloads: Singlethreaded active (st param)");
    downloaders = extractors = 1;
  }

  auto run = std::make_shared<TDownloadRun>();
  run->queues = std::make_shared<TWorkQueues>();
  run->strTempDownloadPath = m_strTempDownloadPath;
  run->strInstallPath = InstallPath();
  run->bNewInstall = m_bNewInstall.load();
  run->CmdInstall = m_CmdInstall;
  run->MainHandle = m_MainHandle;

  std::vector<std::shared_ptr<TDownloadThread>> downloadThreads;
  std::vector<std::shared_ptr<TExtractThread>> extractThreads;
  for (int i = 0; i < downloaders; ++i) downloadThreads.push_back(std::make_shared<TDownloadThread>(*this, run, proxy));
  for (int i = 0; i < extractors; ++i) extractThreads.push_back(std::make_shared<TExtractThread>(*this, run));

  m_nDownloadSize = 0;
  for (const auto& file : version.lstFiles) {
    auto item = std::make_unique<TFileToDownload>();
    item->strFileUrl = std::wstring(VersionServerUrl) + L"/files/" + file->strMD5;
    item->nDownloadSize = file->nFileSize;
    item->strFileMd5 = file->strMD5;
    item->strFilePath = ExtractFilePath(file->strFile);
    item->strFileName = ExtractFileName(file->strFile);
    m_nDownloadSize += file->nFileSize;
    run->queues->AddForDownload(std::move(item));
  }
  m_Progress = ProgressPlanFor(m_nDownloadSize, version.lstFiles.size());
  run->queues->SortDownloadsBySize();

  PostPlain(Window(), WM_SET_PROGRESS, 0, m_Progress.nProgressSize);
  PostText(Window(), WM_SET_PROGRESS_MSG, m_bNewInstall.load() ? EngineTexts().installing : EngineTexts().updating);

  const std::wstring versionText = VersionText(version);
  AppendLog(L"TInstallerThread.WMSetupDownloads: Version=" + versionText +
            L". Files count=" + std::to_wstring(version.lstFiles.size()));
  AddFailedMd5Info(L"Version=" + versionText);

  {
    std::lock_guard guard(m_runLock);
    m_run = std::move(run);
    m_TDownloadThreads = std::move(downloadThreads);
    m_TExtractThreads = std::move(extractThreads);
  }
  Post(WM_START_DOWNLOAD_THREADS);
}

void TInstallerThread::StartDownloadThreads() {
  {
    std::lock_guard guard(m_runLock);
    for (const auto& worker : m_TDownloadThreads) TBaseWorkerThread::StartOwned(worker);
  }
  Post(WM_START_EXTRACT_THREADS);
}

void TInstallerThread::StartExtractThreads() {
  {
    std::lock_guard guard(m_runLock);
    for (const auto& worker : m_TExtractThreads) TBaseWorkerThread::StartOwned(worker);
  }
  m_ProgressLog.Reset();
  Post(WM_UPDATE_PROGRESS, 0);
}

void TInstallerThread::WMUpdateProgress() {
  if (m_bInstallationSuspended.load()) return;
  std::shared_ptr<TDownloadRun> run;
  std::uint32_t receiving = 0;
  {
    std::lock_guard guard(m_runLock);
    run = m_run;
    for (const auto& worker : m_TDownloadThreads) receiving += worker->CurrDownloaded();
  }
  if (!run) return;  // the run was stopped (cancelled) in the meantime
  const TWorkQueues& queues = *run->queues;
  if (queues.WorkRemains()) {
    const std::uint32_t position =
        ProgressPosition(m_Progress, queues.ValidatedCount(), queues.DownloadedSize(), receiving);
    PostPlain(Window(), WM_SET_PROGRESS, position, m_Progress.nProgressSize);
    Post(WM_UPDATE_PROGRESS, position);
    ::Sleep(kProgressPauseMs);
    return;
  }
  FinishInstallation();
}

void TInstallerThread::FinishInstallation() {
  std::vector<std::wstring> failed;
  {
    std::lock_guard guard(m_failedMd5Lock);
    failed.swap(m_strlstFailedMd5);
  }
  if (m_bMd5ValidationFailed.load()) SilentException(L"TInstallerThread", TError(JoinLines(failed)));
  StopWorkers();
  if (m_bNewInstall.load()) MoveIntoPlace();
  WriteRegistry();
}

void TInstallerThread::WMRetry() {
  m_bInstallationSuspended.store(false);
  if (m_nDownloadSize == 0) {
    Post(WM_SETUP_DOWNLOADS);
    return;
  }
  PostPlain(Window(), WM_SET_PROGRESS, 0, m_Progress.nProgressSize);
  PostText(Window(), WM_SET_PROGRESS_MSG, m_bNewInstall.load() ? EngineTexts().installing : EngineTexts().updating);
  Post(WM_UPDATE_PROGRESS, 0);
}

void TInstallerThread::StopWorkers() {
  std::lock_guard guard(m_runLock);
  for (const auto& worker : m_TExtractThreads) worker->Terminate();
  for (const auto& worker : m_TDownloadThreads) worker->Terminate();
  m_TExtractThreads.clear();
  m_TDownloadThreads.clear();
  if (m_run) {
    m_run->queues->Stop();
    m_run.reset();
  }
}

}  // namespace sf
