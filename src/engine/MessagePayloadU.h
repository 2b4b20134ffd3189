// Posting and receiving the heap payloads of the message protocol. This is the one place where a heap
// copy crosses threads: the sender allocates, the receiver takes it over with Take*, and when a post
// fails the sender frees it at once. Messages still queued when a thread stops are released with
// ReleasePayloads.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "network/ProxySettingsU.h"

namespace sf {

using TStringList = std::vector<std::wstring>;

// Where a message goes: a window's queue or a thread's own queue.
class TMessageTarget {
 public:
  static TMessageTarget Window(HWND hWnd) { return TMessageTarget(hWnd, 0); }
  static TMessageTarget Thread(DWORD threadId) { return TMessageTarget(nullptr, threadId); }
  bool Post(UINT msg, WPARAM wParam, LPARAM lParam) const;

 private:
  TMessageTarget(HWND hWnd, DWORD threadId) : m_hWnd(hWnd), m_threadId(threadId) {}
  HWND m_hWnd;
  DWORD m_threadId;
};

// Plain post without payload. Post results are not checked by the protocol; the return value is
// there for callers that want it.
bool PostPlain(const TMessageTarget& to, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
bool PostText(const TMessageTarget& to, UINT msg, std::wstring_view text, LPARAM lParam = 0);
// Text in lParam (WM_CHANGE_VISIBLE_FRAME with a progress text).
bool PostWithTextLParam(const TMessageTarget& to, UINT msg, WPARAM wParam, std::wstring_view text);
bool PostTwoTexts(const TMessageTarget& to, UINT msg, std::wstring_view first, std::wstring_view second);
bool PostProxySettings(const TMessageTarget& to, UINT msg, const TProxySettings& settings);
bool PostStringList(const TMessageTarget& to, UINT msg, TStringList list);

// Receiver side: takes over the heap copy behind a parameter. A zero parameter gives empty text.
std::wstring TakeText(UINT_PTR param);
std::unique_ptr<TProxySettings> TakeProxySettings(UINT_PTR param);
std::unique_ptr<TStringList> TakeStringList(UINT_PTR param);

// Releases whatever heap payload the message carries (PayloadLayout of its number).
void ReleasePayloads(UINT msg, WPARAM wParam, LPARAM lParam);
inline void ReleasePayloads(const MSG& msg) { ReleasePayloads(msg.message, msg.wParam, msg.lParam); }
// Removes the protocol's messages still queued for the calling thread and releases their payloads.
void DrainThreadQueue();

}  // namespace sf
