// TInternetConfig: the internet settings dialog. Created once with the wizard window and reused: what
// the user entered stays until the next showing, and Cancel only makes the caller ignore it.
//
// Designed at 96 DPI and drawn at the DPI of the monitor it is on. It paints as a dialog of the system:
// one background under the group box and its labels, disabled labels greyed on it. A caption too wide
// for its control is drawn with a smaller font, and the fields beside the labels move right when a
// language's labels need the room.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include "common/WinHandleU.h"
#include "controls/ControlGeometryU.h"
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
  struct TDesign;
  static const std::vector<TDesign>& Designs();

  void FormShow();
  void Translate();
  // Places every control for the current texts at the current DPI, each caption at a font it fits in.
  void Layout();
  // The design room of the fields beside the labels on the right: 368, or further right when one of those
  // labels needs it (the English ones, by the design).
  int RightFieldsLeft();
  HFONT FontOfHeight(int designHeight);
  // The caption's width on the screen with the font of that design height.
  int CaptionWidth(HWND control, int designHeight);
  void ChoiceClick(TProxyChoice choice);
  // Enables the fields that the choice uses.
  void EnableFieldsFor(TProxyChoice choice);
  void chkAutenticacaoClick();
  void ApplyEnabling(const TProxyEnabling& enabling);
  TProxyChoice SelectedChoice() const;
  void Close(bool ok);
  void WMDpiChanged(int dpi, const RECT& suggested);
  HBRUSH CtlColor(HDC dc, HWND control);

  HWND m_owner;
  int m_nDpi = kDesignDpi;
  std::map<int, TScopedFont> m_Fonts;  // by design em height, at m_nDpi
  bool m_bOpen = false;
  bool m_bOk = false;

  HWND btnOK = nullptr, btnCancel = nullptr, GroupBox1 = nullptr;
  HWND RadioNoProxy = nullptr, RadioProxyIE = nullptr, RadioProxyConfig = nullptr, RadioProxySOCKSConfig = nullptr;
  HWND lblEndProxy = nullptr, EdtProxyIP = nullptr, lblPortProxy = nullptr, EdtProxyPort = nullptr;
  HWND lblEndSocks = nullptr, EdtProxySOCKs = nullptr, lblPortSocks = nullptr, EdtSOCKsPort = nullptr;
  HWND chkAutenticacao = nullptr, lblUserName = nullptr, edtUserName = nullptr, lblSenha = nullptr, edtSenha = nullptr;
};

}  // namespace sf
