// The loopback servers started around the Windows unit tests (servers_fixture.py, a CTest fixture):
// the fault server and nginx serving one folder, nginx over HTTPS, tinyproxy with Basic
// authentication, and a stand-in for the error endpoint over HTTPS that records what it receives.
// Their addresses come from the file that SF_TEST_SERVERS names.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace sf::test {

struct TTestServers {
  std::filesystem::path www;  // served by the fault server and both nginx instances
  std::wstring strFaultUrl;
  std::wstring strNginxUrl;
  std::wstring strHttpsUrl;           // certificate signed by testCa
  std::wstring strUntrustedHttpsUrl;  // self-signed certificate
  std::filesystem::path nginxAccessLog;
  std::filesystem::path testCa;  // DER certificate of the CA that signed the HTTPS server's certificate
  std::wstring strProxyHost;
  int nProxyPort = 0;
  std::wstring strProxyUser;
  std::wstring strProxyPassword;
  std::filesystem::path proxyLog;
  std::wstring strReportUrl;  // certificate signed by testCa; /status/NNN/... answers NNN, anything else 200
  std::filesystem::path reportLog;
  // A folder for APPDATA whose Ardentis\full-disk\full is a link to the system's full device (missing
  // where there is none); the served version (below www, "fullsite") is that one file.
  std::filesystem::path fullDiskAppData;
  std::filesystem::path FullDevice() const { return fullDiskAppData / L"Ardentis" / L"full-disk" / L"full"; }
  std::string strSignedKey;  // public key of the signed publication below www/signed (serial 7)
};

// Null when SF_TEST_SERVERS is not set, i.e. the test program was started outside CTest.
const TTestServers* TestServers();

// Skips the calling test (with a message saying how to run it) when the servers are not there.
#define SF_REQUIRE_TEST_SERVERS()                                                                      \
  if (!::sf::test::TestServers()) GTEST_SKIP() << "needs the test servers: run it through ctest, "     \
                                                  "whose fixture starts them and sets SF_TEST_SERVERS"

// Writes a file below the served folder (relative path with "/"), creating its folders.
void WriteServedFile(std::string_view relativePath, std::string_view content);

// The fault server's control path. behaviours: a JSON array, taken one per request, the last one
// staying in force; an empty array clears the path's fault.
void SetFault(std::string_view path, const nlohmann::json& behaviours);
void ResetFaultServer();  // clears every fault and the log
nlohmann::json FaultLog();  // [{method, path, status, bytes, fault, request_bytes, request_headers}]

// nginx's access log, one JSON object per request: method, path, status, bytes, length. nginx writes an
// entry just after its answer has gone out, so this waits up to 2 s for at least minEntries of them.
nlohmann::json NginxLog(std::size_t minEntries);

// The error endpoint's record, one object per request in order: method, path, headers, body (UTF-8).
// A request is recorded before it is answered.
nlohmann::json ReportLog();

// The test CA in the current user's root store for the life of the object. Trust has to be set up before
// the process's first TLS connection: its certificate chain engine keeps the root store it saw first.
class TTrustedTestCa {
 public:
  TTrustedTestCa();
  ~TTrustedTestCa();
  TTrustedTestCa(const TTrustedTestCa&) = delete;
  TTrustedTestCa& operator=(const TTrustedTestCa&) = delete;
  bool Added() const { return m_added; }

 private:
  const void* m_cert = nullptr;  // PCCERT_CONTEXT
  bool m_added = false;
};

}  // namespace sf::test
