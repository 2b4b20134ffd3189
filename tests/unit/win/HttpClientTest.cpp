#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "TestServers.h"
#include "WinTestSupport.h"
#include "common/TextU.h"
#include "network/HttpClientU.h"

namespace sf {
namespace {

using nlohmann::json;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

json Status(int code, const std::string& reason, const std::string& body = {}, json headers = json::object()) {
  return {{"kind", "status"}, {"status", code}, {"reason", reason}, {"body", body}, {"headers", headers}};
}

class HttpClientTest : public testing::Test {
 protected:
  void SetUp() override {
    SF_REQUIRE_TEST_SERVERS();
    test::ResetFaultServer();
  }
  static const test::TTestServers& Servers() { return *test::TestServers(); }
  static std::wstring Fault(const char* path) { return Servers().strFaultUrl + FromUtf8(path); }
  static std::wstring Nginx(const char* path) { return Servers().strNginxUrl + FromUtf8(path); }
};

TEST_F(HttpClientTest, GetsBodyStatusLengthAndProgressFromBothServers) {
  const std::string content = RandomBytes(3 * 1024 * 1024 + 17, 1);
  test::WriteServedFile("client/big.bin", content);
  for (const std::wstring& url : {Fault("/client/big.bin"), Nginx("/client/big.bin")}) {
    SCOPED_TRACE(ToUtf8(url));
    TNetHttpClient client;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    client.SetReceiveProgress([&](std::int64_t length, std::int64_t read) { progress.emplace_back(length, read); });
    const THttpResponse response = client.Get(url, content.size());
    EXPECT_EQ(response.nStatusCode, 200u);
    EXPECT_EQ(response.strStatusText, L"OK");
    EXPECT_EQ(response.nContentLength, static_cast<std::int64_t>(content.size()));
    EXPECT_TRUE(response.Body == content);

    ASSERT_GT(progress.size(), 1u);
    for (std::size_t i = 0; i < progress.size(); ++i) {
      EXPECT_EQ(progress[i].first, static_cast<std::int64_t>(content.size()));
      if (i > 0) {
        EXPECT_GT(progress[i].second, progress[i - 1].second);
      }
    }
    EXPECT_EQ(progress.back().second, static_cast<std::int64_t>(content.size()));

    client.SetReceiveProgress({});
    const std::size_t calls = progress.size();
    client.Get(url, content.size());
    EXPECT_EQ(progress.size(), calls) << "a detached handler was still called";
  }
}

TEST_F(HttpClientTest, AnyStatusIsAnAnswerWithItsText) {
  struct TCase {
    int code;
    const char* reason;
    const char* body;
  };
  for (const TCase& c : {TCase{404, "Not Found", "no such file"}, TCase{503, "Try Again Later", ""},
                         TCase{500, "Internal Server Error", "oops"}, TCase{201, "Created", "made"}}) {
    SCOPED_TRACE(c.code);
    test::SetFault("/client/status", json::array({Status(c.code, c.reason, c.body)}));
    TNetHttpClient client;
    const THttpResponse response = client.Get(Fault("/client/status"), TextBodyLimit);
    EXPECT_EQ(response.nStatusCode, static_cast<std::uint32_t>(c.code));
    EXPECT_EQ(response.strStatusText, FromUtf8(c.reason));
    EXPECT_EQ(response.Body, c.body);
    EXPECT_EQ(response.nContentLength, static_cast<std::int64_t>(std::string_view(c.body).size()));
  }
  TNetHttpClient client;
  const THttpResponse missing = client.Get(Nginx("/client/not-there"), TextBodyLimit);
  EXPECT_EQ(missing.nStatusCode, 404u);
  EXPECT_EQ(missing.strStatusText, L"Not Found");
}

TEST_F(HttpClientTest, FollowsRedirectsWithinAndAcrossServers) {
  test::WriteServedFile("client/target.txt", "the target");
  const std::string nginxTarget = ToUtf8(Nginx("/client/target.txt"));
  for (const auto& [code, location] : {std::pair{302, std::string("/client/target.txt")}, std::pair{301, nginxTarget}}) {
    SCOPED_TRACE(location);
    test::ResetFaultServer();
    test::SetFault("/client/moved", json::array({Status(code, "Moved", "", {{"Location", location}})}));
    TNetHttpClient client;
    const THttpResponse response = client.Get(Fault("/client/moved"), TextBodyLimit);
    EXPECT_EQ(response.nStatusCode, 200u);
    EXPECT_EQ(response.Body, "the target");
    EXPECT_EQ(test::FaultLog()[0]["status"], code);
  }
  const json nginx = test::NginxLog(1);
  ASSERT_FALSE(nginx.empty());
  EXPECT_EQ(nginx.back()["path"], "/client/target.txt");
}

TEST_F(HttpClientTest, AStalledServerTimesOutWhileASlowSteadyOneDoesNot) {
  const std::string content = RandomBytes(50000, 2);
  test::WriteServedFile("client/slow.bin", content);
  TNetHttpClient::TTimeouts timeouts;
  timeouts.nReceiveMs = 1500;

  for (bool beforeHeaders : {true, false}) {
    SCOPED_TRACE(beforeHeaders ? "silent before the headers" : "silent after the headers");
    test::SetFault("/client/slow.bin", json::array({{{"kind", "stall"}, {"before_headers", beforeHeaders}}}));
    TNetHttpClient client;
    client.SetTimeouts(timeouts);
    try {
      client.Get(Fault("/client/slow.bin"), content.size());
      ADD_FAILURE() << "no time-out";
    } catch (const TNetHttpError& e) {
      EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT));
      EXPECT_NE(e.Message().find(L": The operation timed out"), std::wstring::npos) << ToUtf8(e.Message());
    }
    EXPECT_EQ(client.LastResponse().has_value(), !beforeHeaders);
  }

