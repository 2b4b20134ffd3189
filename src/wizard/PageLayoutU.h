// Layout rules of the wizard pages as pure functions over control sizes: the pages measure their
// labels and call these to place them. Portable.
#pragma once

#include <optional>
#include <vector>

#include "controls/ControlGeometryU.h"

namespace sf {

inline constexpr int kPageWidth = 600;
inline constexpr int kPageHeight = 250;

// The logo's vertical centre sits at 66, horizontally centred (integer halves round towards zero).
TLayoutPoint PlaceLogo(int pageWidth, TLayoutSize logo);

// The licence-agreement sentence of the start pages, made of four auto-sized labels placed 1 pixel
// apart: text, text2, link and the closing dot.
struct TAgreementSentence {
  TLayoutRect text;
  TLayoutRect text2;
  TLayoutRect link;
  TLayoutRect dot;
  bool twoLines = false;
  int buttonTop = 0;  // the buttons keep their left positions
};

// Below 500 pixels in total the sentence is one centred line under the logo; from 500 on, the first
// label is centred alone and the other three are centred on the line below. The buttons sit 34 pixels
// below the dot.
TAgreementSentence LayoutAgreementSentence(int pageWidth, int logoBottom, TLayoutSize text, TLayoutSize text2,
                                           TLayoutSize link, TLayoutSize dot);

inline constexpr TLayoutSize kInstallRadioSize{13, 13};
// Row of the background picture whose colour a radio button takes, so that it blends in.
inline constexpr int kInstallRadioSampleRow = 129;

struct TInstallRow {
  TLayoutRect radio;
  TLayoutRect label;
  TLayoutPoint backgroundSample;  // pixel of the background picture to colour the radio button with
};

struct TInstallRows {
  std::vector<TInstallRow> rows;
  std::optional<int> continueTop;  // none without rows: the button stays where it is
};

// The installation list of the selection page: one radio button and its label per installation, rows
// starting 26 pixels below the prompt, wrapping 25 pixels lower past x = 560, centred as a block; the
// Continue button 26 pixels below the last radio button. labelSizes are the auto-sized labels' sizes.
TInstallRows LayoutInstallRows(int pageWidth, int promptBottom, const std::vector<TLayoutSize>& labelSizes);

}  // namespace sf
