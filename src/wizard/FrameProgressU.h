// Page 5, TFrameProgress: the progress bar and the engine's status text while the work runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "controls/ProgressPanelU.h"
#include "wizard/FrameBaseU.h"

namespace sf {

class TFrameProgress : public TFrameBase {
 public:
  explicit TFrameProgress(TSetupForm& form);
  ~TFrameProgress() override;

  // Creates the progress bar, then finishes the layout.
  void SetParentForm() override;
  // Every show starts with the starting text; the bar keeps its range and position.
  void Translate() override;

  void SetProgressText(const std::wstring& text);
  // The position is limited by the maximum in force before this notification, then the new maximum
  // applies (ignored unless above 0).
  void WMSetProgress(std::uint32_t position, std::uint32_t maximum);
  void WMSetProgressMsg(const std::wstring& text) { SetProgressText(text); }

  const std::wstring& ProgressText() const { return lblProgress.Caption(); }
  const TProgressPanel* ProgressBar() const { return pbProgressBar.get(); }

 protected:
  void DpiChanged() override;

 private:
  TImage imgLines;
  TImage imgLogo;
  TLabel lblProgress;
  std::unique_ptr<TProgressPanel> pbProgressBar;
};

}  // namespace sf
