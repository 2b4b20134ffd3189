#include <gtest/gtest.h>

#include <functional>

#include "controls/ControlGeometryU.h"
#include "controls/GradientColorsU.h"
#include "controls/ProgressRangeU.h"

namespace sf {
namespace {

constexpr TColor kButtonFace = 0xF0F0F0;
constexpr TColor kWindowText = 0x000000;

TColor FakeSystemColors(TColor c) {
  if (c == clBtnFace) return kButtonFace;
  if (c == clWindowText) return kWindowText;
  return c;
}

TEST(GradientColors, BlendShiftAndDarkness) {
  EXPECT_EQ(BlendColors(0x123456, 0xABCDEF, 0), 0xABCDEFu);
  EXPECT_EQ(BlendColors(0x123456, 0xABCDEF, 100), 0x123456u);
  // (255·50 + 128·50 + 50) div 100 = 192 in every channel.
  EXPECT_EQ(BlendColors(clWhite, clGray, 50), 0xC0C0C0u);
  // Per channel, rounded to nearest: red (10·25 + 20·75 + 50) div 100 = 18.
  EXPECT_EQ(RedOf(BlendColors(MakeColor(10, 0, 0), MakeColor(20, 0, 0), 25)), 18);
  // Above 100 the divisor is 1000: 255·500 + 0·500 + 500 div 1000 = 128.
  EXPECT_EQ(BlendColors(clWhite, clBlack, 500), 0x808080u);

  EXPECT_EQ(ShiftColor(MakeColor(250, 10, 128), 20), MakeColor(255, 30, 148));
  EXPECT_EQ(ShiftColor(MakeColor(250, 10, 128), -40), MakeColor(210, 0, 88));
  EXPECT_EQ(ShiftColor(clWhite, -30), MakeColor(225, 225, 225));

  // 76·27 + 150·160 + 30·243 = 33342: between 130·256 = 33280 and 140·256 = 35840.
  const TColor blue = 0xF3A01B;
  EXPECT_TRUE(IsColorDarker(blue, 140));
  EXPECT_FALSE(IsColorDarker(blue, 130));
  EXPECT_FALSE(IsColorDarker(MakeColor(0, 0, 0), 0));
  EXPECT_TRUE(IsColorDarker(MakeColor(0, 0, 0), 1));
}

TEST(GradientColors, AutomaticCaptionColour) {
  EXPECT_EQ(AutoCaptionColor(clWhite, clWhite), clBlack);
  EXPECT_EQ(AutoCaptionColor(0xF3A01B, 0xF3A01B), 0x332A2Du);  // mid blue: dark grey, not white
  EXPECT_EQ(AutoCaptionColor(0x373737, 0x373737), clWhite);
  // The middle of black and white is 128 grey, dark enough for a white caption.
  EXPECT_EQ(AutoCaptionColor(clBlack, clWhite), clWhite);
}

struct TLookCase {
  const char* name;
  TButtonLookInput in;
  TColor fill;
  TColor caption;
  bool outlineOnly = false;
};

TEST(GradientColors, ButtonLookInEveryState) {
  const TColor blue = 0xF3A01B;
  const TLookCase cases[] = {
      {"white at rest", {.color = clWhite, .color2 = clWhite}, clWhite, clBlack},
      {"white hovered", {.color = clWhite, .color2 = clWhite, .mouseInside = true}, 0xE1E1E1, clBlack},
      {"white pressed", {.color = clWhite, .color2 = clWhite, .pressed = true, .mouseInside = true}, 0xD7D7D7,
       clBlack},
      {"white disabled", {.color = clWhite, .color2 = clWhite, .enabled = false, .mouseInside = true}, 0xC0C0C0,
       BlendColors(clBlack, clGray, 50)},
      {"disabled with own colour",
       {.color = clWhite, .color2 = clWhite, .disabledColor = 0x112233, .enabled = false},
       0x112233,
       0x404040},
      {"blue at rest", {.color = blue, .color2 = blue}, blue, 0x332A2D},
      {"blue hovered lightens", {.color = blue, .color2 = blue, .mouseInside = true}, ShiftColor(blue, 20),
       0x332A2D},
      {"blue soft highlight", {.color = blue, .color2 = blue, .mouseInside = true, .softHighlight = true},
       ShiftColor(blue, 5), 0x332A2D},
      {"no highlight wanted", {.color = blue, .color2 = blue, .mouseInside = true, .needHighlight = false}, blue,
       0x332A2D},
      {"pressed but cannot click", {.color = blue, .color2 = blue, .pressed = true, .canClick = false}, blue,
       0x332A2D},
      {"inactive greys the caption", {.color = clWhite, .color2 = clWhite, .active = false}, clWhite, 0x404040},
      {"button face resolved", {}, kButtonFace, clBlack},
      {"two colours fill with their middle", {.color = clWhite, .color2 = clBlack}, 0x808080, clWhite},
      {"clear on dark backdrop", {.color = clWhite, .color2 = clWhite, .clear = true, .backdropAtCentre = 0x202020},
       clWhite, clWhite, true},
      {"clear on light backdrop",
       {.color = clWhite, .color2 = clWhite, .clear = true, .backdropAtCentre = 0xE0E0E0},
       clWhite,
       clBlack,
       true},
      {"clear with its own font colour",
       {.color = clWhite, .color2 = clWhite, .fontColor = 0x0000FF, .clear = true, .backdropAtCentre = 0x202020},
       clWhite,
       0x0000FF,
       true},
      {"clear hovered is filled and not highlighted",
       {.color = blue, .color2 = blue, .mouseInside = true, .clear = true},
       blue,
       0x332A2D},
      {"forced font colour", {.color = clWhite, .color2 = clWhite, .fontColor = 0x0000FF, .forceFontColor = true},
       clWhite, 0x0000FF},
      {"forced font colour lightens under the mouse",
       {.color = clWhite, .color2 = clWhite, .fontColor = 0x000040, .mouseInside = true, .forceFontColor = true},
       0xE1E1E1,
       0x505090},
  };
  for (const TLookCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TButtonLook look = ComputeButtonLook(c.in, &FakeSystemColors);
    EXPECT_EQ(look.fill, c.fill);
    EXPECT_EQ(look.caption, c.caption);
    EXPECT_EQ(look.outlineOnly, c.outlineOnly);
  }
}

TEST(GradientColors, PressedAndHoverAdjustBothGradientColours) {
  const TButtonLook look =
      ComputeButtonLook({.color = 0x102030, .color2 = 0x405060, .pressed = true}, &FakeSystemColors);
  EXPECT_EQ(look.colorA, ShiftColor(0x102030, -40));
  EXPECT_EQ(look.colorB, ShiftColor(0x405060, -40));
  EXPECT_EQ(look.fill, BlendColors(look.colorA, look.colorB, 50));
}

TEST(ControlGeometry, CaptionOriginRounding) {
  struct {
    TLayoutSize button, text;
    bool pressed;
    int shift;
    TLayoutPoint expected;
  } const cases[] = {
      {{120, 30}, {50, 16}, false, 0, {35, 7}},
      {{120, 30}, {51, 15}, false, 0, {34, 8}},  // 34.5 rounds to even 34; 7.5 rounds up to 8
      {{120, 30}, {49, 15}, false, 0, {36, 8}},  // 35.5 rounds to even 36
      {{120, 30}, {51, 15}, true, 0, {35, 9}},   // pressed: one pixel right and down
      {{120, 30}, {50, 16}, false, -2, {35, 5}},
      {{40, 10}, {61, 15}, false, 0, {-10, -2}},  // wider than the button: -10.5 rounds to -10
      {{40, 10}, {63, 13}, false, 0, {-12, -1}},  // -11.5 rounds to -12; -1.5 rounds up to -1
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CaptionOrigin(c.button, c.text, c.pressed, c.shift), c.expected)
        << c.button.width << "x" << c.button.height << " text " << c.text.width << "x" << c.text.height;
  }
}

TEST(ControlGeometry, FitPicture) {
  const TLayoutRect box{10, 20, 30, 30};
  // A picture of the box's size fills it; a smaller one stays small, centred or at the corner.
  EXPECT_EQ(FitPicture(box, {30, 30}, true, true, false), (TLayoutRect{10, 20, 30, 30}));
  EXPECT_EQ(FitPicture(box, {10, 20}, true, true, false), (TLayoutRect{20, 25, 10, 20}));
  EXPECT_EQ(FitPicture(box, {10, 20}, false, true, false), (TLayoutRect{10, 20, 10, 20}));
  // Proportional shrinks a larger picture keeping its aspect; without it, it is drawn at full size.
  EXPECT_EQ(FitPicture(box, {60, 30}, true, true, false), (TLayoutRect{10, 27, 30, 15}));
  EXPECT_EQ(FitPicture(box, {60, 30}, false, false, false), (TLayoutRect{10, 20, 60, 30}));
  // Stretch without proportional fills the box.
  EXPECT_EQ(FitPicture(box, {10, 5}, false, false, true), (TLayoutRect{10, 20, 30, 30}));
  EXPECT_EQ(FitPicture(box, {0, 0}, true, true, true), (TLayoutRect{25, 35, 0, 0}));
}

TEST(ControlGeometry, ScalingFromTheDesign) {
  // Lengths round half away from zero; screen positions read back rounded down.
  EXPECT_EQ(ScaleLength(600, 144), 900);
  EXPECT_EQ(ScaleLength(3, 144), 5);
  EXPECT_EQ(ScaleLength(-3, 144), -5);
  EXPECT_EQ(ScaleLength(7, 120), 9);
  EXPECT_EQ(ScaleLength(11, 96), 11);
  EXPECT_EQ(DesignLength(899, 144), 599);
  EXPECT_EQ(DesignLength(-1, 144), -1);
  EXPECT_EQ(DesignLength(450, 144), 300);

  // Edges are scaled, so neighbours still meet: 3 + 3 pixels become 5 + 4, not 5 + 5.
  const TLayoutRect a{1, 0, 3, 2}, b{4, 0, 3, 2};
  EXPECT_EQ(ScaleRect(a, 144), (TLayoutRect{2, 0, 4, 3}));
  EXPECT_EQ(ScaleRect(a, 144).Right(), ScaleRect(b, 144).left);
  // What a control may draw into covers every pixel it touches.
  EXPECT_EQ(CoveringRect(a, 144), (TLayoutRect{1, 0, 5, 3}));
  EXPECT_EQ(CoveringRect({240, 132, 120, 30}, 96), (TLayoutRect{240, 132, 120, 30}));
  EXPECT_EQ(CoveringRect({235, 40, 199, 48}, 144), (TLayoutRect{352, 60, 299, 72}));
}

// A stand-in for a line of text: 10 pixels of width for each pixel of em height.
TLayoutSize FakeText(int height) { return {10 * height, height}; }

TEST(ControlGeometry, CaptionsShrinkOnePixelAtATimeDownToEight) {
  struct TCase {
    const char* name;
    int design;
    TLayoutSize box;
    bool wraps;
    std::function<TLayoutSize(int)> measure;
    TFittedHeight expected;
  } const cases[] = {
      {"fits at the design", 12, {120, 30}, false, [](int h) { return FakeText(h); }, {12, true}},
      {"one pixel smaller", 12, {115, 30}, false, [](int h) { return FakeText(h); }, {11, true}},
      {"exactly the box", 12, {100, 30}, false, [](int h) { return FakeText(h); }, {10, true}},
      {"not below eight", 12, {50, 30}, false, [](int h) { return FakeText(h); }, {8, false}},
      {"eight just fits", 12, {80, 30}, false, [](int h) { return FakeText(h); }, {8, true}},
      {"a small design stays", 7, {10, 30}, false, [](int h) { return FakeText(h); }, {7, false}},
      {"one line ignores the height", 12, {120, 5}, false, [](int h) { return FakeText(h); }, {12, true}},
      // Wrapped, the height counts, with a pixel of slack for the last line's rounding.
      {"wrapped lines fit", 15, {200, 40}, true, [](int) { return TLayoutSize{150, 41}; }, {15, true}},
      {"a third line does not", 15, {200, 40}, true,
       [](int h) { return TLayoutSize{150, h > 13 ? 3 * h : 2 * h + 10}; }, {13, true}},
      {"a word wider than the box", 12, {100, 100}, true, [](int h) { return TLayoutSize{9 * h + 20, h}; },
       {8, true}},
  };
  for (const TCase& c : cases) {
    const TFittedHeight fitted = FitTextHeight(c.design, c.box, c.wraps, c.measure);
    EXPECT_EQ(fitted.height, c.expected.height) << c.name;
    EXPECT_EQ(fitted.fits, c.expected.fits) << c.name;
  }
}

TEST(ProgressRange, SettersKeepTheRangeAndPositionSound) {
  TProgressRange r;
  EXPECT_EQ(r.Min(), 0);
  EXPECT_EQ(r.Max(), 100);
  EXPECT_EQ(r.Progress(), 0);

  r.SetProgress(150);
  EXPECT_EQ(r.Progress(), 100);
  r.SetProgress(-5);
  EXPECT_EQ(r.Progress(), 0);

  r.SetMax(0);  // not above Min: ignored
  EXPECT_EQ(r.Max(), 100);
  r.SetMin(100);  // not below Max: ignored
  EXPECT_EQ(r.Min(), 0);
  EXPECT_EQ(r.Interval(), 100);

  r.SetMin(20);
  r.SetProgress(50);
  EXPECT_EQ(r.Interval(), 80);
  EXPECT_EQ(r.Current(), 30);

  // Lowering the maximum below the position takes the position along.
  r.SetMax(40);
  EXPECT_EQ(r.Progress(), 40);
  EXPECT_EQ(r.Current(), 20);
  r.SetMin(45);  // not below Max 40: ignored
  EXPECT_EQ(r.Min(), 20);

  // The extreme range does not overflow.
  TProgressRange wide;
  wide.SetMin(INT32_MIN);
  wide.SetMax(INT32_MAX);
  wide.SetProgress(INT32_MAX);
  EXPECT_EQ(wide.Interval(), 4294967295LL);
  EXPECT_EQ(wide.FilledWidth(528), 528);
  wide.SetProgress(INT32_MIN + 1);
  EXPECT_EQ(wide.FilledWidth(528), 1);
}

TEST(ProgressRange, FilledWidthRoundsUpAndNeverPassesTheWidth) {
  struct {
    std::int32_t progress, max;
    int width, filled;
  } const cases[] = {
      {0, 1000, 528, 0},       {1, 1000, 528, 1},    {500, 1000, 528, 264}, {999, 1000, 528, 528},
      {1000, 1000, 528, 528},  {25, 30, 528, 440},   // floating point would make this 441
      {11, 11, 100, 100},      // and this 101
      {1, 3, 0, 0},            {1, 3, -5, 0},
  };
  for (const auto& c : cases) {
    TProgressRange r;
    r.SetMax(c.max);
    r.SetProgress(c.progress);
    EXPECT_EQ(r.FilledWidth(c.width), c.filled) << c.progress << "/" << c.max << " on " << c.width;
  }
}

TEST(ProgressRange, NotificationLimitsThePositionByThePreviousMaximum) {
  TProgressRange r;
  ApplyProgressNotification(r, 500, 1000);
  EXPECT_EQ(r.Progress(), 100);
  EXPECT_EQ(r.Max(), 1000);
  EXPECT_EQ(r.FilledWidth(528), 53);  // 10 %, rounded up
  ApplyProgressNotification(r, 500, 1000);
  EXPECT_EQ(r.FilledWidth(528), 264);  // 50 % from the second notification on

  ApplyProgressNotification(r, 700, 0);  // maximum 0 leaves the maximum alone
  EXPECT_EQ(r.Max(), 1000);
  EXPECT_EQ(r.Progress(), 700);
}

// The engine's maximum is an unsigned 32-bit number: from about 1.79 GB of packages on it no longer fits
// the bar's signed range, and the bar must still fill in proportion, not all at once.
TEST(ProgressRange, NotificationsBeyondTheSignedRangeMoveTheBarEvenly) {
  struct {
    std::uint32_t maximum;
  } const cases[] = {{0x7FFFFFFFu}, {0x80000000u}, {2'400'000'002u}, {0xFFFFFFFFu}};
  for (const auto& c : cases) {
    TProgressRange r;
    ApplyProgressNotification(r, 0, c.maximum);  // the run's first notification
    for (const int percent : {0, 1, 25, 50, 99, 100}) {
      const auto position = static_cast<std::uint32_t>(std::uint64_t{c.maximum} * percent / 100);
      ApplyProgressNotification(r, position, c.maximum);
      EXPECT_EQ(r.FilledWidth(528), (528 * percent + 99) / 100) << c.maximum << " at " << percent << " %";
    }
  }
}

}  // namespace
}  // namespace sf
