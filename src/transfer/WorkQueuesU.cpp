#include "transfer/WorkQueuesU.h"

#include <algorithm>

namespace sf {

void TWorkQueues::AddForDownload(PFileToDownload item) {
  std::lock_guard guard(m_csQueues);
  m_DownloadList.push_back(std::move(item));
  m_nOutstanding.fetch_add(1);
}

void TWorkQueues::SortDownloadsBySize() {
  std::lock_guard guard(m_csQueues);
  std::stable_sort(m_DownloadList.begin(), m_DownloadList.end(), [](const auto& a, const auto& b) {
    return static_cast<std::uint32_t>(a->nDownloadSize) < static_cast<std::uint32_t>(b->nDownloadSize);
  });
}

void TWorkQueues::EnqueueItemForDownload(PFileToDownload item) {
  {
    std::lock_guard guard(m_csQueues);
    if (m_bStopped.load()) return;
    m_DownloadList.push_back(std::move(item));
  }
  m_downloadWork.notify_one();
}

PFileToDownload TWorkQueues::DequeueDownloadItem() {
  std::lock_guard guard(m_csQueues);
  if (!DownloadWorkReady()) return nullptr;
  PFileToDownload item = std::move(m_DownloadList.back());
  m_DownloadList.pop_back();
  m_nActiveWorkersCount.fetch_add(1);
  return item;
}

void TWorkQueues::EnqueueItemForExtraction(PFileToDownload item) {
  {
    std::lock_guard guard(m_csQueues);
    if (m_bStopped.load()) return;
    m_nBacklogBytes += item->PackageBytes();
    ++m_nBacklogCount;
    m_ExtractAndValidateList.push_back(std::move(item));
  }
  m_extractWork.notify_one();
}

PFileToDownload TWorkQueues::DequeueExtractionItem() {
  std::lock_guard guard(m_csQueues);
  if (m_bStopped.load() || m_ExtractAndValidateList.empty()) return nullptr;
  const auto largest = std::max_element(m_ExtractAndValidateList.begin(), m_ExtractAndValidateList.end(),
                                        [](const auto& a, const auto& b) { return a->PackageBytes() < b->PackageBytes(); });
  PFileToDownload item = std::move(*largest);
  m_ExtractAndValidateList.erase(largest);
  m_nActiveWorkersCount.fetch_add(1);
  return item;
}

void TWorkQueues::ReleaseBacklog(const TFileToDownload& item) {
  {
    std::lock_guard guard(m_csQueues);
    m_nBacklogBytes -= std::min<std::size_t>(m_nBacklogBytes, item.PackageBytes());
    if (m_nBacklogCount > 0) --m_nBacklogCount;
  }
  m_downloadWork.notify_all();
}

bool TWorkQueues::BacklogFull() const {
  return m_nBacklogCount >= m_limits.nCount || m_nBacklogBytes >= m_limits.nBytes;
}

bool TWorkQueues::DownloadWorkReady() const {
  return !m_bStopped.load() && !m_DownloadList.empty() && !BacklogFull();
}

std::size_t TWorkQueues::QueuedForDownload() const {
  std::lock_guard guard(m_csQueues);
  return m_DownloadList.size();
}

void TWorkQueues::Stop() {
  std::vector<PFileToDownload> discarded;
  {
    std::lock_guard guard(m_csQueues);
    m_bStopped.store(true);
    discarded.swap(m_DownloadList);
    for (auto& item : m_ExtractAndValidateList) discarded.push_back(std::move(item));
    m_ExtractAndValidateList.clear();
  }
  m_downloadWork.notify_all();
  m_extractWork.notify_all();
}

void TWorkQueues::WaitForDownloadWork(std::chrono::milliseconds interval) {
  std::unique_lock lock(m_csQueues);
  m_downloadWork.wait_for(lock, interval, [this] { return m_bStopped.load() || DownloadWorkReady(); });
}

bool TWorkQueues::WaitForExtractionWork(std::chrono::milliseconds interval) {
  std::unique_lock lock(m_csQueues);
  return m_extractWork.wait_for(lock, interval,
                                [this] { return m_bStopped.load() || !m_ExtractAndValidateList.empty(); });
}

}  // namespace sf
