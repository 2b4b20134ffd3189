#include "transfer/PackageFileU.h"

#include <algorithm>
#include <cwctype>
#include <utility>

#include "common/ConstantsU.h"
#include "common/DiskSpaceU.h"
#include "common/PathGuardU.h"
#include "common/WinErrorU.h"
#include "transfer/FileOpsU.h"

namespace sf {

namespace {

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t kMaxIo = std::size_t{1} << 30;

// The guard of every other write of the installer: below the company folder, through no link.
void CheckGuarded(const wchar_t* operation, const std::wstring& path) {
  (void)Guarded(L"TPackageFolder", operation, path, TPathGuard::TLeaf::NotALink);
}

// A failed system call on a package or its folder: no room is a full disk, anything else an error.
[[noreturn]] void RaiseWinError(const std::wstring& what, DWORD code) {
  const TWinError failure(what, code);
  if (IsOutOfSpaceSystemError(code)) throw TDiskFullError(failure.Message());
  throw failure;
}

}  // namespace

std::wstring PackageFolderIn(const std::wstring& companyFolder) {
  return IncludeTrailingBackslash(companyFolder) + L"packages_" + ProductId + L"\\";
}

void DiscardPackageFolder(const std::wstring& folder) { DiscardFolder(folder, L"DiscardPackageFolder"); }

// --- TPackageFolder ------------------------------------------------------------------------------

TPackageFolder::TPackageFolder(std::wstring folder) : m_strPath(IncludeTrailingBackslash(folder)) {
  CheckGuarded(L"keep packages in", m_strPath);
  DiscardPackageFolder(m_strPath);
  if (!ForceDirectories(m_strPath)) RaiseWinError(L"Cannot create the package folder " + m_strPath, ::GetLastError());
}

TPackageFolder::~TPackageFolder() { DiscardPackageFolder(m_strPath); }

std::unique_ptr<TPackageFile> TPackageFolder::NewFile(const std::wstring& name) const {
  // The digest names the package in the folder; only its letters and digits, whatever the manifest says.
  std::wstring safe;
  std::copy_if(name.begin(), name.end(), std::back_inserter(safe), [](wchar_t c) { return std::iswalnum(c) != 0; });
  safe.resize(std::min<std::size_t>(safe.size(), 64));
  return std::make_unique<TPackageFile>(m_strPath + std::to_wstring(++m_nNext) + L"-" + safe + L".zip");
}

// --- TPackageFile --------------------------------------------------------------------------------

TPackageFile::~TPackageFile() {
  m_Writing.Close();
  ::DeleteFileW(m_strPath.c_str());
}

void TPackageFile::Rewrite() {
  m_Writing.Close();
  m_nSize = 0;
  CheckGuarded(L"download into", m_strPath);
  // Temporary: the system may keep it in its cache rather than hurry it to the disk, as it lives only
  // until it is unpacked.
  m_Writing.Reset(::CreateFileW(m_strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!m_Writing) Failed(L"CreateFile", ::GetLastError());
}

void TPackageFile::Append(const char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(m_Writing.Get(), data, static_cast<DWORD>(std::min(size, kMaxIo)), &written, nullptr)) {
      Failed(L"WriteFile", ::GetLastError());
    }
    // A write that lands nothing without an error is a volume with no room left.
    if (written == 0) Failed(L"WriteFile", ERROR_DISK_FULL);
    data += written;
    size -= written;
    m_nSize += written;
  }
}

void TPackageFile::Failed(const wchar_t* call, DWORD code) const { RaiseWinError(std::wstring(call) + L" " + m_strPath, code); }

// --- TPackageFileSource --------------------------------------------------------------------------

TPackageFileSource::TPackageFileSource(const std::wstring& path) : m_strPath(path) {
  m_File.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!m_File || !::GetFileSizeEx(m_File.Get(), &size)) {
    throw TPackageError(TWinError(L"Cannot read the package " + path).Message());
  }
  m_nSize = static_cast<std::uint64_t>(size.QuadPart);
}

void TPackageFileSource::ReadAt(std::uint64_t offset, std::uint8_t* to, std::size_t count) const {
  if (offset > m_nSize || count > m_nSize - offset) {
    throw TPackageError(L"Invalid package: a read lies outside the package " + m_strPath);
  }
  while (count > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!::ReadFile(m_File.Get(), to, static_cast<DWORD>(std::min(count, kMaxIo)), &read, &at)) {
      throw TPackageError(TWinError(L"Cannot read the package " + m_strPath).Message());
    }
    if (read == 0) throw TPackageError(L"Invalid package: the package " + m_strPath + L" ends early");
    to += read;
    offset += read;
    count -= read;
  }
}

}  // namespace sf
