#include "controls/NativeControlsU.h"

#include <commctrl.h>

#include "common/UnhandledErrorU.h"
#include "common/WinErrorU.h"
#include "controls/GraphicPanelU.h"

namespace sf {

namespace {

constexpr UINT_PTR kSubclassId = 1;

// Enter is the pages' "continue" key: the dialog manager of the message loop must hand it to the
// control instead of turning it into the default button's command.
bool IsEnterKeyQuery(LPARAM lParam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lParam);
  return msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP || msg->message == WM_CHAR) &&
         msg->wParam == VK_RETURN;
}

}  // namespace

TNativeControl::TNativeControl(TGraphicPanel& parent, const wchar_t* className, DWORD style, DWORD exStyle,
                               int left, int top, int width, int height)
    : m_pParent(&parent), m_rcBounds{left, top, width, height} {
  const TLayoutRect r = ScaleRect(m_rcBounds, parent.Dpi());
  m_hWnd.Reset(::CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, r.left,
                                 r.top, r.width, r.height, parent.Handle(), nullptr, ::GetModuleHandleW(nullptr),
                                 nullptr));
  if (!m_hWnd) throw TWinError(std::wstring(L"CreateWindowEx ") + className);
  if (!::SetWindowSubclass(m_hWnd.Get(), &TNativeControl::SubclassProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this))) {
    throw TWinError(std::wstring(L"SetWindowSubclass ") + className);
  }
  parent.AttachNative(this);
}

TNativeControl::~TNativeControl() {
  if (m_hWnd && ::IsWindow(m_hWnd.Get())) {
    ::RemoveWindowSubclass(m_hWnd.Get(), &TNativeControl::SubclassProc, kSubclassId);
  }
  if (m_pParent) m_pParent->DetachNative(this);
}

int TNativeControl::Dpi() const { return m_pParent ? m_pParent->Dpi() : kDesignDpi; }

void TNativeControl::SetBounds(int left, int top, int width, int height) {
  m_rcBounds = {left, top, width, height};
  PlaceWindow(Handle(), m_rcBounds, Dpi());
}

void TNativeControl::ApplyDpi() {
  SetBounds(m_rcBounds.left, m_rcBounds.top, m_rcBounds.width, m_rcBounds.height);
  if (m_Font) SetFont(*m_Font);
}

void TNativeControl::SetVisible(bool visible) { ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE); }

bool TNativeControl::Visible() const { return (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }

void TNativeControl::BringToFront() {
  ::SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TNativeControl::SetFocus() { ::SetFocus(Handle()); }

void TNativeControl::SetFont(const TFontSpec& font) {
  m_Font = font;
  const LOGFONTW lf = font.ToLogFont(Dpi());
  TScopedFont created(::CreateFontIndirectW(&lf));
  if (!created) throw TWinError(L"CreateFontIndirect " + font.name);
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(created.Get()), TRUE);
  // The control keeps using the font it was given: the old one may go only now.
  m_hFont = std::move(created);
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TNativeControl::SetColors(TColor background, TColor text) {
  TScopedBrush brush(::CreateSolidBrush(ResolveColor(background)));
  if (!brush) throw TWinError(L"CreateSolidBrush");
  m_hBrush = std::move(brush);
  m_clBackground = background;
  m_clText = text;
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

HBRUSH TNativeControl::CtlColor(HDC dc) {
  if (!m_hBrush) return nullptr;
  ::SetTextColor(dc, ResolveColor(m_clText));
  ::SetBkColor(dc, ResolveColor(m_clBackground));
  return static_cast<HBRUSH>(m_hBrush.Get());
}

std::vector<TNativeControl*> TNativeControl::Siblings() const {
  std::vector<TNativeControl*> siblings;
  if (m_pParent) {
    for (TNativeControl* control : m_pParent->m_lstNative) {
      if (control != this) siblings.push_back(control);
    }
  }
  return siblings;
}

void TNativeControl::Command(WORD) {}

bool TNativeControl::FilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_GETDLGCODE && IsEnterKeyQuery(lParam)) {
    result = ::DefSubclassProc(Handle(), msg, wParam, lParam) | DLGC_WANTMESSAGE;
    return true;
  }
  if (msg == WM_KEYDOWN && OnKeyDown) OnKeyDown(static_cast<WORD>(wParam));
  if (msg == WM_KEYUP && OnKeyUp) OnKeyUp(static_cast<WORD>(wParam));
  return false;
}

LRESULT CALLBACK TNativeControl::SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR data) {
  auto* self = reinterpret_cast<TNativeControl*>(data);
  if (msg == WM_NCDESTROY) {
    ::RemoveWindowSubclass(hWnd, &TNativeControl::SubclassProc, kSubclassId);
    return ::DefSubclassProc(hWnd, msg, wParam, lParam);
  }
  // As in every window procedure of ours: no exception unwinds through the system's frames.
  try {
    LRESULT result = 0;
    if (self->FilterMessage(msg, wParam, lParam, result)) return result;
  } catch (const std::exception& e) {
    HandleWindowError(e);
    return 0;
  }
  return ::DefSubclassProc(hWnd, msg, wParam, lParam);
}

