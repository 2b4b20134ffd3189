#include "transfer/WorkerThreadU.h"

#include <shlwapi.h>

#include <filesystem>
#include <utility>

#include "common/FileOpsU.h"
#include "common/TextU.h"
#include "common/Utils.h"
#include "common/WinErrorU.h"
#include "engine/EngineTextsU.h"
#include "engine/MessagePayloadU.h"
#include "engine/MessagesU.h"
#include "logging/LogU.h"
#include "startup/ExitCodeU.h"

namespace sf {

namespace {

std::atomic<bool> g_bExtractFailedOnce{false};

// One separator between the parts, none added when the second part is empty.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& relative) {
  if (relative.empty()) return folder;
  if (!folder.empty() && folder.back() != L'\\' && relative.front() != L'\\') return folder + L"\\" + relative;
  return folder + relative;
}

// The engine's folder step before a package is queued for extraction: a folder that cannot be created
// is only logged; what the extraction then meets is handled there.
void PrepareExtractionFolder(const TDownloadRun& run, const TFileToDownload& item) {
  const std::wstring folder = JoinPath(run.strTempDownloadPath, item.strFilePath);
  try {
    AppendLog(L"TInstallerThread.EnqueueItemForExtraction Path=" + folder + L" File=" + item.strFileName);
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      std::error_code error;
      std::filesystem::create_directories(std::filesystem::path(folder), error);
      if (error) {
        AppendLog(L"TInstallerThread.EnqueueItemForExtraction: Creating directory for file " + item.strFileName +
                  L"(full path=" + folder + L") failed with Error " + std::to_wstring(error.value()));
      }
    }
  } catch (const std::exception& e) {
    AppendLog(L"TInstallerThread.EnqueueItemForExtraction: Exception creating directory for file " +
              item.strFileName + L"(full path=" + folder + L"). Exception=" + ExceptionMessage(e));
  }
}

// The package's bytes are not needed any more; the memory goes back at once.
void ReleaseStream(TFileToDownload& item) { std::string().swap(item.Stream); }

}  // namespace

// --- TBaseWorkerThread ---------------------------------------------------------------------------

TBaseWorkerThread::TBaseWorkerThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run)
    : m_host(host), m_run(std::move(run)) {}

void TBaseWorkerThread::StartOwned(const std::shared_ptr<TBaseWorkerThread>& worker) {
  worker->m_self = worker;
  worker->Start();
}

void TBaseWorkerThread::Finished() {
  // The last thing this thread does; the object may be destroyed right here.
  auto last = std::move(m_self);
}

void TBaseWorkerThread::RunItems(const std::function<PFileToDownload()>& take, const std::function<void()>& idle,
                                 const std::function<bool(PFileToDownload)>& process) {
  while (!Terminated()) {
    if (m_host.bInstallSuspended()) {
      idle();
      continue;
    }
    PFileToDownload item = take();  // counts this worker active
    if (!item) {
      idle();
      continue;
    }
    bool goOn = false;
    try {
      goOn = process(std::move(item));
    } catch (...) {
      Queues().DecrementWorkerActiveCount();
      throw;  // ends this worker; the others go on
    }
    if (!goOn) return;  // an unattended run ended by an error: nothing more is done
    Queues().DecrementWorkerActiveCount();
  }
}

void TBaseWorkerThread::EndProgram(int exitCode) const {
  SetExitCode(static_cast<TExitCode>(exitCode));
  PostPlain(TMessageTarget::Window(m_run->MainHandle), WM_QUIT);
}

void TBaseWorkerThread::ShowRetryPage(const std::wstring& text) const {
  const auto window = TMessageTarget::Window(m_run->MainHandle);
  PostText(window, WM_SET_RETRY_MSG, text);
  PostPlain(window, WM_CHANGE_VISIBLE_FRAME, 6);
}

bool TBaseWorkerThread::ValidateMD5Hash(const std::wstring& fileName, const std::wstring& expected) {
  try {
    const std::wstring local = FileMD5Hex(fileName);
    const bool result = (local.empty() || expected.empty()) ? local.empty() && expected.empty()
                                                              : EqualsIgnoreCase(local, expected);
    std::wstring line = std::wstring(L"ValidateMD5Hash: File=") + ::PathFindFileNameW(fileName.c_str()) +
                        L" Remote=" + expected + L" " + (result ? L"True" : L"False") + L" Local=" + local;
    if (!result) {
      line += L" Modified at: " + FileModifiedTimeText(fileName) + L" File size: " + FileSizeText(fileName) +
              L" bytes";
    }
    AppendLog(line);
    return result;
  } catch (const std::exception& e) {
    AppendLog(L"ValidateMD5Hash: Exception validating file MD5. Remote=" + expected + L"Exception = " +
              ExceptionMessage(e));
    return false;
  }
}

