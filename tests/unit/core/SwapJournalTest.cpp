#include "engine/SwapJournalU.h"

#include <gtest/gtest.h>

#include <map>

namespace sf {
namespace {

TSwapJournal Example() {
  return {L"C:\\Users\\u\\AppData\\Roaming\\Ardentis\\Stormfinch_ação\\",
          {{TSwapAction::Replace, L"bin\\plugins\\quotes.dll", L"0123456789ABCDEF0123456789ABCDEF"},
           {TSwapAction::Add, L"bin\\novo é.dll", L"FEDCBA9876543210FEDCBA9876543210"},
           {TSwapAction::Clean, L"database\\history", L""}},
          true,
          false};
}

void ExpectSame(const TSwapJournal& a, const TSwapJournal& b) {
  EXPECT_EQ(a.strInstallFolder, b.strInstallFolder);
  EXPECT_EQ(a.bPlanned, b.bPlanned);
  EXPECT_EQ(a.bComplete, b.bComplete);
  ASSERT_EQ(a.entries.size(), b.entries.size());
  for (std::size_t i = 0; i < a.entries.size(); ++i) {
    EXPECT_EQ(a.entries[i].action, b.entries[i].action) << i;
    EXPECT_EQ(a.entries[i].strPath, b.entries[i].strPath) << i;
    EXPECT_EQ(a.entries[i].strMd5, b.entries[i].strMd5) << i;
  }
}

TEST(SwapJournal, ReadsBackWhatItWroteAndTheCompleteMark) {
  TSwapJournal journal = Example();
  const std::string planned = FormatSwapJournal(journal);
  const auto read = ParseSwapJournal(planned);
  ASSERT_TRUE(read);
  ExpectSame(*read, journal);

  const auto complete = ParseSwapJournal(planned + SwapJournalCompleteLine());
  ASSERT_TRUE(complete);
  journal.bComplete = true;
  ExpectSame(*complete, journal);
  EXPECT_EQ(FormatSwapJournal(journal), planned + SwapJournalCompleteLine());
}

// A process ended at any byte of the writing: before the plan's last line nothing was moved under it;
// after it, the plan is whole.
TEST(SwapJournal, AJournalCutOffAnywhereIsReadForWhatReachedTheDisk) {
  const std::string text = FormatSwapJournal(Example());
  const std::size_t plannedEnds = text.size();
  const std::string complete = text + SwapJournalCompleteLine();
  for (std::size_t length = 0; length <= complete.size(); ++length) {
    SCOPED_TRACE(length);
    const auto read = ParseSwapJournal(std::string_view(complete).substr(0, length));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->bPlanned, length >= plannedEnds);
    EXPECT_EQ(read->bComplete, length == complete.size());
    if (!read->bPlanned) {
      EXPECT_TRUE(read->entries.empty());
      EXPECT_EQ(DecideSwapRecovery(*read, [](const TSwapEntry&) { return TSwapEntryState{true, false}; }),
                TSwapRecovery::Discard);
    } else {
      EXPECT_EQ(read->entries.size(), 3u);
    }
  }
}

TEST(SwapJournal, APlannedJournalThatCannotBeReadIsNoPlan) {
  const std::string good = FormatSwapJournal(Example());
  const auto damaged = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string cases[] = {
      damaged("Stormfinch swap journal 1", "Stormfinch swap journal 2"),
      damaged("folder\t", "folders\t"),
      damaged("replace\t", "rename\t"),
      damaged("clean\t\t", "clean\tABCD\t"),       // database content has no digest
      damaged("add\tFEDCBA9876543210FEDCBA9876543210", "add\t"),  // a file has one
      damaged("bin\\novo é.dll", ""),
      good + "complete\nplanned\n",
      good + "finished\n",
  };
  for (const auto& text : cases) EXPECT_FALSE(ParseSwapJournal(text)) << text;
}

TEST(SwapJournal, ASwapThatStartedFinishesWhenEveryNewFileIsThereAndIsUndoneOtherwise) {
  const TSwapJournal planned = Example();
  struct TCase {
    const char* name;
    TSwapJournal journal;
    std::map<std::wstring, TSwapEntryState> states;  // by path; missing: untouched, new file staged
    TSwapRecovery expected;
  };
  TSwapJournal complete = planned;
  complete.bComplete = true;
  const TSwapEntryState untouched{false, true};
  const TSwapEntryState moved{true, true};
  const TCase cases[] = {
      {"nothing moved yet", planned, {}, TSwapRecovery::Discard},
      {"one file in place, the other still staged", planned, {{L"bin\\plugins\\quotes.dll", moved}},
       TSwapRecovery::RollForward},
      {"every file in place, the database not yet cleaned", planned,
       {{L"bin\\plugins\\quotes.dll", moved}, {L"bin\\novo é.dll", moved}}, TSwapRecovery::RollForward},
      {"a staged file lost or damaged after the swap began", planned,
       {{L"bin\\plugins\\quotes.dll", moved}, {L"bin\\novo é.dll", {false, false}}}, TSwapRecovery::RollBack},
      {"the file moved in is not the new one", planned, {{L"bin\\plugins\\quotes.dll", {true, false}}},
       TSwapRecovery::RollBack},
      {"only database content moved", planned, {{L"database\\history", {true, true}}}, TSwapRecovery::RollForward},
      {"complete: only the clean-up is left", complete, {{L"bin\\novo é.dll", {true, false}}},
       TSwapRecovery::CleanUp},
      {"a plan that never reached the disk in full", TSwapJournal{}, {}, TSwapRecovery::Discard},
  };
  for (const auto& c : cases) {
    const auto look = [&](const TSwapEntry& entry) {
      const auto found = c.states.find(entry.strPath);
      return found == c.states.end() ? untouched : found->second;
    };
    EXPECT_EQ(DecideSwapRecovery(c.journal, look), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace sf
