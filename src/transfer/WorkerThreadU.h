// The download and extraction workers. Each worker takes items from the queues of one download run,
// and reports back to the engine through IWorkerHost.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/ThreadU.h"
#include "engine/WorkQueuesU.h"
#include "network/HttpClientU.h"
#include "startup/CommandLineU.h"
#include "transfer/PackageReaderU.h"

namespace sf {

// What a worker needs of the engine beyond the queues: the installation-wide flags and the two
// reports that outlive a run.
class IWorkerHost {
 public:
  virtual ~IWorkerHost() = default;
  virtual bool bInstallSuspended() const = 0;
  // Sets the suspension and answers whether it was already set.
  virtual bool SuspendInstallation() = 0;
  virtual void SetMd5Failed() = 0;
  virtual void AddFailedMd5Info(const std::wstring& line) = 0;
  virtual void AbortUnexpectedError() = 0;
};

// The facts of one download run, fixed before its workers start.
struct TDownloadRun {
  std::shared_ptr<TWorkQueues> queues;
  std::wstring strTempDownloadPath;  // where packages are unpacked, ending in "\"
  std::wstring strInstallPath;       // the installation's folder, ending in "\"
  bool bNewInstall = true;
  TCmdInstallType CmdInstall = TCmdInstallType::citNone;
  HWND MainHandle = nullptr;
};

class TBaseWorkerThread : public TThreadBase {
 public:
  TBaseWorkerThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run);

  // Starts the thread; the worker keeps itself alive until its run ends, whoever else lets go of it.
  static void StartOwned(const std::shared_ptr<TBaseWorkerThread>& worker);

  // True when the file's MD5 equals the expected digest (letter case ignored), or when both are empty.
  // Logs one "ValidateMD5Hash: " line; never raises.
  static bool ValidateMD5Hash(const std::wstring& fileName, const std::wstring& expected);

 protected:
  void Finished() override;
  // The worker loop shared by both kinds: while not asked to stop, take an item (the taker counts
  // itself active) and process it, idling while the installation is suspended or nothing is queued.
  // process answers false when the worker must end at once.
  void RunItems(const std::function<PFileToDownload()>& take, const std::function<void()>& idle,
                const std::function<bool(PFileToDownload)>& process);
  // Ends the run with the given exit code (unattended runs).
  void EndProgram(int exitCode) const;
  void ShowRetryPage(const std::wstring& text) const;

  IWorkerHost& m_host;
  const std::shared_ptr<const TDownloadRun> m_run;
  TWorkQueues& Queues() const { return *m_run->queues; }

 private:
  std::shared_ptr<TBaseWorkerThread> m_self;
};

class TDownloadThread : public TBaseWorkerThread {
 public:
  static constexpr std::uint32_t MAX_DOWNLOAD_ATTEMPTS = 3;
  static constexpr DWORD DOWNLOAD_IDLE_SLEEP_MS = 500;
  // A package of unknown size (0 in the manifest) may still not grow without bound.
  static constexpr std::size_t kUnknownSizeLimit = 1u << 30;

  TDownloadThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run, const TProxySettings& proxy);

  // Bytes received so far for the current item; the engine reads it for the progress bar.
  std::uint32_t CurrDownloaded() const { return m_nCurrDownloaded.load(); }

 protected:
  void Execute() override;

 private:
  void ProcessItem(PFileToDownload item);
  std::optional<THttpResponse> DownloadSingleFile(TFileToDownload& item);
  void HttpReceiveData(std::int64_t contentLength, std::int64_t bytesRead);
  void HandleDownloadFailure(PFileToDownload item);

  TNetHttpClient m_NetHttpClient;
  ULONGLONG m_nLastUpdate = 0;
  std::atomic<std::uint32_t> m_nCurrDownloaded{0};
};

class TExtractThread : public TBaseWorkerThread {
 public:
  static constexpr DWORD EXTRACT_IDLE_SLEEP_MS = 100;

  TExtractThread(IWorkerHost& host, std::shared_ptr<const TDownloadRun> run);

  // The first failure of the run to create an output file offers a retry; any later one aborts.
  static void ResetExtractFailedOnce();

 protected:
  void Execute() override;

 private:
  // False when the worker must end at once (unattended runs after an error).
  bool ProcessItem(PFileToDownload item);
  void HandleFileInUse(PFileToDownload item, const std::wstring& message, const std::wstring& destination);
  bool HandleDamagedPackage(PFileToDownload item, const std::wstring& message, const std::wstring& destination,
                            const std::wstring& partialFile);

  TPackageReader Zip;
};

}  // namespace sf
