// Page 1, TFrameCreateInstall: the name of a new installation beside the existing ones.
#pragma once

#include "wizard/FrameBaseU.h"

namespace sf {

class TFrameCreateInstall : public TFrameBase {
 public:
  explicit TFrameCreateInstall(TSetupForm& form);
  ~TFrameCreateInstall() override;
  void SetParentForm() override;
  void Translate() override;
};

}  // namespace sf
