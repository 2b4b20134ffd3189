// TSetupForm: the wizard's one window. Borderless, 600 by 250, centred, on the taskbar. It owns the
// engine, turns the engine's notifications into page changes, and decides whether it may close.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "controls/WindowU.h"
#include "engine/InstallerThreadU.h"
#include "startup/CommandLineU.h"

namespace sf {

class TSetupForm : public TWindowBase {
 public:
  static constexpr int kWidth = 600;
  static constexpr int kHeight = 250;
  static constexpr int kNoPage = -1;

  TSetupForm();
  ~TSetupForm() override;
  void Show();

  // Shows the given page (0..9) and hides all others; any other number hides every page.
  void SetVisibleFrame(int page);
  int VisibleFrame() const { return m_visibleFrame; }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void FormCreate();
  void WMChangeVisibleFrame(WPARAM wParam, LPARAM lParam);
  void WMSetInstallList(WPARAM wParam);

  std::unique_ptr<TInstallerThread> m_InstallerThread;
  std::vector<std::wstring> m_lstOldInstalls;
  bool m_bMultipleInstall = false;
  bool m_bHasInstallerUpdate = false;
  TCmdInstallType m_CmdInstall = TCmdInstallType::citNone;
  std::wstring m_strCmdName;
  int m_visibleFrame = kNoPage;
};

}  // namespace sf
