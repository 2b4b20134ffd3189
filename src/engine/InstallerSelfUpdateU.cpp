// The installer's own version check against the published version text, and the payload slots.
#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/FileFactsU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "engine/InstallerThreadU.h"
#include "engine/MessagesU.h"
#include "engine/VersionCompareU.h"
#include "logging/LogU.h"
#include "transfer/SignatureU.h"

namespace sf {

namespace {
// The version text is a few characters; anything near this is not a version text.
constexpr std::size_t kVersionTextLimit = 64 * 1024;
}  // namespace

void TInstallerThread::VerifyInstallerUpdate() {
  try {
    const std::wstring url = std::wstring(InstallerInfoBaseUrl) + L"version.txt";
    std::string body = GetURLAsString(url);
    if (!body.empty() && !ManifestKeys().empty()) {
      // A version text the maker did not sign is no answer: a forged one could hold every user on the
      // installer-update page, or keep them from learning of a new installer.
      const std::string signature = GetURLAsString(url + L".sig");
      const auto key = VerifyP256Signature(body, signature, ManifestKeys());
      AppendLog(L"VerifyInstallerUpdate: " + SignatureDiagnostic(signature, key) + L" URL=" + url + L".sig");
      if (!key) body.clear();
    }
    const std::wstring published = FromUtf8(body);
    std::wstring local;
    if (!published.empty()) {
      local = FileVersionText(ModuleFileName(), false);
      if (IsNewerInstaller(local, published)) PostPlain(Window(), WM_SET_INSTALLER_HAS_UPDATE);
    }
    AppendLog(L"VerifyInstallerUpdate: Local=" + local + L" Server=" + published);
  } catch (const std::exception& e) {
    AppendLog(L"VerifyInstallerUpdate: Exception = " + ExceptionMessage(e));
  }
}

std::string TInstallerThread::GetURLAsString(const std::wstring& url) {
  m_NetHttpClient->SetReceiveProgress({});
  m_NetHttpClient->SetProxySettings(GetProxySettings());
  for (int attempt = 1; attempt <= 3; ++attempt) {
    AppendLog(L"GetURLAsString: strURL=" + url);
    THttpResponse response;
    try {
      response = m_NetHttpClient->Get(url, kVersionTextLimit);
    } catch (const std::exception& e) {
      AppendLog(L"TInstallerThread.GetURLAsString: NetHttpClient Exception: " + ExceptionMessage(e));
      if (attempt == 3) throw;
      continue;
    }
    AppendLog(L"StatusCode=" + std::to_wstring(response.nStatusCode) + L" StatusText=" + response.strStatusText +
              L" Size=" + std::to_wstring(response.nContentLength));
    if (response.nStatusCode == 200) return std::move(response.Body);
  }
  return {};
}

void TInstallerThread::LoadPayloads() {
  struct TSlot {
    const wchar_t* resource;
    std::string* stream;
    TFileStatus* status;
    bool onlyNewInstall;
  };
  const TSlot slots[] = {
      {L"FILESZIP", &m_StreamFiles, &m_fsFiles, true},
      {L"CEFZIP", &m_StreamCef, &m_fsCef, false},
      {L"QUILLONZIP", &m_StreamQuillon, &m_fsQuillon, false},
      {L"UNIZIP", &m_StreamUninstaller, &m_fsUninstaller, false},
  };
  for (const auto& slot : slots) {
    if (slot.onlyNewInstall && !m_bNewInstall.load()) continue;
    HRSRC found = ::FindResourceW(nullptr, slot.resource, RT_RCDATA);
    if (!found) continue;
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) continue;
    slot.stream->assign(static_cast<const char*>(data), ::SizeofResource(nullptr, found));
    *slot.status = TFileStatus::fsDownloaded;
  }
}

}  // namespace sf
