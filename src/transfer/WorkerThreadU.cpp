#include "transfer/WorkerThreadU.h"

#include <shlwapi.h>

#include <filesystem>
#include <optional>
#include <utility>

#include "common/FileFactsU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "logging/LogU.h"
#include "logging/TestPauseU.h"
#include "transfer/FileOpsU.h"

namespace sf {

namespace {

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
    if (!DirectoryExists(folder) && !ForceDirectories(folder)) {
      const DWORD error = ::GetLastError();
      AppendLog(L"TInstallerThread.EnqueueItemForExtraction: Creating directory for file " + item.strFileName +
                L"(full path=" + folder + L") failed with Error " + std::to_wstring(error));
    }
  } catch (const std::exception& e) {
    AppendLog(L"TInstallerThread.EnqueueItemForExtraction: Exception creating directory for file " +
              item.strFileName + L"(full path=" + folder + L"). Exception=" + ExceptionMessage(e));
  }
}

// How often a worker looks whether a suspended installation goes on.
constexpr DWORD kSuspendedPollMs = 100;

// The file's size as the file system has it; none when it cannot be read.
std::optional<std::uint64_t> SizeOnDisk(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A check of a file's digests that failed on its way (reading the file, or the log line's facts about it).
void LogValidationError(const std::wstring& expected, const std::exception& e) {
  AppendLog(L"ValidateMD5Hash: Exception validating file MD5. Remote=" + expected + L"Exception = " +
            ExceptionMessage(e));
}

void DeleteIfThere(const std::wstring& path) {
  if (!path.empty()) ::DeleteFileW(path.c_str());
}

}  // namespace

// --- TBaseWorkerThread ---------------------------------------------------------------------------

TBaseWorkerThread::TBaseWorkerThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run, std::wstring name)
    : m_host(host), m_run(std::move(run)), m_strName(std::move(name)) {}

void TBaseWorkerThread::StartOwned(const std::shared_ptr<TBaseWorkerThread>& worker) {
  worker->m_self = worker;
  worker->Start();
}

void TBaseWorkerThread::Finished() {
  // The last thing this thread does; the object may be destroyed right here.
  auto last = std::move(m_self);
}

void TBaseWorkerThread::RunItems(const std::function<PFileToDownload()>& take, const std::function<void()>& idle,
                                 const std::function<void(PFileToDownload)>& process) {
  bool holding = false;
  std::wstring failure;
  try {
    // Queues stopped by the engine end the worker as its stop signal does.
    while (!Stopped() && !Queues().Stopped()) {
      if (m_host.bInstallSuspended()) {
        // Not the idle wait: that returns at once while work is waiting, which a suspended worker
        // leaves alone.
        m_run->stop->WaitFor(kSuspendedPollMs);
        continue;
      }
      PFileToDownload item = take();  // counts this worker active
      if (!item) {
        idle();
        continue;
      }
      holding = true;
      process(std::move(item));
      holding = false;
      Queues().DecrementWorkerActiveCount();
    }
    return;
  } catch (const std::exception& e) {
    failure = ExceptionMessage(e);
  } catch (...) {
    failure = L"an error of unknown type";
  }
  // The item is lost with the error, but stays outstanding: the run must not look finished before the
  // engine has read the report, which ends the run. This worker leaves, since whatever failed may fail
  // again.
  if (holding) Queues().DecrementWorkerActiveCount();
  ReportUnexpected(failure);
}

void TBaseWorkerThread::Report(TWorkerOutcome outcome, PFileToDownload item, const std::wstring& message,
                               const std::wstring& failedMd5Line) {
  m_host.ReportOutcome(TWorkerReport{outcome, std::move(item), m_strName, message, failedMd5Line});
}

void TBaseWorkerThread::ReportUnexpected(const std::wstring& message) {
  AppendLog(m_strName + L": Unexpected error: " + message);
  Report(TWorkerOutcome::UnexpectedError, nullptr, message);
}

bool TBaseWorkerThread::ValidateMD5Hash(const std::wstring& fileName, const std::wstring& expected,
                                        const std::wstring& expectedSha256, TFileDigests* local) {
  TFileDigests digests;
  try {
    digests = FileDigests(fileName, !expectedSha256.empty());
  } catch (const std::exception& e) {
    LogValidationError(expected, e);
    return false;
  }
  if (local) *local = digests;
  return DigestsMatch(fileName, digests, expected, expectedSha256);
}

