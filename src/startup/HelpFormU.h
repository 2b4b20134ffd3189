// The command-line help window: documents the options and the exit codes. It is the application's main
// window in a help run, so closing it ends the program (with exit code 0).
#pragma once

#include "common/WinHandleU.h"
#include "controls/WindowU.h"

namespace sf {

class THelpForm : public TWindowBase {
 public:
  // Creates the window, fitted to its content and centred on the desktop; not yet shown.
  THelpForm();
  void Show();

  // Fitting rule, public so that it can be checked: client width = memo left + memo width + 8; button
  // top = memo bottom + 8; client height = button bottom + 8; button centred on the OUTER width. These
  // are the 96-DPI design; a scaled screen shows them that much larger.
  static constexpr int kMemoLeft = 8, kMemoTop = 8, kMemoWidth = 585, kMemoHeight = 221;
  static constexpr int kButtonWidth = 75, kButtonHeight = 25;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  // Places the window (its top-left corner where given) and its controls, with their font, at dpi.
  void Layout(int dpi, POINT topLeft);

  TScopedFont m_font;
  HWND mmoAjuda = nullptr;
  HWND Button1 = nullptr;
};

}  // namespace sf
