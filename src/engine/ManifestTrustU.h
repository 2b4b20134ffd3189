// What the engine checks a version manifest against (the program's keys, the serial this user accepted,
// the clock), and the record of that serial: the REG_QWORD "ManifestSerial" under HKCU\Software\ +
// CompanyName, the highest serial of a signed manifest this user installed from. A signed manifest of a
// lower serial is refused, so that an old manifest, captured and served again, cannot roll an
// installation back.
#pragma once

#include <windows.h>

#include <cstdint>

#include "transfer/QuillonUpdateReaderU.h"

namespace sf {

// Without compiled-in keys, nothing: the manifest is read unsigned.
TManifestTrust CurrentManifestTrust();

// 0 when nothing was recorded yet, or the value is not a 64-bit number.
std::uint64_t AcceptedManifestSerial();

// Raises the recorded serial to `serial`, never lowers it; called once an installation or update has
// completed. Answers the Win32 status of the registry write (ERROR_SUCCESS when nothing had to change).
LONG RecordManifestSerial(std::uint64_t serial);

}  // namespace sf
