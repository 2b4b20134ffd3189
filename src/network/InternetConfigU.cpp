#include "network/InternetConfigU.h"

#include "common/WinErrorU.h"
#include "wizard/LanguageU.h"

namespace sf {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
// The group box holds every choice; its children are placed relative to it.
constexpr int kGroupLeft = 16, kGroupTop = 14;

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

std::wstring WindowText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

bool IsChecked(HWND button) { return ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void MoveLeft(HWND control, int left) {
  RECT rc;
  ::GetWindowRect(control, &rc);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rc), 2);
  ::MoveWindow(control, left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

}  // namespace

TInternetConfig::TInternetConfig(HWND owner) : m_owner(owner) {
  // Designed at 96 pixels per inch and not scaled: an 11-pixel font.
  m_font.Reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, CLEARTYPE_NATURAL_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI"));
  const SIZE outer = OuterSizeForClient(kClientWidth, kClientHeight, kStyle, kExStyle);
  CreateHandle(L"TInternetConfig", kExStyle, kStyle, L"", 0, 0, outer.cx, outer.cy, owner,
               ::GetSysColorBrush(COLOR_BTNFACE));

  const DWORD edit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
  const DWORD label = WS_CHILD | WS_VISIBLE;
  const DWORD radio = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
  const int gx = kGroupLeft, gy = kGroupTop;
  btnOK = Control(L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 383, 263, 75, 25, kIdOk);
  btnCancel = Control(L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 464, 263, 75, 25, kIdCancel);
  GroupBox1 = Control(L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, gx, gy, 529, 235);
  RadioNoProxy = Control(L"BUTTON", L"", radio | WS_GROUP, gx + 32, gy + 24, 161, 17, kIdNoProxy);
  RadioProxyIE = Control(L"BUTTON", L"", radio, gx + 32, gy + 47, 281, 17, kIdProxyIE);
  RadioProxyConfig = Control(L"BUTTON", L"", radio, gx + 32, gy + 70, 177, 17, kIdProxyConfig);
  lblEndProxy = Control(L"STATIC", L"", label, gx + 64, gy + 98, 50, 15);
  EdtProxyIP = Control(L"EDIT", L"", edit | WS_BORDER | WS_GROUP, gx + 120, gy + 95, 185, 21, kIdProxyAddress);
  lblPortProxy = Control(L"STATIC", L"", label, gx + 328, gy + 98, 40, 15);
  EdtProxyPort = Control(L"EDIT", L"", edit | WS_BORDER | ES_NUMBER, gx + 368, gy + 95, 73, 21, kIdProxyPort);
  RadioProxySOCKSConfig = Control(L"BUTTON", L"", radio, gx + 32, gy + 124, 177, 17, kIdProxySocks);
  lblEndSocks = Control(L"STATIC", L"", label, gx + 64, gy + 150, 50, 15);
  EdtProxySOCKs = Control(L"EDIT", L"", edit | WS_BORDER | WS_GROUP, gx + 120, gy + 147, 185, 21, kIdSocksAddress);
  lblPortSocks = Control(L"STATIC", L"", label, gx + 328, gy + 150, 40, 15);
  EdtSOCKsPort = Control(L"EDIT", L"", edit | WS_BORDER | ES_NUMBER, gx + 368, gy + 147, 73, 21, kIdSocksPort);
  chkAutenticacao = Control(L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, gx + 32, gy + 176,
                            177, 17, kIdAuthentication);
  lblUserName = Control(L"STATIC", L"", label, gx + 64, gy + 202, 55, 15);
  edtUserName = Control(L"EDIT", L"", edit | WS_BORDER, gx + 120, gy + 197, 185, 21, kIdUserName);
  lblSenha = Control(L"STATIC", L"", label, gx + 328, gy + 202, 40, 15);
  edtSenha = Control(L"EDIT", L"", edit | WS_BORDER | ES_PASSWORD, gx + 368, gy + 199, 121, 21, kIdPassword);
  ::SendMessageW(edtSenha, EM_SETPASSWORDCHAR, L'*', 0);

  ::SendMessageW(RadioNoProxy, BM_SETCHECK, BST_CHECKED, 0);
  Translate();
}

HWND TInternetConfig::Control(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int width,
                              int height, int id) {
  HWND control = ::CreateWindowExW(0, cls, text, style, x, y, width, height, Handle(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                   nullptr);
  if (!control) throw TWinError(std::wstring(L"TInternetConfig ") + cls);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
  return control;
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
  // The English labels are wider: the fields beside them move right.
  const int fieldsLeft = kGroupLeft + (CurrentLanguage() == TLanguage::English ? 383 : 368);
  for (HWND field : {EdtProxyPort, EdtSOCKsPort, edtSenha}) MoveLeft(field, fieldsLeft);
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

void TInternetConfig::RadioNoProxyClick(TProxyChoice choice) {
  ApplyEnabling(EnablingFor(choice, IsChecked(chkAutenticacao)));
}

void TInternetConfig::chkAutenticacaoClick() {
  const bool ticked = IsChecked(chkAutenticacao);
  for (HWND c : {lblUserName, edtUserName, lblSenha, edtSenha}) ::EnableWindow(c, ticked);
}

void TInternetConfig::FormShow() {
  Translate();
  RadioNoProxyClick(SelectedChoice());
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

LRESULT TInternetConfig::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdOk: Close(true); return 0;
        case kIdCancel: Close(false); return 0;
        case kIdNoProxy: RadioNoProxyClick(TProxyChoice::NoProxy); return 0;
        case kIdProxyIE: RadioNoProxyClick(TProxyChoice::Browser); return 0;
        case kIdProxyConfig: RadioNoProxyClick(TProxyChoice::Server); return 0;
        case kIdProxySocks: RadioNoProxyClick(TProxyChoice::Socks); return 0;
        case kIdAuthentication: chkAutenticacaoClick(); return 0;
      }
      break;
    case WM_CLOSE:
      Close(false);
      return 0;
  }
  return TWindowBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace sf
