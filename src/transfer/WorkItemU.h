// One package to download and unpack. Items travel between the engine's two queues and the workers;
// whoever holds the pointer owns the item.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace sf {

struct TFileToDownload {
  std::wstring strFileUrl;     // VersionServerUrl + "/files/" + the digest text
  std::int64_t nDownloadSize = 0;  // expected package size; 0 accepts any length
  std::wstring strFileMd5;     // digest of the unpacked file
  std::wstring strFileSha256;  // signed manifests only: the unpacked file's SHA-256, checked as well
  std::wstring strFilePath;    // folder relative to the installation folder, ending in "\", or empty
  std::wstring strFileName;
  std::string Stream;          // the downloaded package while the item waits for extraction
  std::uint32_t nRetries = 0;  // attempts used, shared by downloading and unpacking
};
using PFileToDownload = std::unique_ptr<TFileToDownload>;

}  // namespace sf
