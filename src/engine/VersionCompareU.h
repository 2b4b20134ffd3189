// The installer's own version check: "major.minor" texts compared as major * 256 + minor.
#pragma once

#include <cstdint>
#include <string>

namespace sf {

// An integer as the runtime's conversion reads it: leading blanks and a sign allowed, nothing after the
// digits. Anything else (a trailing line break included) gives the default.
std::int32_t StrToIntDef(const std::wstring& text, std::int32_t fallback);

// major * 256 + minor of a text split at ".", missing or invalid parts counting as 0.
std::int32_t VersionNumber(const std::wstring& text);

// True when the published version is higher than the running one.
bool IsNewerInstaller(const std::wstring& local, const std::wstring& published);

}  // namespace sf
