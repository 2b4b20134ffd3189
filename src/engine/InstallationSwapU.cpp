#include "engine/InstallationSwapU.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "common/ConstantsU.h"
#include "common/DigestU.h"
#include "common/DiskSpaceU.h"
#include "common/PathRulesU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "logging/LogU.h"
#include "logging/TestPauseU.h"
#include "transfer/FileOpsU.h"

namespace sf {

namespace {

constexpr const wchar_t* kKeptDatabaseFolders[] = {L"cotationgrid", L"desktops", L"assetidlists"};
constexpr const wchar_t* kDatabaseFolder = L"database\\";

// The kept folders of an installation's database, which updates leave where they are.
bool IsKeptDatabaseFolder(const std::wstring& name) {
  return std::any_of(std::begin(kKeptDatabaseFolders), std::end(kKeptDatabaseFolders),
                     [&](const wchar_t* kept) { return IsSameFileName(name, kept); });
}

// The version's files by FileNameKey of their paths, with their digests.
using TDigests = std::map<std::wstring, std::wstring>;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool HoldsFiles(const std::wstring& folder) {
  bool any = false;
  if (DirectoryExists(folder)) ForEachFileBelow(folder, [&](const std::wstring&) { any = true; });
  return any;
}

void RemoveIfThere(const std::wstring& folder) {
  if (DirectoryExists(folder)) DeleteTree(folder);
}

bool HasDigest(const std::wstring& path, const std::wstring& md5) {
  try {
    return FileExists(path) && EqualsIgnoreCaseInLocale(FileMD5Hex(path), md5);
  } catch (const std::exception&) {
    return false;  // held open for writing: not a file to rely on
  }
}

// The three places of one entry's content.
struct TPlaces {
  std::wstring installed, staged, rolledBack;
};

TPlaces PlacesOf(const TUpdateFolders& folders, const std::wstring& installFolder, const TSwapEntry& entry) {
  return {installFolder + entry.strPath, folders.strStaging + entry.strPath, folders.strRollback + entry.strPath};
}

// The moves the entry still needs, in the swap's order: the old content out, then the new file in.
void MoveForward(const TPlaces& at, TSwapAction action) {
  if (action == TSwapAction::Clean) {
    if (Exists(at.installed)) MoveWithinVolume(at.installed, at.rolledBack);
    return;
  }
  if (!Exists(at.staged)) return;  // in place already
  if (action == TSwapAction::Replace && Exists(at.installed)) MoveWithinVolume(at.installed, at.rolledBack);
  MoveWithinVolume(at.staged, at.installed);
}

// The moves done for the entry, undone: the new file back to staging, the old content back in place.
void MoveBack(const TPlaces& at, TSwapAction action) {
  // The new file took its place only after the old one went out: a Replace whose old file never left was
  // never touched, whatever became of its staged file.
  const bool newInPlace = action != TSwapAction::Clean && !Exists(at.staged) && Exists(at.installed) &&
                          (action == TSwapAction::Add || Exists(at.rolledBack));
  if (newInPlace) MoveWithinVolume(at.installed, at.staged);
  if (Exists(at.rolledBack)) MoveWithinVolume(at.rolledBack, at.installed);
}

TSwapEntryState StateOf(const TPlaces& at, const TSwapEntry& entry) {
  if (entry.action == TSwapAction::Clean) return {Exists(at.rolledBack), true};
  const bool staged = Exists(at.staged);
  return {!staged || Exists(at.rolledBack), HasDigest(staged ? at.staged : at.installed, entry.strMd5)};
}

void RollForward(const TUpdateFolders& folders, const TSwapJournal& journal) {
  for (const auto& entry : journal.entries) MoveForward(PlacesOf(folders, journal.strInstallFolder, entry), entry.action);
}

// Undoes every move done under the journal, then lets the journal go. Every entry is tried, whatever
// another one met; raises TError (the journal stays) when anything remains in the rollback folder.
void UndoSwap(const TUpdateFolders& folders, const TSwapJournal& journal) {
  std::wstring failures;
  for (auto entry = journal.entries.rbegin(); entry != journal.entries.rend(); ++entry) {
    try {
      MoveBack(PlacesOf(folders, journal.strInstallFolder, *entry), entry->action);
    } catch (const std::exception& e) {
      failures += L" " + ExceptionMessage(e) + L";";
    }
  }
  if (!failures.empty() || HoldsFiles(folders.strRollback)) {
    throw TError(L"The swap into " + journal.strInstallFolder + L" could not be undone in full; " + folders.strRoot +
                 L" stays for the next run:" + failures);
  }
  RemoveIfThere(folders.strRollback);
  if (!::DeleteFileW(folders.strJournal.c_str())) throw TWinError(L"DeleteFile " + folders.strJournal);
}

bool VersionHasFileBelow(const TDigests& digests, const std::wstring& folder) {
  const std::wstring prefix = FileNameKey(folder + L"\\");
  const auto next = digests.lower_bound(prefix);
  return next != digests.end() && next->first.rfind(prefix, 0) == 0;
}

// What of the database the version no longer keeps: everything beside the kept folders that is not a
// file of the version, as whole folders wherever the version has nothing below them.
void PlanDatabaseClean(const std::wstring& installFolder, const std::wstring& folder, const TDigests& digests,
                       std::vector<TSwapEntry>& entries) {
  std::vector<TFolderEntry> found;
  ForEachEntryIn(installFolder + folder, [&](const TFolderEntry& entry) { found.push_back(entry); });
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.strName < b.strName; });
  for (const auto& entry : found) {
    const std::wstring path = folder + entry.strName;
    if (folder == kDatabaseFolder && IsKeptDatabaseFolder(entry.strName)) continue;
    if (entry.bFolder && !entry.bLink && VersionHasFileBelow(digests, path)) {
      PlanDatabaseClean(installFolder, path + L"\\", digests, entries);
    } else if (entry.bFolder || !digests.contains(FileNameKey(path))) {
      entries.push_back({TSwapAction::Clean, path, {}});
    }
  }
}

