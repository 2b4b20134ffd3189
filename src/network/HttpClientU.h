// The one HTTP client of the installer, over WinHTTP: GET and POST with the body in memory or handed on
// in pieces as it arrives (a package written to disk), the proxy
// setting of the run, limits that keep a misbehaving server from hanging or flooding it, and a stop
// signal that ends a request at once, however silent the server.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/ErrorU.h"
#include "common/StopSignalU.h"
#include "common/WinHandleU.h"
#include "network/ProxySettingsU.h"

namespace sf {

// Cap for bodies read as text (the installer's version text, the version manifest): far above any real
// answer, far below what would hurt the process.
inline constexpr std::size_t TextBodyLimit = 16 * 1024 * 1024;

// A failed WinHTTP call, e.g. "WinHttpSendRequest: The operation timed out", with its error code.
// WinHTTP's codes (12001-12190) are not in the system's message table, hence a type of its own.
class TNetHttpError : public TError {
 public:
  TNetHttpError(const std::wstring& context, DWORD code);
  DWORD Code() const { return m_code; }

 private:
  DWORD m_code;
};

struct THttpResponse {
  std::uint32_t nStatusCode = 0;
  std::wstring strStatusText;
  std::int64_t nContentLength = -1;  // -1: the answer stated no length
  std::string Body;                  // the bytes as received (no decoding); empty when a sink took them
};

// A blocking client: each call returns with the whole answer. A non-200 status is an answer like any
// other (callers read nStatusCode); errors (no connection, time-out, a broken or oversized body, a bad
// address) raise TNetHttpError or TError, and a request ended by the stop signal raises TNetHttpError
// with ERROR_WINHTTP_OPERATION_CANCELLED. One object is used by one thread at a time.
//
// WinHTTP runs asynchronously underneath, so that the calling thread waits on the stop signal as well as
// on the server: a thread blocked inside a synchronous WinHTTP call cannot be woken everywhere (Wine's
// WinHTTP finishes a blocked receive even when its handle is closed).
class TNetHttpClient {
 public:
  // Receive progress while a body arrives: the stated length (-1 when none) and the bytes so far.
  using TReceiveProgress = std::function<void(std::int64_t contentLength, std::int64_t bytesRead)>;

  // WinHTTP's receive time-out applies to each wait for data, so nReceiveMs is a stall limit: a slow but
  // steady download never trips it, a server that stops sending does. It also bounds the wait for the
  // response headers.
  struct TTimeouts {
    int nResolveMs = 30000;
    int nConnectMs = 30000;
    int nSendMs = 30000;
    int nReceiveMs = 30000;
  };

  TNetHttpClient();
  TNetHttpClient(const TNetHttpClient&) = delete;
  TNetHttpClient& operator=(const TNetHttpClient&) = delete;

  // Replaces the proxy setting for the following requests. An empty host makes no explicit choice:
  // WinHTTP's default connection settings apply. A user name is offered to the proxy when it asks (407).
  // Setting the same value again keeps the open session.
  void SetProxySettings(const TProxySettings& settings);
  const TProxySettings& ProxySettings() const { return m_proxy; }
  // Connects straight to the server: neither a proxy setting nor the platform's default proxy applies.
  // The error report goes out this way, whatever the run's proxy setting.
  void UseDirectConnection();

  // Requests end with ERROR_WINHTTP_OPERATION_CANCELLED once the signal is set; one that starts after it
  // never goes out.
  void SetStopSignal(std::shared_ptr<const TStopSignal> stop) { m_stop = std::move(stop); }

  // Takes a body's bytes in the pieces WinHTTP delivers, in order. An error it raises ends the request
  // and reaches the caller as it is (a full disk stays a full disk).
  using TBodySink = std::function<void(const char* data, std::size_t size)>;

  // An empty handler detaches the current one.
  void SetReceiveProgress(TReceiveProgress handler) { m_onReceive = std::move(handler); }
  void SetTimeouts(const TTimeouts& timeouts) { m_timeouts = timeouts; }

  // maxBodySize: a body larger than this is an error, whatever the status (a caller that expects N bytes
  // allows N). Redirects are followed.
  THttpResponse Get(const std::wstring& url, std::size_t maxBodySize);
  // The same, with the body handed to `sink` as it arrives instead of kept: memory stays at one piece,
  // however large the body. The limits are those of the body in memory.
  THttpResponse Get(const std::wstring& url, std::size_t maxBodySize, const TBodySink& sink);
  THttpResponse Post(const std::wstring& url, std::string_view body, const std::wstring& contentType,
                     std::size_t maxBodySize);

  // Status line and length of the latest request once its headers had arrived, also when reading its
  // body failed afterwards; empty when no answer came. The body is not kept here.
  const std::optional<THttpResponse>& LastResponse() const { return m_lastResponse; }

 private:
  THttpResponse Send(const wchar_t* verb, const std::wstring& url, std::string_view body,
                     const std::wstring& headers, std::size_t maxBodySize, const TBodySink* sink);
  HINTERNET Session();
  DWORD GuardMs() const;

  TProxySettings m_proxy;
  bool m_bDirect = false;
  TTimeouts m_timeouts;
  TReceiveProgress m_onReceive;
  std::shared_ptr<const TStopSignal> m_stop;
  TScopedInternet m_session;  // opened for the current proxy setting; reopened when it changes
  std::optional<THttpResponse> m_lastResponse;
};

// The current user's browser proxy: host = the proxy text before its first ":", port = the text after
// it. True only when both are non-empty; automatic detection, scripts and the bypass list are ignored.
bool GetSystemProxy(std::wstring& host, std::wstring& port);

}  // namespace sf
