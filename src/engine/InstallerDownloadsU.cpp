// The engine's download and extraction run: the manifest, the work items, the worker pools and the
// progress rounds.
#include <algorithm>

#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/WinErrorU.h"
#include "engine/EngineTextsU.h"
#include "engine/InstallerThreadU.h"
#include "engine/ManifestTrustU.h"
#include "engine/MessagesU.h"
#include "engine/ProgressPlanU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "logging/WindowsFactsU.h"
#include "transfer/FileOpsU.h"
#include "transfer/PackageFileU.h"
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

void TInstallerThread::AddFailedMd5Info(const std::wstring& line) { m_strlstFailedMd5.push_back(line); }

std::shared_ptr<TDownloadThread> TInstallerThread::NewDownloadThread(std::shared_ptr<const TDownloadRun> run,
                                                                   int number) {
  return std::make_shared<TDownloadThread>(*this, std::move(run), number);
}

std::shared_ptr<TExtractThread> TInstallerThread::NewExtractThread(std::shared_ptr<const TDownloadRun> run,
                                                                 int number) {
  return std::make_shared<TExtractThread>(*this, std::move(run), number);
}

void TInstallerThread::WMSetupDownloads() {
  AppendLog(L"WMSetupDownloads");
  if (m_bRunEnded) return;  // the set-up before it ended the run
  Translate();
  LoadPayloads();

  TQuillonVersion version;
  std::wstring diagnostic;
  if (!GetVersionInfo(m_strVersionServerUrl, ProductId, L"alpha", L"stable", L"pt-br", Is64BitWindows(),
                      GetProxySettings(), version, diagnostic, m_Stop, CurrentManifestTrust())) {
    AppendLog(L"TInstallerThread.WMSetupDownloads: Error getting quillon version info: " + diagnostic);
    if (m_Stop->IsStopped()) return;  // the run was ended meanwhile; its end has its own message
    // Nobody would press the retry button of an unattended run.
    if (Unattended()) {
      FailRun(TExitCode::DownloadFailed);
      return;
    }
    PostText(Window(), WM_SET_RETRY_MSG, EngineTexts().connectionRetry);
    ShowPage(Page::Retry);
    return;
  }
  if (version.lstFiles.empty()) throw TError(L"The version " + VersionText(version) + L" lists no files");
  // Recorded once the run completes; 0 for an unsigned manifest, which records nothing.
  m_nManifestSerial = version.nSerial;
  if (m_nManifestSerial != 0) AppendLog(L"TInstallerThread.WMSetupDownloads: Signed manifest accepted: " + diagnostic);

  int downloaders = kDownloadWorkers;
  int extractors = kExtractWorkers;
  if (IsSingleThreaded(CommandLineArguments())) {
    AppendLog(L"TInstallerThread.WMSetupDownloads: Singlethreaded active (st param)");
    downloaders = extractors = 1;
  }

  auto run = std::make_shared<TDownloadRun>();
  run->queues = std::make_shared<TWorkQueues>();
  run->stop = m_Stop;
  run->packages = std::make_shared<const TPackageFolder>(PackageFolderIn(CurrentCompanyFolder()));
  run->strTempDownloadPath = m_strTempDownloadPath;
  run->strInstallPath = InstallPath();
  run->bNewInstall = m_bNewInstall.load();

  std::vector<std::shared_ptr<TDownloadThread>> downloadThreads;
  std::vector<std::shared_ptr<TExtractThread>> extractThreads;
  for (int i = 1; i <= downloaders; ++i) downloadThreads.push_back(NewDownloadThread(run, i));
  for (int i = 1; i <= extractors; ++i) extractThreads.push_back(NewExtractThread(run, i));

  m_nDownloadSize = 0;
  m_VersionFiles.clear();
  for (const auto& file : version.lstFiles) {
    m_VersionFiles.push_back({file->strFile, file->strMD5});
    auto item = std::make_unique<TFileToDownload>();
    item->strFileUrl = m_strVersionServerUrl + L"/files/" + file->strMD5;
    item->nDownloadSize = file->nFileSize;
    item->strFileMd5 = file->strMD5;
    item->strFileSha256 = file->strSHA256;
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
  if (m_bInstallationSuspended.load() || m_bRunEnded) return;
  std::shared_ptr<TDownloadRun> run;
  std::uint32_t receiving = 0;
  {
    std::lock_guard guard(m_runLock);
    run = m_run;
    for (const auto& worker : m_TDownloadThreads) receiving += worker->CurrDownloaded();
  }
  if (!run) return;
  const TWorkQueues& queues = *run->queues;
  if (queues.WorkRemains()) {
    const std::uint32_t position =
        ProgressPosition(m_Progress, queues.ValidatedCount(), queues.DownloadedSize(), receiving);
    PostPlain(Window(), WM_SET_PROGRESS, position, m_Progress.nProgressSize);
    Post(WM_UPDATE_PROGRESS, position);
    ::Sleep(kProgressPauseMs);
    return;
  }
  // A report still waiting in the queue may end the run or pause it.
  WMWorkerOutcome();
  if (m_bRunEnded || m_bInstallationSuspended.load()) return;
  run.reset();  // the run, and its package folder, end with its workers, before the files are placed
  FinishInstallation();
}

void TInstallerThread::FinishInstallation() {
  if (m_bMd5ValidationFailed) SilentException(L"TInstallerThread", TError(JoinLines(m_strlstFailedMd5)));
  m_strlstFailedMd5.clear();
  // Every worker has left before a folder moves or the registry changes.
  StopWorkers();
  PlaceAndRecord();
}

void TInstallerThread::WMRetry() {
  if (m_bRunEnded) return;
  m_bInstallationSuspended.store(false);
  if (std::exchange(m_bSwapAwaitsRetry, false)) {
    PostText(Window(), WM_SET_PROGRESS_MSG, EngineTexts().updating);
    PlaceAndRecord();
    return;
  }
  if (m_nDownloadSize == 0) {
    Post(WM_SETUP_DOWNLOADS);
    return;
  }
  PostPlain(Window(), WM_SET_PROGRESS, 0, m_Progress.nProgressSize);
  PostText(Window(), WM_SET_PROGRESS_MSG, m_bNewInstall.load() ? EngineTexts().installing : EngineTexts().updating);
  Post(WM_UPDATE_PROGRESS, 0);
}

void TInstallerThread::WMWorkerOutcome() {
  std::vector<TWorkerReport> reports;
  {
    std::lock_guard guard(m_reportsLock);
    reports.swap(m_reports);
  }
  for (auto& report : reports) {
    // Reports of a run that has ended are only what its workers still held.
    if (m_bRunEnded || !m_run) return;
    HandleReport(report);
  }
}

void TInstallerThread::HandleReport(TWorkerReport& report) {
  TWorkQueues& queues = *m_run->queues;
  PFileToDownload& item = report.item;
  switch (report.outcome) {
    case TWorkerOutcome::DownloadFailed: {
      if (Unattended()) {
        FailRun(TExitCode::DownloadFailed);
        return;
      }
      // The item waits in the queue for the retry button, with all its attempts again.
      item->nRetries = 0;
      item->Package.reset();
      const bool wasSuspended = m_bInstallationSuspended.exchange(true);
      queues.EnqueueItemForDownload(std::move(item));
      // Another worker's failure already brought the retry page.
      if (!wasSuspended) {
        PostText(Window(), WM_SET_RETRY_MSG, EngineTexts().connectionRetry);
        ShowPage(Page::Retry);
      }
      return;
    }
    case TWorkerOutcome::DamagedPackage:
      if (!report.strFailedMd5Line.empty()) {
        m_bMd5ValidationFailed = true;
        AddFailedMd5Info(report.strFailedMd5Line);
      }
      if (Unattended()) {
        FailRun(TExitCode::UnexpectedError);
        return;
      }
      // Fetched again while attempts are left; its bytes no longer count as downloaded.
      ++item->nRetries;
      queues.UpdateTotalDownloaded(-static_cast<std::int32_t>(item->nDownloadSize));
      queues.EnqueueItemForDownload(std::move(item));
      return;
    case TWorkerOutcome::FileInUse: HandleFileInUse(std::move(item)); return;
    case TWorkerOutcome::DiskFull: StopForDiskFull(InstallPath(), report.strMessage); return;
    case TWorkerOutcome::UnexpectedError:
      AppendLog(L"TInstallerThread.WMWorkerOutcome: " + report.strWorker + L" failed: " + report.strMessage +
                L". Aborting...");
      SilentException(report.strWorker, TError(report.strMessage));
      AbortRun(EngineTexts().unexpectedError);
      return;
  }
}

// A running product holds many files: the other workers meet theirs while the first failure's question
// is still open. Only a failure after the user's answer counts as failing again.
void TInstallerThread::HandleFileInUse(PFileToDownload item) {
  const bool wasSuspended = m_bInstallationSuspended.exchange(true);
  m_run->queues->EnqueueItemForExtraction(std::move(item));  // with its package, for the retry
  if (wasSuspended) return;
  AskAboutFileInUse(L"TExtractThread.Execute: Extraction");
}

// Interactively, the first time in the run the user may close the program and retry; a second time ends
// the run. Nobody would answer an unattended run: it ends at once, with -1.
void TInstallerThread::AskAboutFileInUse(const std::wstring& what) {
  m_bInstallationSuspended.store(true);
  if (Unattended()) {
    AppendLog(what + L" failed: a file is in use. Ending the unattended run.");
    FailRun(TExitCode::UnexpectedError);
    return;
  }
  if (std::exchange(m_bExtractFailedOnce, true)) {
    AppendLog(what + L" failed again. Aborting...");
    AbortRun(EngineTexts().unexpectedError);
    return;
  }
  AppendLog(what + L" failed once. Retry allowed.");
  PostText(Window(), WM_SET_RETRY_MSG, EngineTexts().fileInUse);
  ShowPage(Page::Retry);
}

void TInstallerThread::StopWorkers() {
  m_Stop->Stop();
  std::shared_ptr<TDownloadRun> run;
  std::vector<std::shared_ptr<TBaseWorkerThread>> workers;
  {
    std::lock_guard guard(m_runLock);
    run = std::move(m_run);
    workers.assign(m_TExtractThreads.begin(), m_TExtractThreads.end());
    workers.insert(workers.end(), m_TDownloadThreads.begin(), m_TDownloadThreads.end());
    m_TExtractThreads.clear();
    m_TDownloadThreads.clear();
  }
  if (run) run->queues->Stop();
  {
    std::lock_guard guard(m_reportsLock);
    m_reports.clear();
  }
  const ULONGLONG deadline = ::GetTickCount64() + kWorkerExitTimeoutMs;
  for (const auto& worker : workers) {
    if (!worker->Started()) continue;
    const ULONGLONG now = ::GetTickCount64();
    if (!worker->WaitFor(now < deadline ? static_cast<DWORD>(deadline - now) : 0)) {
      // It keeps itself alive until it ends; nothing of the run waits for it any more.
      AppendLog(L"TInstallerThread.StopWorkers: " + worker->Name() + L" did not leave within " +
                std::to_wstring(kWorkerExitTimeoutMs) + L" ms");
    }
  }
}

}  // namespace sf
