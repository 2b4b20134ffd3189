#include "wizard/MainFormInstall.h"

#include "common/ConstantsU.h"
#include "common/WinErrorU.h"
#include "engine/MessagePayloadU.h"
#include "engine/MessagesU.h"
#include "logging/LogU.h"

namespace sf {

namespace {
constexpr DWORD kStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
// Without a title bar the window would not appear on the taskbar by itself.
constexpr DWORD kExStyle = WS_EX_APPWINDOW;
}  // namespace

TSetupForm::TSetupForm() {
  const SIZE outer = OuterSizeForClient(kWidth, kHeight, kStyle, kExStyle);
  const POINT at = CentredOnDesktop(outer);
  CreateHandle(SetupFormClassName, kExStyle, kStyle, AppTitle, at.x, at.y, outer.cx, outer.cy, nullptr,
               ::GetSysColorBrush(COLOR_WINDOW), CS_DBLCLKS);
  FormCreate();
}

// The engine is not stopped: it ends with the process, whatever it is doing.
TSetupForm::~TSetupForm() { (void)m_InstallerThread.release(); }

void TSetupForm::FormCreate() {
  const TCmdSelection selection = SelectMode(CommandLineArguments());
  m_CmdInstall = selection.mode;
  m_strCmdName = selection.name;
  m_bHasInstallerUpdate = false;
  SetVisibleFrame(kNoPage);

  m_InstallerThread = std::make_unique<TInstallerThread>(Handle());
  m_InstallerThread->Start();
  m_InstallerThread->WaitStart();
  // Whatever the window already has pending is handled once before the engine is asked anything.
  MSG pending;
  while (::PeekMessageW(&pending, Handle(), 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&pending);
    ::DispatchMessageW(&pending);
  }

  ::SetWindowTextW(Handle(), AppTitle);
  TProxySettings settings;
  m_lstOldInstalls.clear();
  m_InstallerThread->SetUnnatendedValues(m_strCmdName, m_CmdInstall);
  m_InstallerThread->SetProxyConfig(settings);
  m_InstallerThread->VerifyPreviousInstall();
  if (m_CmdInstall == TCmdInstallType::citNone) m_InstallerThread->VerifyInstallerHasUpdate();
}

void TSetupForm::Show() {
  ::ShowWindow(Handle(), SW_SHOWNORMAL);
  ::UpdateWindow(Handle());
}

void TSetupForm::SetVisibleFrame(int page) {
  m_visibleFrame = (page >= 0 && page <= 9) ? page : kNoPage;
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TSetupForm::WMChangeVisibleFrame(WPARAM wParam, LPARAM lParam) {
  const int page = static_cast<int>(wParam & 0xFF);
  const std::wstring text = TakeText(static_cast<UINT_PTR>(lParam));
  AppendLog(L"TSetupForm.WMChangeVisibleFrame: Page=" + std::to_wstring(page));
  SetVisibleFrame(page);
}

void TSetupForm::WMSetInstallList(WPARAM wParam) {
  const auto list = TakeStringList(wParam);
  m_lstOldInstalls = list ? *list : std::vector<std::wstring>{};
  m_bMultipleInstall = !m_lstOldInstalls.empty();
}

LRESULT TSetupForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CHANGE_VISIBLE_FRAME: WMChangeVisibleFrame(wParam, lParam); return 0;
    case WM_SET_INSTALL_LIST: WMSetInstallList(wParam); return 0;
    case WM_SET_INSTALLER_HAS_UPDATE: m_bHasInstallerUpdate = true; return 0;
    case WM_SET_PROGRESS_MSG:
    case WM_SET_RETRY_MSG:
    case WM_SET_ABORT_MSG:
    case WM_SET_ERROR_MESSAGE: ReleasePayloads(msg, wParam, lParam); return 0;
    case WM_CLOSE:
      ::DestroyWindow(Handle());
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