// --- TEdit ----------------------------------------------------------------------------------------------

namespace {

DWORD EditAlignmentStyle(TAlignment alignment) {
  switch (alignment) {
    case TAlignment::taCenter:
      return ES_CENTER;
    case TAlignment::taRightJustify:
      return ES_RIGHT;
    case TAlignment::taLeftJustify:
      break;
  }
  return ES_LEFT;
}

}  // namespace

TEdit::TEdit(TGraphicPanel& parent, int left, int top, int width, int height, TAlignment alignment)
    : TNativeControl(parent, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | EditAlignmentStyle(alignment), 0, left, top,
                     width, height) {
  ::SendMessageW(Handle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

std::wstring TEdit::Text() const {
  const int length = ::GetWindowTextLengthW(Handle());
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(Handle(), text.data(), length + 1)));
  return text;
}

void TEdit::SetText(const std::wstring& text) { ::SetWindowTextW(Handle(), text.c_str()); }

void TEdit::SetMaxLength(int length) { ::SendMessageW(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(length), 0); }

void TEdit::SetReadOnly(bool readOnly) { ::SendMessageW(Handle(), EM_SETREADONLY, readOnly ? TRUE : FALSE, 0); }

void TEdit::SelectAll() { ::SendMessageW(Handle(), EM_SETSEL, 0, -1); }

void TEdit::Command(WORD code) {
  if (code == EN_SETFOCUS && OnEnter) OnEnter();
  if (code == EN_CHANGE && OnChange) OnChange();
}

bool TEdit::FilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // A one-line edit answers Enter with a beep; here Enter is a command key (see OnKeyUp).
  if (msg == WM_CHAR && wParam == VK_RETURN) {
    result = 0;
    return true;
  }
  return TNativeControl::FilterMessage(msg, wParam, lParam, result);
}

// --- TRadioButton ---------------------------------------------------------------------------------------

TRadioButton::TRadioButton(TGraphicPanel& parent, int left, int top, int width, int height)
    : TNativeControl(parent, L"BUTTON", WS_TABSTOP | BS_RADIOBUTTON, 0, left, top, width, height) {}

bool TRadioButton::Checked() const { return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TRadioButton::SetChecked(bool checked) {
  ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (checked) UncheckSiblings();
}

void TRadioButton::UncheckSiblings() {
  for (TNativeControl* control : Siblings()) {
    auto* radio = dynamic_cast<TRadioButton*>(control);
    if (radio) ::SendMessageW(radio->Handle(), BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

void TRadioButton::Command(WORD code) {
  if (code != BN_CLICKED) return;
  SetChecked(true);
  if (OnClick) OnClick();
}

}  // namespace sf
