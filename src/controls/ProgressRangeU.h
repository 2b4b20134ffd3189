// The progress bar's range and position, and how much of the bar they fill. Portable.
#pragma once

#include <cstdint>

namespace sf {

class TProgressRange {
 public:
  std::int32_t Min() const { return m_nMin; }
  std::int32_t Max() const { return m_nMax; }
  std::int32_t Progress() const { return m_nProgress; }
  std::int64_t Interval() const { return m_nInterval; }
  std::int64_t Current() const { return m_nCurrent; }

  // Accepted only when below Max; otherwise ignored, so the range never becomes empty.
  void SetMin(std::int32_t value);
  // Accepted only when above Min; otherwise ignored.
  void SetMax(std::int32_t value);
  // Limited to [Min, Max].
  void SetProgress(std::int32_t value);

  // Filled pixels of a bar width pixels wide: Current × width ÷ Interval, rounded up, so that any progress
  // at all shows at least one pixel. Exact integer arithmetic: a full bar is exactly width, never more.
  int FilledWidth(int width) const;

 private:
  void UpdateRange();

  std::int32_t m_nMin = 0;
  std::int32_t m_nMax = 100;
  std::int32_t m_nProgress = 0;
  // Differences of two 32-bit values need 33 bits.
  std::int64_t m_nInterval = 100;
  std::int64_t m_nCurrent = 0;
};

// A progress notification (position, maximum) as the progress page applies it: the position first,
// limited by the maximum in force BEFORE this notification, then the new maximum (ignored unless it is
// above Min). A first notification of 500 of 1000 on a fresh 0..100 bar therefore shows 100 of 1000.
// The engine counts in unsigned 32 bits, beyond the bar's signed range: a maximum above INT32_MAX (a
// version of more than about 1.79 GB) halves both numbers, so the bar still moves evenly to its end.
void ApplyProgressNotification(TProgressRange& range, std::uint32_t position, std::uint32_t maximum);

}  // namespace sf
