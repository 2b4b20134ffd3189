// Placing files. A new installation unpacks into its own folder and moves it into place with one rename;
// a folder of that name that no installation owns is renamed aside, never deleted. An update unpacks into
// a staging folder and swaps the verified files in (InstallationSwapU). Also: the recovery of updates that
// earlier runs left unfinished, and the removal of what a run that did not complete unpacked.
#include "common/ConstantsU.h"
#include "common/DiskSpaceU.h"
#include "common/ErrorU.h"
#include "common/LocalTimeU.h"
#include "common/TextU.h"
#include "common/TimeTextU.h"
#include "common/WinErrorU.h"
#include "engine/EngineTextsU.h"
#include "engine/InstallationRulesU.h"
#include "engine/InstallerThreadU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "logging/TestPauseU.h"
#include "transfer/FileOpsU.h"

namespace sf {

std::wstring CurrentCompanyFolder() { return CompanyFolder(EnvironmentVariable(L"APPDATA")); }

namespace {

// The unpack folder may still be held by a worker that did not leave in time.
constexpr int kDiscardAttempts = 50;
constexpr DWORD kDiscardPauseMs = 100;

std::wstring NewInstallUnpackFolder() { return Trim(CurrentCompanyFolder() + L"\\temp_install_" + ProductId + L"\\"); }

// Renames the folder to its name followed by the date and time, and a number when that is taken too: a
// name no installation can have, since installation names hold no blank.
std::wstring SetAside(const std::wstring& folder) {
  const std::wstring base = WithoutTrailingBackslash(folder) + L" (" + RunStamp(LocalTimeNow()) + L")";
  std::wstring aside = base;
  for (int n = 2; DirectoryExists(aside) || FileExists(aside); ++n) aside = base + L" " + std::to_wstring(n);
  MoveWithinVolume(folder, aside);
  AppendLog(L"TInstallerThread.MoveIntoPlace: " + folder + L" belongs to no installation; it was renamed " + aside +
            L" and is left for the user");
  return aside;
}

bool RanOutOfSpace(const std::exception& error) {
  const auto* failure = dynamic_cast<const TWinError*>(&error);
  return failure != nullptr && IsOutOfSpaceSystemError(failure->Code());
}

}  // namespace

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
  // Before anything else touches the installation: the user's database comes back first.
  MergeDatabaseBackup(InstallPath());
  // The start of the run recovered every update it could; one it could not must not be staged over.
  const TUpdateFolders folders = UpdateFolders();
  std::vector<TFinishedSwap> finished;
  if (DirectoryExists(folders.strRoot) && !RecoverInterruptedUpdate(folders, finished)) {
    throw TError(L"The update of " + InstallPath() + L" cannot begin: an earlier update's swap in " +
                 folders.strRoot + L" could be neither finished nor undone");
  }
  m_strTempDownloadPath = folders.strStaging;
}

TUpdateFolders TInstallerThread::UpdateFolders() const {
  return UpdateFoldersFor(CurrentCompanyFolder(), RegistryFolderName());
}

void TInstallerThread::RecoverUpdates() {
  try {
    for (const auto& swap : RecoverInterruptedUpdates(CurrentCompanyFolder())) {
      RefreshUninstallEntry(swap.strRegistryFolder, swap.strInstallFolder);
    }
  } catch (const std::exception& e) {
    // Whatever could not be recovered stays for the next run; an update of it refuses to begin.
    AppendLog(L"TInstallerThread.RecoverUpdates: " + ExceptionMessage(e));
  }
}

void TInstallerThread::PlaceAndRecord() {
  if (!(m_bNewInstall.load() ? MoveIntoPlace() : SwapUpdateIntoPlace())) return;
  TestPausePoint(L"registry");
  WriteRegistry();
  // Kept until the registry describes the new version: a run that finds it complete puts that right.
  if (!m_bNewInstall.load() && m_bRunSucceeded) DiscardUnpackFolder();
}

bool TInstallerThread::MoveIntoPlace() {
  const std::wstring target = InstallPath();
  AppendLog(L"WMUpdateProgress New Install, Path=" + target);
  std::wstring aside;
  try {
    if (DirectoryExists(target) || FileExists(WithoutTrailingBackslash(target))) aside = SetAside(target);
    MoveWithinVolume(m_strTempDownloadPath, target);
    return true;
  } catch (const std::exception& e) {
    const std::wstring message = ExceptionMessage(e);
    AppendLog(L"TInstallerThread.MoveIntoPlace: " + message);
    if (!aside.empty()) {
      try {
        MoveWithinVolume(aside, target);  // nothing was installed: the user's folder goes back
      } catch (const std::exception& back) {
        AppendLog(L"TInstallerThread.MoveIntoPlace: " + ExceptionMessage(back));
      }
    }
    SilentException(L"TInstallerThread", TError(message));
    if (RanOutOfSpace(e)) {
      StopForDiskFull(target, message);
    } else {
      AbortRun(EngineTexts().unexpectedError);
    }
    return false;
  }
}

bool TInstallerThread::SwapUpdateIntoPlace() {
  const std::wstring target = InstallPath();
  AppendLog(L"TInstallerThread.SwapUpdateIntoPlace: Path=" + target);
  try {
    SwapIntoPlace(UpdateFolders(), target, m_VersionFiles);
    return true;
  } catch (const TSwapError& e) {
    // Undone already: the installation is as it was, and the staged files wait for a retry.
    switch (e.Failure()) {
      case TSwapFailure::FileInUse:
        m_bSwapAwaitsRetry = true;
        AskAboutFileInUse(L"TInstallerThread.SwapUpdateIntoPlace: Swap");
        break;
      case TSwapFailure::DiskFull:
        StopForDiskFull(target, e.Message());
        break;
      case TSwapFailure::Other:
        SilentException(L"TInstallerThread", e);
        AbortRun(EngineTexts().unexpectedError);
        break;
    }
    return false;
  }
}

void TInstallerThread::DiscardUnpackFolder() {
  if (!m_bNewInstall.load()) {
    // Only an update that got as far as its staging folder has one.
    if (m_strTempDownloadPath.empty()) return;
    try {
      FinishUpdate(UpdateFolders());
    } catch (const std::exception& e) {
      AppendLog(L"TInstallerThread.DiscardUnpackFolder: " + ExceptionMessage(e));  // the next run recovers it
    }
    return;
  }
  const std::wstring folder = m_strTempDownloadPath;
  if (folder.empty() || folder != NewInstallUnpackFolder()) return;
  DiscardFolder(folder, L"TInstallerThread.DiscardUnpackFolder", kDiscardAttempts, kDiscardPauseMs);
}

void TInstallerThread::StopForDiskFull(const std::wstring& folder, const std::wstring& detail) {
  AppendLog(L"TInstallerThread.StopForDiskFull: No space left in " + folder + L": " + detail);
  AbortRun(DiskFullText(folder));
}

}  // namespace sf
