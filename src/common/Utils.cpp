#include "common/Utils.h"

#include <windows.h>
#include <gdiplus.h>
#include <wrl/client.h>

#include <cstring>
#include <vector>

#include "common/ConstantsU.h"
#include "common/DigestU.h"
#include "common/FileOpsU.h"
#include "common/HexU.h"
#include "common/MachineIdU.h"
#include "common/RegistryU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "logging/LogU.h"
#include "logging/SystemDiagU.h"

namespace sf {

namespace {

constexpr unsigned kFirstWindows11Build = 22000;

std::wstring VolumeRootOfWindows() {
  wchar_t windows[MAX_PATH + 1] = {};
  wchar_t root[MAX_PATH + 1] = {};
  if (::GetWindowsDirectoryW(windows, MAX_PATH + 1) == 0) return {};
  if (!::GetVolumePathNameW(windows, root, MAX_PATH + 1)) return {};
  return root;
}

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return ::GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

std::wstring LocaleDateTimeText(const SYSTEMTIME& time) {
  wchar_t date[128] = {};
  wchar_t clock[128] = {};
  if (::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 128, nullptr) <= 0 ||
      ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, clock, 128) <= 0) {
    return SystemErrorText(::GetLastError());
  }
  return std::wstring(date) + L" " + clock;
}

}  // namespace

TLocalTime LocalTimeNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

bool CheckSingleInstance() {
  // Deliberately never closed: the mutex marks this process as the running installer until it ends.
  static TScopedKernelHandle mutex;
  mutex.Reset(::CreateMutexW(nullptr, TRUE, ProductId));
  const DWORD error = ::GetLastError();
  if (mutex && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return true;

  if (HWND other = ::FindWindowW(SetupFormClassName, DisplayName)) {
    if (::IsIconic(other)) ::ShowWindow(other, SW_RESTORE);
    ::SetForegroundWindow(other);
  }
  return false;
}

bool IsWindows10OrLater() {
  const TWindowsFacts facts = WindowsFacts();
  return WindowsVersionNameOf(facts).find(L"Windows 10") != std::wstring::npos || facts.nBuild >= kFirstWindows11Build;
}

bool Is64BitWindows() {
  try {
    // Older Windows versions always get the 32-bit packages, whatever their width.
    return IsWindows10OrLater() && IsWindows64BitForReport();
  } catch (...) {
  }
  // Not even a run log that cannot be written (a full disk) may turn this answer into an error.
  try {
    AppendLog(L"VexUtils.Is64BitWindows : Error= Failed to check for 64bit version. Invalid handle");
  } catch (...) {
  }
  return false;
}

std::uint32_t CreateMachineID() {
  // Two facts that survive restarts and updates but differ between machines: the serial number of the
  // volume Windows lives on (changes only when that volume is formatted) and the GUID Windows setup writes
  // once per installation. Together they still tell apart clones that share a disk image or a GUID. The
  // 64-bit registry view gives a 32-bit build the same GUID. Without a GUID the computer name stands in.
  DWORD serial = 0;
  const std::wstring root = VolumeRootOfWindows();
  if (!root.empty()) ::GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  std::wstring machineGuid;
  TRegKey cryptography;
  if (cryptography.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", KEY_READ | KEY_WOW64_64KEY) ==
      ERROR_SUCCESS) {
    cryptography.ReadString(L"MachineGuid", machineGuid);
  }
  if (Trim(machineGuid).empty()) machineGuid = ComputerName();
  return MachineIdFromFacts(serial, Trim(machineGuid));
}

std::wstring GetMachineIDText() {
  const std::uint32_t id = CreateMachineID();
  const unsigned char bytes[4] = {static_cast<unsigned char>(id >> 24), static_cast<unsigned char>(id >> 16),
                                  static_cast<unsigned char>(id >> 8), static_cast<unsigned char>(id)};
  return BytesToHex(bytes, sizeof(bytes));
}

std::wstring FileMD5Hex(const std::wstring& fileName) { return FileDigests(fileName, false).strMD5; }

std::wstring FileModifiedTimeText(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return SystemErrorText(::GetLastError());
  return FileTimeToLocalText(data.ftLastWriteTime);
}

std::wstring FileTimeToLocalText(const FILETIME& time) {
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!::FileTimeToSystemTime(&time, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return SystemErrorText(::GetLastError());
  }
  return LocaleDateTimeText(local);
}

std::wstring FileSizeText(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return SystemErrorText(::GetLastError());
  return std::to_wstring(data.nFileSizeLow);
}

bool DeleteFolder(const std::wstring& path) {
  // The guarded deletion rather than the shell's, which cannot be told to stay inside the installer's
  // folders nor to leave links unfollowed.
  const std::wstring folder = Trim(path);
  try {
    if (folder.empty() || !DirectoryExists(folder)) return false;
    DeleteTree(folder);
    return !DirectoryExists(folder);
  } catch (const std::exception&) {
    return false;
  }
}

namespace {

struct TPictureKind {
  const wchar_t* name;  // in messages
  const unsigned char* signature;
  std::size_t length;
};

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char kJpegSignature[] = {0xFF, 0xD8, 0xFF};

std::unique_ptr<Gdiplus::Bitmap> LoadPictureResource(const std::wstring& name, HMODULE module,
                                                     const TPictureKind& kind) {
  const std::wstring routine = std::wstring(L"Load") + kind.name + L"Resource: ";
  if (!module) module = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(module, name.c_str(), RT_RCDATA);
  if (!resource) throw TError(routine + L"resource not found: " + name);
  const DWORD size = ::SizeofResource(module, resource);
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) throw TWinError(routine + L"resource cannot be read: " + name);

  if (size < kind.length || std::memcmp(data, kind.signature, kind.length) != 0) {
    throw TError(routine + L"not a " + kind.name + L" picture: " + name);
  }

  // GDI+ reads pictures from a stream; the resource's memory is read-only, so the stream gets a copy.
  TScopedHGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, size));
  if (!copy) throw TWinError(routine + L"GlobalAlloc");
  void* target = ::GlobalLock(copy.Get());
  if (!target) throw TWinError(routine + L"GlobalLock");
  std::memcpy(target, data, size);
  ::GlobalUnlock(copy.Get());

  Microsoft::WRL::ComPtr<IStream> stream;
  const HRESULT hr = ::CreateStreamOnHGlobal(copy.Get(), TRUE, &stream);
  if (FAILED(hr)) {
    throw TError(routine + L"CreateStreamOnHGlobal failed, HRESULT " + HexCodeText(static_cast<std::uint32_t>(hr)));
  }
  copy.Release();  // the stream frees the memory now

  std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.Get()));
  const Gdiplus::Status status = bitmap ? bitmap->GetLastStatus() : Gdiplus::OutOfMemory;
  if (status != Gdiplus::Ok) {
    throw TError(routine + L"invalid " + kind.name + L" picture " + name + L" (GDI+ status " +
                 std::to_wstring(status) + L")");
  }
  return bitmap;
}

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(const std::wstring& name, HMODULE module) {
  return LoadPictureResource(name, module, {L"Png", kPngSignature, sizeof(kPngSignature)});
}

std::unique_ptr<Gdiplus::Bitmap> LoadJpegResource(const std::wstring& name, HMODULE module) {
  return LoadPictureResource(name, module, {L"Jpeg", kJpegSignature, sizeof(kJpegSignature)});
}

}  // namespace sf
