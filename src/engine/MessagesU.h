// The message protocol between the wizard window, the engine thread and the workers: numbers 1280 to
// 1304, defined here and nowhere else. Payload ownership (see MessagePayloadU.h):
//   text payloads are heap copies made by the sender and released by the receiver;
//   WM_SET_PROXY_CONFIG carries a heap TProxySettings, WM_SET_INSTALL_LIST a heap list of strings.
#pragma once

#include <cstdint>
#include <string>

namespace sf {

inline constexpr std::uint32_t WM_SETUP_STATUS = 1280;              // E->W  wParam kSetupStatusFailed
inline constexpr std::uint32_t WM_SET_PROXY_CONFIG = 1281;          // W->E  wParam TProxySettings*
inline constexpr std::uint32_t WM_VERIFY_PREVIOUS_INSTALL = 1282;   // W->E
inline constexpr std::uint32_t WM_SET_INSTALL_LIST = 1283;          // E->W  wParam list of strings
inline constexpr std::uint32_t WM_VERIFY_INSTALLER_UPDATE = 1284;   // W->E
inline constexpr std::uint32_t WM_SET_INSTALLER_HAS_UPDATE = 1285;  // E->W
inline constexpr std::uint32_t WM_START_INSTALL = 1286;             // reserved, never posted
inline constexpr std::uint32_t WM_CHANGE_VISIBLE_FRAME = 1287;      // E->W  wParam page (low byte), lParam text or 0
inline constexpr std::uint32_t WM_GET_DOWNLOAD_SIZE = 1288;         // reserved, never posted
inline constexpr std::uint32_t WM_SET_UPDATE_ONLY = 1289;           // W->E, E->E
inline constexpr std::uint32_t WM_SETUP_DOWNLOADS = 1290;           // W->E, E->E
inline constexpr std::uint32_t WM_SET_NEW_INSTALL = 1291;           // W->E, E->E
inline constexpr std::uint32_t WM_SET_PROGRESS = 1292;              // E->W  wParam position, lParam maximum
inline constexpr std::uint32_t WM_SET_PROGRESS_MSG = 1293;          // E->W  wParam text
inline constexpr std::uint32_t WM_SET_RETRY_MSG = 1294;             // E->W  wParam text
inline constexpr std::uint32_t WM_SET_ABORT_MSG = 1295;             // E->W  wParam text, lParam identifier text
inline constexpr std::uint32_t WM_START_DOWNLOAD_THREADS = 1296;    // E->E
inline constexpr std::uint32_t WM_START_EXTRACT_THREADS = 1297;     // E->E
inline constexpr std::uint32_t WM_UPDATE_PROGRESS = 1298;           // E->E  wParam last position
inline constexpr std::uint32_t WM_RUN_QUILLON = 1299;               // W->E
inline constexpr std::uint32_t WM_ABORT_INSTALLATION = 1300;        // run directly by the engine
inline constexpr std::uint32_t WM_SET_INSTALL_NAME = 1301;          // W->E  wParam text
inline constexpr std::uint32_t WM_SET_ERROR_MESSAGE = 1302;         // E->W  wParam text
inline constexpr std::uint32_t WM_RETRY = 1303;                     // W->E
inline constexpr std::uint32_t WM_SET_UNNATENDED_VALUES = 1304;     // W->E  wParam text, lParam TCmdInstallType

// The run's lifecycle, after the wizard's protocol; 1305 stays the first number the engine does not know.
inline constexpr std::uint32_t WM_WORKER_OUTCOME = 1306;            // worker->E  the engine reads its report list
inline constexpr std::uint32_t WM_CANCEL_INSTALLATION = 1307;       // W->E  end the run; the engine then quits

// The pages the engine names in WM_CHANGE_VISIBLE_FRAME; every poster of a page uses these names.
namespace Page {
enum TPage : int {
  None = -1,
  CloseQuillon = 0,
  CreateInstall = 1,
  InstallDone = 2,
  Install = 3,
  InstallUpdate = 4,
  Progress = 5,
  Retry = 6,
  Aborted = 7,
  SelectInstall = 8,
  UpdateInstaller = 9,
};
}  // namespace Page
using TPage = Page::TPage;

// The value of WM_SETUP_STATUS that follows a registry or shortcut failure of an interactive run.
inline constexpr std::uint32_t kSetupStatusFailed = 10;

// "WM_SETUP_DOWNLOADS" and so on; "UNKNOWN (n)" for numbers the engine does not know.
std::wstring MessageName(std::uint32_t id);

// Which parameters of a message own a heap payload, so that a message dropped at shutdown can be
// released without knowing who sent it.
enum class TPayloadKind : std::uint8_t { None, Text, ProxySettings, StringList };
struct TPayloadLayout {
  TPayloadKind wParam = TPayloadKind::None;
  TPayloadKind lParam = TPayloadKind::None;
};
TPayloadLayout PayloadLayout(std::uint32_t id);

}  // namespace sf
