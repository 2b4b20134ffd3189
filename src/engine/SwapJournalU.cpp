#include "engine/SwapJournalU.h"

#include <algorithm>

#include "common/TextU.h"

namespace sf {

namespace {

constexpr std::string_view kHeader = "Stormfinch swap journal 1";
constexpr std::string_view kFolder = "folder";
constexpr std::string_view kPlanned = "planned";
constexpr std::string_view kComplete = "complete";

constexpr struct {
  TSwapAction action;
  std::string_view name;
} kActions[] = {{TSwapAction::Replace, "replace"}, {TSwapAction::Add, "add"}, {TSwapAction::Clean, "clean"}};

std::string_view ActionName(TSwapAction action) {
  for (const auto& a : kActions) {
    if (a.action == action) return a.name;
  }
  return {};
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const std::size_t next = line.find(separator, at);
    parts.push_back(line.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
    if (next == std::string_view::npos) return parts;
    at = next + 1;
  }
}

// One entry line: action, digest (empty for Clean), path.
std::optional<TSwapEntry> ParseEntry(std::string_view line) {
  const auto parts = Split(line, '\t');
  if (parts.size() != 3 || parts[2].empty()) return std::nullopt;
  for (const auto& a : kActions) {
    if (a.name != parts[0]) continue;
    if ((a.action == TSwapAction::Clean) != parts[1].empty()) return std::nullopt;
    return TSwapEntry{a.action, FromUtf8(parts[2]), FromUtf8(parts[1])};
  }
  return std::nullopt;
}

}  // namespace

std::string SwapJournalCompleteLine() { return std::string(kComplete) + "\n"; }

std::string FormatSwapJournal(const TSwapJournal& journal) {
  std::string text = std::string(kHeader) + "\n" + std::string(kFolder) + "\t" + ToUtf8(journal.strInstallFolder) + "\n";
  for (const auto& entry : journal.entries) {
    text += std::string(ActionName(entry.action)) + "\t" + ToUtf8(entry.strMd5) + "\t" + ToUtf8(entry.strPath) + "\n";
  }
  if (journal.bPlanned) text += std::string(kPlanned) + "\n";
  if (journal.bComplete) text += SwapJournalCompleteLine();
  return text;
}

std::optional<TSwapJournal> ParseSwapJournal(std::string_view text) {
  // Only whole lines count: the last one may have been cut off by the end of the process.
  std::vector<std::string_view> lines = Split(text, '\n');
  lines.pop_back();
  const auto planned = std::find(lines.begin(), lines.end(), kPlanned);
  // A plan that never reached its end was never acted on, whatever it holds.
  if (planned == lines.end()) return TSwapJournal{};

  TSwapJournal journal;
  journal.bPlanned = true;
  if (lines.size() < 3 || lines[0] != kHeader) return std::nullopt;
  const auto folder = Split(lines[1], '\t');
  if (folder.size() != 2 || folder[0] != kFolder || folder[1].empty()) return std::nullopt;
  journal.strInstallFolder = FromUtf8(folder[1]);
  for (auto line = lines.begin() + 2; line != planned; ++line) {
    auto entry = ParseEntry(*line);
    if (!entry) return std::nullopt;
    journal.entries.push_back(std::move(*entry));
  }
  const auto after = planned + 1;
  if (after != lines.end()) {
    if (*after != kComplete || after + 1 != lines.end()) return std::nullopt;
    journal.bComplete = true;
  }
  return journal;
}

TSwapRecovery DecideSwapRecovery(const TSwapJournal& journal,
                                 const std::function<TSwapEntryState(const TSwapEntry&)>& look) {
  if (!journal.bPlanned) return TSwapRecovery::Discard;
  if (journal.bComplete) return TSwapRecovery::CleanUp;
  bool started = false;
  bool everyNewFileThere = true;
  for (const auto& entry : journal.entries) {
    const TSwapEntryState state = look(entry);
    started = started || state.bMoved;
    everyNewFileThere = everyNewFileThere && (entry.action == TSwapAction::Clean || state.bNewAvailable);
  }
  if (!started) return TSwapRecovery::Discard;
  return everyNewFileThere ? TSwapRecovery::RollForward : TSwapRecovery::RollBack;
}

const wchar_t* SwapRecoveryName(TSwapRecovery recovery) {
  switch (recovery) {
    case TSwapRecovery::Discard: return L"discarded";
    case TSwapRecovery::RollBack: return L"rolled back";
    case TSwapRecovery::RollForward: return L"rolled forward";
    case TSwapRecovery::CleanUp: return L"cleaned up";
  }
  return L"";
}

}  // namespace sf