  // Five pieces 0.5 s apart: longer than the stall limit in all, never silent for as long.
  test::SetFault("/client/slow.bin", json::array({{{"kind", "trickle"}, {"chunk", 10000}, {"interval", 0.5}}}));
  TNetHttpClient client;
  client.SetTimeouts(timeouts);
  EXPECT_TRUE(client.Get(Fault("/client/slow.bin"), content.size()).Body == content);
}

// The stop signal ends a request waiting on a silent server at once, from another thread, whichever step
// it waits in; a request that starts after the signal never reaches the server.
TEST_F(HttpClientTest, TheStopSignalEndsAStalledRequestAtOnce) {
  test::WriteServedFile("client/stalled.bin", RandomBytes(50000, 9));
  for (bool beforeHeaders : {true, false}) {
    SCOPED_TRACE(beforeHeaders ? "silent before the headers" : "silent after the headers");
    test::ResetFaultServer();
    test::SetFault("/client/stalled.bin", json::array({{{"kind", "stall"}, {"before_headers", beforeHeaders}}}));
    auto stop = std::make_shared<TStopSignal>();
    TNetHttpClient client;
    client.SetStopSignal(stop);
    std::thread stopper([&] {
      // Until the server has the request: the signal must reach a request that is already waiting.
      while (test::FaultLog().empty()) ::Sleep(20);
      ::Sleep(300);
      stop->Stop();
    });
    const ULONGLONG started = ::GetTickCount64();
    ULONGLONG stopped = 0;
    try {
      client.Get(Fault("/client/stalled.bin"), 50000);
      ADD_FAILURE() << "the request ended normally";
    } catch (const TNetHttpError& e) {
      stopped = ::GetTickCount64();
      EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_WINHTTP_OPERATION_CANCELLED)) << ToUtf8(e.Message());
    }
    stopper.join();
    EXPECT_LT(stopped - started, 5000u) << "the request waited for the server, not for the signal";
  }

  auto stop = std::make_shared<TStopSignal>();
  stop->Stop();
  test::ResetFaultServer();
  TNetHttpClient client;
  client.SetStopSignal(stop);
  EXPECT_THROW(client.Get(Fault("/client/stalled.bin"), 50000), TNetHttpError);
  EXPECT_TRUE(test::FaultLog().empty());
}

// A download to disk: the body goes to the sink as WinHTTP delivers it, under the same limit, and what the
// sink raises (a full disk) ends the request and reaches the caller unchanged.
TEST_F(HttpClientTest, ASinkTakesTheBodyAsItArrives) {
  const std::string content = RandomBytes(3 * 1024 * 1024 + 17, 5);
  test::WriteServedFile("client/sink.bin", content);
  TNetHttpClient client;
  std::string received;
  std::size_t pieces = 0;
  const THttpResponse response =
      client.Get(Nginx("/client/sink.bin"), content.size(), [&](const char* data, std::size_t size) {
        received.append(data, size);
        ++pieces;
      });
  EXPECT_EQ(response.nStatusCode, 200u);
  EXPECT_TRUE(response.Body.empty());
  EXPECT_TRUE(received == content);
  EXPECT_GT(pieces, 1u);

  EXPECT_THROW(client.Get(Nginx("/client/sink.bin"), content.size() - 1, [](const char*, std::size_t) {}), TError);

  class TNoRoom : public TError {
   public:
    using TError::TError;
  };
  std::size_t calls = 0;
  EXPECT_THROW(client.Get(Nginx("/client/sink.bin"), content.size(),
                          [&](const char*, std::size_t) {
                            ++calls;
                            throw TNoRoom(L"no room");
                          }),
               TNoRoom);
  EXPECT_EQ(calls, 1u);
  EXPECT_EQ(client.Get(Nginx("/client/sink.bin"), content.size()).Body.size(), content.size());
}

