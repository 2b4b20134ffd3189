// The one request the installer makes to the version server: fetch the edition's version manifest and
// read it into a TQuillonVersion. Server operations do not raise: they answer success and a diagnostic
// text of key=value pieces ("URL=", "StatusCode=", "Exception=") for the log.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/StopSignalU.h"
#include "network/ProxySettingsU.h"
#include "transfer/QuillonVersionU.h"

namespace sf {

// What a manifest is checked against. Without keys it is read unsigned, as it always was. With keys, the
// manifest's exact bytes must carry a signature at the manifest's address + ".sig" under one of them,
// and the manifest the fields of a signed one, an "expires" not before nNowUtc and a "serial" not below
// nAcceptedSerial.
struct TManifestTrust {
  std::span<const std::string_view> keys;  // ManifestKeys()
  std::uint64_t nAcceptedSerial = 0;       // AcceptedManifestSerial()
  std::int64_t nNowUtc = 0;                // the machine's clock, seconds since 1970 UTC
};

// Reads baseUrl + "/version/" + edition + "/" + originChannel + "/to/" + targetChannel + "/" + locale,
// with "_x64" after the locale when is64Bit is set. baseUrl has no trailing slash. A stop signal, when
// given, ends the request at once.
bool GetVersionInfo(const std::wstring& baseUrl, const std::wstring& edition, const std::wstring& originChannel,
                    const std::wstring& targetChannel, const std::wstring& locale, bool is64Bit,
                    const std::optional<TProxySettings>& proxy, TQuillonVersion& version, std::wstring& diagnostic,
                    std::shared_ptr<const TStopSignal> stop = nullptr, const TManifestTrust& trust = {});

// Reads one manifest address with a client of its own, through the proxy when one is given; the signature
// comes the same way, in one request as the manifest. On failure `version` must not be used and the
// diagnostic's first piece names the rule that failed ("StatusCode=", "Exception=", "Signature=Missing",
// "Signature=Malformed", "Signature=Invalid", "Expired=", "Serial="); on success it holds the manifest and
// diagnostic is "URL=<url>[ Proxy=True]", followed for a signed one by " Signature=Valid Key=<n>
// Serial=<serial> Expires=<expiry>".
bool DownloadVersionInfo(const std::wstring& url, const std::optional<TProxySettings>& proxy,
                         TQuillonVersion& version, std::wstring& diagnostic,
                         std::shared_ptr<const TStopSignal> stop = nullptr, const TManifestTrust& trust = {});

}  // namespace sf
