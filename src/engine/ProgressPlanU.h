// The progress bar's arithmetic for one download run: downloading counts with the package sizes, and
// unpacking earns a fixed share on top.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sf {

struct TProgressPlan {
  std::uint32_t nProgressSize = 0;           // the bar's maximum
  std::uint32_t nFileExtractedProgress = 0;  // credited per unpacked package
};

// downloadSize: the sum of the package sizes (wrapping modulo 2^32, as the counters do).
TProgressPlan ProgressPlanFor(std::uint32_t downloadSize, std::size_t fileCount);

// Position = validated * share + downloaded + bytes being received, in unsigned 32-bit arithmetic.
std::uint32_t ProgressPosition(const TProgressPlan& plan, std::uint32_t validated, std::uint32_t downloaded,
                               std::uint32_t receiving);

}  // namespace sf
