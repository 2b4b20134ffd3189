#include "engine/MessagePayloadU.h"

#include "engine/MessagesU.h"

namespace sf {

namespace {

template <typename T>
bool PostOwned(const TMessageTarget& to, UINT msg, std::unique_ptr<T> wPayload, LPARAM lParam) {
  if (!to.Post(msg, reinterpret_cast<WPARAM>(wPayload.get()), lParam)) return false;
  wPayload.release();  // the receiver owns it now
  return true;
}

std::unique_ptr<std::wstring> HeapText(std::wstring_view text) { return std::make_unique<std::wstring>(text); }

void ReleaseOne(TPayloadKind kind, UINT_PTR param) {
  switch (kind) {
    case TPayloadKind::Text: TakeText(param); break;
    case TPayloadKind::ProxySettings: TakeProxySettings(param); break;
    case TPayloadKind::StringList: TakeStringList(param); break;
    case TPayloadKind::None: break;
  }
}

}  // namespace

bool TMessageTarget::Post(UINT msg, WPARAM wParam, LPARAM lParam) const {
  return m_hWnd ? ::PostMessageW(m_hWnd, msg, wParam, lParam) != FALSE
                : ::PostThreadMessageW(m_threadId, msg, wParam, lParam) != FALSE;
}

bool PostPlain(const TMessageTarget& to, UINT msg, WPARAM wParam, LPARAM lParam) {
  return to.Post(msg, wParam, lParam);
}

bool PostText(const TMessageTarget& to, UINT msg, std::wstring_view text, LPARAM lParam) {
  return PostOwned(to, msg, HeapText(text), lParam);
}

bool PostWithTextLParam(const TMessageTarget& to, UINT msg, WPARAM wParam, std::wstring_view text) {
  auto payload = HeapText(text);
  if (!to.Post(msg, wParam, reinterpret_cast<LPARAM>(payload.get()))) return false;
  payload.release();
  return true;
}

bool PostTwoTexts(const TMessageTarget& to, UINT msg, std::wstring_view first, std::wstring_view second) {
  auto one = HeapText(first);
  auto two = HeapText(second);
  if (!to.Post(msg, reinterpret_cast<WPARAM>(one.get()), reinterpret_cast<LPARAM>(two.get()))) return false;
  one.release();
  two.release();
  return true;
}

bool PostProxySettings(const TMessageTarget& to, UINT msg, const TProxySettings& settings) {
  return PostOwned(to, msg, std::make_unique<TProxySettings>(settings), 0);
}

bool PostStringList(const TMessageTarget& to, UINT msg, TStringList list) {
  return PostOwned(to, msg, std::make_unique<TStringList>(std::move(list)), 0);
}

std::wstring TakeText(UINT_PTR param) {
  std::unique_ptr<std::wstring> owned(reinterpret_cast<std::wstring*>(param));
  return owned ? std::move(*owned) : std::wstring();
}

std::unique_ptr<TProxySettings> TakeProxySettings(UINT_PTR param) {
  return std::unique_ptr<TProxySettings>(reinterpret_cast<TProxySettings*>(param));
}

std::unique_ptr<TStringList> TakeStringList(UINT_PTR param) {
  return std::unique_ptr<TStringList>(reinterpret_cast<TStringList*>(param));
}

void ReleasePayloads(UINT msg, WPARAM wParam, LPARAM lParam) {
  const TPayloadLayout layout = PayloadLayout(msg);
  ReleaseOne(layout.wParam, wParam);
  ReleaseOne(layout.lParam, static_cast<UINT_PTR>(lParam));
}

void DrainThreadQueue() {
  // Only the protocol's range: other messages (a window's WM_PAINT above all) can come back for ever.
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, WM_SETUP_STATUS, WM_SET_UNNATENDED_VALUES, PM_REMOVE)) ReleasePayloads(msg);
}

}  // namespace sf
