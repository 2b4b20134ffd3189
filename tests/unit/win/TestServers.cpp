#include "TestServers.h"

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <windows.h>
#include <wincrypt.h>

#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "network/HttpClientU.h"

namespace sf::test {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TTestServers Load(const std::wstring& file) {
  std::map<std::string, std::string> values;
  std::istringstream lines(ReadFile(file));
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  auto get = [&](const char* key) {
    const auto it = values.find(key);
    if (it == values.end()) throw std::runtime_error(std::string("test servers file lacks ") + key);
    return FromUtf8(it->second);
  };
  TTestServers servers;
  servers.www = get("www");
  servers.strFaultUrl = get("fault_url");
  servers.strNginxUrl = get("nginx_url");
  servers.strHttpsUrl = get("https_url");
  servers.strUntrustedHttpsUrl = get("untrusted_https_url");
  servers.nginxAccessLog = get("nginx_access_log");
  servers.testCa = get("test_ca");
  servers.strProxyHost = get("proxy_host");
  servers.nProxyPort = std::stoi(get("proxy_port"));
  servers.strProxyUser = get("proxy_user");
  servers.strProxyPassword = get("proxy_password");
  servers.proxyLog = get("proxy_log");
  servers.strReportUrl = get("report_url");
  servers.reportLog = get("report_log");
  servers.fullDiskAppData = get("full_disk_appdata");
  servers.strSignedKey = ToUtf8(get("signed_key"));
  return servers;
}

nlohmann::json JsonLines(const std::filesystem::path& path) {
  nlohmann::json entries = nlohmann::json::array();
  std::istringstream lines(ReadFile(path));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) entries.push_back(nlohmann::json::parse(line));
  }
  return entries;
}

// A registry-backed store writes its changes when it is closed, so each change closes the store at once.
HCERTSTORE OpenRootStore() {
  return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"ROOT");
}

THttpResponse Control(const wchar_t* verb, const std::wstring& name, const std::string& body = {}) {
  TNetHttpClient client;
  const std::wstring url = TestServers()->strFaultUrl + L"/__control/" + name;
  THttpResponse response = std::wstring_view(verb) == L"GET"
                               ? client.Get(url, TextBodyLimit)
                               : client.Post(url, body, L"application/json", TextBodyLimit);
  if (response.nStatusCode != 200) {
    throw std::runtime_error("fault server control " + ToUtf8(name) + ": " + response.Body);
  }
  return response;
}

}  // namespace

const TTestServers* TestServers() {
  static const std::optional<TTestServers> servers = []() -> std::optional<TTestServers> {
    const std::wstring file = EnvironmentVariable(L"SF_TEST_SERVERS");
    if (file.empty()) return std::nullopt;
    return Load(file);
  }();
  return servers ? &*servers : nullptr;
}

void WriteServedFile(std::string_view relativePath, std::string_view content) {
  const std::filesystem::path path = TestServers()->www / FromUtf8(relativePath);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void SetFault(std::string_view path, const nlohmann::json& behaviours) {
  Control(L"POST", L"fault", nlohmann::json{{"path", path}, {"behaviours", behaviours}}.dump());
}

void ResetFaultServer() { Control(L"POST", L"reset"); }

nlohmann::json FaultLog() { return nlohmann::json::parse(Control(L"GET", L"log").Body); }

nlohmann::json NginxLog(std::size_t minEntries) {
  const ULONGLONG deadline = ::GetTickCount64() + 2000;
  for (;;) {
    nlohmann::json entries = JsonLines(TestServers()->nginxAccessLog);
    if (entries.size() >= minEntries || ::GetTickCount64() >= deadline) return entries;
    ::Sleep(20);
  }
}

nlohmann::json ReportLog() { return JsonLines(TestServers()->reportLog); }

TTrustedTestCa::TTrustedTestCa() {
  std::ifstream in(TestServers()->testCa, std::ios::binary);
  const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const PCCERT_CONTEXT cert = ::CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
  m_cert = cert;
  HCERTSTORE store = OpenRootStore();
  m_added = cert && store && ::CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (store) ::CertCloseStore(store, 0);
}

TTrustedTestCa::~TTrustedTestCa() {
  const auto cert = static_cast<PCCERT_CONTEXT>(m_cert);
  if (HCERTSTORE store = OpenRootStore()) {
    if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert,
                                                             nullptr)) {
      ::CertDeleteCertificateFromStore(found);  // frees the found context as well
    }
    ::CertCloseStore(store, 0);
  }
  if (cert) ::CertFreeCertificateContext(cert);
}

}  // namespace sf::test