TEST_F(HttpClientTest, ABodyBeyondTheCallersLimitIsAnError) {
  const std::string content = RandomBytes(100000, 3);
  test::WriteServedFile("client/sized.bin", content);
  test::SetFault("/client/endless", json::array({{{"kind", "endless"}}}));
  struct TCase {
    std::wstring url;
    std::size_t limit;
    bool accepted;
  };
  for (const TCase& c : {TCase{Nginx("/client/sized.bin"), content.size(), true},
                         TCase{Nginx("/client/sized.bin"), content.size() - 1, false},
                         TCase{Fault("/client/endless"), 4 * 1024 * 1024, false}}) {
    SCOPED_TRACE(ToUtf8(c.url) + " limit " + std::to_string(c.limit));
    TNetHttpClient client;
    if (c.accepted) {
      EXPECT_EQ(client.Get(c.url, c.limit).Body.size(), c.limit);
    } else {
      try {
        client.Get(c.url, c.limit);
        ADD_FAILURE() << "accepted";
      } catch (const TError& e) {
        EXPECT_EQ(e.Message(), L"The answer's body exceeds the limit of " + std::to_wstring(c.limit) + L" bytes");
      }
    }
  }
}

TEST_F(HttpClientTest, ABrokenAnswerIsAnErrorAndKeepsItsStatusLine) {
  const std::string content = RandomBytes(200000, 4);
  test::WriteServedFile("client/broken.bin", content);
  struct TCase {
    const char* name;
    json behaviour;
    bool headersArrived;
  };
  const TCase cases[] = {
      {"length longer than the body", {{"kind", "wrong_length"}, {"length", content.size() + 1000}}, true},
      {"reset in the middle", {{"kind", "reset"}, {"after", 70000}}, true},
      {"closed without an answer", {{"kind", "drop"}}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::SetFault("/client/broken.bin", json::array({c.behaviour}));
    TNetHttpClient client;
    EXPECT_THROW(client.Get(Fault("/client/broken.bin"), TextBodyLimit), TError);
    ASSERT_EQ(client.LastResponse().has_value(), c.headersArrived);
    if (c.headersArrived) {
      EXPECT_EQ(client.LastResponse()->nStatusCode, 200u);
    }
  }

  // A length shorter than the body cannot be told from a short file: the client takes what was stated,
  // and the download's own size check has to catch it.
  test::SetFault("/client/broken.bin", json::array({{{"kind", "wrong_length"}, {"length", 1000}}}));
  TNetHttpClient client;
  EXPECT_TRUE(client.Get(Fault("/client/broken.bin"), TextBodyLimit).Body == content.substr(0, 1000));

  // Nobody listening.
  const std::wstring closed = L"http://127.0.0.1:1/client/broken.bin";
  try {
    client.Get(closed, TextBodyLimit);
    ADD_FAILURE() << "connected to port 1";
  } catch (const TNetHttpError& e) {
    EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT)) << ToUtf8(e.Message());
  }
}

TEST_F(HttpClientTest, RefusesAddressesItCannotFetch) {
  TNetHttpClient client;
  for (const wchar_t* url : {L"ftp://127.0.0.1/file", L"not an address", L""}) {
    SCOPED_TRACE(ToUtf8(url));
    EXPECT_THROW(client.Get(url, TextBodyLimit), TError);
  }
}

TEST_F(HttpClientTest, PostsTheBodyUnchanged) {
  const std::string body = "strHardID=0A1B2C3D&str_error=a=b&c d\r\nVersão : 1.41\r\n&bSilentMode=1";
  TNetHttpClient client;
  const THttpResponse response =
      client.Post(Fault("/software/error"), body, L"application/x-www-form-urlencoded", TextBodyLimit);
  EXPECT_EQ(response.nStatusCode, 200u);
  EXPECT_EQ(response.Body, body);  // the fault server echoes what it received
  const json entry = test::FaultLog().back();
  EXPECT_EQ(entry["method"], "POST");
  EXPECT_EQ(entry["request_bytes"], body.size());
  EXPECT_EQ(entry["request_headers"]["Content-Type"], "application/x-www-form-urlencoded");
}

