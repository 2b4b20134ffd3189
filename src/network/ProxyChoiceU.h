// The rules of the internet settings dialog, apart from its window: which fields a choice enables, and
// the proxy setting a confirmed dialog produces.
#pragma once

#include <string>

#include "network/ProxySettingsU.h"

namespace sf {

enum class TProxyChoice { NoProxy, Browser, Server, Socks };

struct TProxyDialogValues {
  TProxyChoice choice = TProxyChoice::NoProxy;
  std::wstring proxyAddress, proxyPort;
  std::wstring socksAddress, socksPort;
  bool authenticationTicked = false;
  std::wstring userName, password;
};

struct TProxyEnabling {
  bool proxyFields = false;  // address and port of the proxy server, with their labels
  bool socksFields = false;
  bool authentication = false;  // the "authentication required" box
  bool credentials = false;     // user name and password, with their labels
};

TProxyEnabling EnablingFor(TProxyChoice choice, bool authenticationTicked);

// A port field as a number: empty, non-numeric or out-of-range text gives 0.
std::int32_t PortFromText(const std::wstring& text);

// The setting a confirmed dialog stands for. The browser choice uses the browser proxy read now
// (empty host and port text when there is none). Credentials count only when the box is enabled and
// ticked; the SOCKS choice is applied like a proxy server.
TProxySettings SettingsFromDialog(const TProxyDialogValues& values, const std::wstring& browserHost,
                                  const std::wstring& browserPort);

}  // namespace sf
