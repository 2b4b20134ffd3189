#include "wizard/MainFormInstall.h"

#include <gdiplus.h>

#include <cstring>
#include <initializer_list>

#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/LanguageU.h"
#include "common/MachineIdentityU.h"
#include "common/ResourcesU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "controls/GraphicControlsU.h"
#include "engine/ExitCodeU.h"
#include "engine/MessagePayloadU.h"
#include "engine/MessagesU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "network/HttpClientU.h"
#include "wizard/FrameCreateInstallU.h"
#include "wizard/FrameInstallU.h"
#include "wizard/FrameMessagesU.h"
#include "wizard/FrameProgressU.h"
#include "wizard/FrameSelectInstallU.h"
#include "wizard/InternetConfigU.h"

namespace sf {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
// Without a title bar the window would not appear on the taskbar by itself.
constexpr DWORD kExStyle = WS_EX_APPWINDOW;

constexpr TTranslated kCancelText{L"Deseja cancelar a instalação?", L"Do you want to cancel the installation?",
                                  L"Desea cancelar la instalación?"};
constexpr TTranslated kCancelTitle{L"Cancelar", L"Cancel", L"Cancelar"};

// Ending a run takes the engine a moment (its workers leave, a new installation's folder goes); past this
// the window closes all the same.
constexpr UINT_PTR kEndRunTimer = 1;
constexpr UINT kEndRunTimeoutMs = 15000;
constexpr DWORD kEngineExitTimeoutMs = 15000;
// How long the window stays in place for an engine that is ending.
constexpr DWORD kEngineQuickExitMs = 1000;

// A piece of artwork with its twice-as-large drawing, "<name>2x". The larger one is checked now, with
// the others, and decoded only when a scaled screen first draws it.
std::unique_ptr<TPicture> LoadPicture(const std::wstring& name) {
  const std::wstring doubled = name + L"2x";
  CheckPngResource(doubled);
  return std::make_unique<TPicture>(LoadPngResource(name), [doubled] { return LoadPngResource(doubled); });
}

class TClipboardScope {
 public:
  explicit TClipboardScope(HWND owner) {
    if (!::OpenClipboard(owner)) throw TWinError(L"OpenClipboard");
  }
  ~TClipboardScope() { ::CloseClipboard(); }
  TClipboardScope(const TClipboardScope&) = delete;
  TClipboardScope& operator=(const TClipboardScope&) = delete;
};

void CopyToClipboard(HWND owner, const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  TScopedHGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) throw TWinError(L"GlobalAlloc");
  void* target = ::GlobalLock(memory.Get());
  if (!target) throw TWinError(L"GlobalLock");
  std::memcpy(target, text.c_str(), bytes);
  ::GlobalUnlock(memory.Get());

  TClipboardScope clipboard(owner);
  if (!::EmptyClipboard()) throw TWinError(L"EmptyClipboard");
  if (!::SetClipboardData(CF_UNICODETEXT, memory.Get())) throw TWinError(L"SetClipboardData");
  (void)memory.Release();  // the clipboard owns it now
}

bool KeyIsDown(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

}  // namespace

TSetupForm::TSetupForm() {
  m_nDpi = WindowDpi(nullptr);
  const SIZE outer = OuterSizeForClient(ScaleLength(kWidth, m_nDpi), ScaleLength(kHeight, m_nDpi), kStyle, kExStyle,
                                        m_nDpi);
  const POINT at = CentredOnDesktop(outer);
  CreateHandle(SetupFormClassName, kExStyle, kStyle, AppTitle, at.x, at.y, outer.cx, outer.cy, nullptr,
               ::GetSysColorBrush(COLOR_WINDOW), CS_DBLCLKS);
  // Centred on a monitor of its own scale, the window takes that monitor's DPI.
  if (const int dpi = WindowDpi(Handle()); dpi != m_nDpi) {
    m_nDpi = dpi;
    SizeForDpi(at);
  }
  FormCreate();
}

