// The journal of an update's swap: every move that puts a verified version in place of the installed
// one, written in full (and flushed) before the first move and marked complete after the last. A run that
// finds a journal finishes or undoes the swap it describes, so a killed process or a power cut never
// leaves an installation that mixes two versions. Portable: the text and the recovery rule; the moves
// themselves are the engine's (InstallationSwapU).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sf {

enum class TSwapAction : std::uint8_t {
  Replace,  // the installed file goes to the rollback folder, then the staged file takes its place
  Add,      // the staged file takes a place where nothing was
  Clean,    // database content the version no longer keeps goes to the rollback folder
};

struct TSwapEntry {
  TSwapAction action = TSwapAction::Add;
  std::wstring strPath;  // relative to the installation folder, "\" separators
  std::wstring strMd5;   // the new file's digest (Replace, Add); empty for Clean
};

struct TSwapJournal {
  std::wstring strInstallFolder;  // the installation the moves act on, ending in "\"
  std::vector<TSwapEntry> entries;
  bool bPlanned = false;   // the plan reached the disk in full: moves may have happened under it
  bool bComplete = false;  // every move was done; only the clean-up may be missing
};

// The journal as UTF-8 text: a header line, the installation folder, one tab-separated line per entry,
// then "planned" and "complete" lines as far as the flags say.
std::string FormatSwapJournal(const TSwapJournal& journal);
// The line appended once every move is done.
std::string SwapJournalCompleteLine();

// Reads a journal. A text without its "planned" line (cut off while it was written) reads as an empty
// plan that was never acted on. Nothing (nullopt) when a planned journal cannot be read, since then
// nobody can tell which moves happened.
std::optional<TSwapJournal> ParseSwapJournal(std::string_view text);

// What a run that finds a journal does.
enum class TSwapRecovery : std::uint8_t {
  Discard,      // no move had happened: the staged files go, the installation is as it was
  RollBack,     // the moves done are undone: the old version is back
  RollForward,  // the remaining moves are done: the new version is in place
  CleanUp,      // every move was done already: only the staging and rollback folders go
};

// How one entry's files look now.
struct TSwapEntryState {
  bool bMoved = false;         // the swap acted on it: its staged file is gone, or something is in rollback
  bool bNewAvailable = false;  // the new file is there in full (its digest checked), staged or in place
};

// The rule: a swap that had started finishes when every new file is still there in full, and is undone
// otherwise; a swap that never started is discarded. `look` is asked about every entry (a Clean entry is
// moved once its content is in the rollback folder, and needs no new file).
TSwapRecovery DecideSwapRecovery(const TSwapJournal& journal,
                                 const std::function<TSwapEntryState(const TSwapEntry&)>& look);

const wchar_t* SwapRecoveryName(TSwapRecovery recovery);

}  // namespace sf
