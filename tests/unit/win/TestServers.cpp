#include "TestServers.h"

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <windows.h>

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
  return servers;
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
    nlohmann::json entries = nlohmann::json::array();
    std::istringstream lines(ReadFile(TestServers()->nginxAccessLog));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty()) entries.push_back(nlohmann::json::parse(line));
    }
    if (entries.size() >= minEntries || ::GetTickCount64() >= deadline) return entries;
    ::Sleep(20);
  }
}

}  // namespace sf::test
