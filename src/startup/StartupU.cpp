#include "startup/StartupU.h"

#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <memory>

#include "common/ErrorU.h"
#include "common/LanguageU.h"
#include "common/SingleInstanceU.h"
#include "common/UnhandledErrorU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "engine/ExitCodeU.h"
#include "engine/MessagePayloadU.h"
#include "engine/RunModeU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"
#include "logging/SystemDiagU.h"
#include "startup/CommandLineU.h"
#include "startup/HelpFormU.h"
#include "wizard/MainFormInstall.h"

namespace sf {

namespace {

// Linguistic lower-casing with the locale of the running thread.
std::wstring ThreadLocaleLower(const std::wstring& text) {
  if (text.empty()) return text;
  std::wstring out(text.size() * 2 + 8, L'\0');
  const int length = ::LCMapStringW(::GetThreadLocale(), LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, text.c_str(),
                                    static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()));
  if (length <= 0) return text;
  out.resize(length);
  return out;
}

class TGdiplusSession {
 public:
  TGdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    m_ok = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
  }
  ~TGdiplusSession() {
    if (m_ok) Gdiplus::GdiplusShutdown(m_token);
  }
  TGdiplusSession(const TGdiplusSession&) = delete;
  TGdiplusSession& operator=(const TGdiplusSession&) = delete;

 private:
  ULONG_PTR m_token = 0;
  bool m_ok = false;
};

// The wizard window sees every message first (its key preview).
void RunMessageLoop(TSetupForm* form = nullptr) {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (form) form->PreviewMessage(msg);
    HWND active = ::GetActiveWindow();
    if (active && ::IsDialogMessageW(active, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// Phase A: module initialisation, in dependency order. False when another copy runs.
bool InitialiseModules() {
  SetLanguage(TLanguage::Portuguese);
  CreateRunLog();
  InstallExceptionCapture();
  SetUnhandledErrorHandlers(&ExceptionHandler, [](const std::exception& error) { ExceptionThreadHandler(error); });
  return CheckSingleInstance();
}

// A second copy asked to work unattended cannot wait for the first one, and must not tell its script
// that it did the work.
bool IsUnattendedRun() {
  const std::vector<std::wstring> args = CommandLineArguments();
  return !WantsHelp(args, &ThreadLocaleLower) && SelectMode(args).mode != TCmdInstallType::citNone;
}

// A run log that lost lines is reported once, at the end, instead of failing the work it describes.
void ReportLostLogLines() {
  const TLogWriteFailures lost = LogWriteFailures();
  if (lost.nLines == 0) return;
  SilentException(L"LogU", TError(L"AppendLog: " + std::to_wstring(lost.nLines) + L" lines of the run log " +
                                  RunLogPath() + L" could not be written: " + lost.strFirstError));
}

// Phase B: the program body.
void RunProgramBody() {
  const std::vector<std::wstring> args = CommandLineArguments();
  const bool help = WantsHelp(args, &ThreadLocaleLower);

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  TComApartment com(COINIT_APARTMENTTHREADED);
  TGdiplusSession gdiplus;
  AppendLogSystemDiag();

  // The process halts with its main window in place, as it does with the engine thread: nothing is taken
  // down piece by piece at exit (under Wine, destroying a top-level window alone costs two seconds).
  if (help) {
    auto form = std::make_unique<THelpForm>();
    form->Show();
    RunMessageLoop();
    (void)form.release();
    return;
  }

  // The TLS libraries come from the system, so no per-run library folder is prepared or removed.
  auto form = std::make_unique<TSetupForm>();
  form->Show();
  RunMessageLoop(form.get());
  form->EndEngine();
  (void)form.release();
  // Notifications that arrived after the loop ended still own their texts.
  DrainThreadQueue();
}

}  // namespace

int RunInstaller() {
  if (!InitialiseModules()) {
    if (IsUnattendedRun()) {
      AppendLog(L"Installer: another copy of the installer is running; an unattended run cannot wait for it");
      SetExitCode(TExitCode::UnexpectedError);
    }
    CloseRunLog();
    return ExitCodeValue();
  }
  try {
    RunProgramBody();
  } catch (const std::exception& e) {
    SetExitCode(TExitCode::UnexpectedError);
    ExceptionHandler(e);
  }
  ReportLostLogLines();
  CloseRunLog();
  return ExitCodeValue();
}

}  // namespace sf
