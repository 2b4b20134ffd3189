// This machine's identifier, read from the system; the rule that makes it is MachineIdU's.
#pragma once

#include <cstdint>
#include <string>

namespace sf {

// A 32-bit value that identifies this machine, the same on every run and after restarts.
std::uint32_t CreateMachineID();
// CreateMachineID as 8 upper-case hexadecimal digits, most significant byte first.
std::wstring GetMachineIDText();

}  // namespace sf
