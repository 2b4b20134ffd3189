#include "controls/GradientColorsU.h"

#include <algorithm>

namespace sf {

namespace {

constexpr TColor kCaptionDarkGrey = 0x332A2D;

int MixChannel(int a, int b, int percent) {
  if (percent > 100) return (a * percent + b * (1000 - percent) + 500) / 1000;
  return (a * percent + b * (100 - percent) + 50) / 100;
}

}  // namespace

TColor BlendColors(TColor a, TColor b, int percent) {
  if (percent == 0) return b;
  if (percent == 100) return a;
  return MakeColor(MixChannel(RedOf(a), RedOf(b), percent), MixChannel(GreenOf(a), GreenOf(b), percent),
                   MixChannel(BlueOf(a), BlueOf(b), percent));
}

TColor ShiftColor(TColor c, int amount) {
  const auto shift = [amount](int channel) { return std::clamp(channel + amount, 0, 255); };
  return MakeColor(shift(RedOf(c)), shift(GreenOf(c)), shift(BlueOf(c)));
}

bool IsColorDarker(TColor c, int threshold) {
  return 76 * RedOf(c) + 150 * GreenOf(c) + 30 * BlueOf(c) < threshold * 256;
}

TColor AutoCaptionColor(TColor a, TColor b) {
  const TColor middle = BlendColors(a, b, 50);
  if (!IsColorDarker(middle, 140)) return clBlack;
  return IsColorDarker(middle, 130) ? clWhite : kCaptionDarkGrey;
}

TButtonLook ComputeButtonLook(const TButtonLookInput& in, const TColorResolver& resolve) {
  TButtonLook look;
  TColor a = resolve(in.color);
  TColor b = resolve(in.color2);

  look.caption = AutoCaptionColor(a, b);
  if (!in.active) look.caption = BlendColors(look.caption, clGray, 50);

  if (in.enabled) {
    if (in.pressed && in.canClick) {
      a = ShiftColor(a, -40);
      b = ShiftColor(b, -40);
    } else if (!in.clear && in.mouseInside && in.needHighlight) {
      // Lightening white would change nothing, so a white button darkens under the mouse instead.
      const int amount = (a == clWhite && b == clWhite) ? -30 : (in.softHighlight ? 5 : 20);
      a = ShiftColor(a, amount);
      b = ShiftColor(b, amount);
    }
  }
  look.colorA = a;
  look.colorB = b;
  look.fill = BlendColors(a, b, 50);

  look.outlineOnly = in.clear && !in.mouseInside;
  if (look.outlineOnly) {
    if (in.fontColor == kColorDefault || in.fontColor == clWindowText) {
      look.caption = IsColorDarker(resolve(in.backdropAtCentre), 140) ? clWhite : clBlack;
    } else {
      look.caption = resolve(in.fontColor);
    }
  }

  if (!in.enabled) {
    look.fill = in.disabledColor == kColorDefault ? BlendColors(look.fill, clGray, 50) : resolve(in.disabledColor);
    look.caption = BlendColors(look.caption, clGray, 50);
  }

  if (in.forceFontColor) {
    const TColor font = resolve(in.fontColor);
    look.caption = in.mouseInside ? ShiftColor(font, 80) : font;
  }
  return look;
}

}  // namespace sf
