// Recording an installation: the product's keys, the uninstall entry, the two shortcuts, and starting the
// product.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/FileFactsU.h"
#include "common/LanguageU.h"
#include "common/RegistryU.h"
#include "common/WinErrorU.h"
#include "engine/EngineTextsU.h"
#include "engine/ExitCodeU.h"
#include "engine/InstallerThreadU.h"
#include "engine/ManifestTrustU.h"
#include "engine/MessagesU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "transfer/FileOpsU.h"

namespace sf {

namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD kPortugueseBrazil = 1046;

void Check(LONG status, const std::wstring& what) {
  if (status != ERROR_SUCCESS) throw TWinError(what, static_cast<DWORD>(status));
}

void WriteProductValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  TRegKey reg;
  Check(reg.Create(HKEY_CURRENT_USER, key), L"RegCreateKeyEx " + key);
  Check(reg.WriteString(name, value), L"RegSetValueEx " + key + L"\\" + name);
}

// The whole shell-link sequence in one place. Like the shell itself, a link that cannot be saved is
// simply missing; only a shell that cannot make link objects at all is an error.
void SaveShellLink(const std::wstring& target, const std::wstring& linkPath) {
  ComPtr<IShellLinkW> link;
  const HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link));
  if (FAILED(hr)) throw TWinError(L"CoCreateInstance(ShellLink)", static_cast<DWORD>(hr));
  link->SetPath(target.c_str());
  link->SetArguments(L"");
  link->SetDescription(L"");
  link->SetWorkingDirectory(L"");
  ComPtr<IPersistFile> file;
  if (SUCCEEDED(link.As(&file))) file->Save(linkPath.c_str(), FALSE);
}

std::wstring UninstallKeyOf(const std::wstring& registryFolder) {
  return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + registryFolder;
}

// "EstimatedSize": the installation folder's size in kibibytes.
DWORD SizeKiB(const std::wstring& installFolder) { return static_cast<DWORD>(FolderSize(installFolder, true) / 1024); }

std::wstring ShortcutFileName(const std::wstring& name) {
  return name.empty() ? std::wstring(ShortcutName) + L".lnk" : std::wstring(ShortcutName) + L" (" + name + L").lnk";
}

}  // namespace

void RefreshUninstallEntry(const std::wstring& registryFolder, const std::wstring& installFolder) {
  TRegKey uninstall;
  if (uninstall.Open(HKEY_CURRENT_USER, UninstallKeyOf(registryFolder), KEY_READ | KEY_WRITE) != ERROR_SUCCESS) return;
  const std::wstring version = FileVersionText(installFolder + ProductExeName, true);
  const bool written = uninstall.WriteString(L"DisplayVersion", version) == ERROR_SUCCESS &&
                       uninstall.WriteDword(L"EstimatedSize", SizeKiB(installFolder)) == ERROR_SUCCESS &&
                       uninstall.WriteString(L"Version", version) == ERROR_SUCCESS;
  AppendLog(L"RefreshUninstallEntry: " + registryFolder + L" Version=" + version +
            (written ? L"" : L" (the entry could not be written)"));
}

