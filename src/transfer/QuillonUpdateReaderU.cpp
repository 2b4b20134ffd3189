#include "transfer/QuillonUpdateReaderU.h"

#include <exception>

#include "common/ErrorU.h"
#include "network/HttpClientU.h"

namespace sf {

bool GetVersionInfo(const std::wstring& baseUrl, const std::wstring& edition, const std::wstring& originChannel,
                    const std::wstring& targetChannel, const std::wstring& locale, bool is64Bit,
                    const std::optional<TProxySettings>& proxy, TQuillonVersion& version, std::wstring& diagnostic,
                    std::shared_ptr<const TStopSignal> stop) {
  const std::wstring path = baseUrl + L"/version/" + edition + L"/" + originChannel + L"/to/" + targetChannel;
  const std::wstring lastSegment = is64Bit ? locale + L"_x64" : locale;
  return DownloadVersionInfo(path + L"/" + lastSegment, proxy, version, diagnostic, std::move(stop));
}

bool DownloadVersionInfo(const std::wstring& url, const std::optional<TProxySettings>& proxy,
                         TQuillonVersion& version, std::wstring& diagnostic, std::shared_ptr<const TStopSignal> stop) {
  diagnostic = L"URL=" + url;
  try {
    TNetHttpClient client;
    client.SetStopSignal(std::move(stop));
    if (proxy) {
      diagnostic += L" Proxy=True";
      client.SetProxySettings(*proxy);
    }
    // A manifest is a few hundred KB at most; the cap keeps a broken server from filling memory.
    const THttpResponse response = client.Get(url, TextBodyLimit);
    if (response.nStatusCode != 200) {
      diagnostic = L"StatusCode=" + std::to_wstring(response.nStatusCode) + L" ResponseText=" +
                   response.strStatusText + L" " + diagnostic;
      return false;
    }
    ParseVersionManifest(response.Body, version);
    return true;
  } catch (const std::exception& e) {
    diagnostic = L"Exception=" + ExceptionMessage(e) + L" " + diagnostic;
    return false;
  }
}

}  // namespace sf
