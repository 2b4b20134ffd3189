#include "network/HttpClientU.h"

#include <winhttp.h>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>
#include <vector>

#include "common/TextU.h"
#include "common/WinErrorU.h"

namespace sf {
namespace {

constexpr const wchar_t* kUserAgent = L"Stormfinch Setup";

// Texts for the codes a download meets, where winhttp.dll carries no message table of its own.
struct TErrorText {
  DWORD code;
  const wchar_t* text;
};
constexpr std::array kWinHttpErrorTexts{
    TErrorText{ERROR_WINHTTP_TIMEOUT, L"The operation timed out"},
    TErrorText{ERROR_WINHTTP_NAME_NOT_RESOLVED, L"The server name or address could not be resolved"},
    TErrorText{ERROR_WINHTTP_CANNOT_CONNECT, L"A connection with the server could not be established"},
    TErrorText{ERROR_WINHTTP_CONNECTION_ERROR, L"The connection with the server was reset or terminated"},
    TErrorText{ERROR_WINHTTP_INVALID_SERVER_RESPONSE, L"The server response could not be parsed"},
    TErrorText{ERROR_WINHTTP_INVALID_URL, L"The URL is invalid"},
    TErrorText{ERROR_WINHTTP_UNRECOGNIZED_SCHEME, L"The URL scheme could not be recognized, or is not supported"},
    TErrorText{ERROR_WINHTTP_REDIRECT_FAILED, L"The redirection failed"},
    TErrorText{ERROR_WINHTTP_SECURE_FAILURE, L"The server's certificate could not be validated"},
    TErrorText{ERROR_WINHTTP_SECURE_CHANNEL_ERROR, L"An error occurred in the secure channel"},
    TErrorText{ERROR_WINHTTP_LOGIN_FAILURE, L"The login attempt failed"},
    TErrorText{ERROR_WINHTTP_OPERATION_CANCELLED, L"The operation was canceled"},
};

std::wstring WinHttpErrorText(DWORD code) {
  std::array<wchar_t, 512> buffer{};
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        ::GetModuleHandleW(L"winhttp.dll"), code, 0, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), nullptr);
  if (length != 0) return Trim(std::wstring_view(buffer.data(), length));
  for (const auto& entry : kWinHttpErrorTexts) {
    if (entry.code == code) return entry.text;
  }
  return SystemErrorText(code);
}

[[noreturn]] void ThrowLastError(const wchar_t* call) {
  throw TNetHttpError(call, ::GetLastError());
}

// A header as text; empty when the answer does not carry it.
std::optional<std::wstring> QueryHeaderText(HINTERNET request, DWORD query) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
  const DWORD error = ::GetLastError();
  if (error == ERROR_WINHTTP_HEADER_NOT_FOUND) return std::nullopt;
  if (error != ERROR_INSUFFICIENT_BUFFER) throw TNetHttpError(L"WinHttpQueryHeaders", error);
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    ThrowLastError(L"WinHttpQueryHeaders");
  }
  text.resize(size / sizeof(wchar_t));
  return text;
}

// -1 unless the header is a plain decimal number.
std::int64_t ParseContentLength(const std::optional<std::wstring>& text) {
  // Eighteen digits at most: every such number fits the signed 64-bit length.
  if (!text || text->size() > 18) return -1;
  const std::optional<std::uint64_t> value = ParseDecimal(*text, std::numeric_limits<std::int64_t>::max());
  return value ? static_cast<std::int64_t>(*value) : -1;
}

THttpResponse ReadHead(HINTERNET request) {
  THttpResponse response;
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    ThrowLastError(L"WinHttpQueryHeaders");
  }
  response.nStatusCode = status;
  response.strStatusText = QueryHeaderText(request, WINHTTP_QUERY_STATUS_TEXT).value_or(L"");
  response.nContentLength = ParseContentLength(QueryHeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH));
  return response;
}

std::wstring LimitText(std::size_t limit) {
  return L"The answer's body exceeds the limit of " + std::to_wstring(limit) + L" bytes";
}

// The strongest scheme both sides know; WinHTTP then answers the proxy's challenge with it.
DWORD ChooseAuthScheme(DWORD supported) {
  for (DWORD scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
                       WINHTTP_AUTH_SCHEME_BASIC}) {
    if (supported & scheme) return scheme;
  }
  return 0;
}

// Wine's WinHTTP passes some socket errors through where Windows reports its own codes; callers test
// for the WinHTTP ones.
DWORD NormalizedErrorCode(DWORD code) {
  switch (code) {
    case WSAETIMEDOUT: return ERROR_WINHTTP_TIMEOUT;
    case WSAECONNREFUSED: return ERROR_WINHTTP_CANNOT_CONNECT;
    case WSAECONNRESET:
    case WSAECONNABORTED: return ERROR_WINHTTP_CONNECTION_ERROR;
    default: return code;
  }
}

