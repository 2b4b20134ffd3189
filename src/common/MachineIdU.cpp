#include "common/MachineIdU.h"

#include "common/TextU.h"

namespace sf {

namespace {

constexpr std::uint32_t kFnvOffset = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;

void Mix(std::uint32_t& hash, std::uint8_t byte) {
  hash ^= byte;
  hash *= kFnvPrime;
}

}  // namespace

std::uint32_t MachineIdFromFacts(std::uint32_t volumeSerial, std::wstring_view machineName) {
  std::uint32_t hash = kFnvOffset;
  for (int shift = 0; shift < 32; shift += 8) Mix(hash, static_cast<std::uint8_t>(volumeSerial >> shift));
  // Low byte first, as the UTF-16 text lies in memory on Windows.
  for (const wchar_t c : AsciiLower(machineName)) {
    const auto unit = static_cast<std::uint16_t>(c);
    Mix(hash, static_cast<std::uint8_t>(unit));
    Mix(hash, static_cast<std::uint8_t>(unit >> 8));
  }
  return hash;
}

}  // namespace sf
