#include "wizard/InternetConfigU.h"

#include <gtest/gtest.h>

#include <functional>

#include "LooksSupport.h"
#include "common/LanguageU.h"
#include "common/TextU.h"
#include "controls/GraphicControlsU.h"

namespace sf {
namespace {

// The dialog's owner: an ordinary top-level window.
class TOwner {
 public:
  TOwner() {
    m_hWnd = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 100, 100, 600, 250, nullptr, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  }
  ~TOwner() { ::DestroyWindow(m_hWnd); }
  TOwner(const TOwner&) = delete;
  TOwner& operator=(const TOwner&) = delete;
  HWND Handle() const { return m_hWnd; }

 private:
  HWND m_hWnd;
};

// Control identifiers of the dialog, in creation order from the first radio button.
enum : int { kNoProxy = 100, kProxyIE, kProxyConfig, kProxySocks, kAuth, kProxyAddress, kProxyPort, kSocksAddress,
             kSocksPort, kUserName, kPassword };

class InternetConfig : public testing::Test {
 protected:
  HWND Item(int id) const { return ::GetDlgItem(dialog.Handle(), id); }
  bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
  void Click(int id) { ::SendMessageW(Item(id), BM_CLICK, 0, 0); }
  // Shows the dialog and answers it with the given button at once.
  bool ShowAndPress(int button) {
    ::PostMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return dialog.ShowModal();
  }

