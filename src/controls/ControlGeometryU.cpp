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

int ScaleLength(int length, int dpi) {
  const long long scaled = static_cast<long long>(length) * dpi;
  const long long half = kDesignDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kDesignDpi : -((-scaled + half) / kDesignDpi));
}

int DesignLength(int length, int dpi) {
  const long long scaled = static_cast<long long>(length) * kDesignDpi;
  return static_cast<int>(scaled >= 0 ? scaled / dpi : -((-scaled + dpi - 1) / dpi));
}

TLayoutRect ScaleRect(const TLayoutRect& r, int dpi) {
  const int left = ScaleLength(r.left, dpi);
  const int top = ScaleLength(r.top, dpi);
  return {left, top, ScaleLength(r.Right(), dpi) - left, ScaleLength(r.Bottom(), dpi) - top};
}

TLayoutRect CoveringRect(const TLayoutRect& r, int dpi) {
  const auto floorScaled = [dpi](int v) { return static_cast<int>(std::floor(static_cast<double>(v) * dpi / kDesignDpi)); };
  const auto ceilScaled = [dpi](int v) { return static_cast<int>(std::ceil(static_cast<double>(v) * dpi / kDesignDpi)); };
  const int left = floorScaled(r.left);
  const int top = floorScaled(r.top);
  return {left, top, ceilScaled(r.Right()) - left, ceilScaled(r.Bottom()) - top};
}

TFittedHeight FitTextHeight(int designHeight, TLayoutSize box, bool wraps,
                            const std::function<TLayoutSize(int height)>& measure) {
  const auto fits = [&](int height) {
    const TLayoutSize size = measure(height);
    return size.width <= box.width && (!wraps || size.height <= box.height + 1);
  };
  int height = designHeight;
  for (; height > kMinimumFitHeight; --height) {
    if (fits(height)) return {height, true};
  }
  return {height, fits(height)};
}

TLayoutPoint CaptionOrigin(TLayoutSize button, TLayoutSize text, bool pressed, int textVertShift) {
  const int d = pressed ? 1 : 0;
  return {d + HalfRoundedToEven(button.width - text.width),
          d + HalfRoundedUp(button.height - text.height) + textVertShift};
}

}  // namespace sf
