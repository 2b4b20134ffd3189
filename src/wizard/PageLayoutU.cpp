#include "wizard/PageLayoutU.h"

namespace sf {

namespace {

constexpr int kWrapAfterX = 560;
constexpr int kRowStep = 25;
constexpr int kRowsBelowPrompt = 26;

}  // namespace

TLayoutPoint PlaceLogo(int pageWidth, TLayoutSize logo) {
  return {(pageWidth - logo.width) / 2, 66 - logo.height / 2};
}

TAgreementSentence LayoutAgreementSentence(int pageWidth, int logoBottom, TLayoutSize text, TLayoutSize text2,
                                           TLayoutSize link, TLayoutSize dot) {
  TAgreementSentence s;
  s.text = {0, logoBottom + 12, text.width, text.height};
  s.text2 = {0, 0, text2.width, text2.height};
  s.link = {0, 0, link.width, link.height};
  s.dot = {0, 0, dot.width, dot.height};

  const int total = text.width + text2.width + link.width + dot.width;
  const int middle = pageWidth / 2;
  s.twoLines = total >= 500;
  if (s.twoLines) {
    s.text.left = middle - text.width / 2;
    const int rest = text2.width + link.width + dot.width + 2;
    s.text2.left = middle - rest / 2;
    s.text2.top = s.link.top = s.dot.top = s.text.Bottom();
  } else {
    s.text.left = middle - total / 2;
    s.text2.left = s.text.Right() + 1;
    s.text2.top = s.link.top = s.dot.top = s.text.top;
  }
  s.link.left = s.text2.Right() + 1;
  s.dot.left = s.link.Right() + 1;
  s.buttonTop = s.dot.Bottom() + 34;
  return s;
}

TInstallRows LayoutInstallRows(int pageWidth, int promptBottom, const std::vector<TLayoutSize>& labelSizes) {
  TInstallRows out;
  const int firstRowTop = promptBottom + kRowsBelowPrompt;

  // First pass: the width of the block, and whether it needs more than one row.
  int x = 0;
  bool wrapped = false;
  for (const TLayoutSize& label : labelSizes) {
    if (x > kWrapAfterX) {
      x = 0;
      wrapped = true;
    }
    x += label.width + kInstallRadioSize.width + 16;
  }
  if (wrapped) x = pageWidth - 20;

  // Second pass: the final places, centred. Each label takes the row of its own radio button: the
  // first pass wraps from x = 0 and this one from the centred start, so the two can break a row at
  // different items, and a label left on the row above its radio button would belong to neither.
  const int start = (pageWidth - x) / 2;
  int left = start;
  int y = firstRowTop;
  for (const TLayoutSize& label : labelSizes) {
    if (left > kWrapAfterX) {
      y += kRowStep;
      left = start;
    }
    TInstallRow row;
    row.radio = {left, y, kInstallRadioSize.width, kInstallRadioSize.height};
    row.backgroundSample = {left + 7, kInstallRadioSampleRow};
    left += kInstallRadioSize.width + 4;
    row.label = {left, y, label.width, label.height};
    left += label.width + 12;
    out.rows.push_back(row);
  }
  if (!out.rows.empty()) out.continueTop = out.rows.back().radio.Bottom() + 26;
  return out;
}

}  // namespace sf
