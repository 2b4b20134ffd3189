// Unpacks the same packages with the package reader and with 7z (one thread each, both writing to the
// same disk) and prints the time of each and their ratio. Not a test: it measures and prints.
//
//   package_bench [--runs N] [--7z COMMAND] FOLDER|PACKAGE...
//
// Each time is the best of N runs. 7z is timed as a whole process, so its time includes the start of
// the process (a few milliseconds against the hundreds the packages take).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "transfer/PackageReaderU.h"

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Compares in pieces, so the comparison does not add to the peak memory reported.
bool SameContent(const fs::path& a, const fs::path& b) {
  if (fs::file_size(a) != fs::file_size(b)) return false;
  std::ifstream inA(a, std::ios::binary), inB(b, std::ios::binary);
  std::vector<char> bufferA(1 << 20), bufferB(1 << 20);
  while (inA && inB) {
    inA.read(bufferA.data(), static_cast<std::streamsize>(bufferA.size()));
    inB.read(bufferB.data(), static_cast<std::streamsize>(bufferB.size()));
    if (inA.gcount() != inB.gcount() || !std::equal(bufferA.begin(), bufferA.begin() + inA.gcount(), bufferB.begin())) {
      return false;
    }
  }
  return true;
}

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

double PeakMemoryMb() {
#ifdef _WIN32
  return 0;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
#endif
}

void Fresh(const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::string sevenZip = "7z";
  std::vector<fs::path> packages;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--7z" && i + 1 < argc) {
      sevenZip = argv[++i];
    } else if (fs::is_directory(arg)) {
      for (const auto& item : fs::directory_iterator(arg)) {
        if (item.path().extension() == ".zip") packages.push_back(item.path());
      }
    } else {
      packages.emplace_back(arg);
    }
  }
  std::sort(packages.begin(), packages.end());
  if (packages.empty()) {
    std::fprintf(stderr, "usage: package_bench [--runs N] [--7z COMMAND] FOLDER|PACKAGE...\n");
    return 2;
  }

  const fs::path work = fs::temp_directory_path() /
                        ("sf-package-bench-" + std::to_string(TClock::now().time_since_epoch().count()));
  const fs::path ours = work / "ours";
  const fs::path theirs = work / "7z";
  double oursTotal = 0;
  double theirsTotal = 0;
  bool sevenZipRan = true;
  std::uintmax_t largestPackage = 0;
  std::uintmax_t largestFile = 0;
  double peakMemory = 0;

  std::printf("%-32s %10s %10s %9s %9s %7s %9s\n", "package", "package", "unpacked", "ours s", "7z s", "ratio",
              "ours MB/s");
  for (const auto& package : packages) {
    const auto data = ReadAll(package);
    sf::TPackageReader reader;
    fs::path written;
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
      Fresh(ours);
      const auto start = TClock::now();
      reader.Open(data.data(), data.size());
      written = reader.ExtractFirstEntry(ours);
      reader.Close();
      best = std::min(best, Seconds(TClock::now() - start));
    }
    peakMemory = std::max(peakMemory, PeakMemoryMb());

    double bestTheirs = 1e30;
    for (int run = 0; run < runs && sevenZipRan; ++run) {
      Fresh(theirs);
      const std::string command = sevenZip + " x -mmt=1 -y -bso0 -bsp0 \"-o" + theirs.string() + "\" \"" +
                                  package.string() + "\"";
      const auto start = TClock::now();
      sevenZipRan = std::system(command.c_str()) == 0;
      bestTheirs = std::min(bestTheirs, Seconds(TClock::now() - start));
    }
    if (sevenZipRan && !SameContent(written, theirs / fs::relative(written, ours))) {
      std::fprintf(stderr, "%s: the two outputs differ\n", package.filename().string().c_str());
      return 1;
    }

    const auto unpacked = fs::file_size(written);
    largestPackage = std::max<std::uintmax_t>(largestPackage, data.size());
    largestFile = std::max(largestFile, unpacked);
    oursTotal += best;
    std::printf("%-32s %8.1fMB %8.1fMB %9.3f ", package.filename().string().c_str(), data.size() / 1e6,
                unpacked / 1e6, best);
    if (sevenZipRan) {
      theirsTotal += bestTheirs;
      std::printf("%9.3f %7.2f ", bestTheirs, best / bestTheirs);
    } else {
      std::printf("%9s %7s ", "-", "-");
    }
    std::printf("%9.1f\n", unpacked / 1e6 / best);
  }

  if (sevenZipRan) {
    std::printf("all packages: ours %.3f s, 7z %.3f s, ratio %.2f (target: at most 1.10)\n", oursTotal, theirsTotal,
                oursTotal / theirsTotal);
  } else {
    std::printf("all packages: ours %.3f s; 7z could not be run here (\"%s\"), so there is no ratio\n", oursTotal,
                sevenZip.c_str());
  }
  if (peakMemory > 0) {
    std::printf("peak memory of this process: %.0f MB, with packages of up to %.0f MB in memory unpacking to files "
                "of up to %.0f MB\n",
                peakMemory, largestPackage / 1e6, largestFile / 1e6);
  }
  fs::remove_all(work);
  return 0;
}