  // Runs look() while the dialog is up (from a timer of its modal loop, once it has painted), then
  // closes it with Cancel.
  void WhileShown(const std::function<void()>& look) {
    s_look = &look;
    s_dialog = dialog.Handle();
    ::SetTimer(nullptr, 0, 100, &TInternetConfig_Look);
    dialog.ShowModal();
    s_look = nullptr;
  }
  static void CALLBACK TInternetConfig_Look(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (s_look) (*s_look)();
    ::PostMessageW(s_dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  static inline const std::function<void()>* s_look = nullptr;
  static inline HWND s_dialog = nullptr;

  TOwner owner;
  TInternetConfig dialog{owner.Handle()};
};

TEST_F(InternetConfig, WithoutABrowserProxyEverythingStartsDisabled) {
  dialog.SelectChoice(TProxyChoice::NoProxy);
  EXPECT_FALSE(ShowAndPress(IDCANCEL));
  for (int id : {kProxyAddress, kProxyPort, kSocksAddress, kSocksPort, kAuth, kUserName, kPassword}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  EXPECT_EQ(::SendMessageW(Item(kNoProxy), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(InternetConfig, ChoicesEnableTheirFieldsAndTheTickStaysThrough) {
  Click(kProxyConfig);
  EXPECT_TRUE(Enabled(kProxyAddress));
  EXPECT_TRUE(Enabled(kProxyPort));
  EXPECT_FALSE(Enabled(kSocksAddress));
  EXPECT_TRUE(Enabled(kAuth));
  EXPECT_FALSE(Enabled(kUserName));
  Click(kAuth);
  EXPECT_TRUE(Enabled(kUserName));
  EXPECT_TRUE(Enabled(kPassword));
  Click(kNoProxy);
  EXPECT_FALSE(Enabled(kAuth));
  EXPECT_FALSE(Enabled(kUserName));
  EXPECT_EQ(::SendMessageW(Item(kAuth), BM_GETCHECK, 0, 0), BST_CHECKED);
  Click(kProxySocks);
  EXPECT_TRUE(Enabled(kSocksPort));
  EXPECT_TRUE(Enabled(kUserName)) << "the tick is still there";
}

TEST_F(InternetConfig, OneChoiceAtATimeWhicheverIsClicked) {
  const int choices[] = {kProxyConfig, kProxySocks, kProxyIE, kProxySocks, kNoProxy, kProxyConfig};
  for (int clicked : choices) {
    Click(clicked);
    for (int choice : {kNoProxy, kProxyIE, kProxyConfig, kProxySocks}) {
      EXPECT_EQ(::SendMessageW(Item(choice), BM_GETCHECK, 0, 0) == BST_CHECKED, choice == clicked) << clicked;
    }
    EXPECT_EQ(static_cast<int>(dialog.Values().choice), clicked - kNoProxy);
  }
}

TEST_F(InternetConfig, EnteredValuesSurviveCancelAndComeBackWithOk) {
  Click(kProxyConfig);
  Click(kAuth);
  ::SetWindowTextW(Item(kProxyAddress), L"localhost");
  ::SetWindowTextW(Item(kProxyPort), L"3128");
  ::SetWindowTextW(Item(kUserName), L"ana");
  ::SetWindowTextW(Item(kPassword), L"segredo");
  EXPECT_FALSE(ShowAndPress(IDCANCEL));
  EXPECT_TRUE(ShowAndPress(IDOK));
  const TProxyDialogValues values = dialog.Values();
  EXPECT_EQ(values.choice, TProxyChoice::Server);
  EXPECT_EQ(values.proxyAddress, L"localhost");
  EXPECT_EQ(values.proxyPort, L"3128");
  EXPECT_EQ(values.password, L"segredo");
  EXPECT_EQ(::SendMessageW(Item(kPassword), EM_GETPASSWORDCHAR, 0, 0), L'*');
}

TEST_F(InternetConfig, TextsFollowTheLanguageAndTheDialogCentresOnItsOwner) {
  wchar_t caption[64];
  EXPECT_TRUE(ShowAndPress(IDOK));
  ::GetWindowTextW(dialog.Handle(), caption, 64);
  EXPECT_STREQ(caption, L"Configurações de Internet");
  RECT o, d;
  ::GetWindowRect(owner.Handle(), &o);
  ::GetWindowRect(dialog.Handle(), &d);
  EXPECT_NEAR((o.left + o.right) / 2, (d.left + d.right) / 2, 1);
  EXPECT_NEAR((o.top + o.bottom) / 2, (d.top + d.bottom) / 2, 1);
  RECT client;
  ::GetClientRect(dialog.Handle(), &client);
  EXPECT_EQ(client.right, 555);
  EXPECT_EQ(client.bottom, 299);

  SetLanguage(TLanguage::English);
  EXPECT_TRUE(ShowAndPress(IDOK));
  SetLanguage(TLanguage::Portuguese);
  ::GetWindowTextW(dialog.Handle(), caption, 64);
  EXPECT_STREQ(caption, L"Internet Settings");
  RECT port;
  ::GetWindowRect(Item(kProxyPort), &port);
  ::MapWindowPoints(nullptr, dialog.Handle(), reinterpret_cast<POINT*>(&port), 2);
  EXPECT_EQ(port.left, 16 + 383);
}

// A dialog of the system: one background under the group box and every label, disabled labels greyed on
// it, every caption whole. Each choice, with and without authentication, in the three languages, compared
// with its reference picture at the DPI this runs at.
TEST_F(InternetConfig, LooksLikeASystemDialogInEveryStateAndLanguage) {
  struct TState {
    const char* name;
    int choice;
    bool authentication;
  };
  const TState states[] = {{"none", kNoProxy, false},   {"browser", kProxyIE, false},
                           {"server", kProxyConfig, false}, {"socks", kProxySocks, false},
                           {"none-auth", kNoProxy, true}, {"browser-auth", kProxyIE, true},
                           {"server-auth", kProxyConfig, true}, {"socks-auth", kProxySocks, true}};
  const std::pair<TLanguage, const char*> languages[] = {
      {TLanguage::Portuguese, "pt"}, {TLanguage::English, "en"}, {TLanguage::Spanish, "es"}};
  for (const auto& [language, code] : languages) {
    SetLanguage(language);
    for (const TState& state : states) {
      const std::string name = std::string("dialog-") + state.name + "-" + code;
      SCOPED_TRACE(name);
      Click(state.choice);
      if (state.authentication != (::SendMessageW(Item(kAuth), BM_GETCHECK, 0, 0) == BST_CHECKED)) {
        ::SendMessageW(Item(kAuth), BM_SETCHECK, state.authentication ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      TPaintBuffer shot;
      WhileShown([&] {
        test::CaptureClient(dialog.Handle(), shot);
        EXPECT_EQ(test::CutOffCaptions(dialog.Handle()), std::vector<std::string>{});
      });
      test::ExpectLooksLikeReference(shot, FromUtf8(name) + L".png");
      // Inside the group box, away from every control: the dialog's own background.
      const int dpi = WindowDpi(dialog.Handle());
      EXPECT_EQ(shot.PixelAt(ScaleLength(16 + 500, dpi), ScaleLength(14 + 120, dpi)),
                static_cast<TColor>(::GetSysColor(COLOR_BTNFACE)));
    }
  }
  SetLanguage(TLanguage::Portuguese);
}

}  // namespace
}  // namespace sf
