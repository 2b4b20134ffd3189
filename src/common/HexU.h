// Hexadecimal text of raw bytes, as digests, hardware addresses and the machine identifier show them.
// Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sf {

// Two upper-case digits per byte, leading zero kept, no separators; no bytes give empty text.
std::wstring BytesToHex(const void* bytes, std::size_t length);

// A 32-bit status code (HRESULT, NTSTATUS) as "0x" and 8 upper-case digits, the form its documentation uses.
std::wstring HexCodeText(std::uint32_t code);

// The bytes that hexadecimal text (two digits a byte, either case, nothing else) stands for; none when the
// text is anything else.
std::optional<std::vector<std::uint8_t>> HexToBytes(std::string_view text);

// True when the text is exactly `digits` hexadecimal digits, in either case.
bool IsHexText(std::wstring_view text, std::size_t digits);

}  // namespace sf
