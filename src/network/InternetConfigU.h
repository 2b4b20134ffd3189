// TInternetConfig: the internet settings dialog. Created once with the wizard window and reused: what
// the user entered stays until the next showing, and Cancel only makes the caller ignore it.
#pragma once

#include <windows.h>

#include "common/WinHandleU.h"
#include "controls/WindowU.h"
#include "network/ProxyChoiceU.h"

namespace sf {

class TInternetConfig : public TWindowBase {
 public:
  static constexpr int kClientWidth = 555;
  static constexpr int kClientHeight = 299;

  explicit TInternetConfig(HWND owner);

  // Shows the dialog modally, centred on its owner; true when it was closed with OK.
  bool ShowModal();

  // The choice preselected at start-up (browser proxy found or not).
  void SelectChoice(TProxyChoice choice);
  TProxyDialogValues Values() const;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void FormShow();
  void Translate();
  void RadioNoProxyClick(TProxyChoice choice);
  void chkAutenticacaoClick();
  void ApplyEnabling(const TProxyEnabling& enabling);
  TProxyChoice SelectedChoice() const;
  HWND Control(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int width, int height, int id = 0);
  void Close(bool ok);

  HWND m_owner;
  TScopedFont m_font;
  bool m_bOpen = false;
  bool m_bOk = false;

  HWND btnOK = nullptr, btnCancel = nullptr, GroupBox1 = nullptr;
  HWND RadioNoProxy = nullptr, RadioProxyIE = nullptr, RadioProxyConfig = nullptr, RadioProxySOCKSConfig = nullptr;
  HWND lblEndProxy = nullptr, EdtProxyIP = nullptr, lblPortProxy = nullptr, EdtProxyPort = nullptr;
  HWND lblEndSocks = nullptr, EdtProxySOCKs = nullptr, lblPortSocks = nullptr, EdtSOCKsPort = nullptr;
  HWND chkAutenticacao = nullptr, lblUserName = nullptr, edtUserName = nullptr, lblSenha = nullptr, edtSenha = nullptr;
};

}  // namespace sf
