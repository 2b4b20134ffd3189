#include "engine/ProgressPlanU.h"

namespace sf {

namespace {
// The extraction's share, in single precision: 0.2f is slightly above 0.2, and the bar's maximum has
// always carried that difference (1 000 000 000 bytes give 1 200 000 002).
constexpr float kExtractionShare = 0.2f;
}  // namespace

TProgressPlan ProgressPlanFor(std::uint32_t downloadSize, std::size_t fileCount) {
  const long double size = downloadSize;
  const long double share = kExtractionShare;
  TProgressPlan plan;
  plan.nProgressSize = static_cast<std::uint32_t>(size * (1 + share));
  plan.nFileExtractedProgress = fileCount ? static_cast<std::uint32_t>(size * share / fileCount) : 0;
  return plan;
}

std::uint32_t ProgressPosition(const TProgressPlan& plan, std::uint32_t validated, std::uint32_t downloaded,
                               std::uint32_t receiving) {
  return validated * plan.nFileExtractedProgress + downloaded + receiving;
}

}  // namespace sf