// Host before the first ":", port after it; a text without ":" names no host.
void SplitProxyText(std::wstring_view text, std::wstring& host, std::wstring& port) {
  const std::size_t colon = text.find(L':');
  if (colon == std::wstring_view::npos) return;
  host.assign(text.substr(0, colon));
  port.assign(text.substr(colon + 1));
}

// What one asynchronous request tells the thread that waits for it. WinHTTP reports on threads of its
// own; the waiting thread reads the fields after the event. Whatever WinHTTP may still write into (the
// request body it sends, the buffer it reads into) lives here, so that a request given up while WinHTTP
// still works on it never leaves WinHTTP a freed buffer.
struct TRequestState {
  static constexpr DWORD kReadChunk = 256 * 1024;

  TScopedKernelHandle done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  DWORD completion = 0;  // the WINHTTP_CALLBACK_STATUS_* that arrived last
  DWORD error = 0;       // of a REQUEST_ERROR
  DWORD bytes = 0;       // of a DATA_AVAILABLE or READ_COMPLETE
  std::string requestBody;
  std::vector<char> buffer = std::vector<char>(kReadChunk);
};

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  auto* state = reinterpret_cast<TRequestState*>(context);
  if (!state) return;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: state->bytes = *static_cast<const DWORD*>(info); break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: state->bytes = length; break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      state->error = static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError;
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: break;
    default: return;
  }
  state->completion = status;
  ::SetEvent(state->done.Get());  // the last touch: the waiting thread owns the state again from here
}

