// Page 8, TFrameSelectInstall: the existing installations as radio buttons, to pick the one to repair.
#pragma once

#include "wizard/FrameBaseU.h"

namespace sf {

class TFrameSelectInstall : public TFrameBase {
 public:
  explicit TFrameSelectInstall(TSetupForm& form);
  ~TFrameSelectInstall() override;
  void SetParentForm() override;
  void Translate() override;
  // Rebuilds the rows from the window's installation list.
  void UpdateInsallList();
};

}  // namespace sf
