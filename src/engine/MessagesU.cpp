#include "engine/MessagesU.h"

namespace sf {

std::wstring MessageName(std::uint32_t id) {
  static const wchar_t* const kNames[] = {
      L"WM_SETUP_STATUS",          L"WM_SET_PROXY_CONFIG",       L"WM_VERIFY_PREVIOUS_INSTALL",
      L"WM_SET_INSTALL_LIST",      L"WM_VERIFY_INSTALLER_UPDATE", L"WM_SET_INSTALLER_HAS_UPDATE",
      L"WM_START_INSTALL",         L"WM_CHANGE_VISIBLE_FRAME",   L"WM_GET_DOWNLOAD_SIZE",
      L"WM_SET_UPDATE_ONLY",       L"WM_SETUP_DOWNLOADS",        L"WM_SET_NEW_INSTALL",
      L"WM_SET_PROGRESS",          L"WM_SET_PROGRESS_MSG",       L"WM_SET_RETRY_MSG",
      L"WM_SET_ABORT_MSG",         L"WM_START_DOWNLOAD_THREADS", L"WM_START_EXTRACT_THREADS",
      L"WM_UPDATE_PROGRESS",       L"WM_RUN_QUILLON",            L"WM_ABORT_INSTALLATION",
      L"WM_SET_INSTALL_NAME",      L"WM_SET_ERROR_MESSAGE",      L"WM_RETRY",
      L"WM_SET_UNNATENDED_VALUES",
  };
  static_assert(std::size(kNames) == WM_SET_UNNATENDED_VALUES - WM_SETUP_STATUS + 1);
  if (id >= WM_SETUP_STATUS && id <= WM_SET_UNNATENDED_VALUES) return kNames[id - WM_SETUP_STATUS];
  if (id == WM_WORKER_OUTCOME) return L"WM_WORKER_OUTCOME";
  if (id == WM_CANCEL_INSTALLATION) return L"WM_CANCEL_INSTALLATION";
  return L"UNKNOWN (" + std::to_wstring(id) + L")";
}

TPayloadLayout PayloadLayout(std::uint32_t id) {
  using enum TPayloadKind;
  switch (id) {
    case WM_SET_PROXY_CONFIG: return {ProxySettings, None};
    case WM_SET_INSTALL_LIST: return {StringList, None};
    case WM_CHANGE_VISIBLE_FRAME: return {None, Text};
    case WM_SET_PROGRESS_MSG:
    case WM_SET_RETRY_MSG:
    case WM_SET_INSTALL_NAME:
    case WM_SET_ERROR_MESSAGE:
    case WM_SET_UNNATENDED_VALUES: return {Text, None};
    case WM_SET_ABORT_MSG: return {Text, Text};
    default: return {};
  }
}

}  // namespace sf