// One request handle in asynchronous mode, used as if it were synchronous: each step starts a WinHTTP
// operation and waits for its completion, the stop signal or a guard time. A request given up while an
// operation is pending keeps its state alive for good (WinHTTP may still complete into it); that happens
// once per stopped run.
class TAsyncRequest {
 public:
  TAsyncRequest(HINTERNET connection, const wchar_t* verb, const std::wstring& path, bool secure,
                const TStopSignal* stop, DWORD guardMs)
      : m_state(std::make_unique<TRequestState>()), m_stop(stop), m_guardMs(guardMs) {
    if (!m_state->done) ThrowLastError(L"CreateEvent");
    m_request.Reset(::WinHttpOpenRequest(connection, verb, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!m_request) ThrowLastError(L"WinHttpOpenRequest");
    if (::WinHttpSetStatusCallback(m_request.Get(), &OnRequestStatus, WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS, 0) ==
        WINHTTP_INVALID_STATUS_CALLBACK) {
      ThrowLastError(L"WinHttpSetStatusCallback");
    }
  }
  ~TAsyncRequest() {
    m_request.Close();  // clears the callback first: nothing new reaches the state after this
    if (m_bAbandoned) (void)m_state.release();
  }
  TAsyncRequest(const TAsyncRequest&) = delete;
  TAsyncRequest& operator=(const TAsyncRequest&) = delete;

  HINTERNET Handle() const { return m_request.Get(); }

  void Send(const std::wstring& headers, std::string_view body) {
    m_state->requestBody.assign(body);
    std::string& sent = m_state->requestBody;
    const auto context = reinterpret_cast<DWORD_PTR>(m_state.get());
    if (!::WinHttpSendRequest(m_request.Get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                              headers.empty() ? 0 : static_cast<DWORD>(-1),
                              sent.empty() ? WINHTTP_NO_REQUEST_DATA : sent.data(), static_cast<DWORD>(sent.size()),
                              static_cast<DWORD>(sent.size()), context)) {
      ThrowLastError(L"WinHttpSendRequest");
    }
    Await(L"WinHttpSendRequest");
  }

  void ReceiveResponse() {
    if (!::WinHttpReceiveResponse(m_request.Get(), nullptr)) ThrowLastError(L"WinHttpReceiveResponse");
    Await(L"WinHttpReceiveResponse");
  }

  DWORD QueryDataAvailable() {
    if (!::WinHttpQueryDataAvailable(m_request.Get(), nullptr)) ThrowLastError(L"WinHttpQueryDataAvailable");
    Await(L"WinHttpQueryDataAvailable");
    return m_state->bytes;
  }

  // Reads up to `wanted` bytes into the request's buffer; the piece read, empty at the end of the body.
  std::string_view ReadData(DWORD wanted) {
    wanted = std::min(wanted, TRequestState::kReadChunk);
    if (!::WinHttpReadData(m_request.Get(), m_state->buffer.data(), wanted, nullptr)) {
      ThrowLastError(L"WinHttpReadData");
    }
    Await(L"WinHttpReadData");
    return std::string_view(m_state->buffer.data(), m_state->bytes);
  }

 private:
  void Await(const wchar_t* call) {
    const HANDLE events[] = {m_state->done.Get(), m_stop ? m_stop->Event() : nullptr};
    const DWORD count = m_stop ? 2 : 1;
    const DWORD woke = ::WaitForMultipleObjects(count, events, FALSE, m_guardMs);
    if (woke != WAIT_OBJECT_0) {
      m_bAbandoned = true;
      // A stop that arrives with the completion still counts: the caller is to give up either way.
      throw TNetHttpError(call, woke == WAIT_TIMEOUT ? ERROR_WINHTTP_TIMEOUT : ERROR_WINHTTP_OPERATION_CANCELLED);
    }
    if (m_state->completion == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) throw TNetHttpError(call, m_state->error);
  }

  std::unique_ptr<TRequestState> m_state;
  TScopedInternet m_request;
  const TStopSignal* m_stop;
  DWORD m_guardMs;
  bool m_bAbandoned = false;
};

// Reads the whole body, into response.Body or, piece by piece, into the sink. The stated length is checked
// both ways: more than the limit is refused before reading, and a connection that ends early is an error
// rather than a short file.
void ReadBody(TAsyncRequest& request, THttpResponse& response, std::size_t maxBodySize,
              const TNetHttpClient::TReceiveProgress& onReceive, const TNetHttpClient::TBodySink* sink) {
  response.Body.clear();
  if (response.nContentLength > static_cast<std::int64_t>(maxBodySize)) throw TError(LimitText(maxBodySize));
  if (!sink && response.nContentLength > 0) response.Body.reserve(static_cast<std::size_t>(response.nContentLength));
  // Reading stops at the stated length, as Windows' WinHTTP does by itself; Wine's goes on to the end
  // of the connection.
  const std::size_t stated =
      response.nContentLength >= 0 ? static_cast<std::size_t>(response.nContentLength) : static_cast<std::size_t>(-1);
  std::size_t received = 0;
  while (received < stated) {
    DWORD available = request.QueryDataAvailable();
    if (available == 0) break;
    // Wine's WinHTTP fills one read from the connection until it has what was asked for, while each call
    // costs a round trip through its thread pool and the wine server: a body of known length is read in
    // large pieces rather than in what happens to be there already.
    if (response.nContentLength >= 0) {
      available = static_cast<DWORD>(std::min<std::size_t>(stated - received, TRequestState::kReadChunk));
    }
    if (available > maxBodySize - received) throw TError(LimitText(maxBodySize));
    const std::string_view piece = request.ReadData(available);
    if (piece.empty()) break;
    if (sink) {
      (*sink)(piece.data(), piece.size());
    } else {
      response.Body.append(piece);
    }
    received += piece.size();
    if (onReceive) onReceive(response.nContentLength, static_cast<std::int64_t>(received));
  }
  if (response.nContentLength >= 0 && static_cast<std::int64_t>(received) != response.nContentLength) {
    throw TError(L"The answer's body ended after " + std::to_wstring(received) + L" of " +
                 std::to_wstring(response.nContentLength) + L" bytes");
  }
}

}  // namespace

TNetHttpError::TNetHttpError(const std::wstring& context, DWORD code)
    : TError(context + L": " + WinHttpErrorText(NormalizedErrorCode(code))), m_code(NormalizedErrorCode(code)) {}

TNetHttpClient::TNetHttpClient() = default;

void TNetHttpClient::SetProxySettings(const TProxySettings& settings) {
  if (settings == m_proxy && !m_bDirect) return;
  m_proxy = settings;
  m_session.Reset();  // WinHTTP fixes the proxy when the session opens
}

void TNetHttpClient::UseDirectConnection() {
  m_bDirect = true;
  m_proxy = TProxySettings();
  m_session.Close();
}

