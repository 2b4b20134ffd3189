// The run log on a disk with no room left: logging never fails the work it describes.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <vector>

#include "TestServers.h"
#include "common/WinErrorU.h"
#include "logging/LogU.h"

namespace sf {
namespace {

TEST(RunLog, LinesThatCannotBeWrittenAreCountedNeverRaised) {
  SF_REQUIRE_TEST_SERVERS();
  const std::wstring full = test::TestServers()->FullDevice().wstring();
  CreateRunLogAt(full);
  // Wine shows no attributes for a device: the log is on it when the first line cannot be written.
  AppendLog(L"first");
  if (LogWriteFailures().nLines != 1) {
    CloseRunLog();
    GTEST_SKIP() << "no link to a full device at " << test::TestServers()->FullDevice().string();
  }
  // From several threads at once, as the workers log.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 25; ++i) EXPECT_NO_THROW(AppendLog(L"a line that finds no room"));
    });
  }
  for (auto& thread : threads) thread.join();
  const TLogWriteFailures lost = LogWriteFailures();
  EXPECT_EQ(lost.nLines, 101u);
  EXPECT_EQ(lost.strFirstError, SystemErrorText(ERROR_DISK_FULL));
  CloseRunLog();

  // A new log starts with nothing lost.
  CreateRunLog();
  AppendLog(L"written");
  EXPECT_EQ(LogWriteFailures().nLines, 0u);
  CloseRunLog();
}

}  // namespace
}  // namespace sf
