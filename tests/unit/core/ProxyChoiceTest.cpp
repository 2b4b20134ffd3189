#include "network/ProxyChoiceU.h"

#include <gtest/gtest.h>

namespace sf {
namespace {

TEST(ProxyChoice, EnablingRule) {
  struct TCase {
    TProxyChoice choice;
    bool ticked;
    TProxyEnabling expected;
  };
  const TCase cases[] = {
      {TProxyChoice::Server, false, {true, false, true, false}},
      {TProxyChoice::Server, true, {true, false, true, true}},
      {TProxyChoice::Socks, true, {false, true, true, true}},
      {TProxyChoice::Browser, false, {false, false, true, false}},
      // The box stays ticked but is disabled, and the credentials with it.
      {TProxyChoice::NoProxy, true, {false, false, false, false}},
  };
  for (const auto& c : cases) {
    const TProxyEnabling e = EnablingFor(c.choice, c.ticked);
    SCOPED_TRACE(static_cast<int>(c.choice));
    EXPECT_EQ(e.proxyFields, c.expected.proxyFields);
    EXPECT_EQ(e.socksFields, c.expected.socksFields);
    EXPECT_EQ(e.authentication, c.expected.authentication);
    EXPECT_EQ(e.credentials, c.expected.credentials);
  }
}

TEST(ProxyChoice, SettingsFromTheDialog) {
  TProxyDialogValues values;
  values.proxyAddress = L"proxy.corp";
  values.proxyPort = L"3128";
  values.socksAddress = L"socks.corp";
  values.socksPort = L"1080";
  values.authenticationTicked = true;
  values.userName = L"ana";
  values.password = L"segredo";

  values.choice = TProxyChoice::Server;
  TProxySettings s = SettingsFromDialog(values, L"", L"");
  EXPECT_EQ(s.FHost, L"proxy.corp");
  EXPECT_EQ(s.FPort, 3128);
  EXPECT_EQ(s.FUserName, L"ana");
  EXPECT_EQ(s.FPassword, L"segredo");
  EXPECT_TRUE(s.FScheme.empty());

  // The SOCKS choice is applied like a proxy server with its own fields.
  values.choice = TProxyChoice::Socks;
  s = SettingsFromDialog(values, L"", L"");
  EXPECT_EQ(s.FHost, L"socks.corp");
  EXPECT_EQ(s.FPort, 1080);

  values.choice = TProxyChoice::Browser;
  s = SettingsFromDialog(values, L"10.0.0.1", L"8080");
  EXPECT_EQ(s.FHost, L"10.0.0.1");
  EXPECT_EQ(s.FPort, 8080);
  // A per-protocol browser text leaves a port part that is no number.
  s = SettingsFromDialog(values, L"http=proxy", L"80;https=proxy:443");
  EXPECT_EQ(s.FHost, L"http=proxy");
  EXPECT_EQ(s.FPort, 0);

  values.choice = TProxyChoice::NoProxy;
  s = SettingsFromDialog(values, L"10.0.0.1", L"8080");
  EXPECT_TRUE(s.FHost.empty());
  EXPECT_EQ(s.FPort, 0);
  EXPECT_TRUE(s.FUserName.empty()) << "the box is disabled with this choice";
  EXPECT_TRUE(s.FPassword.empty());

  values.choice = TProxyChoice::Server;
  values.authenticationTicked = false;
  s = SettingsFromDialog(values, L"", L"");
  EXPECT_TRUE(s.FUserName.empty());
}

TEST(ProxyChoice, PortFields) {
  EXPECT_EQ(PortFromText(L""), 0);
  EXPECT_EQ(PortFromText(L"8080"), 8080);
  EXPECT_EQ(PortFromText(L"80a"), 0);
  EXPECT_EQ(PortFromText(L"99999999999"), 0);
}

}  // namespace
}  // namespace sf