TSwapJournal PlanSwap(const TUpdateFolders& folders, const std::wstring& installFolder,
                      const std::vector<TVersionFile>& version) {
  TDigests digests;
  for (const auto& file : version) digests[FileNameKey(file.strPath)] = file.strMd5;
  TSwapJournal journal{installFolder, {}, true, false};
  if (DirectoryExists(folders.strStaging)) {
    ForEachFileBelow(folders.strStaging, [&](const std::wstring& staged) {
      const std::wstring path = staged.substr(folders.strStaging.size());
      const auto digest = digests.find(FileNameKey(path));
      if (digest == digests.end()) {
        AppendLog(L"SwapIntoPlace: " + staged + L" is no file of the version; it is left out");
        return;
      }
      journal.entries.push_back(
          {Exists(installFolder + path) ? TSwapAction::Replace : TSwapAction::Add, path, digest->second});
    });
  }
  std::sort(journal.entries.begin(), journal.entries.end(),
            [](const auto& a, const auto& b) { return a.strPath < b.strPath; });
  // After every file, so that the database content goes only in a swap that got that far.
  if (DirectoryExists(installFolder + kDatabaseFolder)) {
    PlanDatabaseClean(installFolder, kDatabaseFolder, digests, journal.entries);
  }
  return journal;
}

TSwapFailure FailureOf(const std::exception& error) {
  const auto* failure = dynamic_cast<const TWinError*>(&error);
  if (failure == nullptr) return TSwapFailure::Other;
  switch (failure->Code()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:
    case ERROR_USER_MAPPED_FILE:
      return TSwapFailure::FileInUse;
    default:
      return IsOutOfSpaceSystemError(failure->Code()) ? TSwapFailure::DiskFull : TSwapFailure::Other;
  }
}

std::wstring NameOf(const std::wstring& folder) { return ExtractFileName(WithoutTrailingBackslash(folder)); }

