// Geometry shared by the controls and the page layouts: plain rectangles, and the placement rules of
// pictures and captions. Portable.
#pragma once

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

// Top-left corner of a button caption: horizontally centred with halves rounded to even, vertically
// centred with halves rounded up; a pressed caption moves one pixel right and down.
TLayoutPoint CaptionOrigin(TLayoutSize button, TLayoutSize text, bool pressed, int textVertShift);

}  // namespace sf