TEST_F(HttpClientTest, GoesThroughTheProxyAndAnswersItsChallenge) {
  test::WriteServedFile("client/proxied.txt", "through the proxy");
  // Wine's WinHTTP talks to a proxy as to the server itself when both have the same host name, whatever
  // the ports; the proxy resolves "localhost" to the same server. This proxy refuses wrong credentials
  // with 401 rather than another 407.
  std::wstring target = Nginx("/client/proxied.txt");
  target.replace(target.find(L"127.0.0.1"), 9, L"localhost");
  struct TCase {
    std::wstring user;
    std::wstring password;
    std::uint32_t status;
  };
  for (const TCase& c : {TCase{Servers().strProxyUser, Servers().strProxyPassword, 200},
                         TCase{L"", L"", 407}, TCase{Servers().strProxyUser, L"wrong", 401}}) {
    SCOPED_TRACE(ToUtf8(c.user + L":" + c.password));
    TNetHttpClient client;
    client.SetProxySettings({Servers().strProxyHost, Servers().nProxyPort, L"", c.user, c.password});
    const THttpResponse response = client.Get(target, TextBodyLimit);
    EXPECT_EQ(response.nStatusCode, c.status);
    if (c.status == 200) {
      EXPECT_EQ(response.Body, "through the proxy");
    }
  }

  // A client whose setting changes to "no proxy" goes direct from its next request on.
  TNetHttpClient client;
  client.SetProxySettings({Servers().strProxyHost, Servers().nProxyPort, L"", L"", L""});
  EXPECT_EQ(client.Get(target, TextBodyLimit).nStatusCode, 407u);
  client.SetProxySettings({});
  EXPECT_EQ(client.Get(Nginx("/client/proxied.txt"), TextBodyLimit).nStatusCode, 200u);
}

// Trust is set up before the first TLS connection: the process's certificate chain engine keeps the root
// store it saw first.
TEST_F(HttpClientTest, HttpsWorksWithATrustedCertificateOnly) {
  test::WriteServedFile("client/secure.txt", "over TLS");
  test::TTrustedTestCa trusted;
  ASSERT_TRUE(trusted.Added());
  TNetHttpClient client;
  const THttpResponse response = client.Get(Servers().strHttpsUrl + L"/client/secure.txt", TextBodyLimit);
  EXPECT_EQ(response.nStatusCode, 200u);
  EXPECT_EQ(response.Body, "over TLS");
  // nginx serves no POST on static files; the answer proves the request went through.
  EXPECT_EQ(client.Post(Servers().strHttpsUrl + L"/client/secure.txt", "a=b", L"application/x-www-form-urlencoded",
                        TextBodyLimit)
                .nStatusCode,
            405u);

  try {
    client.Get(Servers().strUntrustedHttpsUrl + L"/client/secure.txt", TextBodyLimit);
    ADD_FAILURE() << "a self-signed certificate was trusted";
  } catch (const TNetHttpError& e) {
    EXPECT_TRUE(e.Code() == ERROR_WINHTTP_SECURE_FAILURE || e.Code() == ERROR_WINHTTP_SECURE_CHANNEL_ERROR)
        << ToUtf8(e.Message());
  }
}

// The browser proxy as the current user's connection settings hold it: a header (format 0x46, a counter,
// flags with 2 = "use a proxy"), then the proxy text, the bypass list and the script address, each as a
// length and ANSI characters.
void WriteBrowserProxy(const std::string& proxy) {
  std::string blob;
  auto add = [&blob](std::uint32_t value) { blob.append(reinterpret_cast<const char*>(&value), sizeof(value)); };
  add(0x46);
  add(0);
  add(2);
  add(static_cast<std::uint32_t>(proxy.size()));
  blob += proxy;
  add(0);
  add(0);
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections", 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                   static_cast<DWORD>(blob.size()));
  ::RegCloseKey(key);
}

TEST(SystemProxyTest, SplitsTheBrowserProxyAtTheFirstColon) {
  struct TCase {
    std::optional<std::string> proxy;  // none: the user has no proxy settings at all
    bool result;
    const wchar_t* host;
    const wchar_t* port;
  };
  const TCase cases[] = {
      {"proxy.example:8080", true, L"proxy.example", L"8080"},
      {"proxy.example", false, L"", L""},
      {"proxy.example:", false, L"proxy.example", L""},
      {":8080", false, L"", L"8080"},
      // A list per protocol still splits at the first colon; its port part is for the caller to judge.
      {"http=a.example:80;https=b.example:443", true, L"http=a.example", L"80;https=b.example:443"},
      {std::nullopt, false, L"", L""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.proxy.value_or("(no settings)"));
    test::TRegistrySandbox sandbox;
    if (c.proxy) WriteBrowserProxy(*c.proxy);
    std::wstring host = L"old", port = L"old";
    EXPECT_EQ(GetSystemProxy(host, port), c.result);
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
  }
}

}  // namespace
}  // namespace sf