void TSetupForm::SizeForDpi(POINT topLeft) {
  const SIZE outer = OuterSizeForClient(ScaleLength(kWidth, m_nDpi), ScaleLength(kHeight, m_nDpi), kStyle, kExStyle,
                                        m_nDpi);
  ::SetWindowPos(Handle(), nullptr, topLeft.x, topLeft.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Moved to a monitor of another scale: the window keeps its design and draws it at the new scale.
void TSetupForm::WMDpiChanged(int dpi, const RECT& suggested) {
  m_nDpi = dpi;
  SizeForDpi({suggested.left, suggested.top});
  for (TFrameBase* frame : MadeFrames()) frame->SetDpi(dpi);
  ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// The engine is ended by EndEngine; a thread that did not end in time ends with the process.
TSetupForm::~TSetupForm() { (void)m_InstallerThread.release(); }

void TSetupForm::FormCreate() {
  try {
    LoadImages();
  } catch (const std::exception& e) {
    AppendLog(L"TSetupForm.LoadImages: " + ExceptionMessage(e));
    const bool english = CurrentLanguage() == TLanguage::English;
    ::MessageBoxW(Handle(),
                  english ? L"Corrupted file. Please do a new download."
                          : L"Arquivo Corrompido. Por favor, faça um novo download.",
                  english ? L"Error" : L"Erro", MB_OK | MB_ICONERROR);
    SetExitCode(TExitCode::UnexpectedError);
    CloseRunLog();
    ::ExitProcess(static_cast<UINT>(ExitCodeValue()));
  }

  const TCmdSelection selection = SelectMode(CommandLineArguments());
  m_CmdInstall = selection.mode;
  m_strCmdName = selection.name;
  m_bHasInstallerUpdate = false;
  // The pages are made when first needed (Frame), hidden, each finishing its layout as it is put into
  // the window: the first page comes sooner than if all ten were made before it.
  SetVisibleFrame(Page::None);

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
  std::wstring host, port;
  const bool browserProxy = GetSystemProxy(host, port);
  if (browserProxy) {
    settings.FHost = host;
    settings.FPort = PortFromText(port);
  }
  m_StartProxyChoice = browserProxy ? TProxyChoice::Browser : TProxyChoice::NoProxy;
  m_lstOldInstalls.clear();
  m_InstallerThread->SetUnnatendedValues(m_strCmdName, m_CmdInstall);
  m_InstallerThread->SetProxyConfig(settings);
  m_InstallerThread->VerifyPreviousInstall();
  if (m_CmdInstall == TCmdInstallType::citNone) m_InstallerThread->VerifyInstallerHasUpdate();
}

void TSetupForm::LoadImages() {
  CheckJpegResource(L"imgBackground2x");
  m_pngBackground = std::make_unique<TPicture>(LoadPngResource(L"imgBackground"),
                                               [] { return LoadJpegResource(L"imgBackground2x"); });
  // Hidden on every page: drawn at one size only.
  m_pngLines = std::make_unique<TPicture>(LoadPngResource(L"imgLines"));
  m_pngLogoInstall = LoadPicture(L"imgLogo");
  m_pngAlert = LoadPicture(L"imgAlert");
  m_pngClose = LoadPicture(L"imgClose");
  m_pngCloseOver = LoadPicture(L"imgCloseOnOver");
  m_pngCloseClick = LoadPicture(L"imgCloseOnClick");
  // A full copy, so that each logo can be replaced on its own.
  m_pngLogoProgress = UseAlternateLogo ? LoadPicture(L"imgLogo2") : m_pngLogoInstall->Copy();
}

template <class TPage>
TPage& TSetupForm::Made(std::unique_ptr<TPage>& frame) {
  if (!frame) {
    frame = std::make_unique<TPage>(*this);
    // Its close image depends on the mode, known by now.
    frame->SetParentForm();
  }
  return *frame;
}

TFrameBase* TSetupForm::Frame(int page) {
  switch (page) {
    case Page::CloseQuillon: return &Made(m_FrameCloseQuillon);
    case Page::CreateInstall: return &Made(m_FrameCreateInstall);
    case Page::InstallDone: return &Made(m_FrameInstallDone);
    case Page::Install: return &Made(m_FrameInstall);
    case Page::InstallUpdate: return &Made(m_FrameInstallUpdate);
    case Page::Progress: return &Made(m_FrameProgress);
    case Page::Retry: return &Made(m_FrameRetry);
    case Page::Aborted: return &Made(m_FrameAborted);
    case Page::SelectInstall: return &Made(m_FrameSelectInstall);
    case Page::UpdateInstaller: return &Made(m_FrameUpdateInstaller);
  }
  return nullptr;
}

std::vector<TFrameBase*> TSetupForm::MadeFrames() const {
  std::vector<TFrameBase*> made;
  for (TFrameBase* frame : std::initializer_list<TFrameBase*>{
           m_FrameCloseQuillon.get(), m_FrameCreateInstall.get(), m_FrameInstallDone.get(), m_FrameInstall.get(),
           m_FrameInstallUpdate.get(), m_FrameProgress.get(), m_FrameRetry.get(), m_FrameAborted.get(),
           m_FrameSelectInstall.get(), m_FrameUpdateInstaller.get()}) {
    if (frame) made.push_back(frame);
  }
  return made;
}

void TSetupForm::Show() {
  ::ShowWindow(Handle(), SW_SHOWNORMAL);
  ::UpdateWindow(Handle());
}

void TSetupForm::SetVisibleFrame(int page) {
  TFrameBase* frame = Frame(page);
  for (TFrameBase* made : MadeFrames()) made->SetVisible(false);
  m_nVisibleFrame = frame ? page : Page::None;
  if (frame) {
    AppendLog(L"TSetupForm.SetVisibleFrame: Page=" + std::to_wstring(page));
    frame->Translate();
    frame->SetVisible(true);
    if (!::IsWindowVisible(Handle())) ::ShowWindow(Handle(), SW_SHOWNORMAL);
  }
  ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (frame && m_InstallerThread) m_InstallerThread->FirstPageShown();
}

// Cancel changes nothing: the engine keeps the setting it has.
void TSetupForm::ConfigInternet() {
  if (!m_InternetConfig) {
    m_InternetConfig = std::make_unique<TInternetConfig>(Handle());
    m_InternetConfig->SelectChoice(m_StartProxyChoice);
  }
  if (!m_InternetConfig->ShowModal()) return;
  // The browser's proxy is read again: the user may have changed it while the wizard was open.
  std::wstring host, port;
  (void)GetSystemProxy(host, port);
  m_InstallerThread->SetProxyConfig(SettingsFromDialog(m_InternetConfig->Values(), host, port));
}

void TSetupForm::Close() { ::PostMessageW(Handle(), WM_CLOSE, 0, 0); }

bool TSetupForm::FormCloseQuery() {
  if (m_bEnding) return false;
  if (!CloseNeedsConfirmation(m_nVisibleFrame)) return true;
  if (m_bCloseQueryRunning) return false;
  m_bCloseQueryRunning = true;
  const int answer =
      ::MessageBoxW(Handle(), PickText(kCancelText), PickText(kCancelTitle), MB_YESNO | MB_ICONQUESTION);
  m_bCloseQueryRunning = false;
  return answer == IDYES;
}

// Every close goes through the engine: it stops the workers, removes what a new installation left (an
// update in progress is not undone), sets the exit code and then ends the program.
void TSetupForm::EndRunAndClose() {
  AppendLog(L"TSetupForm.FormCloseQuery: UndoInstall");
  m_bEnding = true;
  m_InstallerThread->UndoInstall();
  ::SetTimer(Handle(), kEndRunTimer, kEndRunTimeoutMs, nullptr);
}

// The main window is hidden and the program ends; like the engine, the window is not taken down.
void TSetupForm::FormClose() {
  ::ShowWindow(Handle(), SW_HIDE);
  ::PostQuitMessage(0);
}

// An engine that ends at once leaves the window to the end of the process, which takes it down. Hiding it
// first is worth it only while the engine takes its time: under Wine without a window manager, hiding a
// top-level window waits two seconds for the window to be withdrawn.
void TSetupForm::EndEngine() {
  if (!m_InstallerThread) return;
  if (m_InstallerThread->Shutdown(kEngineQuickExitMs)) return;
  ::ShowWindow(Handle(), SW_HIDE);
  m_InstallerThread->Shutdown(kEngineExitTimeoutMs);
}

void TSetupForm::PreviewMessage(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return;
  if (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd)) return;
  // The message loop is no window procedure: an error must not leave here.
  try {
    FormKeyDown(static_cast<WORD>(msg.wParam));
  } catch (const std::exception& e) {
    ExceptionHandler(e);
  }
}

// Ctrl+C anywhere in the wizard puts the machine identifier on the clipboard for support; the key goes
// on to the focused control as usual.
void TSetupForm::FormKeyDown(WORD) {
  if (KeyIsDown(VK_CONTROL) && KeyIsDown('C')) CopyToClipboard(Handle(), GetMachineIDText());
}

void TSetupForm::WMChangeVisibleFrame(WPARAM wParam, LPARAM lParam) {
  const int page = PageFromNotification(wParam);
  const std::wstring text = TakeText(static_cast<UINT_PTR>(lParam));
  // The page's own starting text replaces this one as soon as the page is shown.
  if (page == Page::Progress && lParam != 0) Made(m_FrameProgress).SetProgressText(text);
  SetVisibleFrame(page);
}

void TSetupForm::WMSetInstallList(WPARAM wParam) {
  const auto list = TakeStringList(wParam);
  m_lstOldInstalls = list ? *list : std::vector<std::wstring>{};
  m_bMultipleInstall = !m_lstOldInstalls.empty();
  Made(m_FrameSelectInstall).UpdateInsallList();
}

void TSetupForm::WMSetErrorMessage(WPARAM wParam) { m_strErrorMessage = TakeText(wParam); }

// The registry or the shortcuts could not be written: the installation cannot be used as it is, so the
// user gets the aborted page with the error text and the identifier to quote, instead of a progress page
// that never moves again.
void TSetupForm::WMSetupStatus(WPARAM wParam) {
  AppendLog(L"TSetupForm.WMSetupStatus: " + std::to_wstring(wParam));
  if (wParam != kSetupStatusFailed) return;
  Made(m_FrameAborted).WMSetAbortMsg(m_strErrorMessage, m_InstallerThread->Identifier());
  SetVisibleFrame(Page::Aborted);
}

// The control that had the keyboard gets it back when the window is active again, after a message box
// above all: the user goes on typing the name the box complained about.
bool TSetupForm::WMActivate(WORD state) {
  if (state == WA_INACTIVE) {
    const HWND focus = ::GetFocus();
    if (focus && ::IsChild(Handle(), focus)) m_hActiveControl = focus;
    return false;
  }
  if (!m_hActiveControl || !::IsChild(Handle(), m_hActiveControl) || !::IsWindowVisible(m_hActiveControl)) {
    return false;
  }
  ::SetFocus(m_hActiveControl);
  return true;
}

LRESULT TSetupForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CHANGE_VISIBLE_FRAME: WMChangeVisibleFrame(wParam, lParam); return 0;
    case WM_SET_INSTALL_LIST: WMSetInstallList(wParam); return 0;
    case WM_SET_INSTALLER_HAS_UPDATE: m_bHasInstallerUpdate = true; return 0;
    case WM_SET_PROGRESS:
      Made(m_FrameProgress).WMSetProgress(static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
      return 0;
    case WM_SET_PROGRESS_MSG: Made(m_FrameProgress).WMSetProgressMsg(TakeText(wParam)); return 0;
    case WM_SET_RETRY_MSG: Made(m_FrameRetry).WMSetRetryMsg(TakeText(wParam)); return 0;
    case WM_SET_ABORT_MSG: {
      const std::wstring text = TakeText(wParam);
      Made(m_FrameAborted).WMSetAbortMsg(text, TakeText(static_cast<UINT_PTR>(lParam)));
      return 0;
    }
    case WM_SET_ERROR_MESSAGE: WMSetErrorMessage(wParam); return 0;
    case WM_SETUP_STATUS: WMSetupStatus(wParam); return 0;
    case WM_DPICHANGED:
      WMDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_ACTIVATE:
      if (WMActivate(LOWORD(wParam))) return 0;
      break;
    case WM_CLOSE:
      if (FormCloseQuery()) EndRunAndClose();
      return 0;
    case WM_TIMER:
      if (wParam != kEndRunTimer) break;
      ::KillTimer(Handle(), kEndRunTimer);
      AppendLog(L"TSetupForm: the engine did not end the run within " + std::to_wstring(kEndRunTimeoutMs) + L" ms");
      if (m_CmdInstall != TCmdInstallType::citNone) SetExitCode(TExitCode::UnexpectedError);
      FormClose();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
