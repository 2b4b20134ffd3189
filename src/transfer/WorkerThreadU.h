// The download and extraction workers. Each worker takes items from the queues of one download run and
// does what an item needs; whatever it cannot finish by itself it reports to the engine through
// IWorkerHost, and the engine alone decides what follows (a retry page, another attempt, an exit code, the
// end of the run). A worker never posts to the window and never ends the program.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/DigestU.h"
#include "common/StopSignalU.h"
#include "common/ThreadU.h"
#include "network/HttpClientU.h"
#include "transfer/PackageFileU.h"
#include "transfer/PackageReaderU.h"
#include "transfer/WorkQueuesU.h"

namespace sf {

// What became of an item that a worker could not finish by itself. A reported item still counts as
// outstanding in the queues, so the run cannot look finished before the engine has decided on it.
enum class TWorkerOutcome : std::uint8_t {
  DownloadFailed,   // every attempt left for the item failed
  DamagedPackage,   // the package could not be unpacked, or the unpacked file had the wrong digest
  FileInUse,        // the unpacked file could not be created, typically because the product runs
  DiskFull,         // there was no room for the package or the unpacked file (a full disk or an exceeded quota)
  UnexpectedError,  // anything else; the item is lost (but still counts as outstanding) and the worker has left
};

struct TWorkerReport {
  TWorkerOutcome outcome = TWorkerOutcome::UnexpectedError;
  PFileToDownload item;           // handed over to the engine; empty for an unexpected error
  std::wstring strWorker;         // which worker, for log lines and the error report
  std::wstring strMessage;        // the error's text
  std::wstring strFailedMd5Line;  // a wrong digest: the line for the digest report
};

// What a worker needs of the engine beyond the queues.
class IWorkerHost {
 public:
  virtual ~IWorkerHost() = default;
  // While set (the retry page is shown) workers take no items.
  virtual bool bInstallSuspended() const = 0;
  // The proxy setting in force now; read at the start of every request.
  virtual TProxySettings GetProxySettings() const = 0;
  // Thread-safe; the engine takes the report over and decides on its own thread.
  virtual void ReportOutcome(TWorkerReport report) = 0;
};

// The facts of one download run, fixed before its workers start.
struct TDownloadRun {
  // Declared first, so that it goes last: the folder is removed once the queued packages are gone.
  std::shared_ptr<const TPackageFolder> packages;
  std::shared_ptr<TWorkQueues> queues;
  std::shared_ptr<const TStopSignal> stop;  // the run's stop signal: once set, every worker leaves
  std::wstring strTempDownloadPath;         // where packages are unpacked, ending in "\"
  std::wstring strInstallPath;              // the installation's folder, ending in "\"
  bool bNewInstall = true;
};

class TBaseWorkerThread : public TThreadBase {
 public:
  TBaseWorkerThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run, std::wstring name);

  // Starts the thread; the worker keeps itself alive until its run ends, whoever else lets go of it.
  static void StartOwned(const std::shared_ptr<TBaseWorkerThread>& worker);

  // "TDownloadThread 2" and the like.
  const std::wstring& Name() const { return m_strName; }

  // True when the file's MD5 equals the expected digest (letter case ignored), or when both are empty. With
  // an expected SHA-256 (a signed manifest's), the file's SHA-256 must equal it too; both digests come
  // from one read of the file, and `local` receives them. Logs one "ValidateMD5Hash: " line; never raises.
  static bool ValidateMD5Hash(const std::wstring& fileName, const std::wstring& expected,
                              const std::wstring& expectedSha256 = {}, TFileDigests* local = nullptr);
  // The same check and log line for digests already known (taken while the file was written).
  static bool DigestsMatch(const std::wstring& fileName, const TFileDigests& digests, const std::wstring& expected,
                           const std::wstring& expectedSha256);

 protected:
  void Finished() override;
  // The worker loop shared by both kinds: until the run's stop signal (or the queues stop), take an item
  // (the taker counts itself active) and process it, idling while nothing is queued and pausing while
  // the installation is suspended. An error that process does not handle ends the item and this worker,
  // and is reported as unexpected.
  void RunItems(const std::function<PFileToDownload()>& take, const std::function<void()>& idle,
                const std::function<void(PFileToDownload)>& process);
  bool Stopped() const { return m_run->stop->IsStopped(); }
  void Report(TWorkerOutcome outcome, PFileToDownload item, const std::wstring& message,
              const std::wstring& failedMd5Line = {});

  IWorkerHost& m_host;
  const std::shared_ptr<const TDownloadRun> m_run;
  TWorkQueues& Queues() const { return *m_run->queues; }

 private:
  void ReportUnexpected(const std::wstring& message);

  const std::wstring m_strName;
  std::shared_ptr<TBaseWorkerThread> m_self;
};

class TDownloadThread : public TBaseWorkerThread {
 public:
  static constexpr std::uint32_t MAX_DOWNLOAD_ATTEMPTS = 3;
  static constexpr DWORD DOWNLOAD_IDLE_SLEEP_MS = 500;
  // A package of unknown size (0 in the manifest) may still not grow without bound.
  static constexpr std::size_t kUnknownSizeLimit = 1u << 30;

  TDownloadThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run, int number);

  // Bytes received so far for the current item; the engine reads it for the progress bar.
  std::uint32_t CurrDownloaded() const { return m_nCurrDownloaded.load(); }

 protected:
  void Execute() override;
  // Called on this thread while a package's body arrives.
  virtual void HttpReceiveData(std::int64_t contentLength, std::int64_t bytesRead);

 private:
  void ProcessItem(PFileToDownload item);
  // The response of the last attempt, or none; its body is in `package`. lastStatus is the status line of
  // the last answer that arrived, also when its body then failed (0 when none came). Raises
  // TDiskFullError when the package finds no room.
  std::optional<THttpResponse> DownloadSingleFile(TFileToDownload& item, TPackageFile& package,
                                                  std::uint32_t& lastStatus);

  TNetHttpClient m_NetHttpClient;
  ULONGLONG m_nLastUpdate = 0;
  std::atomic<std::uint32_t> m_nCurrDownloaded{0};
};

class TExtractThread : public TBaseWorkerThread {
 public:
  static constexpr DWORD EXTRACT_IDLE_SLEEP_MS = 100;

  TExtractThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run, int number);

 protected:
  void Execute() override;

 private:
  void ProcessItem(PFileToDownload item);

  TPackageReader Zip;
};

}  // namespace sf
