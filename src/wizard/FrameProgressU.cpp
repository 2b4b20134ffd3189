#include "wizard/FrameProgressU.h"

#include "common/ConstantsU.h"
#include "common/LanguageU.h"
#include "wizard/MainFormInstall.h"

namespace sf {

namespace {
constexpr TTranslated kStarting{L"Iniciando ...", L"Getting Started ...", L"Iniciando ..."};
// The logo comes down by this much once the label and the bar are placed under its first position.
constexpr int kLogoDrop = 30;
constexpr int kBarLeft = 36;
constexpr int kBarWidth = 528;
constexpr int kBarHeight = 16;
}  // namespace

TFrameProgress::TFrameProgress(TSetupForm& form) : TFrameBase(form, L"TFrameProgress") {
  DesignLines(imgLines);
  DesignLogo(imgLogo, form.pngLogoProgress());
  DesignCenteredLabel(lblProgress, {0, 131, 600, 20}, PageFont(L"Segoe UI Semibold", 11, false, LabelFontColor));
  AttachControls({&imgLines, &imgLogo, &lblProgress});
}

TFrameProgress::~TFrameProgress() = default;

void TFrameProgress::SetParentForm() {
  pbProgressBar = std::make_unique<TProgressPanel>(Handle());
  pbProgressBar->SetBounds(kBarLeft, 158, kBarWidth, kBarHeight);
  pbProgressBar->SetRoundCorners(true);
  pbProgressBar->SetRoundX(2);
  pbProgressBar->SetRoundY(2);
  pbProgressBar->SetColorTop(ProgressColor);
  pbProgressBar->SetColorBotton(ProgressColor);
  pbProgressBar->SetBackColorTop(ProgressBackColor);
  pbProgressBar->SetBackColorBotton(ProgressBackColor);
  pbProgressBar->SetBorder(false);
  pbProgressBar->OnMouseDown = [this](TMouseButton button, int, int) { OnMouseDownDrag(button); };

  imgLines.SetVisible(false);
  BringControlsToFront({&imgLogo, &lblProgress});
  pbProgressBar->BringToFront();
  imgClose.BringToFront();
  ShowCloseImageWhenInteractive();
}

void TFrameProgress::Translate() {
  lblProgress.SetCaption(PickText(kStarting));
  PlaceLogo(imgLogo);
  lblProgress.SetTop(imgLogo.Bottom() + 55);
  pbProgressBar->SetBounds(kBarLeft, lblProgress.Bottom() + 13, kBarWidth, kBarHeight);
  imgLogo.SetTop(imgLogo.Top() + kLogoDrop);
}

// The bar is a window of its own, placed by the page rather than by the panel.
void TFrameProgress::DpiChanged() {
  if (pbProgressBar) pbProgressBar->SetDpi(Dpi());
}

void TFrameProgress::SetProgressText(const std::wstring& text) { lblProgress.SetCaption(text); }

void TFrameProgress::WMSetProgress(std::uint32_t position, std::uint32_t maximum) {
  pbProgressBar->ApplyNotification(position, maximum);
}

}  // namespace sf
