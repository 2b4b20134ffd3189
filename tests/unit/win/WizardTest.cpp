// The wizard window in this process, with its real engine on a throwaway HKCU: its pages in all three
// languages (the program itself always runs in Portuguese) with every caption whole, the first-installation
// page in the other two languages compared with its reference pictures, and on a scaled screen every page
// compared with its reference at that scale (LooksSupport.h). CTest runs this program once more in a
// prefix at 144 DPI.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "LooksSupport.h"
#include "WinTestSupport.h"
#include "common/LanguageU.h"
#include "common/TextU.h"
#include "controls/GraphicControlsU.h"
#include "engine/EngineTextsU.h"
#include "engine/InstallerThreadU.h"
#include "engine/MessagePayloadU.h"
#include "engine/MessagesU.h"
#include "wizard/FrameBaseU.h"
#include "wizard/FrameSelectInstallU.h"
#include "wizard/MainFormInstall.h"
#include "wizard/NameTextsU.h"

namespace sf {
namespace {

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
    EngineTexts() = m_engineTexts;
    SharedNameTexts() = m_nameTexts;
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
    const int dpi = m_pForm->Dpi();
    shot.Resize(ScaleLength(TSetupForm::kWidth, dpi), ScaleLength(TSetupForm::kHeight, dpi));
    ::SendMessageW(page, WM_PRINT, reinterpret_cast<WPARAM>(shot.Dc()), PRF_CLIENT | PRF_CHILDREN);
  }

  // Shows a page the way the engine asks for one, with the notifications that fill it: before the page
  // request, but after it for the progress page, which starts with its own text whenever it is shown.
  void ShowPage(int page, const std::function<void(const TMessageTarget&)>& fill) {
    const TMessageTarget window = TMessageTarget::Window(m_pForm->Handle());
    const bool fillAfter = page == Page::Progress;
    if (fill && !fillAfter) fill(window);
    PostPlain(window, WM_CHANGE_VISIBLE_FRAME, static_cast<WPARAM>(page));
    ASSERT_TRUE(PumpUntil([&] { return m_pForm->VisibleFrame() == page; }));
    if (fill && fillAfter) {
      fill(window);
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
  }

  // Every page a run can show, each with the texts that come with it in the current language: the
  // engine's own (translated as the engine does when it sets up a run) and an installation list.
  struct TPageState {
    std::string name;  // for messages and pictures
    int page;
    std::function<void(const TMessageTarget&)> fill;
  };
  std::vector<TPageState> PageStates() {
    TranslateEngineTexts();
    const TEngineTexts texts = EngineTexts();
    const auto progress = [](std::wstring text) {
      return [text](const TMessageTarget& w) { PostText(w, WM_SET_PROGRESS_MSG, text); };
    };
    const auto retry = [](std::wstring text) {
      return [text](const TMessageTarget& w) { PostText(w, WM_SET_RETRY_MSG, text); };
    };
    return {
        {"page1", Page::CreateInstall, {}},
        {"page2", Page::InstallDone, {}},
        {"page3", Page::Install, {}},
        {"page4", Page::InstallUpdate, {}},
        {"page5", Page::Progress, {}},
        {"page5-installing", Page::Progress, progress(texts.installing)},
        {"page5-updating", Page::Progress, progress(texts.updating)},
        {"page5-finishing", Page::Progress, progress(FinishingText())},
        {"page6", Page::Retry, retry(texts.connectionRetry)},
        {"page6-in-use", Page::Retry, retry(texts.fileInUse)},
        {"page7", Page::Aborted,
         [text = texts.unexpectedError](const TMessageTarget& w) {
           PostTwoTexts(w, WM_SET_ABORT_MSG, text, L"4C3E9A71");
         }},
        {"page8", Page::SelectInstall,
         [](const TMessageTarget& w) {
           PostStringList(w, WM_SET_INSTALL_LIST, {L"Stormfinch", L"Stormfinch_mesa2", L"Stormfinch_backtest"});
         }},
        {"page9", Page::UpdateInstaller, {}},
    };
  }


  static ULONG_PTR s_gdiplusToken;
  test::TRegistrySandbox m_registry;
  test::TTempFolder m_appData;
  test::TScopedEnvironment m_appDataVariable{L"APPDATA", m_appData.Path().wstring()};
  std::unique_ptr<TSetupForm> m_pForm;
  // Texts a test translates, for the tests after it.
  TEngineTexts m_engineTexts = EngineTexts();
  TNameEntryTexts m_nameTexts = SharedNameTexts();
};

const std::pair<TLanguage, const char*> kLanguages[] = {
    {TLanguage::Portuguese, "pt"}, {TLanguage::English, "en"}, {TLanguage::Spanish, "es"}};

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
    test::ExpectLooksLikeReference(shot, reference);
    StopWizard();
  }
}

// A caption that does not fit its box is drawn smaller or wrapped, never cut off: measured on every page,
// with every text a run can put there, in every language, at the DPI this runs at.
TEST_F(WizardWindow, EveryCaptionOfEveryPageFitsInEveryLanguage) {
  for (const auto& [language, code] : kLanguages) {
    SetLanguage(language);
    StartWizard();
    ASSERT_TRUE(PumpUntil([&] { return m_pForm->VisibleFrame() == Page::Install; }));
    for (const TPageState& state : PageStates()) {
      SCOPED_TRACE(state.name + " " + code);
      ShowPage(state.page, state.fill);
      EXPECT_EQ(test::CutOffCaptions(*m_pForm->Frame(state.page)), std::vector<std::string>{});
    }
    StopWizard();
  }
}

// On a scaled screen the window and every page are the 96-DPI design drawn larger: the window's client
// area grows with the scale, and each page matches its reference picture at that scale. (At 96 DPI the
// end-to-end suite compares the real program's pages with its pictures.)
TEST_F(WizardWindow, EveryPageAtTheScreensScale) {
  StartWizard();
  const int dpi = m_pForm->Dpi();
  RECT client;
  ::GetClientRect(m_pForm->Handle(), &client);
  EXPECT_EQ(client.right, ScaleLength(TSetupForm::kWidth, dpi));
  EXPECT_EQ(client.bottom, ScaleLength(TSetupForm::kHeight, dpi));
  if (dpi == kDesignDpi) GTEST_SKIP() << "the end-to-end suite has the pictures at 96 DPI";
  ASSERT_TRUE(PumpUntil([&] { return m_pForm->VisibleFrame() == Page::Install; }));
  for (const TPageState& state : PageStates()) {
    if (state.name.find('-') != std::string::npos) continue;  // one picture a page
    SCOPED_TRACE(state.name);
    ShowPage(state.page, state.fill);
    wchar_t pageClass[64] = {};
    ::GetWindowTextW(m_pForm->Frame(state.page)->Handle(), pageClass, 64);
    TPaintBuffer shot;
    RenderPage(pageClass, shot);
    test::ExpectLooksLikeReference(shot, FromUtf8(state.name) + L".png");
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
