// What fetching the packages costs the processor on this platform, without unpacking them: the same list
// of paths fetched by four threads either through the installer's HTTP client (WinHTTP, bodies handed to a
// sink as the installer's downloads are) or through plain sockets that receive 256 KiB at a time. The
// second is no client the installer could ship (no proxy, no redirects, no TLS); it shows what the bytes
// cost when the platform is asked for them in large pieces. Not a test: it measures and prints.
//
//   transfer_bench winhttp|sockets HOST PORT LIST
//
// LIST holds one path per line (as "/files/<md5>"), largest first. Prints one line:
//   mode=... files=N bytes=B wall=S cpu=S
// where cpu is this process's user and kernel time. Under Wine part of the cost is the wine server's, in
// another process: bench/pipeline adds it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/ErrorU.h"
#include "common/TextU.h"
#include "network/HttpClientU.h"

namespace {

constexpr int kThreads = 4;
constexpr std::size_t kReceivePiece = std::size_t{256} << 10;

struct TJob {
  std::string host;
  std::string port;
  std::vector<std::string> paths;
  std::atomic<std::size_t> next{0};
  std::atomic<std::uint64_t> bytes{0};
};

// Each thread takes the next path until none is left.
template <typename Fetch>
void FetchAll(TJob& job, Fetch fetch) {
  for (std::size_t i = job.next++; i < job.paths.size(); i = job.next++) job.bytes += fetch(job.paths[i]);
}

std::uint64_t FetchByWinHttp(sf::TNetHttpClient& client, const TJob& job, const std::string& path) {
  std::uint64_t received = 0;
  const std::wstring url = sf::FromUtf8("http://" + job.host + ":" + job.port + path);
  const sf::THttpResponse response =
      client.Get(url, std::size_t{1} << 31, [&received](const char*, std::size_t size) { received += size; });
  if (response.nStatusCode != 200 || static_cast<std::int64_t>(received) != response.nContentLength) {
    throw std::runtime_error("WinHTTP: " + path + " answered " + std::to_string(response.nStatusCode));
  }
  return received;
}

class TSocket {
 public:
  explicit TSocket(SOCKET socket) : m_socket(socket) {}
  ~TSocket() {
    if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
  }
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;
  SOCKET Get() const { return m_socket; }

 private:
  SOCKET m_socket;
};

// HTTP/1.1 GET with "Connection: close": the body is whatever follows the headers until the server closes.
std::uint64_t FetchBySocket(const TJob& job, const std::string& path, std::vector<char>& buffer) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(job.host.c_str(), job.port.c_str(), &hints, &found) != 0) throw std::runtime_error("getaddrinfo");
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> address(found, ::freeaddrinfo);
  TSocket socket(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
  if (socket.Get() == INVALID_SOCKET || ::connect(socket.Get(), found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    throw std::runtime_error("connect to " + job.host + ":" + job.port);
  }
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + job.host + "\r\nConnection: close\r\n\r\n";
  if (::send(socket.Get(), request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) {
    throw std::runtime_error("send");
  }
  std::string head;
  std::uint64_t body = 0;
  while (true) {
    const int got = ::recv(socket.Get(), buffer.data(), static_cast<int>(buffer.size()), 0);
    if (got < 0) throw std::runtime_error("recv");
    if (got == 0) break;
    if (head.find("\r\n\r\n") == std::string::npos) {
      head.append(buffer.data(), static_cast<std::size_t>(got));
      const std::size_t end = head.find("\r\n\r\n");
      if (end != std::string::npos) body += head.size() - end - 4;
    } else {
      body += static_cast<std::uint64_t>(got);
    }
  }
  const std::size_t lengthAt = head.find("Content-Length: ");
  if (head.rfind("HTTP/1.1 200", 0) != 0 || lengthAt == std::string::npos ||
      std::strtoull(head.c_str() + lengthAt + 16, nullptr, 10) != body) {
    throw std::runtime_error("sockets: " + path + " did not come whole");
  }
  return body;
}

double ProcessorSeconds() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto seconds = [](const FILETIME& time) {
    return static_cast<double>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: transfer_bench winhttp|sockets HOST PORT LIST\n");
    return 2;
  }
  const std::string mode = argv[1];
  TJob job;
  job.host = argv[2];
  job.port = argv[3];
  std::ifstream list(argv[4]);
  for (std::string line; std::getline(list, line);) {
    if (!line.empty()) job.paths.push_back(line);
  }
  WSADATA wsa;
  if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;

  const double cpuBefore = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  std::atomic<bool> failed{false};
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      try {
        if (mode == "winhttp") {
          sf::TNetHttpClient client;
          FetchAll(job, [&](const std::string& path) { return FetchByWinHttp(client, job, path); });
        } else {
          std::vector<char> buffer(kReceivePiece);
          FetchAll(job, [&](const std::string& path) { return FetchBySocket(job, path, buffer); });
        }
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        failed = true;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (failed) return 1;
  std::printf("mode=%s files=%zu bytes=%llu wall=%.3f cpu=%.3f\n", mode.c_str(), job.paths.size(),
              static_cast<unsigned long long>(job.bytes.load()), wall, ProcessorSeconds() - cpuBefore);
  ::WSACleanup();
  return 0;
}