// --- TDownloadThread -----------------------------------------------------------------------------

TDownloadThread::TDownloadThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run,
                                 const TProxySettings& proxy)
    : TBaseWorkerThread(host, std::move(run)) {
  m_NetHttpClient.SetProxySettings(proxy);
  m_NetHttpClient.SetReceiveProgress(
      [this](std::int64_t length, std::int64_t read) { HttpReceiveData(length, read); });
}

void TDownloadThread::Execute() {
  RunItems([this] { return Queues().DequeueDownloadItem(); },
           [this] { Queues().WaitForDownloadWork(std::chrono::milliseconds(DOWNLOAD_IDLE_SLEEP_MS)); },
           [this](PFileToDownload item) {
             // Whatever happens to the item, its received bytes stop counting for the progress bar here.
             struct TResetReceived {
               std::atomic<std::uint32_t>& value;
               ~TResetReceived() { value.store(0); }
             } reset{m_nCurrDownloaded};
             ProcessItem(std::move(item));
             return true;
           });
}

void TDownloadThread::ProcessItem(PFileToDownload item) {
  if (!m_run->bNewInstall &&
      ValidateMD5Hash(m_run->strInstallPath + item->strFilePath + item->strFileName, item->strFileMd5)) {
    // The installed file is current: it counts as downloaded and goes no further.
    Queues().UpdateTotalDownloaded(static_cast<std::int32_t>(item->nDownloadSize));
    Queues().FinishItem();
    return;
  }
  m_nCurrDownloaded.store(0);
  ReleaseStream(*item);
  std::optional<THttpResponse> response = DownloadSingleFile(*item);
  if (response && response->nStatusCode == 200) {
    // Whatever the received bytes credited so far now counts through the total instead.
    m_nCurrDownloaded.store(0);
    Queues().UpdateTotalDownloaded(static_cast<std::int32_t>(item->nDownloadSize));
    item->Stream = std::move(response->Body);
    PrepareExtractionFolder(*m_run, *item);
    Queues().EnqueueItemForExtraction(std::move(item));
    return;
  }
  AppendLog(L"TDownloadThread: Failed to download File=" + item->strFileUrl + L" HttpStatus=" +
            std::to_wstring(response ? response->nStatusCode : 0));
  HandleDownloadFailure(std::move(item));
}

std::optional<THttpResponse> TDownloadThread::DownloadSingleFile(TFileToDownload& item) {
  std::optional<THttpResponse> response;
  // A body longer than expected is cut off and counts as a failed attempt, so no server can make the
  // worker hold more than the package it announced.
  const std::size_t limit = item.nDownloadSize > 0 ? static_cast<std::size_t>(item.nDownloadSize) : kUnknownSizeLimit;
  while (item.nRetries < MAX_DOWNLOAD_ATTEMPTS) {
    AppendLog(L"DownloadSingleFile: strURL=" + item.strFileUrl);
    try {
      response = m_NetHttpClient.Get(item.strFileUrl, limit);
    } catch (const std::exception& e) {
      AppendLog(L"TDownloadThread.DownloadSingleFile: except: " + ExceptionMessage(e));
      if (const auto& last = m_NetHttpClient.LastResponse()) {
        AppendLog(L"StatusCode=" + std::to_wstring(last->nStatusCode) + L" StatusText=" + last->strStatusText +
                  L" Size=" + std::to_wstring(last->nContentLength) + L" File=" + item.strFileMd5);
      }
      response.reset();
    }
    const auto expected = static_cast<std::int64_t>(item.nDownloadSize);
    if (response && response->nStatusCode == 200 &&
        (expected == 0 || (response->nContentLength == expected &&
                           static_cast<std::int64_t>(response->Body.size()) == expected))) {
      AppendLog(L"StatusCode=" + std::to_wstring(response->nStatusCode) + L" StatusText=" + response->strStatusText +
                L" Size=" + std::to_wstring(response->nContentLength) + L" File=" + item.strFileMd5);
      return response;
    }
    ++item.nRetries;
  }
  return response;
}

void TDownloadThread::HttpReceiveData(std::int64_t, std::int64_t bytesRead) {
  const ULONGLONG tick = ::GetTickCount64();
  if (tick >= m_nLastUpdate) {
    m_nLastUpdate = tick + 10;
    m_nCurrDownloaded.store(static_cast<std::uint32_t>(bytesRead));
  }
}

void TDownloadThread::HandleDownloadFailure(PFileToDownload item) {
  if (m_run->CmdInstall != TCmdInstallType::citNone) {
    EndProgram(static_cast<int>(TExitCode::DownloadFailed));
    return;
  }
  item->nRetries = 0;
  ReleaseStream(*item);
  const bool wasSuspended = m_host.SuspendInstallation();
  Queues().EnqueueItemForDownload(std::move(item));
  if (!wasSuspended) ShowRetryPage(EngineTexts().connectionRetry);
}

