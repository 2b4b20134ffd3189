#include "wizard/InternetConfigU.h"

#include <algorithm>

#include "common/LanguageU.h"
#include "common/WinErrorU.h"

namespace sf {

namespace {

// Without clipping to its children: the dialog's background has to show inside the group box, which
// draws only its frame and caption.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
// The group box holds every choice; its children are placed relative to it.
constexpr int kGroupLeft = 16, kGroupTop = 14;
// The design's font: Segoe UI, 11 pixels.
constexpr int kFontHeight = 11;
// The fields right of the port and password labels: the design's column, and the English one.
constexpr int kRightFieldsLeft = 368;
constexpr int kRightFieldsLeftWide = 383;
// Between a label's text and the field it names.
constexpr int kLabelGap = 4;
// What a caption cannot use of its control: a check box's or radio button's mark and the space after
// it, a push button's frame, a group box's frame on both sides.
constexpr int kMarkRoom = 17;
constexpr int kButtonFrame = 6;
constexpr int kGroupFrame = 16;

// Control identifiers: the dialog's own routing, and the handles a test or an accessibility tool finds.
enum TId : int {
  kIdOk = IDOK,
  kIdCancel = IDCANCEL,
  kIdNoProxy = 100,
  kIdProxyIE,
  kIdProxyConfig,
  kIdProxySocks,
  kIdAuthentication,
  kIdProxyAddress,
  kIdProxyPort,
  kIdSocksAddress,
  kIdSocksPort,
  kIdUserName,
  kIdPassword,
};

// How much of its control a caption may use.
enum class TCaption { None, Label, Mark, Button, Group };

constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | WS_BORDER;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kRadio = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;

std::wstring WindowText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

bool IsChecked(HWND button) { return ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

}  // namespace

// One control of the dialog as designed at 96 DPI. A label's caption may take the room up to the field
// it names; a field of the right-hand column takes that column's left edge.
struct TInternetConfig::TDesign {
  HWND TInternetConfig::*control;
  const wchar_t* cls;
  DWORD style;
  int id;
  TLayoutRect rect;  // relative to the group box when inGroup
  bool inGroup;
  TCaption caption;
  HWND TInternetConfig::*field = nullptr;
  bool rightColumn = false;
};

namespace {

using D = TInternetConfig;

}  // namespace

TInternetConfig::TInternetConfig(HWND owner) : m_owner(owner), m_nDpi(WindowDpi(owner)) {
  const SIZE outer = OuterSizeForClient(ScaleLength(kClientWidth, m_nDpi), ScaleLength(kClientHeight, m_nDpi),
                                        kStyle, kExStyle, m_nDpi);
  CreateHandle(L"TInternetConfig", kExStyle, kStyle, L"", 0, 0, outer.cx, outer.cy, owner,
               ::GetSysColorBrush(COLOR_BTNFACE));
  for (const TDesign& d : Designs()) {
    HWND control = ::CreateWindowExW(0, d.cls, d.control == &D::btnOK ? L"OK" : L"", d.style, 0, 0, 0, 0, Handle(),
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (!control) throw TWinError(std::wstring(L"TInternetConfig ") + d.cls);
    this->*d.control = control;
  }
  ::SendMessageW(edtSenha, EM_SETPASSWORDCHAR, L'*', 0);
  ::SendMessageW(RadioNoProxy, BM_SETCHECK, BST_CHECKED, 0);
  Translate();
}

// In tab order within each container, as the design lists them.
const std::vector<TInternetConfig::TDesign>& TInternetConfig::Designs() {
  static const std::vector<TDesign> designs = {
      {&D::btnOK, L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kIdOk, {383, 263, 75, 25}, false,
       TCaption::Button},
      {&D::btnCancel, L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdCancel, {464, 263, 75, 25}, false,
       TCaption::Button},
      {&D::GroupBox1, L"BUTTON", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, {kGroupLeft, kGroupTop, 529, 235}, false,
       TCaption::Group},
      {&D::RadioNoProxy, L"BUTTON", kRadio | WS_GROUP, kIdNoProxy, {32, 24, 161, 17}, true, TCaption::Mark},
      {&D::RadioProxyIE, L"BUTTON", kRadio, kIdProxyIE, {32, 47, 281, 17}, true, TCaption::Mark},
      {&D::RadioProxyConfig, L"BUTTON", kRadio, kIdProxyConfig, {32, 70, 177, 17}, true, TCaption::Mark},
      {&D::lblEndProxy, L"STATIC", kLabel, 0, {64, 98, 50, 15}, true, TCaption::Label, &D::EdtProxyIP},
      {&D::EdtProxyIP, L"EDIT", kEdit | WS_GROUP, kIdProxyAddress, {120, 95, 185, 21}, true, TCaption::None},
      {&D::lblPortProxy, L"STATIC", kLabel, 0, {328, 98, 40, 15}, true, TCaption::Label, &D::EdtProxyPort},
      {&D::EdtProxyPort, L"EDIT", kEdit | ES_NUMBER, kIdProxyPort, {368, 95, 73, 21}, true, TCaption::None, nullptr,
       true},
      {&D::RadioProxySOCKSConfig, L"BUTTON", kRadio, kIdProxySocks, {32, 124, 177, 17}, true, TCaption::Mark},
      {&D::lblEndSocks, L"STATIC", kLabel, 0, {64, 150, 50, 15}, true, TCaption::Label, &D::EdtProxySOCKs},
      {&D::EdtProxySOCKs, L"EDIT", kEdit | WS_GROUP, kIdSocksAddress, {120, 147, 185, 21}, true, TCaption::None},
      {&D::lblPortSocks, L"STATIC", kLabel, 0, {328, 150, 40, 15}, true, TCaption::Label, &D::EdtSOCKsPort},
      {&D::EdtSOCKsPort, L"EDIT", kEdit | ES_NUMBER, kIdSocksPort, {368, 147, 73, 21}, true, TCaption::None, nullptr,
       true},
      {&D::chkAutenticacao, L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, kIdAuthentication,
       {32, 176, 177, 17}, true, TCaption::Mark},
      {&D::lblUserName, L"STATIC", kLabel, 0, {64, 202, 55, 15}, true, TCaption::Label, &D::edtUserName},
      {&D::edtUserName, L"EDIT", kEdit, kIdUserName, {120, 197, 185, 21}, true, TCaption::None},
      {&D::lblSenha, L"STATIC", kLabel, 0, {328, 202, 40, 15}, true, TCaption::Label, &D::edtSenha},
      {&D::edtSenha, L"EDIT", kEdit | ES_PASSWORD, kIdPassword, {368, 199, 121, 21}, true, TCaption::None, nullptr,
       true},
  };
  return designs;
}

void TInternetConfig::Translate() {
  ::SetWindowTextW(Handle(), PickText(L"Configurações de Internet", L"Internet Settings", L"Configuración de Internet"));
  ::SetWindowTextW(GroupBox1, PickText(L"Configurações do Proxy", L" Proxy Settings ", L"Configuraciones de Proxy"));
  ::SetWindowTextW(lblEndProxy, PickText(L"Endereço:", L"Address:", L"Dirrección:"));
  ::SetWindowTextW(lblPortProxy, PickText(L"Porta:", L"Port:", L"Puerta:"));
  ::SetWindowTextW(lblUserName, PickText(L"Usuário:", L"Username:", L"Usuario:"));
  ::SetWindowTextW(lblSenha, PickText(L"Senha:", L"Password:", L"Contraseña:"));
  ::SetWindowTextW(lblEndSocks, PickText(L"Endereço:", L"Address:", L"Dirección:"));
  ::SetWindowTextW(lblPortSocks, PickText(L"Porta:", L"Port:", L"Puerta:"));
  ::SetWindowTextW(RadioProxyIE, PickText(L"Usar configurações de proxy do navegador da Web",
                                          L"Use Web browser proxy settings",
                                          L"Usar configuraciones de proxy del navegador de la Web"));
  ::SetWindowTextW(RadioProxyConfig, PickText(L"Usar o seguinte servidor proxy:", L"Use the following proxy server:",
                                              L"Usar el siguiente servidor proxy:"));
  ::SetWindowTextW(RadioNoProxy,
                   PickText(L"Não usar um servidor proxy", L"Do not use a proxy server", L"No usar un servidor proxy"));
  ::SetWindowTextW(chkAutenticacao,
                   PickText(L"Requer Autenticação", L"Authentication required", L"Requiere Autenticación"));
  ::SetWindowTextW(RadioProxySOCKSConfig, PickText(L"Usar o seguinte proxy SOCKS:", L"Use the following SOCKS Proxy:",
                                                   L"Usar el siguiente proxy SOCKS:"));
  ::SetWindowTextW(btnCancel, PickText(L"Cancelar", L"Cancel", L"Cancelar"));
  Layout();
}

HFONT TInternetConfig::FontOfHeight(int designHeight) {
  TScopedFont& font = m_Fonts[designHeight];
  if (!font) {
    font.Reset(::CreateFontW(-ScaleLength(designHeight, m_nDpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_NATURAL_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI"));
    if (!font) throw TWinError(L"TInternetConfig font");
  }
  return static_cast<HFONT>(font.Get());
}

int TInternetConfig::CaptionWidth(HWND control, int designHeight) {
  const std::wstring text = WindowText(control);
  HDC dc = ::GetDC(control);
  if (!dc) throw TWinError(L"TInternetConfig GetDC");
  const HGDIOBJ old = ::SelectObject(dc, FontOfHeight(designHeight));
  RECT rc{0, 0, 0, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return rc.right - rc.left;
}

int TInternetConfig::RightFieldsLeft() {
  int left = CurrentLanguage() == TLanguage::English ? kRightFieldsLeftWide : kRightFieldsLeft;
  // A label that does not fit even at the smallest font takes the wider column.
  for (HWND label : {lblPortProxy, lblPortSocks, lblSenha}) {
    const int room = ScaleLength(left - kLabelGap - 328, m_nDpi);
    if (CaptionWidth(label, kMinimumFitHeight) > room) left = kRightFieldsLeftWide;
  }
  return left;
}

void TInternetConfig::Layout() {
  const int rightFields = RightFieldsLeft();
  const auto designRect = [&](const TDesign& d) {
    TLayoutRect r = d.rect;
    if (d.rightColumn) r.left = rightFields;
    if (d.inGroup) {
      r.left += kGroupLeft;
      r.top += kGroupTop;
    }
    return r;
  };
  for (const TDesign& d : Designs()) {
    TLayoutRect r = designRect(d);
    int room = 0;
    switch (d.caption) {
      case TCaption::None: break;
      case TCaption::Label: {
        // The label reaches to its field.
        const auto field = std::find_if(Designs().begin(), Designs().end(),
                                        [&](const TDesign& other) { return other.control == d.field; });
        r.width = designRect(*field).left - kLabelGap - r.left;
        room = r.width;
        break;
      }
      case TCaption::Mark: room = r.width - kMarkRoom; break;
      case TCaption::Button: room = r.width - kButtonFrame; break;
      case TCaption::Group: room = r.width - kGroupFrame; break;
    }
    HWND control = this->*d.control;
    const TLayoutRect onScreen = ScaleRect(r, m_nDpi);
    ::MoveWindow(control, onScreen.left, onScreen.top, onScreen.width, onScreen.height, TRUE);
    int height = kFontHeight;
    if (d.caption != TCaption::None) {
      const TLayoutSize box{ScaleLength(room, m_nDpi), onScreen.height};
      height = FitTextHeight(kFontHeight, box, false, [&](int h) {
                 return TLayoutSize{CaptionWidth(control, h), 0};
               }).height;
    }
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOfHeight(height)), TRUE);
  }
}

TProxyChoice TInternetConfig::SelectedChoice() const {
  if (IsChecked(RadioNoProxy)) return TProxyChoice::NoProxy;
  if (IsChecked(RadioProxyIE)) return TProxyChoice::Browser;
  if (IsChecked(RadioProxyConfig)) return TProxyChoice::Server;
  if (IsChecked(RadioProxySOCKSConfig)) return TProxyChoice::Socks;
  return TProxyChoice::NoProxy;
}

void TInternetConfig::SelectChoice(TProxyChoice choice) {
  const HWND radios[] = {RadioNoProxy, RadioProxyIE, RadioProxyConfig, RadioProxySOCKSConfig};
  for (int i = 0; i < 4; ++i) {
    ::SendMessageW(radios[i], BM_SETCHECK, i == static_cast<int>(choice) ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

TProxyDialogValues TInternetConfig::Values() const {
  TProxyDialogValues values;
  values.choice = SelectedChoice();
  values.proxyAddress = WindowText(EdtProxyIP);
  values.proxyPort = WindowText(EdtProxyPort);
  values.socksAddress = WindowText(EdtProxySOCKs);
  values.socksPort = WindowText(EdtSOCKsPort);
  values.authenticationTicked = IsChecked(chkAutenticacao);
  values.userName = WindowText(edtUserName);
  values.password = WindowText(edtSenha);
  return values;
}

void TInternetConfig::ApplyEnabling(const TProxyEnabling& enabling) {
  for (HWND c : {lblEndProxy, EdtProxyIP, lblPortProxy, EdtProxyPort}) ::EnableWindow(c, enabling.proxyFields);
  for (HWND c : {lblEndSocks, EdtProxySOCKs, lblPortSocks, EdtSOCKsPort}) ::EnableWindow(c, enabling.socksFields);
  ::EnableWindow(chkAutenticacao, enabling.authentication);
  for (HWND c : {lblUserName, edtUserName, lblSenha, edtSenha}) ::EnableWindow(c, enabling.credentials);
}

void TInternetConfig::EnableFieldsFor(TProxyChoice choice) {
  ApplyEnabling(EnablingFor(choice, IsChecked(chkAutenticacao)));
}

// The four choices are one choice, though the fields between them start tab groups of their own, which
// would let the system leave two of them checked.
void TInternetConfig::ChoiceClick(TProxyChoice choice) {
  SelectChoice(choice);
  EnableFieldsFor(choice);
}

void TInternetConfig::chkAutenticacaoClick() {
  const bool ticked = IsChecked(chkAutenticacao);
  for (HWND c : {lblUserName, edtUserName, lblSenha, edtSenha}) ::EnableWindow(c, ticked);
}

void TInternetConfig::FormShow() {
  Translate();
  EnableFieldsFor(SelectedChoice());
}

bool TInternetConfig::ShowModal() {
  RECT owner{};
  ::GetWindowRect(m_owner, &owner);
  RECT self{};
  ::GetWindowRect(Handle(), &self);
  const int width = self.right - self.left, height = self.bottom - self.top;
  ::SetWindowPos(Handle(), HWND_TOPMOST, owner.left + (owner.right - owner.left - width) / 2,
                 owner.top + (owner.bottom - owner.top - height) / 2, 0, 0, SWP_NOSIZE);
  FormShow();
  m_bOpen = true;
  m_bOk = false;
  ::EnableWindow(m_owner, FALSE);
  ::ShowWindow(Handle(), SW_SHOW);
  ::SetFocus(btnOK);
  MSG msg;
  while (m_bOpen) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: leave the quit request for the main loop.
      if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
      m_bOpen = false;
      break;
    }
    if (::IsDialogMessageW(Handle(), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::EnableWindow(m_owner, TRUE);
  ::ShowWindow(Handle(), SW_HIDE);
  ::SetActiveWindow(m_owner);
  return m_bOk;
}

void TInternetConfig::Close(bool ok) {
  m_bOk = ok;
  m_bOpen = false;
}

// Moved to a monitor of another scale: the same design, drawn at the new scale.
void TInternetConfig::WMDpiChanged(int dpi, const RECT& suggested) {
  // The controls keep the old fonts until Layout has given them new ones.
  std::map<int, TScopedFont> old;
  old.swap(m_Fonts);
  m_nDpi = dpi;
  const SIZE outer = OuterSizeForClient(ScaleLength(kClientWidth, dpi), ScaleLength(kClientHeight, dpi), kStyle,
                                        kExStyle, dpi);
  ::SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

// Every label, the group box and the choices sit on the dialog's own background; a disabled label's text
// is greyed on it.
HBRUSH TInternetConfig::CtlColor(HDC dc, HWND control) {
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  ::SetTextColor(dc, ::GetSysColor(::IsWindowEnabled(control) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  return ::GetSysColorBrush(COLOR_BTNFACE);
}

LRESULT TInternetConfig::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdOk: Close(true); return 0;
        case kIdCancel: Close(false); return 0;
        case kIdNoProxy: ChoiceClick(TProxyChoice::NoProxy); return 0;
        case kIdProxyIE: ChoiceClick(TProxyChoice::Browser); return 0;
        case kIdProxyConfig: ChoiceClick(TProxyChoice::Server); return 0;
        case kIdProxySocks: ChoiceClick(TProxyChoice::Socks); return 0;
        case kIdAuthentication: chkAutenticacaoClick(); return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return reinterpret_cast<LRESULT>(CtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_PRINTCLIENT: {
      // Themed controls draw their parent's background behind them through this message.
      RECT client;
      ::GetClientRect(Handle(), &client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, ::GetSysColorBrush(COLOR_BTNFACE));
      return 0;
    }
    case WM_DPICHANGED:
      WMDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      Close(false);
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
