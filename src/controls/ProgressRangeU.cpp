#include "controls/ProgressRangeU.h"

#include <algorithm>
#include <cstdint>

namespace sf {

void TProgressRange::SetMin(std::int32_t value) {
  if (value < m_nMax) m_nMin = value;
  UpdateRange();
}

void TProgressRange::SetMax(std::int32_t value) {
  if (value > m_nMin) m_nMax = value;
  UpdateRange();
}

void TProgressRange::SetProgress(std::int32_t value) {
  m_nProgress = value;
  UpdateRange();
}

void TProgressRange::UpdateRange() {
  // A range that moved under the position takes the position with it, so it stays within the range and
  // the bar never fills beyond its width.
  m_nProgress = std::clamp(m_nProgress, m_nMin, m_nMax);
  m_nInterval = static_cast<std::int64_t>(m_nMax) - m_nMin;
  m_nCurrent = static_cast<std::int64_t>(m_nProgress) - m_nMin;
}

int TProgressRange::FilledWidth(int width) const {
  if (width <= 0) return 0;
  // Current ≤ Interval < 2^32 and width < 2^31: the product fits in 64 bits.
  const std::int64_t filled = (m_nCurrent * width + m_nInterval - 1) / m_nInterval;
  return static_cast<int>(std::clamp<std::int64_t>(filled, 0, width));
}

void ApplyProgressNotification(TProgressRange& range, std::uint32_t position, std::uint32_t maximum) {
  // One halving brings any unsigned 32-bit number within the signed range; the same factor for every
  // notification of a run keeps their proportions.
  const unsigned shift = maximum > static_cast<std::uint32_t>(INT32_MAX) ? 1 : 0;
  range.SetProgress(static_cast<std::int32_t>(std::min<std::uint32_t>(position >> shift, INT32_MAX)));
  range.SetMax(static_cast<std::int32_t>(maximum >> shift));
}

}  // namespace sf
