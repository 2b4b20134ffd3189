// Updates that cannot break an installation. An update unpacks and verifies every new or changed file in
// a staging folder; only then does a swap, under a journal, put them in place: each installed file about
// to be replaced goes to a rollback folder and the staged file takes its place, and the database content
// the version no longer keeps goes to the rollback folder too. A swap that fails is undone at once; one
// that a killed process or a power cut interrupted is finished or undone by the next run (SwapJournalU has
// the rule). The user's kept database folders are never moved or copied.
//
// The folders of one installation's update live in the company folder, beside the installations: the
// same volume, so that every move is a rename, and inside the folder the path guard accepts.
//   <company>\update_stormfinch\<registry folder name>\staging\    the verified new files
//   <company>\update_stormfinch\<registry folder name>\rollback\   what the swap took out
//   <company>\update_stormfinch\<registry folder name>\journal     the swap's journal
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ErrorU.h"
#include "engine/SwapJournalU.h"

namespace sf {

struct TUpdateFolders {
  std::wstring strRoot;      // each ends in "\", but the journal
  std::wstring strStaging;
  std::wstring strRollback;
  std::wstring strJournal;
};

// The folder that holds every installation's update folders.
std::wstring UpdatesFolder(const std::wstring& companyFolder);
TUpdateFolders UpdateFoldersFor(const std::wstring& companyFolder, const std::wstring& registryFolderName);

// One file of the version being installed, as the manifest names it.
struct TVersionFile {
  std::wstring strPath;  // relative to the installation folder, "\" separators
  std::wstring strMd5;
};

enum class TSwapFailure : std::uint8_t {
  FileInUse,  // a running program holds a file, or access to one was denied
  DiskFull,
  Other,
};

// A swap that could not be done and was undone: the installation is as it was, the staged files are back
// in staging and no journal is left.
class TSwapError : public TError {
 public:
  TSwapError(const std::wstring& message, TSwapFailure failure) : TError(message), m_failure(failure) {}
  TSwapFailure Failure() const { return m_failure; }

 private:
  TSwapFailure m_failure;
};

// Puts the staged files in place of the installed ones (SwapJournalU's entries), under a journal, then
// removes the rollback and staging folders; the journal stays, marked complete, until FinishUpdate. Does
// nothing but remove the update's folders when nothing is staged and nothing is to be cleaned. Raises
// TSwapError after undoing a failed swap; a swap that could be neither done nor undone in full raises
// TError and leaves its journal for the next run.
void SwapIntoPlace(const TUpdateFolders& folders, const std::wstring& installFolder,
                   const std::vector<TVersionFile>& version);

// Removes the update's folders, once its swap is complete and recorded, or when it never began one.
// Leaves them, and logs why, while a journal of an unfinished swap is there.
void FinishUpdate(const TUpdateFolders& folders);

// A swap that a run finished (rolled forward, or cleaned up after) on behalf of an earlier one: the
// installation's registry entry may still describe the version before it.
struct TFinishedSwap {
  std::wstring strRegistryFolder;
  std::wstring strInstallFolder;
};

// Every run does this before it looks at the installations: finishes or undoes each swap that an earlier
// run left unfinished, and removes the staging of runs that ended before their swap. Logs what it did;
// an update that cannot be recovered now keeps its folders (and its journal) for the next run.
std::vector<TFinishedSwap> RecoverInterruptedUpdates(const std::wstring& companyFolder);
// The same for one installation's update folders. False when its journal had to stay.
bool RecoverInterruptedUpdate(const TUpdateFolders& folders, std::vector<TFinishedSwap>& finished);

// A "database_backup" folder that an earlier version of the installer left beside the database (it moved
// the kept folders there and died before moving them back) is merged back into "database": every file
// whose place there is free goes back. A file whose place is taken stays in database_backup, which then
// stays too, logged, for the user; nothing is ever deleted.
void MergeDatabaseBackup(const std::wstring& installFolder);

}  // namespace sf
