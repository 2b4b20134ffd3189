#include "common/HexU.h"

namespace sf {

namespace {

constexpr wchar_t kDigits[] = L"0123456789ABCDEF";

}  // namespace

std::wstring BytesToHex(const void* bytes, std::size_t length) {
  const auto* data = static_cast<const unsigned char*>(bytes);
  std::wstring text(length * 2, L'0');
  for (std::size_t i = 0; i < length; ++i) {
    text[2 * i] = kDigits[data[i] >> 4];
    text[2 * i + 1] = kDigits[data[i] & 0x0F];
  }
  return text;
}

std::wstring HexCodeText(std::uint32_t code) {
  std::wstring text = L"0x00000000";
  for (size_t i = text.size(); i > 2; --i, code >>= 4) text[i - 1] = kDigits[code & 0x0F];
  return text;
}

}  // namespace sf
