#include "engine/VersionCompareU.h"

#include <limits>
#include <vector>

#include "common/TextU.h"

namespace sf {

std::int32_t StrToIntDef(const std::wstring& text, std::int32_t fallback) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  // The magnitude may reach 2^31, the size of the lowest negative value.
  const std::optional<std::uint64_t> magnitude =
      ParseDecimal(std::wstring_view(text).substr(i), std::uint64_t{std::numeric_limits<std::int32_t>::max()} + 1);
  if (!magnitude) return fallback;
  const std::int64_t value = negative ? -static_cast<std::int64_t>(*magnitude) : static_cast<std::int64_t>(*magnitude);
  if (value > std::numeric_limits<std::int32_t>::max()) return fallback;
  return static_cast<std::int32_t>(value);
}

std::int32_t VersionNumber(const std::wstring& text) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = text.find(L'.', start);
    parts.push_back(text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start));
    if (dot == std::wstring::npos) break;
    start = dot + 1;
  }
  const std::int32_t major = parts.size() > 0 ? StrToIntDef(parts[0], 0) : 0;
  const std::int32_t minor = parts.size() > 1 ? StrToIntDef(parts[1], 0) : 0;
  // Signed 32-bit arithmetic that wraps rather than traps on absurd inputs.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(major) * 256u + static_cast<std::uint32_t>(minor));
}

bool IsNewerInstaller(const std::wstring& local, const std::wstring& published) {
  return VersionNumber(local) < VersionNumber(published);
}

}  // namespace sf
