// The two work queues of one download run, with their counters. The engine and every worker of the run
// share this object, so it outlives whichever of them ends last: a worker still finishing an item after
// the run was stopped finds the queues stopped, never freed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "transfer/WorkItemU.h"

namespace sf {

// Downloaded packages (files in the run's package folder) that wait for, or go through, extraction. A
// download worker takes no new item while the backlog is at either bound, so the disk holds a few
// packages beside the unpacked files, whatever the size of the version.
struct TBacklogLimits {
  std::size_t nBytes = 64u << 20;
  std::size_t nCount = 4;
};

class TWorkQueues {
 public:
  explicit TWorkQueues(TBacklogLimits limits = TBacklogLimits()) : m_limits(limits) {}

  // Set-up, before any worker runs: items in manifest order, then sorted so that the largest is taken
  // first (items are taken from the end).
  void AddForDownload(PFileToDownload item);  // also counts the item as outstanding
  void SortDownloadsBySize();

  // Put back an item (a failed download, a damaged package): it is the next one taken. Dropped when the
  // queues are stopped.
  void EnqueueItemForDownload(PFileToDownload item);
  // Takes the last item, counting the caller active while the lock is held, so that no moment exists
  // where an item is neither queued nor counted. Nothing when the queue is empty, the queues are stopped,
  // or the extraction backlog is at its bound.
  PFileToDownload DequeueDownloadItem();
  void EnqueueItemForExtraction(PFileToDownload item);
  // Takes the largest package waiting, counting the caller active: the largest takes longest to unpack,
  // so it starts first rather than finishing last.
  PFileToDownload DequeueExtractionItem();
  // An extraction worker is done with the package's bytes (unpacked, or the item goes back to download).
  void ReleaseBacklog(const TFileToDownload& item);

  void DecrementWorkerActiveCount() { m_nActiveWorkersCount.fetch_sub(1); }
  void UpdateTotalDownloaded(std::int32_t delta) { m_nDownloadedSize.fetch_add(static_cast<std::uint32_t>(delta)); }
  void IncrementValidatedCount() { m_nValidatedFilesCount.fetch_add(1); }
  // The end of an item's life: unpacked and checked, or skipped because the installed file is current.
  void FinishItem() { m_nOutstanding.fetch_sub(1); }

  std::uint32_t DownloadedSize() const { return m_nDownloadedSize.load(); }
  std::uint32_t ValidatedCount() const { return m_nValidatedFilesCount.load(); }
  std::uint32_t ActiveWorkers() const { return m_nActiveWorkersCount.load(); }
  std::size_t QueuedForDownload() const;
  // True while any item of the run is still queued or held by a worker. Counted per item rather than
  // read off the queues, so an item moving between queues is never missed.
  bool WorkRemains() const { return m_nOutstanding.load() != 0; }

  // Ends the run's use of the queues: later enqueues drop their items, dequeues give nothing, queued
  // items are discarded, and waiting workers wake up.
  void Stop();
  bool Stopped() const { return m_bStopped.load(); }

  // Idle workers wait here until there is work for them (or the queues stop), woken by the change that
  // makes it; the interval only bounds the wait, so that a worker sees a suspended run end. False when the
  // interval passed without work (or a stop).
  void WaitForDownloadWork(std::chrono::milliseconds interval);
  bool WaitForExtractionWork(std::chrono::milliseconds interval);

 private:
  // Under m_csQueues.
  bool BacklogFull() const;
  bool DownloadWorkReady() const;

  const TBacklogLimits m_limits;
  // One lock for both queues and the backlog: a waiting worker's test of its condition and the change
  // that makes it true are then never apart, so no signal falls between the two.
  mutable std::mutex m_csQueues;
  std::condition_variable m_downloadWork;
  std::condition_variable m_extractWork;
  std::vector<PFileToDownload> m_DownloadList;
  std::vector<PFileToDownload> m_ExtractAndValidateList;
  std::size_t m_nBacklogBytes = 0;  // under m_csQueues
  std::size_t m_nBacklogCount = 0;
  std::atomic<std::uint32_t> m_nDownloadedSize{0};
  std::atomic<std::uint32_t> m_nValidatedFilesCount{0};
  std::atomic<std::uint32_t> m_nActiveWorkersCount{0};
  std::atomic<std::uint32_t> m_nOutstanding{0};
  std::atomic<bool> m_bStopped{false};
};

}  // namespace sf
