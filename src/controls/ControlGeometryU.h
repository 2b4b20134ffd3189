// Geometry shared by the controls and the page layouts: plain rectangles, and the placement rules of
// pictures and captions. Portable.
#pragma once

#include <functional>

namespace sf {

struct TLayoutPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const TLayoutPoint&, const TLayoutPoint&) = default;
};

struct TLayoutSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const TLayoutSize&, const TLayoutSize&) = default;
};

struct TLayoutRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  bool Contains(int x, int y) const { return x >= left && x < Right() && y >= top && y < Bottom(); }
  friend bool operator==(const TLayoutRect&, const TLayoutRect&) = default;
};

// Where a picture is drawn inside its image control's box. Without stretch the picture keeps its size;
// proportional shrinks a picture larger than the box (or, with stretch, scales any picture) to fit while
// keeping its aspect; center puts the result in the middle of the box, otherwise at its top-left corner.
TLayoutRect FitPicture(const TLayoutRect& box, TLayoutSize picture, bool center, bool proportional, bool stretch);

// The wizard and its dialog are designed at 96 pixels per inch; on a scaled screen every length of the
// design is drawn that many times larger.
inline constexpr int kDesignDpi = 96;

// A design length at dpi, rounded half away from zero.
int ScaleLength(int length, int dpi);
// The design length a screen length at dpi stands for (a mouse position), rounded down.
int DesignLength(int length, int dpi);
// A design rectangle at dpi. Its edges are scaled rather than its size, so that rectangles that meet in
// the design still meet on the screen.
TLayoutRect ScaleRect(const TLayoutRect& r, int dpi);
// Every screen pixel a design rectangle touches at dpi, even in part: what a control may draw into.
TLayoutRect CoveringRect(const TLayoutRect& r, int dpi);

// A caption never gets cut off: when its text does not fit its box at the design's font, the font
// becomes smaller, one pixel of em height at a time, down to kMinimumFitHeight.
inline constexpr int kMinimumFitHeight = 8;

struct TFittedHeight {
  int height = 0;     // em height in design pixels
  bool fits = false;  // false: even the smallest height is too large, and the caption is drawn at it
};

// measure(height) is the text's size at that em height: on one line, or wrapped at the box's width for a
// caption that wraps (then it may take the box's height, with a pixel of slack for the rounding up of
// the last line). A one-line caption only needs the width.
TFittedHeight FitTextHeight(int designHeight, TLayoutSize box, bool wraps,
                            const std::function<TLayoutSize(int height)>& measure);

// Top-left corner of a button caption: horizontally centred with halves rounded to even, vertically
// centred with halves rounded up; a pressed caption moves one pixel right and down.
TLayoutPoint CaptionOrigin(TLayoutSize button, TLayoutSize text, bool pressed, int textVertShift);

}  // namespace sf