// --- TExtractThread ------------------------------------------------------------------------------

TExtractThread::TExtractThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run)
    : TBaseWorkerThread(host, std::move(run)) {}

void TExtractThread::ResetExtractFailedOnce() { g_bExtractFailedOnce.store(false); }

void TExtractThread::Execute() {
  RunItems([this] { return Queues().DequeueExtractionItem(); },
           [this] { Queues().WaitForExtractionWork(std::chrono::milliseconds(EXTRACT_IDLE_SLEEP_MS)); },
           [this](PFileToDownload item) { return ProcessItem(std::move(item)); });
}

bool TExtractThread::ProcessItem(PFileToDownload item) {
  const std::wstring destination = JoinPath(m_run->strTempDownloadPath, item->strFilePath);
  std::wstring unpacked;
  // The package's bytes count against the download backlog until they are let go, on every path.
  bool inBacklog = true;
  const auto releaseBacklog = [&] {
    if (std::exchange(inBacklog, false)) Queues().ReleaseBacklog(*item);
  };
  try {
    AppendLog(L"TExtractThread: Extracting=" + item->strFileName + L" to=" + destination);
    Zip.Open(reinterpret_cast<const std::uint8_t*>(item->Stream.data()), item->Stream.size(), item->strFileName);
    unpacked = JoinPath(destination, Zip.FirstEntryName());
    Zip.ExtractFirstEntry(std::filesystem::path(destination), InstallerPathGuard());
    Zip.Close();
    releaseBacklog();
    ReleaseStream(*item);

    if (!ValidateMD5Hash(unpacked, item->strFileMd5)) {
      m_host.SetMd5Failed();
      const std::wstring line = L"File: " + item->strFileName + L" Remote MD5: " + item->strFileMd5 +
                                L" Local MD5: " + FileMD5Hex(unpacked) + L" Modified at: " +
                                FileModifiedTimeText(unpacked) + L" File size: " + FileSizeText(unpacked) + L" bytes";
      AppendLog(L"TExtractThread.Execute: Invalid hash for " + line);
      m_host.AddFailedMd5Info(line);
      // A file that does not match the manifest is never left as part of an installation: the package
      // counts as damaged and is fetched again.
      const std::wstring message = L"Invalid hash for " + item->strFileName;
      return HandleDamagedPackage(std::move(item), message, destination, unpacked);
    }
    Queues().IncrementValidatedCount();
    Queues().FinishItem();
    return true;
  } catch (const TFileCreateError& e) {
    Zip.Close();
    releaseBacklog();
    HandleFileInUse(std::move(item), ExceptionMessage(e), destination);
    return true;
  } catch (const std::exception& e) {
    Zip.Close();
    releaseBacklog();
    return HandleDamagedPackage(std::move(item), ExceptionMessage(e), destination, unpacked);
  }
}

void TExtractThread::HandleFileInUse(PFileToDownload item, const std::wstring& message,
                                     const std::wstring& destination) {
  const bool wasSuspended = m_host.SuspendInstallation();
  const std::wstring name = item->strFileName;
  const std::wstring md5 = item->strFileMd5;
  Queues().EnqueueItemForExtraction(std::move(item));
  AppendLog(L"TExtractThread.Execute: Exception (EFCreateError) =" + message + L". File=" + name + L". Path=" +
            destination + L"  Remote Md5=" + md5);
  // A running product holds many files: the other workers meet theirs while the first failure's question
  // is still open. Only a failure after the user's answer counts as failing again.
  if (wasSuspended) return;
  if (g_bExtractFailedOnce.exchange(true)) {
    AppendLog(L"TExtractThread.Execute: Extraction failed again. Aborting...");
    m_host.AbortUnexpectedError();
    return;
  }
  AppendLog(L"TExtractThread.Execute: Extraction failed once. Retry allowed.");
  ShowRetryPage(EngineTexts().fileInUse);
}

bool TExtractThread::HandleDamagedPackage(PFileToDownload item, const std::wstring& message,
                                          const std::wstring& destination, const std::wstring& partialFile) {
  AppendLog(L"TExtractThread.Execute: Exception=" + message + L". File=" + item->strFileName + L". Path=" +
            destination + L"  Remote Md5=" + item->strFileMd5);
  if (m_run->CmdInstall != TCmdInstallType::citNone) {
    EndProgram(static_cast<int>(TExitCode::UnexpectedError));
    return false;
  }
  ++item->nRetries;
  if (!partialFile.empty()) ::DeleteFileW(partialFile.c_str());
  Queues().UpdateTotalDownloaded(-static_cast<std::int32_t>(item->nDownloadSize));
  ReleaseStream(*item);
  Queues().EnqueueItemForDownload(std::move(item));
  return true;
}

}  // namespace sf
