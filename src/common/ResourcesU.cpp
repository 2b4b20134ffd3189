#include "common/ResourcesU.h"

#include <windows.h>
#include <gdiplus.h>
#include <wrl/client.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"

namespace sf {

namespace {

struct TResourceBytes {
  const unsigned char* data;
  std::size_t size;
};

struct TPictureKind {
  const wchar_t* name;  // in messages
  bool (*isWhole)(TResourceBytes bytes);
};

std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The signature, then chunks (length, type, data, CRC-32 of type and data) up to IEND at the very end: a
// picture cut short or with a changed byte fails here rather than when it is first drawn.
bool IsWholePng(TResourceBytes bytes) {
  constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes.size < sizeof(kSignature) || std::memcmp(bytes.data, kSignature, sizeof(kSignature)) != 0) return false;
  std::size_t at = sizeof(kSignature);
  while (bytes.size - at >= 12) {
    const std::uint32_t length = BigEndian32(bytes.data + at);
    if (length > bytes.size - at - 12) return false;
    const unsigned char* type = bytes.data + at + 4;
    if (BigEndian32(type + 4 + length) != crc32_z(0, type, 4 + std::size_t{length})) return false;
    at += 12 + std::size_t{length};
    if (std::memcmp(type, "IEND", 4) == 0) return at == bytes.size;
  }
  return false;
}

// Start-of-image first, end-of-image last.
bool IsWholeJpeg(TResourceBytes bytes) {
  return bytes.size >= 4 && bytes.data[0] == 0xFF && bytes.data[1] == 0xD8 && bytes.data[2] == 0xFF &&
         bytes.data[bytes.size - 2] == 0xFF && bytes.data[bytes.size - 1] == 0xD9;
}

constexpr TPictureKind kPng{L"Png", &IsWholePng};
constexpr TPictureKind kJpeg{L"Jpeg", &IsWholeJpeg};

std::wstring Routine(const TPictureKind& kind) { return std::wstring(L"Load") + kind.name + L"Resource: "; }

TResourceBytes CheckedResource(const std::wstring& name, HMODULE module, const TPictureKind& kind) {
  if (!module) module = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(module, name.c_str(), RT_RCDATA);
  if (!resource) throw TError(Routine(kind) + L"resource not found: " + name);
  const DWORD size = ::SizeofResource(module, resource);
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) throw TWinError(Routine(kind) + L"resource cannot be read: " + name);
  const TResourceBytes bytes{static_cast<const unsigned char*>(data), size};
  if (!kind.isWhole(bytes)) throw TError(Routine(kind) + L"not a " + kind.name + L" picture: " + name);
  return bytes;
}

std::unique_ptr<Gdiplus::Bitmap> LoadPictureResource(const std::wstring& name, HMODULE module,
                                                     const TPictureKind& kind) {
  const std::wstring routine = Routine(kind);
  const TResourceBytes bytes = CheckedResource(name, module, kind);

  // GDI+ reads pictures from a stream; the resource's memory is read-only, so the stream gets a copy.
  TScopedHGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, bytes.size));
  if (!copy) throw TWinError(routine + L"GlobalAlloc");
  void* target = ::GlobalLock(copy.Get());
  if (!target) throw TWinError(routine + L"GlobalLock");
  std::memcpy(target, bytes.data, bytes.size);
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
  return LoadPictureResource(name, module, kPng);
}

std::unique_ptr<Gdiplus::Bitmap> LoadJpegResource(const std::wstring& name, HMODULE module) {
  return LoadPictureResource(name, module, kJpeg);
}

void CheckPngResource(const std::wstring& name, HMODULE module) { (void)CheckedResource(name, module, kPng); }

void CheckJpegResource(const std::wstring& name, HMODULE module) { (void)CheckedResource(name, module, kJpeg); }

}  // namespace sf
