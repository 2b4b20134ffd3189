// The proxy setting handed from the window to the engine and from the engine to every HTTP request.
// Copied by value; it lives in memory for one run only.
#pragma once

#include <cstdint>
#include <string>

namespace sf {

struct TProxySettings {
  std::wstring FHost;      // empty: no explicit proxy; the platform's default connection settings apply
  std::int32_t FPort = 0;  // 0 when not given
  std::wstring FScheme;    // never set by this system
  std::wstring FUserName;  // empty: the proxy needs no authentication
  std::wstring FPassword;  // offered to the proxy only when it asks; never logged

  friend bool operator==(const TProxySettings&, const TProxySettings&) = default;
};

}  // namespace sf