bool TBaseWorkerThread::DigestsMatch(const std::wstring& fileName, const TFileDigests& digests,
                                     const std::wstring& expected, const std::wstring& expectedSha256) {
  try {
    const bool result = (digests.strMD5.empty() || expected.empty())
                            ? digests.strMD5.empty() && expected.empty()
                            : EqualsIgnoreCaseInLocale(digests.strMD5, expected);
    std::wstring line = std::wstring(L"ValidateMD5Hash: File=") + ::PathFindFileNameW(fileName.c_str()) +
                        L" Remote=" + expected + L" " + (result ? L"True" : L"False") + L" Local=" + digests.strMD5;
    // An MD5 can be forged to match; the SHA-256 a signed manifest states cannot.
    const bool sha256Matches = expectedSha256.empty() || EqualsIgnoreCaseInLocale(digests.strSHA256, expectedSha256);
    if (!expectedSha256.empty()) line += std::wstring(L" SHA256=") + (sha256Matches ? L"True" : L"False");
    if (!result || !sha256Matches) {
      line += L" Modified at: " + FileModifiedTimeText(fileName) + L" File size: " + FileSizeText(fileName) +
              L" bytes";
    }
    AppendLog(line);
    return result && sha256Matches;
  } catch (const std::exception& e) {
    LogValidationError(expected, e);
    return false;
  }
}

// --- TDownloadThread -----------------------------------------------------------------------------

TDownloadThread::TDownloadThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run, int number)
    : TBaseWorkerThread(host, std::move(run), L"TDownloadThread " + std::to_wstring(number)) {
  m_NetHttpClient.SetStopSignal(m_run->stop);
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
           });
}

void TDownloadThread::ProcessItem(PFileToDownload item) {
  if (!m_run->bNewInstall &&
      ValidateMD5Hash(m_run->strInstallPath + item->strFilePath + item->strFileName, item->strFileMd5,
                      item->strFileSha256)) {
    // The installed file is current: it counts as downloaded and goes no further.
    Queues().UpdateTotalDownloaded(static_cast<std::int32_t>(item->nDownloadSize));
    Queues().FinishItem();
    return;
  }
  m_nCurrDownloaded.store(0);
  // Deleted on every way out of here but the extraction queue's.
  std::unique_ptr<TPackageFile> package = m_run->packages->NewFile(item->strFileMd5);
  std::uint32_t lastStatus = 0;
  std::optional<THttpResponse> response;
  try {
    response = DownloadSingleFile(*item, *package, lastStatus);
  } catch (const TDiskFullError& e) {
    // Fetching the package again cannot make room: the run ends as for any full disk.
    AppendLog(L"TDownloadThread: No room for the package of File=" + item->strFileUrl + L": " + ExceptionMessage(e));
    package.reset();  // gives back what the partial file took
    Report(TWorkerOutcome::DiskFull, std::move(item), ExceptionMessage(e));
    return;
  }
  package->CloseWriting();
  if (Stopped()) {
    AppendLog(L"TDownloadThread: Stopped while fetching File=" + item->strFileUrl);
    return;  // the run is over, and the item with it
  }
  if (response && response->nStatusCode == 200) {
    // Whatever the received bytes credited so far now counts through the total instead.
    m_nCurrDownloaded.store(0);
    Queues().UpdateTotalDownloaded(static_cast<std::int32_t>(item->nDownloadSize));
    item->Package = std::move(package);
    PrepareExtractionFolder(*m_run, *item);
    Queues().EnqueueItemForExtraction(std::move(item));
    return;
  }
  AppendLog(L"TDownloadThread: Failed to download File=" + item->strFileUrl + L" HttpStatus=" +
            std::to_wstring(lastStatus));
  package.reset();
  Report(TWorkerOutcome::DownloadFailed, std::move(item), L"HttpStatus=" + std::to_wstring(lastStatus));
}

