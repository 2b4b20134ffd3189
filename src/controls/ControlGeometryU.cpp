#include "controls/ControlGeometryU.h"

#include <cmath>

namespace sf {

namespace {

// n / 2 for any integer n, rounded half to even.
int HalfRoundedToEven(int n) {
  const int floor = (n >= 0) ? n / 2 : -((-n + 1) / 2);
  if (n % 2 == 0) return floor;
  return (floor % 2 == 0) ? floor : floor + 1;
}

// n / 2 rounded up, for any integer n.
int HalfRoundedUp(int n) { return (n >= 0) ? (n + 1) / 2 : -((-n) / 2); }

}  // namespace

TLayoutRect FitPicture(const TLayoutRect& box, TLayoutSize picture, bool center, bool proportional, bool stretch) {
  int width = picture.width;
  int height = picture.height;
  const bool larger = width > box.width || height > box.height;
  if (picture.width > 0 && picture.height > 0 && (stretch || (proportional && larger))) {
    if (proportional) {
      const double scale = std::fmin(static_cast<double>(box.width) / picture.width,
                                     static_cast<double>(box.height) / picture.height);
      width = static_cast<int>(std::lround(picture.width * scale));
      height = static_cast<int>(std::lround(picture.height * scale));
    } else {
      width = box.width;
      height = box.height;
    }
  }
  TLayoutRect out{box.left, box.top, width, height};
  if (center) {
    out.left += (box.width - width) / 2;
    out.top += (box.height - height) / 2;
  }
  return out;
}

TLayoutPoint CaptionOrigin(TLayoutSize button, TLayoutSize text, bool pressed, int textVertShift) {
  const int d = pressed ? 1 : 0;
  return {d + HalfRoundedToEven(button.width - text.width),
          d + HalfRoundedUp(button.height - text.height) + textVertShift};
}

}  // namespace sf
