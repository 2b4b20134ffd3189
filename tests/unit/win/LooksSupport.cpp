#include "LooksSupport.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/TextU.h"
#include "controls/GraphicPanelU.h"

namespace sf::test {

namespace {

std::wstring ReferencePath(const std::wstring& name) {
  std::filesystem::path folder = std::filesystem::path(__FILE__).parent_path() / L"reference";
  if (const int dpi = WindowDpi(nullptr); dpi != kDesignDpi) folder /= std::to_wstring(dpi) + L"dpi";
  std::wstring path = (folder / name).wstring();
  // Wine maps drive Z: to the Unix root, where the sources are.
  if (!path.empty() && (path[0] == L'/' || path[0] == L'\\')) path = L"Z:" + path;
  return path;
}

// Pixels that have no counterpart of a close colour (each channel within tolerance) at the same place or
// one pixel away in the other picture, counted both ways. Font smoothing moves edges by a pixel and shades
// them a little; a label or button that moves, grows or goes away leaves many pixels without a
// counterpart, thin ones included (those are found from the picture that has them).
int MismatchedPixels(const TPaintBuffer& shot, Gdiplus::Bitmap& reference, int tolerance = 48) {
  const int width = shot.Width();
  const int height = shot.Height();
  if (static_cast<int>(reference.GetWidth()) != width || static_cast<int>(reference.GetHeight()) != height) {
    return width * height;
  }
  Gdiplus::BitmapData data{};
  Gdiplus::Rect all(0, 0, width, height);
  if (reference.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppRGB, &data) != Gdiplus::Ok) {
    return width * height;
  }
  std::vector<TColor> mine(static_cast<size_t>(width) * height);
  std::vector<TColor> theirs(mine.size());
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const std::uint32_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride / 4;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t bgra = row[x];
      theirs[static_cast<size_t>(y) * width + x] = MakeColor(
          static_cast<int>((bgra >> 16) & 0xFF), static_cast<int>((bgra >> 8) & 0xFF), static_cast<int>(bgra & 0xFF));
      mine[static_cast<size_t>(y) * width + x] = shot.PixelAt(x, y);
    }
  }
  reference.UnlockBits(&data);

  const auto close = [&](TColor a, TColor b) {
    return std::abs(RedOf(a) - RedOf(b)) <= tolerance && std::abs(GreenOf(a) - GreenOf(b)) <= tolerance &&
           std::abs(BlueOf(a) - BlueOf(b)) <= tolerance;
  };
  const auto unmatched = [&](const std::vector<TColor>& a, const std::vector<TColor>& b) {
    int bad = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const TColor pixel = a[static_cast<size_t>(y) * width + x];
        if (pixel == b[static_cast<size_t>(y) * width + x]) continue;
        bool found = false;
        for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1) && !found; ++ny) {
          for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1) && !found; ++nx) {
            found = close(pixel, b[static_cast<size_t>(ny) * width + nx]);
          }
        }
        bad += found ? 0 : 1;
      }
    }
    return bad;
  };
  return unmatched(mine, theirs) + unmatched(theirs, mine);
}

std::string Describe(const std::wstring& text, int width, int height, const TLayoutRect& box, int dpi) {
  return "\"" + ToUtf8(text) + "\": " + std::to_string(width) + " by " + std::to_string(height) + " pixels in a box of " +
         std::to_string(box.width) + " by " + std::to_string(box.height) + " at " + std::to_string(dpi) + " DPI";
}

}  // namespace

void ExpectLooksLikeReference(const TPaintBuffer& shot, const std::wstring& name) {
  shot.SaveAsPng(L"look-" + name);
  const std::wstring reference = ReferencePath(name);
  const char* update = std::getenv("SF_UPDATE_REFERENCES");
  if (update && std::string(update) == "1") {
    std::filesystem::create_directories(std::filesystem::path(reference).parent_path());
    shot.SaveAsPng(reference);
    return;
  }
  Gdiplus::Bitmap picture(reference.c_str());
  ASSERT_EQ(picture.GetLastStatus(), Gdiplus::Ok) << "no reference picture " << ToUtf8(reference);
  EXPECT_LE(MismatchedPixels(shot, picture), 40) << ToUtf8(name) << " differs from its reference";
}

std::vector<std::string> CutOffCaptions(TGraphicPanel& panel) {
  std::vector<std::string> problems;
  const int dpi = panel.Dpi();
  for (TGraphicControl* control : panel.Controls()) {
    if (!control->Visible()) continue;
    const std::optional<TDrawnText> drawn = control->DrawnText();
    if (!drawn || drawn->text.empty()) continue;
    // What the panel lets the control draw into.
    const TLayoutRect box = CoveringRect(drawn->box, dpi);
    // Measured anew as the screen shows it, not taken from what the control decided.
    const TLayoutSize size = TTextFont(drawn->font).Measure(drawn->text, drawn->wordWrap ? drawn->box.width : 0, dpi);
    const bool fits = size.width <= box.width && (!drawn->wordWrap || size.height <= box.height + 1);
    const TLayoutRect& b = drawn->box;
    const bool inside = b.left >= 0 && b.top >= 0 && b.Right() <= panel.Width() && b.Bottom() <= panel.Height();
    if (!fits || !inside) {
      problems.push_back(Describe(drawn->text, size.width, size.height, box, dpi) + (inside ? "" : ", off the page"));
    }
  }
  return problems;
}

std::vector<std::string> CutOffCaptions(HWND dialog) {
  std::vector<std::string> problems;
  const int dpi = WindowDpi(dialog);
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (!::IsWindowVisible(child)) continue;
    wchar_t cls[32] = {};
    ::GetClassNameW(child, cls, 32);
    const std::wstring kind = cls;
    if (kind != L"Static" && kind != L"Button" && kind != L"STATIC" && kind != L"BUTTON") continue;
    const int length = ::GetWindowTextLengthW(child);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(child, text.data(), length + 1)));
    if (text.empty()) continue;

    HDC dc = ::GetDC(child);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(child, WM_GETFONT, 0, 0)));
    RECT measured{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    INT zero = 0;
    ::GetCharWidth32W(dc, L'0', L'0', &zero);
    ::SelectObject(dc, old);
    ::ReleaseDC(child, dc);

    RECT client;
    ::GetClientRect(child, &client);
    int room = client.right;
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (kind == L"Button" || kind == L"BUTTON") {
      switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX: room -= ScaleLength(16, dpi); break;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
          // Where the button control starts its text: after a mark of 12 design pixels and one more, and
          // half the width of a digit.
          room -= MulDiv(12, dpi, kDesignDpi) + 1 + zero / 2;
          break;
        default: room -= ScaleLength(6, dpi); break;
      }
    }
    if (measured.right > room) {
      problems.push_back(Describe(text, measured.right, measured.bottom, {0, 0, room, client.bottom}, dpi));
    }
  }
  return problems;
}

void CaptureClient(HWND window, TPaintBuffer& shot) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT client;
  ::GetClientRect(window, &client);
  shot.Resize(client.right, client.bottom);
  HDC dc = ::GetDC(window);
  ::BitBlt(shot.Dc(), 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  ::ReleaseDC(window, dc);
  ::GdiFlush();
}

}  // namespace sf::test
