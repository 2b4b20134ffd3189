// Downloaded packages on disk. A run keeps its packages in a folder of its own in the company folder,
// beside the unpack and staging folders: on the same volume as what they unpack to, inside the folders
// the path guard accepts, and never inside the folder that becomes the installation. A package is a
// file there from its download until it is unpacked or given up, so that no package waits in memory.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/WinHandleU.h"
#include "transfer/PackageReaderU.h"
#include "transfer/WorkItemU.h"

namespace sf {

// The package folder of the runs of this program in the company folder, ending in "\".
std::wstring PackageFolderIn(const std::wstring& companyFolder);

// Removes a package folder and everything in it, if it is there (what a killed run left). Goes through
// the guarded delete; logs what it could not remove.
void DiscardPackageFolder(const std::wstring& folder);

class TPackageFile;

// One run's package folder: made empty when the run is set up, removed with everything in it when the
// last holder lets go (the end of the run: done, failed or cancelled).
class TPackageFolder {
 public:
  // Removes what an earlier run left there, then makes the folder. Raises TUnsafePathError when the
  // guard refuses the folder, TWinError (or TDiskFullError) when it cannot be made.
  explicit TPackageFolder(std::wstring folder);
  ~TPackageFolder();
  TPackageFolder(const TPackageFolder&) = delete;
  TPackageFolder& operator=(const TPackageFolder&) = delete;

  const std::wstring& Path() const { return m_strPath; }
  // A place for the package named `name` (its digest), distinct from every other of the run; nothing is
  // created until the file is written.
  std::unique_ptr<TPackageFile> NewFile(const std::wstring& name) const;

 private:
  std::wstring m_strPath;
  mutable std::atomic<std::uint32_t> m_nNext{0};
};

// A package file, deleted with the object. Written from its start by one download attempt after another.
class TPackageFile : public IPackageFile {
 public:
  explicit TPackageFile(std::wstring path) : m_strPath(std::move(path)) {}
  ~TPackageFile() override;
  TPackageFile(const TPackageFile&) = delete;
  TPackageFile& operator=(const TPackageFile&) = delete;

  const std::wstring& Path() const override { return m_strPath; }
  std::uint64_t Size() const override { return m_nSize; }

  // Creates the file anew, empty: what an earlier attempt wrote is gone. Raises TDiskFullError when
  // there is no room, TWinError otherwise.
  void Rewrite();
  // Appends to the file opened by Rewrite. Raises as Rewrite does.
  void Append(const char* data, std::size_t size);
  // Ends the writing; the file stays for the extraction.
  void CloseWriting() { m_Writing.Close(); }

 private:
  [[noreturn]] void Failed(const wchar_t* call, DWORD code) const;

  std::wstring m_strPath;
  std::uint64_t m_nSize = 0;
  TScopedKernelHandle m_Writing;
};

// A package file read by the package reader, through a handle of its own.
class TPackageFileSource : public IPackageSource {
 public:
  // Raises TPackageError when the file cannot be opened.
  explicit TPackageFileSource(const std::wstring& path);
  std::uint64_t Size() const override { return m_nSize; }
  void ReadAt(std::uint64_t offset, std::uint8_t* to, std::size_t count) const override;

 private:
  std::wstring m_strPath;
  TScopedKernelHandle m_File;
  std::uint64_t m_nSize = 0;
};

}  // namespace sf
