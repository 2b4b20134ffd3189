// Pictures carried in the executable's resources.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace Gdiplus {
class Bitmap;
}

namespace sf {

// A PNG picture from the module's RCDATA resources; the name is matched without regard to letter case.
// GDI+ must be started. Raises TError when the resource is missing or is not a valid PNG picture.
std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(const std::wstring& name, HMODULE module = nullptr);
// The same for a JPEG picture: artwork whose grain a PNG would not compress (the background drawn for
// scaled screens).
std::unique_ptr<Gdiplus::Bitmap> LoadJpegResource(const std::wstring& name, HMODULE module = nullptr);

// What the loaders check before they decode, without decoding: the resource exists and holds a whole
// picture of its kind (a PNG's chunks with their checksums up to its end; a JPEG's start and end
// markers). For artwork decoded only when it is first drawn. Raises TError as the loaders do.
void CheckPngResource(const std::wstring& name, HMODULE module = nullptr);
void CheckJpegResource(const std::wstring& name, HMODULE module = nullptr);

}  // namespace sf