// The update's own folder, and the folder of all updates once no other update is in it. The journal goes
// last, and only once nothing is left in the rollback folder: a file that could not be removed there
// (held open, say) must not outlive the journal that explains it.
void RemoveUpdateFolders(const TUpdateFolders& folders) {
  RemoveIfThere(folders.strRollback);
  RemoveIfThere(folders.strStaging);
  if (HoldsFiles(folders.strRollback)) {
    AppendLog(L"RemoveUpdateFolders: " + folders.strRollback + L" could not be emptied; it stays with its journal");
    return;
  }
  RemoveIfThere(folders.strRoot);
  ::RemoveDirectoryW(ExtractFilePath(WithoutTrailingBackslash(folders.strRoot)).c_str());  // only an empty folder goes
}

}  // namespace

std::wstring UpdatesFolder(const std::wstring& companyFolder) {
  return IncludeTrailingBackslash(companyFolder) + L"update_" + ProductId + L"\\";
}

TUpdateFolders UpdateFoldersFor(const std::wstring& companyFolder, const std::wstring& registryFolderName) {
  const std::wstring root = UpdatesFolder(companyFolder) + registryFolderName + L"\\";
  return {root, root + L"staging\\", root + L"rollback\\", root + L"journal"};
}

void SwapIntoPlace(const TUpdateFolders& folders, const std::wstring& installFolder,
                   const std::vector<TVersionFile>& version) {
  const TSwapJournal journal = PlanSwap(folders, installFolder, version);
  const auto files = static_cast<std::size_t>(std::count_if(
      journal.entries.begin(), journal.entries.end(), [](const auto& e) { return e.action != TSwapAction::Clean; }));
  AppendLog(L"SwapIntoPlace: " + installFolder + L" Files=" + std::to_wstring(files) +
            L" Database entries to clean=" + std::to_wstring(journal.entries.size() - files));
  if (journal.entries.empty()) {
    RemoveUpdateFolders(folders);
    return;
  }
  // The whole plan is on the disk before the first move: whoever finds it can tell what happened.
  try {
    WriteFileDurably(folders.strJournal, FormatSwapJournal(journal));
  } catch (const std::exception& e) {
    // Nothing has moved: a full disk here is a swap that failed, and a part of a plan is no plan.
    ::DeleteFileW(folders.strJournal.c_str());
    throw TSwapError(ExceptionMessage(e), FailureOf(e));
  }
  try {
    for (const auto& entry : journal.entries) {
      MoveForward(PlacesOf(folders, installFolder, entry), entry.action);
      if (entry.action != TSwapAction::Clean) TestPausePoint(L"swap");
    }
  } catch (const std::exception& e) {
    const std::wstring message = ExceptionMessage(e);
    AppendLog(L"SwapIntoPlace: " + message + L". Rolling back...");
    UndoSwap(folders, journal);
    AppendLog(L"SwapIntoPlace: rolled back; " + installFolder + L" is as it was");
    throw TSwapError(message, FailureOf(e));
  }
  WriteFileDurably(folders.strJournal, SwapJournalCompleteLine(), true);
  RemoveIfThere(folders.strRollback);
  RemoveIfThere(folders.strStaging);
  AppendLog(L"SwapIntoPlace: complete");
}

void FinishUpdate(const TUpdateFolders& folders) {
  if (FileExists(folders.strJournal)) {
    const auto journal = ParseSwapJournal(ReadWholeFile(folders.strJournal));
    if (!journal || (journal->bPlanned && !journal->bComplete)) {
      AppendLog(L"FinishUpdate: the journal of an unfinished swap stays in " + folders.strRoot);
      return;
    }
  }
  RemoveUpdateFolders(folders);
}

