// One move-only owner for every kind of Windows handle, with a close-traits class per kind.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <oleauto.h>
#include <tlhelp32.h>
#include <winhttp.h>

#include <utility>

namespace sf {

template <typename Traits>
class TScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  TScopedHandle() = default;
  explicit TScopedHandle(Handle handle) : m_handle(handle) {}
  ~TScopedHandle() { Close(); }

  TScopedHandle(const TScopedHandle&) = delete;
  TScopedHandle& operator=(const TScopedHandle&) = delete;
  TScopedHandle(TScopedHandle&& other) noexcept : m_handle(other.Release()) {}
  TScopedHandle& operator=(TScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  // Both NULL and INVALID_HANDLE_VALUE count as empty, whichever the API uses for failure.
  bool IsValid() const { return Traits::IsValid(m_handle); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return m_handle; }

  // For APIs that return the handle through an out-parameter.
  Handle* Receive() {
    Close();
    return &m_handle;
  }

  Handle Release() { return std::exchange(m_handle, Traits::Null()); }
  void Reset(Handle handle = Traits::Null()) {
    Close();
    m_handle = handle;
  }

  // Keeps GetLastError as it was, so a caller can still read the error of the call that failed.
  void Close() {
    if (IsValid()) {
      const DWORD lastError = ::GetLastError();
      Traits::Close(m_handle);
      ::SetLastError(lastError);
    }
    m_handle = Traits::Null();
  }

 private:
  Handle m_handle = Traits::Null();
};

struct TKernelHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct TRegKeyTraits {
  using Handle = HKEY;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};

struct TFindHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

struct TModuleTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};

struct TGdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

struct TRegionTraits {
  using Handle = HRGN;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

struct TFontTraits {
  using Handle = HFONT;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

struct TBrushTraits {
  using Handle = HBRUSH;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

struct THGlobalTraits {
  using Handle = HGLOBAL;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::GlobalFree(h); }
};

struct TInternetTraits {
  using Handle = HINTERNET;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  // A status callback could otherwise still fire for a handle that is being closed.
  static void Close(Handle h) {
    ::WinHttpSetStatusCallback(h, nullptr, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
    ::WinHttpCloseHandle(h);
  }
};

struct TWindowTraits {
  using Handle = HWND;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  // A child window is destroyed with its parent; its handle is then stale and must not be destroyed again.
  static void Close(Handle h) {
    if (::IsWindow(h)) ::DestroyWindow(h);
  }
};

struct TMemoryDcTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};

struct TAlgorithmProviderTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct THashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::BCryptDestroyHash(h); }
};

struct TCngKeyTraits {
  using Handle = BCRYPT_KEY_HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::BCryptDestroyKey(h); }
};

struct TBstrTraits {
  using Handle = BSTR;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::SysFreeString(h); }
};

using TScopedKernelHandle = TScopedHandle<TKernelHandleTraits>;
using TScopedRegKey = TScopedHandle<TRegKeyTraits>;
using TScopedFindHandle = TScopedHandle<TFindHandleTraits>;
using TScopedModule = TScopedHandle<TModuleTraits>;
using TScopedGdiObject = TScopedHandle<TGdiObjectTraits>;
using TScopedRegion = TScopedHandle<TRegionTraits>;
using TScopedFont = TScopedHandle<TFontTraits>;
using TScopedBrush = TScopedHandle<TBrushTraits>;
using TScopedHGlobal = TScopedHandle<THGlobalTraits>;
using TScopedInternet = TScopedHandle<TInternetTraits>;
using TScopedAlgorithmProvider = TScopedHandle<TAlgorithmProviderTraits>;
using TScopedHash = TScopedHandle<THashTraits>;
using TScopedCngKey = TScopedHandle<TCngKeyTraits>;
using TScopedBstr = TScopedHandle<TBstrTraits>;
using TScopedWindow = TScopedHandle<TWindowTraits>;
using TScopedMemoryDc = TScopedHandle<TMemoryDcTraits>;

// Joins the component-object runtime for the current thread and leaves it on destruction.
class TComApartment {
 public:
  explicit TComApartment(DWORD model) : m_hr(::CoInitializeEx(nullptr, model)) {}
  ~TComApartment() {
    if (SUCCEEDED(m_hr)) ::CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;
  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};

}  // namespace sf
