// Colour arithmetic shared by the custom controls, and the colour rules of the gradient button: which
// fill and caption colours a button shows in each state. Portable: colours are plain numbers here and
// system-colour references are resolved by a function the caller passes in.
#pragma once

#include <functional>

#include "common/ConstantsU.h"

namespace sf {

// A colour reference is either a plain colour 0x00BBGGRR, a reference to a system colour (high byte
// 0xFF, the system colour index in the low byte), or kColorDefault, which means "derive the colour".
inline constexpr TColor kColorDefault = 0x20000000;
constexpr TColor SystemColorRef(int index) { return 0xFF000000u | static_cast<TColor>(index & 0xFF); }
constexpr bool IsSystemColorRef(TColor c) { return (c & 0xFF000000u) == 0xFF000000u; }
constexpr int SystemColorIndex(TColor c) { return static_cast<int>(c & 0xFF); }

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clGray = 0x808080;
// The system colours the controls start with (the indices are the platform's COLOR_* numbers).
inline constexpr TColor clWindow = SystemColorRef(5);
inline constexpr TColor clWindowText = SystemColorRef(8);
inline constexpr TColor clBtnFace = SystemColorRef(15);
inline constexpr TColor clBtnShadow = SystemColorRef(16);

constexpr int RedOf(TColor c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(TColor c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(TColor c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr TColor MakeColor(int red, int green, int blue) {
  return static_cast<TColor>(red & 0xFF) | (static_cast<TColor>(green & 0xFF) << 8) |
         (static_cast<TColor>(blue & 0xFF) << 16);
}

// percent 0 gives b, 100 gives a; in between each channel is mixed with rounding to nearest. Above 100
// the divisor becomes 1000, so percent is then read in tenths.
TColor BlendColors(TColor a, TColor b, int percent);
// Adds amount (negative darkens) to each channel, clamping to 0..255.
TColor ShiftColor(TColor c, int amount);
// Perceived brightness test: 76 R + 150 G + 30 B below threshold × 256.
bool IsColorDarker(TColor c, int threshold);

// Caption colour that reads well on a button whose two colours are a and b (resolved colours).
TColor AutoCaptionColor(TColor a, TColor b);

// Everything the gradient button's colours depend on. Colours may be references; the resolver turns a
// reference into a plain colour.
struct TButtonLookInput {
  TColor color = clBtnFace;
  TColor color2 = clBtnFace;
  TColor fontColor = clWindowText;
  TColor disabledColor = kColorDefault;
  bool enabled = true;
  bool pressed = false;  // state down or exclusive
  bool mouseInside = false;
  bool clear = false;
  bool softHighlight = false;
  bool needHighlight = true;
  bool canClick = true;
  bool active = true;
  bool forceFontColor = false;
  // What shows through at the button's centre; decides a Clear button's caption while the mouse is out.
  TColor backdropAtCentre = clBlack;
};

struct TButtonLook {
  TColor colorA = clBlack;  // first gradient colour after the state adjustment
  TColor colorB = clBlack;  // second gradient colour after the state adjustment
  TColor fill = clBlack;    // the solid fill (and pen) colour
  TColor caption = clBlack;
  bool outlineOnly = false;  // a Clear button with the mouse outside
};

using TColorResolver = std::function<TColor(TColor)>;
TButtonLook ComputeButtonLook(const TButtonLookInput& in, const TColorResolver& resolve);

}  // namespace sf
