#include "network/ProxyChoiceU.h"

#include <limits>

#include "common/TextU.h"

namespace sf {

TProxyEnabling EnablingFor(TProxyChoice choice, bool authenticationTicked) {
  TProxyEnabling enabling;
  enabling.proxyFields = choice == TProxyChoice::Server;
  enabling.socksFields = choice == TProxyChoice::Socks;
  enabling.authentication = choice != TProxyChoice::NoProxy;
  enabling.credentials = enabling.authentication && authenticationTicked;
  return enabling;
}

std::int32_t PortFromText(const std::wstring& text) {
  return static_cast<std::int32_t>(ParseDecimal(text, std::numeric_limits<std::int32_t>::max()).value_or(0));
}

TProxySettings SettingsFromDialog(const TProxyDialogValues& values, const std::wstring& browserHost,
                                  const std::wstring& browserPort) {
  TProxySettings settings;
  switch (values.choice) {
    case TProxyChoice::NoProxy: break;
    case TProxyChoice::Browser:
      settings.FHost = browserHost;
      settings.FPort = PortFromText(browserPort);
      break;
    case TProxyChoice::Server:
      settings.FHost = values.proxyAddress;
      settings.FPort = PortFromText(values.proxyPort);
      break;
    case TProxyChoice::Socks:
      settings.FHost = values.socksAddress;
      settings.FPort = PortFromText(values.socksPort);
      break;
  }
  if (EnablingFor(values.choice, values.authenticationTicked).credentials) {
    settings.FUserName = values.userName;
    settings.FPassword = values.password;
  }
  return settings;
}

}  // namespace sf
