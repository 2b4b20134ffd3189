#include "transfer/WorkQueuesU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/ProgressPlanU.h"

namespace sf {
namespace {

// A package of `bytes` bytes, as the download left it on disk.
class TFakePackage : public IPackageFile {
 public:
  explicit TFakePackage(std::uint64_t bytes) : m_nBytes(bytes) {}
  const std::wstring& Path() const override { return m_strPath; }
  std::uint64_t Size() const override { return m_nBytes; }

 private:
  std::wstring m_strPath = L"package";
  std::uint64_t m_nBytes;
};

PFileToDownload Item(std::int64_t size, std::string bytes = {}) {
  auto item = std::make_unique<TFileToDownload>();
  item->nDownloadSize = size;
  item->strFileName = std::to_wstring(size);
  if (!bytes.empty()) item->Package = std::make_unique<TFakePackage>(bytes.size());
  return item;
}

TEST(ProgressPlan, MaximumAndShareFromThePackageSizes) {
  struct TCase {
    std::uint32_t size;
    std::size_t files;
    std::uint32_t maximum, share;
  };
  const TCase cases[] = {
      {600, 3, 720, 40},
      {1000, 1, 1200, 200},
      {1000000000u, 1, 1200000002u, 200000002u},  // 0.2 in single precision is slightly above 0.2
      {0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const TProgressPlan plan = ProgressPlanFor(c.size, c.files);
    EXPECT_EQ(plan.nProgressSize, c.maximum) << c.size;
    EXPECT_EQ(plan.nFileExtractedProgress, c.share) << c.size;
  }
  const TProgressPlan plan = ProgressPlanFor(600, 3);
  EXPECT_EQ(ProgressPosition(plan, 3, 600, 0), 720u);
  EXPECT_EQ(ProgressPosition(plan, 1, 300, 50), 390u);
}

TEST(WorkQueues, LargestPackageIsTakenFirstAndTheTakerCountsActive) {
  TWorkQueues queues;
  for (int size : {100, 300, 200}) queues.AddForDownload(Item(size));
  queues.SortDownloadsBySize();
  auto first = queues.DequeueDownloadItem();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->nDownloadSize, 300);
  EXPECT_EQ(queues.ActiveWorkers(), 1u);
  // An item put back is the next one taken.
  queues.EnqueueItemForDownload(std::move(first));
  EXPECT_EQ(queues.DequeueDownloadItem()->nDownloadSize, 300);
  EXPECT_EQ(queues.DequeueDownloadItem()->nDownloadSize, 200);
  EXPECT_EQ(queues.DequeueDownloadItem()->nDownloadSize, 100);
  EXPECT_EQ(queues.DequeueDownloadItem(), nullptr);

  // Unpacking too starts with the largest package waiting, whatever order the downloads ended in.
  for (int size : {2, 5, 3}) queues.EnqueueItemForExtraction(Item(size, std::string(size, 'x')));
  for (int size : {5, 3, 2}) EXPECT_EQ(queues.DequeueExtractionItem()->nDownloadSize, size);
}

TEST(WorkQueues, DownloadsWaitWhileTheExtractionBacklogIsFull) {
  TWorkQueues queues(TBacklogLimits{1000, 2});
  for (int i = 0; i < 4; ++i) queues.AddForDownload(Item(10));
  queues.EnqueueItemForExtraction(Item(10, std::string(10, 'x')));
  EXPECT_NE(queues.DequeueDownloadItem(), nullptr);
  queues.EnqueueItemForExtraction(Item(10, std::string(10, 'x')));
  EXPECT_EQ(queues.DequeueDownloadItem(), nullptr) << "two packages wait: the count bound is reached";
  auto extracting = queues.DequeueExtractionItem();
  EXPECT_EQ(queues.DequeueDownloadItem(), nullptr) << "a package being unpacked still holds its file";
  queues.ReleaseBacklog(*extracting);
  EXPECT_NE(queues.DequeueDownloadItem(), nullptr);

  TWorkQueues bytes(TBacklogLimits{100, 10});
  bytes.AddForDownload(Item(10));
  bytes.EnqueueItemForExtraction(Item(150, std::string(150, 'x')));
  EXPECT_EQ(bytes.DequeueDownloadItem(), nullptr) << "the byte bound is reached";
}

// An extraction worker learns whether its wait found work: one that waited the whole interval for nothing
// gives its decoder's memory back.
TEST(WorkQueues, AnExtractionWaitSaysWhetherWorkCame) {
  TWorkQueues queues;
  EXPECT_FALSE(queues.WaitForExtractionWork(std::chrono::milliseconds(1)));
  queues.EnqueueItemForExtraction(Item(2, "ab"));
  EXPECT_TRUE(queues.WaitForExtractionWork(std::chrono::milliseconds(1)));
}

TEST(WorkQueues, StoppedQueuesDropEverything) {
  TWorkQueues queues;
  queues.AddForDownload(Item(1));
  queues.EnqueueItemForExtraction(Item(2, "ab"));
  queues.Stop();
  EXPECT_EQ(queues.DequeueDownloadItem(), nullptr);
  EXPECT_EQ(queues.DequeueExtractionItem(), nullptr);
  queues.EnqueueItemForDownload(Item(3));
  queues.EnqueueItemForExtraction(Item(4, "cd"));
  EXPECT_EQ(queues.QueuedForDownload(), 0u);
}

// Items move between the queues on many threads, as downloads fail and packages are damaged; the run is
// finished exactly when every item has ended its life, never before.
TEST(WorkQueues, WorkRemainsUntilEveryItemHasEnded) {
  constexpr int kItems = 400;
  TWorkQueues queues(TBacklogLimits{1 << 20, 8});
  for (int i = 0; i < kItems; ++i) queues.AddForDownload(Item(i + 1));
  queues.SortDownloadsBySize();
  std::atomic<int> ended{0};
  std::atomic<bool> sawFinishedEarly{false};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&, w] {
      int round = 0;
      while (ended.load() < kItems) {
        if (auto item = queues.DequeueDownloadItem()) {
          if ((++round + w) % 7 == 0) {
            queues.EnqueueItemForDownload(std::move(item));  // a failed download goes back
          } else {
            item->Package = std::make_unique<TFakePackage>(16);
            queues.EnqueueItemForExtraction(std::move(item));
          }
          queues.DecrementWorkerActiveCount();
        }
        if (auto item = queues.DequeueExtractionItem()) {
          queues.ReleaseBacklog(*item);
          if ((++round + w) % 5 == 0) {
            item->Package.reset();
            queues.EnqueueItemForDownload(std::move(item));  // a damaged package is fetched again
          } else {
            ++ended;
            queues.IncrementValidatedCount();
            queues.FinishItem();
          }
          queues.DecrementWorkerActiveCount();
        }
      }
    });
  }
  std::thread watcher([&] {
    while (queues.WorkRemains()) std::this_thread::yield();
    if (ended.load() != kItems) sawFinishedEarly.store(true);
  });
  for (auto& t : workers) t.join();
  watcher.join();
  EXPECT_FALSE(sawFinishedEarly.load());
  EXPECT_EQ(queues.ValidatedCount(), static_cast<std::uint32_t>(kItems));
  EXPECT_EQ(queues.ActiveWorkers(), 0u);
}

}  // namespace
}  // namespace sf
