// One package to download and unpack. Items travel between the engine's two queues and the workers;
// whoever holds the pointer owns the item.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace sf {

// A downloaded package on disk (PackageFileU). The file goes with the object: once the package is
// unpacked or given up, or when the run ends with the item still queued.
class IPackageFile {
 public:
  virtual ~IPackageFile() = default;
  virtual const std::wstring& Path() const = 0;
  virtual std::uint64_t Size() const = 0;  // the bytes written
};

struct TFileToDownload {
  std::wstring strFileUrl;     // VersionServerUrl + "/files/" + the digest text
  std::int64_t nDownloadSize = 0;  // expected package size; 0 accepts any length
  std::wstring strFileMd5;     // digest of the unpacked file
  std::wstring strFileSha256;  // signed manifests only: the unpacked file's SHA-256, checked as well
  std::wstring strFilePath;    // folder relative to the installation folder, ending in "\", or empty
  std::wstring strFileName;
  std::unique_ptr<IPackageFile> Package;  // the downloaded package while the item waits for extraction
  std::uint32_t nRetries = 0;  // attempts used, shared by downloading and unpacking

  std::uint64_t PackageBytes() const { return Package ? Package->Size() : 0; }
};
using PFileToDownload = std::unique_ptr<TFileToDownload>;

}  // namespace sf
