// The wizard window in this process, with its real engine on a throwaway HKCU: the first-installation
// page in the other two languages (the program itself always runs in Portuguese), compared with the
// reference pictures in reference/. Each rendered page is also written to the working directory (the
// build tree) as wizard-<name>.png. SF_UPDATE_REFERENCES=1 makes the renders the new references.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "WinTestSupport.h"
#include "common/TextU.h"
#include "controls/GraphicControlsU.h"
#include "engine/InstallerThreadU.h"
#include "wizard/LanguageU.h"
#include "wizard/FrameSelectInstallU.h"
#include "wizard/MainFormInstall.h"

namespace sf {
namespace {

// Wine maps drive Z: to the Unix root, where the sources are.
std::wstring ReferencePath(const std::wstring& name) {
  std::wstring path = (std::filesystem::path(__FILE__).parent_path() / L"reference" / name).wstring();
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

void ExpectLooksLikeReference(const TPaintBuffer& shot, const std::wstring& name) {
  shot.SaveAsPng(L"wizard-" + name);
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

class WizardWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&s_gdiplusToken, &input, nullptr), Gdiplus::Ok);
  }
  static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(s_gdiplusToken); }

  void TearDown() override {
    StopWizard();
    SetLanguage(TLanguage::Portuguese);
  }

  // The wizard as the start-up builds it; with no installation in the sandbox the engine asks for page 3.
  void StartWizard() {
    m_pForm = std::make_unique<TSetupForm>();
    m_pForm->Show();
  }

  // The window gives up its engine without stopping it (the process would end it); a test stops it.
  void StopWizard() {
    if (!m_pForm) return;
    TInstallerThread* engine = &m_pForm->InstallerThread();
    m_pForm.reset();
    ::PostThreadMessageW(engine->ThreadId(), WM_QUIT, 0, 0);
    engine->WaitFor(10000);
    std::unique_ptr<TInstallerThread> owned(engine);
  }

  bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
      if (::GetTickCount() - start > timeoutMs) return false;
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      ::Sleep(5);
    }
    return true;
  }

  // The page with its child windows, as the system prints a window.
  void RenderPage(const wchar_t* pageClass, TPaintBuffer& shot) {
    const HWND page = ::FindWindowExW(m_pForm->Handle(), nullptr, L"TGraphicPanel", pageClass);
    ASSERT_NE(page, nullptr);
    shot.Resize(TSetupForm::kWidth, TSetupForm::kHeight);
    ::SendMessageW(page, WM_PRINT, reinterpret_cast<WPARAM>(shot.Dc()), PRF_CLIENT | PRF_CHILDREN);
  }

  static ULONG_PTR s_gdiplusToken;
  test::TRegistrySandbox m_registry;
  test::TTempFolder m_appData;
  test::TScopedEnvironment m_appDataVariable{L"APPDATA", m_appData.Path().wstring()};
  std::unique_ptr<TSetupForm> m_pForm;
};

ULONG_PTR WizardWindow::s_gdiplusToken = 0;

TEST_F(WizardWindow, FirstInstallationPageInEnglishAndSpanish) {
  const std::pair<TLanguage, const wchar_t*> languages[] = {{TLanguage::English, L"page3-en.png"},
                                                             {TLanguage::Spanish, L"page3-es.png"}};
  for (const auto& [language, reference] : languages) {
    SCOPED_TRACE(ToUtf8(reference));
    SetLanguage(language);
    StartWizard();
    ASSERT_TRUE(PumpUntil([&] { return m_pForm->VisibleFrame() == Page::Install; }));
    TPaintBuffer shot;
    RenderPage(L"TFrameInstall", shot);
    ExpectLooksLikeReference(shot, reference);
    StopWizard();
  }
}

TEST(SelectInstallPage, ShownNamesOfInstallationKeys) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"Stormfinch", L"Stormfinch"},
      {L"Stormfinch_abc", L"abc"},
      {L"Stormfinch_ABC_x", L"ABC_x"},                   // only the first match comes off
      {L"Stormfinch__two", L"_two"},                     // one "_" at most
      {L"STORMFINCH_Stormfinch_y", L"Stormfinch_y"},     // the prefix matches in any letter case
      {L"stormfinch_x", L"stormfinch_x"},                // no "Stormfinch_" in it at all
      {L"MyStormfinch_abc", L"MyStormfinch_abc"},        // not at the start
  };
  for (const auto& [key, shown] : cases) EXPECT_EQ(ShownInstallName(key), shown) << ToUtf8(key);
}

}  // namespace
}  // namespace sf
