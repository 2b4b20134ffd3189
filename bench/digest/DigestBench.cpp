// What checking the SHA-256 of signed manifests costs after unpacking: the digests of one large file from
// one read, MD5 alone against MD5 and SHA-256 together, through the system's CNG. Not a test: it measures
// and prints.
//
//   digest_bench [--runs N] [--megabytes M]
//
// The file (M MiB of varied bytes, 256 by default) is written into the temporary folder and read from the
// system's cache, so the time is the hashing's. Each time is the best of N runs (3 by default).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/DigestU.h"

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

double BestSeconds(int runs, const fs::path& file, bool withSha256) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    const auto start = TClock::now();
    const sf::TFileDigests digests = sf::FileDigests(file.wstring(), withSha256);
    best = std::min(best, std::chrono::duration<double>(TClock::now() - start).count());
    if (digests.strMD5.empty()) std::abort();
  }
  return best;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int runs = 3;
  long megabytes = 256;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::wcscmp(argv[i], L"--runs") == 0) runs = std::max(1, _wtoi(argv[i + 1]));
    if (std::wcscmp(argv[i], L"--megabytes") == 0) megabytes = std::max(1L, std::wcstol(argv[i + 1], nullptr, 10));
  }
  const fs::path file = fs::temp_directory_path() / L"sf_digest_bench.bin";
  {
    std::vector<char> block(1 << 20);
    for (std::size_t j = 0; j < block.size(); ++j) block[j] = static_cast<char>((j * 31 + (j >> 11)) & 0xFF);
    std::ofstream out(file, std::ios::binary);
    for (long k = 0; k < megabytes; ++k) {
      block[0] = static_cast<char>(k);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  BestSeconds(1, file, true);  // into the system's cache
  const double md5 = BestSeconds(runs, file, false);
  const double both = BestSeconds(runs, file, true);
  std::printf("%ld MiB, best of %d: MD5 %.3f s (%.0f MiB/s), MD5+SHA-256 in one read %.3f s (%.0f MiB/s), "
              "ratio %.2f\n",
              megabytes, runs, md5, static_cast<double>(megabytes) / md5, both, static_cast<double>(megabytes) / both,
              both / md5);
  std::error_code ignored;
  fs::remove(file, ignored);
  return 0;
}
