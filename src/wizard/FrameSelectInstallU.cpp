#include "wizard/FrameSelectInstallU.h"

namespace sf {

TFrameSelectInstall::TFrameSelectInstall(TSetupForm& form) : TFrameBase(form, L"TFrameSelectInstall") {}

TFrameSelectInstall::~TFrameSelectInstall() = default;

void TFrameSelectInstall::SetParentForm() { ShowCloseImageWhenInteractive(); }

void TFrameSelectInstall::Translate() {}

void TFrameSelectInstall::UpdateInsallList() {}

}  // namespace sf