std::optional<THttpResponse> TDownloadThread::DownloadSingleFile(TFileToDownload& item, TPackageFile& package,
                                                                 std::uint32_t& lastStatus) {
  std::optional<THttpResponse> response;
  // A body longer than expected is cut off and counts as a failed attempt, so no server can make the
  // worker write more than the package it announced.
  const std::size_t limit = item.nDownloadSize > 0 ? static_cast<std::size_t>(item.nDownloadSize) : kUnknownSizeLimit;
  while (item.nRetries < MAX_DOWNLOAD_ATTEMPTS && !Stopped()) {
    AppendLog(L"DownloadSingleFile: strURL=" + item.strFileUrl);
    try {
      // The setting in force now: one confirmed on the retry page reaches the retried downloads.
      m_NetHttpClient.SetProxySettings(m_host.GetProxySettings());
      // Each attempt writes the package from its start, as WinHTTP delivers it.
      package.Rewrite();
      response = m_NetHttpClient.Get(item.strFileUrl, limit,
                                     [&package](const char* data, std::size_t size) { package.Append(data, size); });
      lastStatus = response->nStatusCode;
    } catch (const TDiskFullError&) {
      throw;  // not the server's fault: no other attempt
    } catch (const TError& e) {
      AppendLog(L"TDownloadThread.DownloadSingleFile: except: " + ExceptionMessage(e));
      const auto& last = m_NetHttpClient.LastResponse();
      lastStatus = last ? last->nStatusCode : 0;
      if (last) {
        AppendLog(L"StatusCode=" + std::to_wstring(last->nStatusCode) + L" StatusText=" + last->strStatusText +
                  L" Size=" + std::to_wstring(last->nContentLength) + L" File=" + item.strFileMd5);
      }
      response.reset();
    }
    const auto expected = static_cast<std::int64_t>(item.nDownloadSize);
    if (response && response->nStatusCode == 200 &&
        (expected == 0 || (response->nContentLength == expected &&
                           static_cast<std::int64_t>(package.Size()) == expected))) {
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

// --- TExtractThread ------------------------------------------------------------------------------

TExtractThread::TExtractThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run, int number)
    : TBaseWorkerThread(host, std::move(run), L"TExtractThread " + std::to_wstring(number)) {}

void TExtractThread::Execute() {
  RunItems([this] { return Queues().DequeueExtractionItem(); },
           [this] {
             // The decoder's memory serves the next package; a worker that waited a whole interval for one
             // gives it back (packages arrive slower than they are unpacked: fresh pages cost nothing then).
             if (!Queues().WaitForExtractionWork(std::chrono::milliseconds(EXTRACT_IDLE_SLEEP_MS))) {
               Zip.ReleaseWorkspace();
             }
           },
           [this](PFileToDownload item) { ProcessItem(std::move(item)); });
}

void TExtractThread::ProcessItem(PFileToDownload item) {
  const std::wstring destination = JoinPath(m_run->strTempDownloadPath, item->strFilePath);
  std::wstring unpacked;
  std::optional<TPackageFileSource> source;
  // The package counts against the download backlog until it is let go, on every path.
  bool inBacklog = true;
  const auto releaseBacklog = [&] {
    Zip.Close();
    source.reset();
    if (std::exchange(inBacklog, false)) Queues().ReleaseBacklog(*item);
  };
  const auto logFailure = [&](const wchar_t* kind, const std::wstring& message) {
    AppendLog(std::wstring(L"TExtractThread.Execute: Exception") + kind + L"=" + message + L". File=" +
              item->strFileName + L". Path=" + destination + L"  Remote Md5=" + item->strFileMd5);
  };
  try {
    AppendLog(L"TExtractThread: Extracting=" + item->strFileName + L" to=" + destination);
    if (!item->Package) throw TPackageError(L"Invalid package: the package is empty");
    source.emplace(item->Package->Path());
    Zip.Open(*source, item->strFileName);
    unpacked = JoinPath(destination, Zip.FirstEntryName());
    // The digests come from the bytes as they are written, so the file is not read back. The package's
    // CRC-32 and sizes are checked against the same bytes, and the file on disk must hold all of them.
    TFileDigester digester(!item->strFileSha256.empty());
    std::uint64_t written = 0;
    Zip.ExtractFirstEntry(std::filesystem::path(destination), InstallerPathGuard(),
                          [&](const std::uint8_t* data, std::size_t size) {
                            digester.Add(data, size);
                            written += size;
                          });
    TestPausePoint(L"extract");
    releaseBacklog();
    item->Package.reset();

    TFileDigests local = digester.Finish();
    if (SizeOnDisk(unpacked) != written) local = {};  // not what was written: matches no digest
    if (!DigestsMatch(unpacked, local, item->strFileMd5, item->strFileSha256)) {
      std::wstring line = L"File: " + item->strFileName + L" Remote MD5: " + item->strFileMd5 + L" Local MD5: " +
                          local.strMD5;
      if (!item->strFileSha256.empty()) {
        line += L" Remote SHA-256: " + item->strFileSha256 + L" Local SHA-256: " + local.strSHA256;
      }
      line += L" Modified at: " + FileModifiedTimeText(unpacked) + L" File size: " + FileSizeText(unpacked) + L" bytes";
      AppendLog(L"TExtractThread.Execute: Invalid hash for " + line);
      // A file that does not match the manifest is never left anywhere, not even for the next attempt.
      DeleteIfThere(unpacked);
      Report(TWorkerOutcome::DamagedPackage, std::move(item), L"Invalid hash for " + line, line);
      return;
    }
    Queues().IncrementValidatedCount();
    Queues().FinishItem();
  } catch (const TFileCreateError& e) {
    releaseBacklog();
    logFailure(L" (EFCreateError) ", ExceptionMessage(e));
    Report(TWorkerOutcome::FileInUse, std::move(item), ExceptionMessage(e));  // with its package file, for a retry
  } catch (const TDiskFullError& e) {
    releaseBacklog();
    logFailure(L" (Disk full) ", ExceptionMessage(e));
    DeleteIfThere(unpacked);  // gives back what the partial file took
    item->Package.reset();
    Report(TWorkerOutcome::DiskFull, std::move(item), ExceptionMessage(e));
  } catch (const TPackageError& e) {
    releaseBacklog();
    logFailure(L"", ExceptionMessage(e));
    DeleteIfThere(unpacked);
    item->Package.reset();
    Report(TWorkerOutcome::DamagedPackage, std::move(item), ExceptionMessage(e));
  }
}

}  // namespace sf
