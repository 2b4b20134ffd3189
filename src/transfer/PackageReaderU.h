// The reader of one package: a ZIP archive whose first entry is the file to install, read from a source
// (a file on disk, or bytes in memory) in bounded pieces. Reads methods 0 (stored), 8 (Deflate) and 14
// (LZMA), with data descriptors and ZIP64 sizes, and streams the entry to disk in chunks, checking its
// CRC-32 and its declared sizes. Portable; the file source is the platform's (PackageFileU).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/ErrorU.h"
#include "common/PathGuardU.h"

namespace sf {

// The package cannot be read or decoded, or its entry could not be written in full: the package counts
// as damaged and is downloaded again.
class TPackageError : public TError {
 public:
  using TError::TError;
};

// The entry's output file (or its folder) could not be created or opened for writing, typically because
// the installed program is running and holds the file.
class TFileCreateError : public TError {
 public:
  using TError::TError;
};

// The entry could not be written (or its file or folder created) for lack of space: the disk is full or
// the user's quota is used up. The package is not to blame, and downloading it again cannot help.
class TDiskFullError : public TError {
 public:
  using TError::TError;
};

// Where a package's bytes come from. The reader asks only for ranges inside Size(), each at most a
// chunk long, so a package on disk is never held whole in memory.
class IPackageSource {
 public:
  virtual ~IPackageSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly `count` bytes at `offset`; raises TPackageError when they cannot be read.
  virtual void ReadAt(std::uint64_t offset, std::uint8_t* to, std::size_t count) const = 0;
};

// A package held in memory (the fuzz target's and the tests'). Borrows the bytes.
class TMemoryPackageSource : public IPackageSource {
 public:
  TMemoryPackageSource(const std::uint8_t* data, std::size_t size) : m_pData(data), m_nSize(size) {}
  std::uint64_t Size() const override { return m_pData ? m_nSize : 0; }
  void ReadAt(std::uint64_t offset, std::uint8_t* to, std::size_t count) const override;

 private:
  const std::uint8_t* m_pData;
  std::size_t m_nSize;
};

// One reader serves every package an extraction worker unpacks: the decoder's memory (the LZMA
// dictionary above all) is kept from one package to the next, so that each package does not pay for
// fresh pages of its own.
class TPackageReader {
 public:
  TPackageReader();
  ~TPackageReader();
  TPackageReader(const TPackageReader&) = delete;
  TPackageReader& operator=(const TPackageReader&) = delete;

  // Closes what the reader held, then reads the archive's directory and checks the first entry: a safe
  // relative name (see IsSafeRelativePath) that is `expectedName`, the manifest's name of the file,
  // letter case ignored (IsSameFileName); a supported method, no encryption, data inside the package, an
  // LZMA property length of 5, an LZMA dictionary of at most the larger of 64 MiB and the declared size
  // but never above 256 MiB, and a declared size the data could plausibly hold. Throws TPackageError
  // otherwise. The reader borrows the source: it must stay open and unchanged until the extraction is
  // over.
  void Open(const IPackageSource& source, std::wstring_view expectedName);
  // The same for bytes in memory, which the reader borrows likewise.
  void Open(const std::uint8_t* data, std::size_t size, std::wstring_view expectedName);
  bool IsOpen() const { return m_pSource != nullptr; }

  // The first entry's name, with "\" separators; may contain subfolders. Empty while nothing is open.
  const std::wstring& FirstEntryName() const { return m_strEntryName; }

  // Writes the first entry below `folder`, creating the subfolders its name holds and overwriting a file
  // of the same name, and returns the written file's path. The guard must accept the file's path first
  // (no link on the way, nor at the file); it raises TUnsafePathError before anything is made. Throws
  // TDiskFullError when there is no room for the file, TFileCreateError when a folder or the file cannot
  // be created otherwise, TPackageError for anything else. After a TPackageError or a TDiskFullError the
  // file may remain, partly written: the caller deletes it. `written`, when given, sees every piece of the
  // file in order once it was written, so that the caller can digest the file without reading it again.
  using TWrittenBytes = std::function<void(const std::uint8_t* data, std::size_t size)>;
  std::filesystem::path ExtractFirstEntry(const std::filesystem::path& folder, const TPathGuard& guard,
                                          const TWrittenBytes& written = {});

  // Lets go of the package. The decoder's memory stays for the next one, but for an unusually large
  // dictionary.
  void Close();
  // Gives back the decoder's memory kept between packages; a worker with nothing to unpack calls it.
  void ReleaseWorkspace();

  // The decoder's buffers, kept between packages; known inside the reader only (the LZMA decoder's types
  // stay there).
  struct TWorkspace;

 private:
  struct TEntry {
    std::uint16_t nFlags = 0;
    std::uint16_t nMethod = 0;
    std::uint32_t nCrc32 = 0;
    std::uint64_t nCompressedSize = 0;
    std::uint64_t nUncompressedSize = 0;
    std::uint64_t nDataOffset = 0;
  };

  // Open's work, on a reader that holds nothing.
  void Read(const IPackageSource& source, std::wstring_view expectedName);

  const IPackageSource* m_pSource = nullptr;
  TMemoryPackageSource m_Memory{nullptr, 0};  // the source of the bytes-in-memory Open
  TEntry m_Entry;
  std::wstring m_strEntryName;
  std::unique_ptr<TWorkspace> m_pWorkspace;
};

}  // namespace sf
