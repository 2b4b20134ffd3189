#include "common/ResourcesU.h"

#include <windows.h>
#include <gdiplus.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>

#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"

namespace sf {

namespace {

struct TPictureKind {
  const wchar_t* name;  // in messages
  const unsigned char* signature;
  std::size_t length;
};

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char kJpegSignature[] = {0xFF, 0xD8, 0xFF};

std::unique_ptr<Gdiplus::Bitmap> LoadPictureResource(const std::wstring& name, HMODULE module,
                                                     const TPictureKind& kind) {
  const std::wstring routine = std::wstring(L"Load") + kind.name + L"Resource: ";
  if (!module) module = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(module, name.c_str(), RT_RCDATA);
  if (!resource) throw TError(routine + L"resource not found: " + name);
  const DWORD size = ::SizeofResource(module, resource);
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) throw TWinError(routine + L"resource cannot be read: " + name);

  if (size < kind.length || std::memcmp(data, kind.signature, kind.length) != 0) {
    throw TError(routine + L"not a " + kind.name + L" picture: " + name);
  }

  // GDI+ reads pictures from a stream; the resource's memory is read-only, so the stream gets a copy.
  TScopedHGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, size));
  if (!copy) throw TWinError(routine + L"GlobalAlloc");
  void* target = ::GlobalLock(copy.Get());
  if (!target) throw TWinError(routine + L"GlobalLock");
  std::memcpy(target, data, size);
  ::GlobalUnlock(copy.Get());

  Microsoft::WRL::ComPtr<IStream> stream;
  const HRESULT hr = ::CreateStreamOnHGlobal(copy.Get(), TRUE, &stream);
  if (FAILED(hr)) {
    throw TError(routine + L"CreateStreamOnHGlobal failed, HRESULT " + HexCodeText(static_cast<std::uint32_t>(hr)));
  }
  copy.Release();  // the stream frees the memory now

  std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.Get()));
  const Gdiplus::Status status = bitmap ? bitmap->GetLastStatus() : Gdiplus::OutOfMemory;
  if (status != Gdiplus::Ok) {
    throw TError(routine + L"invalid " + kind.name + L" picture " + name + L" (GDI+ status " +
                 std::to_wstring(status) + L")");
  }
  return bitmap;
}

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(const std::wstring& name, HMODULE module) {
  return LoadPictureResource(name, module, {L"Png", kPngSignature, sizeof(kPngSignature)});
}

std::unique_ptr<Gdiplus::Bitmap> LoadJpegResource(const std::wstring& name, HMODULE module) {
  return LoadPictureResource(name, module, {L"Jpeg", kJpegSignature, sizeof(kJpegSignature)});
}

}  // namespace sf
