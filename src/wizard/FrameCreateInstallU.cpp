#include "wizard/FrameCreateInstallU.h"

namespace sf {

TFrameCreateInstall::TFrameCreateInstall(TSetupForm& form) : TFrameBase(form, L"TFrameCreateInstall") {}

TFrameCreateInstall::~TFrameCreateInstall() = default;

void TFrameCreateInstall::SetParentForm() { ShowCloseImageWhenInteractive(); }

void TFrameCreateInstall::Translate() {}

}  // namespace sf
