// Unpacks the same packages with the package reader and with 7z (one thread each, both writing to the
// same disk) and prints the time of each and their ratio. Not a test: it measures and prints.
//
//   package_bench [--runs N] [--7z COMMAND] FOLDER|PACKAGE...
//
// Each time is the best of N runs. 7z is timed as a whole process, so its time includes the start of
// the process (a few milliseconds against the hundreds the packages take). "peak mem" is this process's
// peak resident memory while our reader unpacks the package (the package itself, already in memory,
// included): it stays near the package plus the LZMA dictionary, whatever the size of the file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <malloc.h>
#endif

#include "common/PathGuardU.h"
#include "transfer/PackageReaderU.h"

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

// The whole package in memory, as the download worker hands it over.
std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::vector<std::uint8_t> data(fs::file_size(path));
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return data;
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

// The process's peak resident memory since the last reset, in MB, from Linux's counters; 0 elsewhere
// (under Wine, /proc would describe Wine's own process).
// Reset before each package, it shows what unpacking that package needs beside the package itself.
// Memory the allocator kept from the previous package is handed back first, or it would count here.
void ResetPeakMemory() {
#ifdef __linux__
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
#endif
}

double PeakMemoryMb() {
#ifdef __linux__
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;  // in kB
  }
#endif
  return 0;
}

std::uint32_t Le(const std::vector<std::uint8_t>& data, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes; i-- > 0;) value = (value << 8) | data.at(at + static_cast<std::size_t>(i));
  return value;
}

// The name of the first entry of the central directory, "\" separated: the name the manifest would give
// the file, which the reader requires. The benchmark's packages have no ZIP64 records.
std::wstring FirstEntryName(const std::vector<std::uint8_t>& data) {
  std::size_t end = data.size() >= 22 ? data.size() - 22 : 0;
  while (end > 0 && Le(data, end, 4) != 0x06054b50) --end;
  const std::size_t central = Le(data, end + 16, 4);
  const std::size_t length = Le(data, central + 28, 2);
  std::wstring name(data.begin() + static_cast<std::ptrdiff_t>(central + 46),
                    data.begin() + static_cast<std::ptrdiff_t>(central + 46 + length));
  std::replace(name.begin(), name.end(), L'/', L'\\');
  return name;
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

  std::printf("%-32s %10s %10s %9s %9s %7s %9s %10s\n", "package", "package", "unpacked", "ours s", "7z s", "ratio",
              "ours MB/s", "peak mem");
  for (const auto& package : packages) {
    const auto data = ReadAll(package);
    const std::wstring entryName = FirstEntryName(data);
    const sf::TPathGuard guard({sf::TextOf(work)}, sf::FilesystemPathFacts());
    ResetPeakMemory();
    sf::TPackageReader reader;
    fs::path written;
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
      Fresh(ours);
      const auto start = TClock::now();
      reader.Open(data.data(), data.size(), entryName);
      written = reader.ExtractFirstEntry(ours, guard);
      reader.Close();
      best = std::min(best, Seconds(TClock::now() - start));
    }
    const double peakMemory = PeakMemoryMb();

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
    oursTotal += best;
    std::printf("%-32s %8.1fMB %8.1fMB %9.3f ", package.filename().string().c_str(), data.size() / 1e6,
                unpacked / 1e6, best);
    if (sevenZipRan) {
      theirsTotal += bestTheirs;
      std::printf("%9.3f %7.2f ", bestTheirs, best / bestTheirs);
    } else {
      std::printf("%9s %7s ", "-", "-");
    }
    std::printf("%9.1f ", unpacked / 1e6 / best);
    if (peakMemory > 0) {
      std::printf("%8.0fMB\n", peakMemory);
    } else {
      std::printf("%10s\n", "-");
    }
  }

  if (sevenZipRan) {
    std::printf("all packages: ours %.3f s, 7z %.3f s, ratio %.2f (target: at most 1.10)\n", oursTotal, theirsTotal,
                oursTotal / theirsTotal);
  } else {
    std::printf("all packages: ours %.3f s; 7z could not be run here (\"%s\"), so there is no ratio\n", oursTotal,
                sevenZip.c_str());
  }
  fs::remove_all(work);
  return 0;
}
