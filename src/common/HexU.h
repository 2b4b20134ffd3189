// Hexadecimal text of raw bytes, as digests, hardware addresses and the machine identifier show them.
// Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sf {

// Two upper-case digits per byte, leading zero kept, no separators; no bytes give empty text.
std::wstring BytesToHex(const void* bytes, std::size_t length);

// A 32-bit status code (HRESULT, NTSTATUS) as "0x" and 8 upper-case digits, the form its documentation uses.
std::wstring HexCodeText(std::uint32_t code);

}  // namespace sf