bool RecoverInterruptedUpdate(const TUpdateFolders& folders, std::vector<TFinishedSwap>& finished) {
  const std::wstring key = NameOf(folders.strRoot);
  try {
    if (!FileExists(folders.strJournal)) {
      // The journal is written before the first move and removed after the rollback folder: without
      // one, nothing of the installation was moved.
      AppendLog(L"RecoverInterruptedUpdate: " + key + L": no swap began; the staged files are removed");
      if (HoldsFiles(folders.strRollback)) throw TError(L"the rollback folder holds files without a journal");
      RemoveUpdateFolders(folders);
      return true;
    }
    const auto journal = ParseSwapJournal(ReadWholeFile(folders.strJournal));
    if (!journal) throw TError(L"the journal " + folders.strJournal + L" cannot be read");
    const TSwapRecovery recovery = DecideSwapRecovery(*journal, [&](const TSwapEntry& entry) {
      return StateOf(PlacesOf(folders, journal->strInstallFolder, entry), entry);
    });
    AppendLog(L"RecoverInterruptedUpdate: " + key + L": the swap into " + journal->strInstallFolder + L" is " +
              SwapRecoveryName(recovery));
    switch (recovery) {
      case TSwapRecovery::Discard:
        if (HoldsFiles(folders.strRollback)) throw TError(L"the rollback folder holds files of a swap that never began");
        break;
      case TSwapRecovery::RollBack:
        UndoSwap(folders, *journal);
        break;
      case TSwapRecovery::RollForward:
        RollForward(folders, *journal);
        WriteFileDurably(folders.strJournal, SwapJournalCompleteLine(), true);
        [[fallthrough]];
      case TSwapRecovery::CleanUp:
        finished.push_back({key, journal->strInstallFolder});
        break;
    }
    RemoveUpdateFolders(folders);
    return true;
  } catch (const std::exception& e) {
    AppendLog(L"RecoverInterruptedUpdate: " + key + L": " + ExceptionMessage(e) +
              L"; the update's folders stay for the next run");
    return false;
  }
}

std::vector<TFinishedSwap> RecoverInterruptedUpdates(const std::wstring& companyFolder) {
  std::vector<TFinishedSwap> finished;
  const std::wstring updates = UpdatesFolder(companyFolder);
  if (!DirectoryExists(updates)) return finished;
  std::vector<std::wstring> keys;
  ForEachEntryIn(updates, [&](const TFolderEntry& entry) {
    if (entry.bFolder && !entry.bLink) keys.push_back(entry.strName);
  });
  for (const auto& key : keys) RecoverInterruptedUpdate(UpdateFoldersFor(companyFolder, key), finished);
  return finished;
}

void MergeDatabaseBackup(const std::wstring& installFolder) {
  const std::wstring backup = installFolder + L"database_backup";
  if (!DirectoryExists(backup)) return;
  if (WindowsPathFacts().IsLink(backup)) {
    AppendLog(L"MergeDatabaseBackup: " + backup + L" is a link; it is left alone");
    return;
  }
  const std::wstring database = installFolder + L"database";
  AppendLog(L"MergeDatabaseBackup: " + backup + L" is merged back into " + database);
  std::vector<std::wstring> files;
  ForEachFileBelow(backup, [&](const std::wstring& file) { files.push_back(file); });
  for (const auto& file : files) {
    const std::wstring target = database + file.substr(backup.size());
    if (Exists(target)) {
      AppendLog(L"MergeDatabaseBackup: " + target + L" exists; " + file + L" stays where it is");
      continue;
    }
    try {
      MoveWithinVolume(file, target);
    } catch (const std::exception& e) {
      AppendLog(L"MergeDatabaseBackup: " + ExceptionMessage(e));
    }
  }
  // Only emptied folders go: whatever stayed keeps its folder. Not DeleteTree, which would take the files
  // that stayed: RemoveDirectory removes only an empty folder, and links are never walked into.
  std::vector<std::wstring> folders{backup};
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const std::wstring folder = folders[i];
    ForEachEntryIn(folder, [&](const TFolderEntry& entry) {
      if (entry.bFolder && !entry.bLink) folders.push_back(folder + L"\\" + entry.strName);
    });
  }
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) ::RemoveDirectoryW(folder->c_str());
  if (DirectoryExists(backup)) AppendLog(L"MergeDatabaseBackup: " + backup + L" still holds files; it stays for the user");
}

}  // namespace sf
