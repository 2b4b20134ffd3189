#include <gtest/gtest.h>

#include "wizard/PageLayoutU.h"

namespace sf {
namespace {

TEST(PageLayout, LogoCentredAroundRow66) {
  EXPECT_EQ(PlaceLogo(kPageWidth, {199, 48}), (TLayoutPoint{200, 42}));
  EXPECT_EQ(PlaceLogo(kPageWidth, {200, 49}), (TLayoutPoint{200, 42}));  // halves round towards zero
  EXPECT_EQ(PlaceLogo(kPageWidth, {0, 0}), (TLayoutPoint{300, 66}));
}

TEST(PageLayout, AgreementSentenceOnOneLineBelow500Pixels) {
  // logo bottom 90: the sentence starts 12 below it; total 374 is centred around 300.
  const TAgreementSentence s = LayoutAgreementSentence(kPageWidth, 90, {200, 15}, {60, 15}, {110, 16}, {4, 15});
  EXPECT_FALSE(s.twoLines);
  EXPECT_EQ(s.text, (TLayoutRect{113, 102, 200, 15}));
  EXPECT_EQ(s.text2, (TLayoutRect{314, 102, 60, 15}));
  EXPECT_EQ(s.link, (TLayoutRect{375, 102, 110, 16}));
  EXPECT_EQ(s.dot, (TLayoutRect{486, 102, 4, 15}));
  EXPECT_EQ(s.buttonTop, 151);  // 34 below the dot
}

TEST(PageLayout, AgreementSentenceWrapsAfterTheFirstLabelFrom500Pixels) {
  const TAgreementSentence s = LayoutAgreementSentence(kPageWidth, 90, {330, 15}, {70, 15}, {110, 16}, {4, 15});
  EXPECT_TRUE(s.twoLines);
  EXPECT_EQ(s.text, (TLayoutRect{135, 102, 330, 15}));
  // The rest (70 + 110 + 4 + 2 = 186) is centred on the second line, directly below the first.
  EXPECT_EQ(s.text2, (TLayoutRect{207, 117, 70, 15}));
  EXPECT_EQ(s.link, (TLayoutRect{278, 117, 110, 16}));
  EXPECT_EQ(s.dot, (TLayoutRect{389, 117, 4, 15}));
  EXPECT_EQ(s.buttonTop, 166);
}

TEST(PageLayout, AgreementSentenceThresholdAndEmptyFirstLabel) {
  EXPECT_FALSE(LayoutAgreementSentence(kPageWidth, 90, {300, 15}, {95, 15}, {100, 15}, {4, 15}).twoLines);  // 499
  EXPECT_TRUE(LayoutAgreementSentence(kPageWidth, 90, {300, 15}, {96, 15}, {100, 15}, {4, 15}).twoLines);   // 500

  // English page 3: the whole sentence is in the last three labels, on one line.
  const TAgreementSentence s = LayoutAgreementSentence(kPageWidth, 90, {0, 15}, {230, 15}, {105, 16}, {4, 15});
  EXPECT_FALSE(s.twoLines);
  EXPECT_EQ(s.text.left, 300 - 339 / 2);
  EXPECT_EQ(s.text2.left, s.text.left + 1);
  EXPECT_EQ(s.text2.top, s.text.top);
}

TEST(PageLayout, InstallRowsShortListIsOneCentredRow) {
  const TInstallRows r = LayoutInstallRows(kPageWidth, 101, {{40, 15}, {50, 15}, {60, 15}});
  ASSERT_EQ(r.rows.size(), 3u);
  // Block width 40+29 + 50+29 + 60+29 = 237, starting at (600 - 237) div 2 = 181.
  const int radioLefts[] = {181, 250, 329};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.rows[i].radio, (TLayoutRect{radioLefts[i], 127, 13, 13}));
    EXPECT_EQ(r.rows[i].label.left, radioLefts[i] + 17);
    EXPECT_EQ(r.rows[i].label.top, 127);
    EXPECT_EQ(r.rows[i].backgroundSample, (TLayoutPoint{radioLefts[i] + 7, 129}));
  }
  EXPECT_EQ(r.continueTop, 127 + 13 + 26);
}

TEST(PageLayout, InstallRowsWrapPast560AndLabelsStayWithTheirRadios) {
  // Each item takes 156 + 29 = 185 pixels. The block wraps, so it starts at (600 - 580) div 2 = 10, and
  // the fourth item, at 10 + 555 = 565, opens the second row 25 pixels lower.
  const std::vector<TLayoutSize> labels(5, TLayoutSize{156, 15});
  const TInstallRows r = LayoutInstallRows(kPageWidth, 101, labels);
  ASSERT_EQ(r.rows.size(), 5u);
  const TLayoutPoint radios[] = {{10, 127}, {195, 127}, {380, 127}, {10, 152}, {195, 152}};
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ((TLayoutPoint{r.rows[i].radio.left, r.rows[i].radio.top}), radios[i]);
    EXPECT_EQ(r.rows[i].label.top, r.rows[i].radio.top);
    EXPECT_EQ(r.rows[i].label.left, r.rows[i].radio.Right() + 4);
    EXPECT_EQ(r.rows[i].backgroundSample.y, 129);  // the sample row does not follow the wrap
  }
  EXPECT_EQ(r.continueTop, 152 + 13 + 26);

  // Many long names: three rows, none of them starting past 560.
  const TInstallRows many = LayoutInstallRows(kPageWidth, 101, std::vector<TLayoutSize>(12, TLayoutSize{120, 15}));
  int lastTop = 127;
  for (const TInstallRow& row : many.rows) {
    EXPECT_LE(row.radio.left, 560);
    EXPECT_TRUE(row.radio.top == lastTop || row.radio.top == lastTop + 25);
    lastTop = row.radio.top;
  }
  EXPECT_EQ(lastTop, 127 + 2 * 25);
}

TEST(PageLayout, InstallRowsEmptyListLeavesTheButtonAlone) {
  const TInstallRows r = LayoutInstallRows(kPageWidth, 101, {});
  EXPECT_TRUE(r.rows.empty());
  EXPECT_FALSE(r.continueTop.has_value());
}

}  // namespace
}  // namespace sf
