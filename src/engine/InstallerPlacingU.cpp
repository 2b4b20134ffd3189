// Placing files: the unpack folder of a new installation and its move into place, the update's database
// clean-up, and the removal of what a new installation that did not complete left behind.
#include "common/ConstantsU.h"
#include "common/DiskSpaceU.h"
#include "common/ErrorU.h"
#include "common/FileOpsU.h"
#include "common/TextU.h"
#include "common/Utils.h"
#include "common/WinErrorU.h"
#include "engine/EngineTextsU.h"
#include "engine/InstallerThreadU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"

namespace sf {

namespace {

constexpr const wchar_t* kKeptDatabaseFolders[] = {L"cotationgrid", L"desktops", L"assetidlists"};
// The unpack folder may still be held by a worker that did not leave in time.
constexpr int kDiscardAttempts = 50;
constexpr DWORD kDiscardPauseMs = 100;

std::wstring NewInstallUnpackFolder() {
  return Trim(EnvironmentVariable(L"APPDATA") + L"\\" + CompanyName + L"\\temp_install_" + ProductId + L"\\");
}

// Runs a step whose failure is only logged.
template <typename Step>
void Logged(const std::wstring& prefix, Step step) {
  try {
    step();
  } catch (const std::exception& e) {
    AppendLog(prefix + ExceptionMessage(e));
  }
}

void ShellDeleteOrRaise(const std::wstring& folder) {
  if (!DeleteFolder(folder)) throw TError(L"Could not delete " + folder);
}

}  // namespace

bool BackupAndDeleteDatabaseFiles(const std::wstring& folder) {
  const std::wstring database = folder + L"database";
  const std::wstring backup = folder + L"database_backup";
  Logged(L"BackupAndDeleteDatabaseFiles: delete database_backup before backup Error=", [&] {
    if (DirectoryExists(backup)) ShellDeleteOrRaise(backup);
  });
  for (const wchar_t* kept : kKeptDatabaseFolders) {
    Logged(L"BackupAndDeleteDatabaseFiles: Move (" + database + L"\\" + kept + L" Error=",
           [&] { MoveFolder(database + L"\\" + kept, backup + L"\\" + kept); });
  }
  const bool deleted = DeleteFolder(database);
  for (const wchar_t* kept : kKeptDatabaseFolders) {
    Logged(L"BackupAndDeleteDatabaseFiles: Restore (" + database + L"\\" + kept + L" Error=",
           [&] { MoveFolder(backup + L"\\" + kept, database + L"\\" + kept); });
  }
  try {
    return DeleteFolder(backup);
  } catch (const std::exception& e) {
    AppendLog(L"BackupAndDeleteDatabaseFiles: delete database_backup Error=" + ExceptionMessage(e));
    return deleted;
  }
}

void TInstallerThread::WMSetNewInstall() {
  m_bNewInstall.store(true);
  m_strTempDownloadPath = NewInstallUnpackFolder();
  if (DirectoryExists(m_strTempDownloadPath)) DeleteTree(m_strTempDownloadPath);  // left by an earlier run
  ForceDirectories(m_strTempDownloadPath);
  AppendLog(L"WMSetNewInstall TempDir=" + m_strTempDownloadPath +
            L" DirExists=" + (DirectoryExists(m_strTempDownloadPath) ? L"True" : L"False"));
}

void TInstallerThread::WMSetUpdateOnly() {
  AppendLog(L"WMSetUpdateOnly");
  m_bNewInstall.store(false);
  m_strTempDownloadPath = InstallPath();
}

bool TInstallerThread::MoveIntoPlace() {
  const std::wstring target = InstallPath();
  AppendLog(L"WMUpdateProgress New Install, Path=" + target);
  std::wstring errors;
  bool placed = false;
  Logged(L"TInstallerThread.MoveIntoPlace: ", [&] {
    MoveFolder(m_strTempDownloadPath, target);
    placed = true;
  });
  if (!placed) placed = DeleteAndInstall(target, errors);
  if (!placed) placed = RecursiveDeleteAndInstall(target, m_strTempDownloadPath, errors);
  if (placed) {
    if (DirectoryExists(m_strTempDownloadPath)) DeleteTree(m_strTempDownloadPath);
    return true;
  }
  const std::wstring report = errors.empty() ? L"Erro desconhecido ao tentar mover arquivos temporários." : errors;
  SilentException(L"TInstallerThread", TError(report));
  if (m_bPlacingRanOutOfSpace) {
    StopForDiskFull(target, report);
    return false;
  }
  // What was not placed stays where it is for the next attempt; nothing is registered.
  m_bKeepUnpackFolder = true;
  AbortRun(EngineTexts().unexpectedError);
  return false;
}

bool TInstallerThread::DeleteAndInstall(const std::wstring& installFolder, std::wstring& errors) {
  try {
    AppendLog(L"TInstallerThread.DeleteAndInstall InstallFolder=" + installFolder + L" Temp=" + m_strTempDownloadPath);
    DeleteTree(InstallPath());
    MoveFolder(m_strTempDownloadPath, installFolder);
    return true;
  } catch (const std::exception& e) {
    errors += L"TInstallerThread.DeleteAndInstall Exception: " + ExceptionMessage(e) + L"\r\n";
    return false;
  }
}

bool TInstallerThread::RecursiveDeleteAndInstall(const std::wstring& installFolder, const std::wstring& currFolder,
                                                 std::wstring& errors) {
  AppendLog(L"TInstallerThread.RecursiveDeleteAndInstall: InstallFolder=" + installFolder +
            L" CurrFolder=" + currFolder + L" Temp=" + m_strTempDownloadPath);
  bool result = true;
  std::vector<std::wstring> folders;
  WIN32_FIND_DATAW data;
  TScopedFindHandle find(::FindFirstFileW((IncludeTrailingBackslash(currFolder) + L"*").c_str(), &data));
  if (find) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring source = IncludeTrailingBackslash(currFolder) + name;
      // A link in the unpack folder is never followed: the guarded move refuses it like any other.
      const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !link) {
        folders.push_back(source);
        continue;
      }
      const std::wstring target = installFolder + source.substr(m_strTempDownloadPath.size());
      AppendLog(L"TInstallerThread.RecursiveDeleteAndInstall: Copying to=" + target + L" Source=" + source);
      try {
        MoveFileReplacing(source, target);
      } catch (const std::exception& e) {
        AppendLog(L"TInstallerThread.RecursiveDeleteAndInstall: " + ExceptionMessage(e));
        const auto* failure = dynamic_cast<const TWinError*>(&e);
        if (failure && IsOutOfSpaceSystemError(failure->Code())) m_bPlacingRanOutOfSpace = true;
        errors += L"Falha ao deletar: " + source + L"\r\n";
        result = false;
      }
    } while (::FindNextFileW(find.Get(), &data));
  }
  find.Close();
  for (const auto& folder : folders) {
    result = RecursiveDeleteAndInstall(installFolder, folder, errors) && result;
    // Only an emptied folder goes: a file that could not be placed stays for the next attempt.
    ::RemoveDirectoryW(folder.c_str());
  }
  return result;
}

void TInstallerThread::DiscardUnpackFolder() {
  // Only ever the new installation's own unpack folder: an update unpacks into the installation itself.
  const std::wstring folder = m_strTempDownloadPath;
  if (!m_bNewInstall.load() || m_bKeepUnpackFolder || folder.empty() || folder != NewInstallUnpackFolder()) return;
  for (int attempt = 0; attempt < kDiscardAttempts && DirectoryExists(folder); ++attempt) {
    if (attempt > 0) ::Sleep(kDiscardPauseMs);
    Logged(L"TInstallerThread.DiscardUnpackFolder: ", [&] { DeleteTree(folder); });
  }
  if (DirectoryExists(folder)) {
    std::wstring left;
    ForEachFileBelow(folder, [&](const std::wstring& path) { left += L" " + path; });
    AppendLog(L"TInstallerThread.DiscardUnpackFolder: could not remove " + folder + L":" + left);
  }
}

void TInstallerThread::StopForDiskFull(const std::wstring& folder, const std::wstring& detail) {
  AppendLog(L"TInstallerThread.StopForDiskFull: No space left in " + folder + L": " + detail);
  AbortRun(DiskFullText(folder));
}

}  // namespace sf
