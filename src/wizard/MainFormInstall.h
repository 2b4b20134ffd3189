// TSetupForm: the wizard's one window. Borderless, 600 by 250, centred, on the taskbar. It owns the ten
// pages and the engine, turns the engine's notifications into page changes, and decides whether it may
// close.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "controls/WindowU.h"
#include "engine/InstallerThreadU.h"
#include "engine/RunModeU.h"
#include "network/ProxyChoiceU.h"
#include "wizard/PageFlowU.h"

namespace sf {

class TPicture;
class TFrameBase;
class TFrameCloseQuillon;
class TFrameCreateInstall;
class TFrameInstallDone;
class TFrameInstall;
class TFrameInstallUpdate;
class TFrameProgress;
class TFrameRetry;
class TFrameAborted;
class TFrameSelectInstall;
class TFrameUpdateInstaller;
class TInternetConfig;

class TSetupForm : public TWindowBase {
 public:
  static constexpr int kWidth = 600;
  static constexpr int kHeight = 250;

  // Creates the window and runs FormCreate: when the wizard's pictures cannot be loaded the user is told
  // and the process ends at once with exit code -1.
  TSetupForm();
  ~TSetupForm() override;
  void Show();

  // Shows the given page (0..9) and hides all others; any other number hides every page.
  void SetVisibleFrame(int page);
  // The page of that number, made now if it was not yet; none for another number.
  TFrameBase* Frame(int page);
  int VisibleFrame() const { return m_nVisibleFrame; }
  // Runs the internet settings dialog and hands its setting to the engine.
  void ConfigInternet();
  // Asks the window to close through its close rules, as its close box would.
  void Close();
  // After the message loop: ends the engine, which waits for the run's workers (bounded).
  void EndEngine();
  // The message loop shows the window every message before it is dispatched (key preview).
  void PreviewMessage(const MSG& msg);

  // What the pages read.
  const TPicture* pngBackground() const { return m_pngBackground.get(); }
  const TPicture* pngLines() const { return m_pngLines.get(); }
  const TPicture* pngLogoInstall() const { return m_pngLogoInstall.get(); }
  const TPicture* pngLogoProgress() const { return m_pngLogoProgress.get(); }
  const TPicture* pngAlert() const { return m_pngAlert.get(); }
  const TPicture* pngClose() const { return m_pngClose.get(); }
  const TPicture* pngCloseOver() const { return m_pngCloseOver.get(); }
  const TPicture* pngCloseClick() const { return m_pngCloseClick.get(); }
  // The DPI the window is shown at; the pages draw their 96-DPI design at it.
  int Dpi() const { return m_nDpi; }
  TCmdInstallType CmdInstall() const { return m_CmdInstall; }
  bool HasInstallerUpdate() const { return m_bHasInstallerUpdate; }
  bool MultipleInstall() const { return m_bMultipleInstall; }
  const std::vector<std::wstring>& OldInstalls() const { return m_lstOldInstalls; }
  TInstallerThread& InstallerThread() const { return *m_InstallerThread; }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void FormCreate();
  void LoadImages();
  // The page, made (hidden, put into the window) when first needed.
  template <class TPage>
  TPage& Made(std::unique_ptr<TPage>& frame);
  std::vector<TFrameBase*> MadeFrames() const;
  bool FormCloseQuery();
  // A close the user confirmed: the engine ends the run and then the program; the window waits for that
  // with a time-out and stays responsive meanwhile.
  void EndRunAndClose();
  void FormClose();
  void FormKeyDown(WORD key);
  // True when it gave the keyboard back to the control that had it.
  bool WMActivate(WORD state);

  // The window's size for its DPI, the top-left corner where it is.
  void SizeForDpi(POINT topLeft);
  void WMDpiChanged(int dpi, const RECT& suggested);
  void WMChangeVisibleFrame(WPARAM wParam, LPARAM lParam);
  void WMSetInstallList(WPARAM wParam);
  void WMSetErrorMessage(WPARAM wParam);
  void WMSetupStatus(WPARAM wParam);

  // The pictures come first: the pages draw them until the pages are gone.
  std::unique_ptr<TPicture> m_pngClose, m_pngCloseOver, m_pngCloseClick;
  std::unique_ptr<TPicture> m_pngLogoInstall;
  std::unique_ptr<TPicture> m_pngLogoProgress;
  std::unique_ptr<TPicture> m_pngLines;
  std::unique_ptr<TPicture> m_pngBackground;
  std::unique_ptr<TPicture> m_pngAlert;
  std::unique_ptr<TFrameCloseQuillon> m_FrameCloseQuillon;
  std::unique_ptr<TFrameCreateInstall> m_FrameCreateInstall;
  std::unique_ptr<TFrameInstallDone> m_FrameInstallDone;
  std::unique_ptr<TFrameInstall> m_FrameInstall;
  std::unique_ptr<TFrameInstallUpdate> m_FrameInstallUpdate;
  std::unique_ptr<TFrameProgress> m_FrameProgress;
  std::unique_ptr<TFrameRetry> m_FrameRetry;
  std::unique_ptr<TFrameAborted> m_FrameAborted;
  std::unique_ptr<TFrameSelectInstall> m_FrameSelectInstall;
  std::unique_ptr<TFrameUpdateInstaller> m_FrameUpdateInstaller;
  std::unique_ptr<TInstallerThread> m_InstallerThread;
  // Made when the user first opens it: its controls cost the first page a noticeable time under Wine.
  std::unique_ptr<TInternetConfig> m_InternetConfig;
  TProxyChoice m_StartProxyChoice = TProxyChoice::NoProxy;
  std::vector<std::wstring> m_lstOldInstalls;
  bool m_bMultipleInstall = false;
  bool m_bHasInstallerUpdate = false;
  TCmdInstallType m_CmdInstall = TCmdInstallType::citNone;
  std::wstring m_strCmdName;

  int m_nVisibleFrame = Page::None;
  int m_nDpi = 96;
  // The unexpected-error text of a registry or shortcut failure, shown once the status follows it.
  std::wstring m_strErrorMessage;
  // The cancel question is up: a second close request must not ask again from inside its loop.
  bool m_bCloseQueryRunning = false;
  // The engine is ending the run; its quit message ends the program.
  bool m_bEnding = false;
  HWND m_hActiveControl = nullptr;
};

}  // namespace sf
