// TSetupForm: the wizard's one window. Borderless, 600 by 250, centred, on the taskbar.
#pragma once

#include "controls/WindowU.h"

namespace sf {

class TSetupForm : public TWindowBase {
 public:
  static constexpr int kWidth = 600;
  static constexpr int kHeight = 250;

  TSetupForm();
  void Show();

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace sf
