// Thinning of the engine's per-message log lines: progress messages arrive every 50 ms, so only the
// first after any other message and then one in every 17 is logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sf {

class TProgressLogThinner {
 public:
  // The log line for one message, or nothing when the line is thinned out.
  std::optional<std::wstring> LineFor(std::uint32_t message, std::uintptr_t wParam);
  // The extraction workers' start resets the count, so the first logged progress message of a run is
  // the 17th.
  void Reset() { m_count = 0; }

 private:
  std::uint32_t m_count = 0;  // m_nWMUpdateProgressCount
};

}  // namespace sf
