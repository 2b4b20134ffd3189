#include "transfer/QuillonUpdateReaderU.h"

#include <exception>

#include "common/ErrorU.h"
#include "network/HttpClientU.h"
#include "transfer/SignatureU.h"

namespace sf {

namespace {

// A signature is 64 bytes; a body up to this size is still read, so that the log can say how long it was.
constexpr std::size_t kSignatureBodyLimit = 4096;

// The signature's diagnostic piece, "Signature=Valid Key=<n>" or why not; `valid` tells whether a trusted
// key signed the manifest's bytes.
std::wstring CheckSignature(TNetHttpClient& client, const std::wstring& url, std::string_view manifest,
                            std::span<const std::string_view> keys, bool& valid) {
  valid = false;
  THttpResponse response;
  try {
    response = client.Get(url + L".sig", kSignatureBodyLimit);
  } catch (const std::exception& e) {
    return L"Signature=Missing Exception=" + ExceptionMessage(e);
  }
  if (response.nStatusCode != 200) {
    return L"Signature=Missing StatusCode=" + std::to_wstring(response.nStatusCode) + L" ResponseText=" +
           response.strStatusText;
  }
  const auto key = VerifyP256Signature(manifest, response.Body, keys);
  valid = key.has_value();
  return SignatureDiagnostic(response.Body, key);
}

}  // namespace

bool GetVersionInfo(const std::wstring& baseUrl, const std::wstring& edition, const std::wstring& originChannel,
                    const std::wstring& targetChannel, const std::wstring& locale, bool is64Bit,
                    const std::optional<TProxySettings>& proxy, TQuillonVersion& version, std::wstring& diagnostic,
                    std::shared_ptr<const TStopSignal> stop, const TManifestTrust& trust) {
  const std::wstring path = baseUrl + L"/version/" + edition + L"/" + originChannel + L"/to/" + targetChannel;
  const std::wstring lastSegment = is64Bit ? locale + L"_x64" : locale;
  return DownloadVersionInfo(path + L"/" + lastSegment, proxy, version, diagnostic, std::move(stop), trust);
}

bool DownloadVersionInfo(const std::wstring& url, const std::optional<TProxySettings>& proxy,
                         TQuillonVersion& version, std::wstring& diagnostic, std::shared_ptr<const TStopSignal> stop,
                         const TManifestTrust& trust) {
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
    if (trust.keys.empty()) {
      ParseVersionManifest(response.Body, version);
      return true;
    }
    // Nothing of an unauthenticated manifest is read, not even its JSON.
    bool valid = false;
    const std::wstring signature = CheckSignature(client, url, response.Body, trust.keys, valid);
    if (!valid) {
      diagnostic = signature + L" " + diagnostic;
      return false;
    }
    ParseVersionManifest(response.Body, version, TManifestKind::Signed);
    if (const std::wstring refusal = SignedManifestRefusal(version, trust.nNowUtc, trust.nAcceptedSerial);
        !refusal.empty()) {
      diagnostic = refusal + L" " + diagnostic;
      return false;
    }
    diagnostic += L" " + signature + L" Serial=" + std::to_wstring(version.nSerial) + L" Expires=" + version.strExpires;
    return true;
  } catch (const std::exception& e) {
    diagnostic = L"Exception=" + ExceptionMessage(e) + L" " + diagnostic;
    return false;
  }
}

}  // namespace sf
