// The one request the installer makes to the version server: fetch the edition's version manifest and
// read it into a TQuillonVersion. Server operations do not raise: they answer success and a diagnostic
// text of key=value pieces ("URL=", "StatusCode=", "Exception=") for the log.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/StopSignalU.h"
#include "network/ProxySettingsU.h"
#include "transfer/QuillonVersionU.h"

namespace sf {

// Reads baseUrl + "/version/" + edition + "/" + originChannel + "/to/" + targetChannel + "/" + locale,
// with "_x64" after the locale when is64Bit is set. baseUrl has no trailing slash. A stop signal, when
// given, ends the request at once.
bool GetVersionInfo(const std::wstring& baseUrl, const std::wstring& edition, const std::wstring& originChannel,
                    const std::wstring& targetChannel, const std::wstring& locale, bool is64Bit,
                    const std::optional<TProxySettings>& proxy, TQuillonVersion& version, std::wstring& diagnostic,
                    std::shared_ptr<const TStopSignal> stop = nullptr);

// Reads one manifest address with a client of its own, through the proxy when one is given. On failure
// `version` must not be used; on success it holds the manifest and diagnostic is "URL=<url>[ Proxy=True]".
bool DownloadVersionInfo(const std::wstring& url, const std::optional<TProxySettings>& proxy,
                         TQuillonVersion& version, std::wstring& diagnostic,
                         std::shared_ptr<const TStopSignal> stop = nullptr);

}  // namespace sf