HINTERNET TNetHttpClient::Session() {
  if (m_session) return m_session.Get();
  if (m_bDirect) {
    m_session.Reset(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  } else if (m_proxy.FHost.empty()) {
    m_session.Reset(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  } else {
    // Without a port WinHTTP takes the scheme's default; a per-protocol list ("http=host:80") passes as is.
    std::wstring proxy = m_proxy.FHost;
    if (m_proxy.FPort > 0) proxy += L":" + std::to_wstring(m_proxy.FPort);
    m_session.Reset(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(),
                                  WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  }
  if (!m_session) ThrowLastError(L"WinHttpOpen");
  return m_session.Get();
}

THttpResponse TNetHttpClient::Get(const std::wstring& url, std::size_t maxBodySize) {
  return Send(L"GET", url, {}, {}, maxBodySize, nullptr);
}

THttpResponse TNetHttpClient::Get(const std::wstring& url, std::size_t maxBodySize, const TBodySink& sink) {
  return Send(L"GET", url, {}, {}, maxBodySize, &sink);
}

THttpResponse TNetHttpClient::Post(const std::wstring& url, std::string_view body, const std::wstring& contentType,
                                   std::size_t maxBodySize) {
  return Send(L"POST", url, body, L"Content-Type: " + contentType + L"\r\n", maxBodySize, nullptr);
}

THttpResponse TNetHttpClient::Send(const wchar_t* verb, const std::wstring& url, std::string_view body,
                                   const std::wstring& headers, std::size_t maxBodySize, const TBodySink* sink) {
  m_lastResponse.reset();
  if (m_stop && m_stop->IsStopped()) throw TNetHttpError(L"WinHttpSendRequest", ERROR_WINHTTP_OPERATION_CANCELLED);
  if (body.size() > MAXDWORD) throw TError(L"Request body too large");

  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
      static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    throw TNetHttpError(L"WinHttpCrackUrl " + url, ::GetLastError());
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    throw TError(L"Not an http or https address: " + url);
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                      std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  TScopedInternet connection(::WinHttpConnect(Session(), host.c_str(), parts.nPort, 0));
  if (!connection) ThrowLastError(L"WinHttpConnect");

  // A proxy's challenge is answered with a new request that carries the credentials from the start: the
  // proxy usually closes the connection after its 407, so neither its body nor its connection is reused.
  DWORD proxyScheme = 0;
  for (;;) {
    TAsyncRequest request(connection.Get(), verb, path, parts.nScheme == INTERNET_SCHEME_HTTPS, m_stop.get(),
                          GuardMs());
    if (!::WinHttpSetTimeouts(request.Handle(), m_timeouts.nResolveMs, m_timeouts.nConnectMs, m_timeouts.nSendMs,
                              m_timeouts.nReceiveMs)) {
      ThrowLastError(L"WinHttpSetTimeouts");
    }
    DWORD headersTimeout = static_cast<DWORD>(m_timeouts.nReceiveMs);
    ::WinHttpSetOption(request.Handle(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout,
                       sizeof(headersTimeout));
    if (proxyScheme != 0 && !::WinHttpSetCredentials(request.Handle(), WINHTTP_AUTH_TARGET_PROXY, proxyScheme,
                                                     m_proxy.FUserName.c_str(), m_proxy.FPassword.c_str(), nullptr)) {
      ThrowLastError(L"WinHttpSetCredentials");
    }

    request.Send(headers, body);
    request.ReceiveResponse();
    THttpResponse response = ReadHead(request.Handle());
    m_lastResponse = response;

    // Credentials are offered once: a second 407 means the proxy refused them, and the caller sees it.
    if (response.nStatusCode == HTTP_STATUS_PROXY_AUTH_REQ && proxyScheme == 0 && !m_proxy.FHost.empty() &&
        !m_proxy.FUserName.empty()) {
      DWORD supported = 0, first = 0, target = 0;
      if (::WinHttpQueryAuthSchemes(request.Handle(), &supported, &first, &target)) {
        proxyScheme = ChooseAuthScheme(supported);
      }
      if (proxyScheme != 0) continue;
    }
    ReadBody(request, response, maxBodySize, m_onReceive, sink);
    return response;
  }
}

// WinHTTP's own time-outs end every step; this bound only keeps a step whose completion never comes from
// waiting for ever.
DWORD TNetHttpClient::GuardMs() const {
  const auto positive = [](int ms) { return static_cast<DWORD>(ms > 0 ? ms : 0); };
  return positive(m_timeouts.nResolveMs) + positive(m_timeouts.nConnectMs) + positive(m_timeouts.nSendMs) +
         positive(m_timeouts.nReceiveMs) + 5000;
}

bool GetSystemProxy(std::wstring& host, std::wstring& port) {
  host.clear();
  port.clear();
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return false;
  const TScopedHGlobal autoConfigUrl(config.lpszAutoConfigUrl);
  const TScopedHGlobal proxy(config.lpszProxy);
  const TScopedHGlobal bypass(config.lpszProxyBypass);
  if (config.lpszProxy) SplitProxyText(config.lpszProxy, host, port);
  return !host.empty() && !port.empty();
}

}  // namespace sf
