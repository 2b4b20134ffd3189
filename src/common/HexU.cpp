#include "common/HexU.h"

namespace sf {

namespace {

constexpr wchar_t kDigits[] = L"0123456789ABCDEF";

// The digit's value, or -1 for anything that is not a hexadecimal digit.
int DigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

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

std::optional<std::vector<std::uint8_t>> HexToBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(text.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = DigitValue(static_cast<unsigned char>(text[2 * i]));
    const int low = DigitValue(static_cast<unsigned char>(text[2 * i + 1]));
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return bytes;
}

bool IsHexText(std::wstring_view text, std::size_t digits) {
  if (text.size() != digits) return false;
  for (const wchar_t c : text) {
    if (DigitValue(c) < 0) return false;
  }
  return true;
}

}  // namespace sf