void TInstallerThread::WriteRegistry() {
  try {
    AppendLog(L"WriteRegistry");
    PostText(Window(), WM_SET_PROGRESS_MSG, FinishingText());
    const std::wstring folder = RegistryFolderName();
    const std::wstring path = InstallPath();
    const std::wstring exe = path + ProductExeName;
    if (m_bNewInstall.load()) {
      const std::wstring base = std::wstring(L"Software\\") + CompanyName + L"\\" + folder + L"\\1.0";
      WriteProductValue(base, L"Dir", path);
      WriteProductValue(base + L"\\Default", L"IsDarkTheme", L"1");
      WriteProductValue(base + L"\\Preferences", L"Language", std::to_wstring(static_cast<int>(CurrentLanguage())));
    }
    TRegKey uninstall;
    if (uninstall.Create(HKEY_CURRENT_USER, UninstallKeyOf(folder)) == ERROR_SUCCESS) {
      const std::wstring version = FileVersionText(exe, true);
      const DWORD sizeKiB = SizeKiB(path);
      const std::wstring display =
          m_strQuillonName.empty() ? std::wstring(DisplayName) : std::wstring(DisplayName) + L" (" + m_strQuillonName + L")";
      Check(uninstall.WriteString(L"DisplayName", display), L"DisplayName");
      Check(uninstall.WriteString(L"DisplayIcon", exe), L"DisplayIcon");
      Check(uninstall.WriteString(L"DisplayVersion", version), L"DisplayVersion");
      Check(uninstall.WriteString(L"InstallLocation", path), L"InstallLocation");
      Check(uninstall.WriteString(L"Publisher", PublisherName), L"Publisher");
      Check(uninstall.WriteDword(L"NoModify", 1), L"NoModify");
      Check(uninstall.WriteDword(L"NoRepair", 1), L"NoRepair");
      Check(uninstall.WriteDword(L"EstimatedSize", sizeKiB), L"EstimatedSize");
      Check(uninstall.WriteDword(L"Language", kPortugueseBrazil), L"Language");
      Check(uninstall.WriteString(L"Version", version), L"Version");
      Check(uninstall.WriteString(L"UninstallString", L"\"" + path + L"Desinstalar.exe\""), L"UninstallString");
    }
  } catch (const std::exception& e) {
    RecordFailure(L"TInstallerThread.WriteRegistry: Exception=" + ExceptionMessage(e), e);
    return;
  }
  CreateShortcuts();
}

void TInstallerThread::CreateShortcuts() {
  try {
    AppendLog(L"CreateShortcuts");
    const std::wstring exe = InstallPath() + ProductExeName;
    const std::wstring fileName = ShortcutFileName(m_strQuillonName);

    const std::wstring desktopLink = UserShellFolder(L"Desktop") + L"\\" + fileName;
    AppendLog(desktopLink);
    SaveShellLink(exe, desktopLink);

    const std::wstring menuFolder = UserShellFolder(L"Programs") + L"\\" + CompanyName + L"\\";
    if (!DirectoryExists(menuFolder)) {
      AppendLog(L"Create Dir: " + menuFolder);
      if (!ForceDirectories(menuFolder)) throw TWinError(L"CreateDirectory " + menuFolder);
    }
    const std::wstring menuLink = menuFolder + fileName;
    AppendLog(menuLink);
    SaveShellLink(exe, menuLink);
  } catch (const std::exception& e) {
    RecordFailure(L"TInstallerThread.CreateShortcuts: Exception=" + ExceptionMessage(e), e);
    return;
  }
  if (m_nManifestSerial != 0) {
    // Only a completed run raises the serial: a manifest whose installation failed may be tried again.
    const LONG status = RecordManifestSerial(m_nManifestSerial);
    AppendLog(L"TInstallerThread.CreateShortcuts: ManifestSerial=" + std::to_wstring(m_nManifestSerial) +
              (status == ERROR_SUCCESS ? L"" : L" not recorded: " + SystemErrorText(static_cast<DWORD>(status))));
  }
  m_bRunEnded = true;
  m_bRunSucceeded = true;
  if (Unattended()) {
    EndProgram(TExitCode::Success);
  } else {
    ShowPage(Page::InstallDone);
  }
}

// A registry or shortcut failure ends the run: unattended with exit code -1; interactive with a silent
// report and the two failure notifications, on which the window shows the aborted page.
void TInstallerThread::RecordFailure(const std::wstring& logLine, const std::exception& error) {
  AppendLog(logLine);
  m_bRunEnded = true;
  if (Unattended()) {
    EndProgram(TExitCode::UnexpectedError);
    return;
  }
  SilentException(L"TInstallerThread", error);
  PostText(Window(), WM_SET_ERROR_MESSAGE, EngineTexts().unexpectedError);
  PostPlain(Window(), WM_SETUP_STATUS, kSetupStatusFailed);
}

void TInstallerThread::WMRunQuillon() {
  const std::wstring exe = InstallPath() + ProductExeName;
  ::ShellExecuteW(nullptr, L"open", exe.c_str(), L"", nullptr, SW_SHOWNORMAL);
  PostPlain(Window(), WM_QUIT);
}

}  // namespace sf
