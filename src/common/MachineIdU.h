// The rule that turns a machine's facts into its 32-bit identifier. Portable; the facts themselves are
// read from the system by MachineIdentityU.
#pragma once

#include <cstdint>
#include <string_view>

namespace sf {

// FNV-1a over the volume serial's four bytes and the machine name's UTF-16 code units (ASCII letters
// folded to lower case, so a re-typed GUID in another letter case keeps the identifier). Pure: the same
// facts give the same value on every run and every build.
std::uint32_t MachineIdFromFacts(std::uint32_t volumeSerial, std::wstring_view machineName);

}  // namespace sf
