// ECDSA signatures over P-256 with SHA-256, checked by the system's CNG. A manifest or a version text that
// verifies under a key the program trusts comes from whoever holds that key's private half, whatever
// network, proxy or server carried it.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sf {

// r‖s, 32 bytes each, big-endian.
inline constexpr std::size_t kP256SignatureSize = 64;

// The 1-based position in `keys` of the first key under which `signature` is a valid signature of the
// SHA-256 digest of `message`; none when no key verifies it. A signature of any other length never does.
// keys: uncompressed P-256 points 04‖X‖Y as hexadecimal text (130 digits, either case); a key that is not
// one, or that CNG will not import (a point off the curve), verifies nothing and is logged. Raises TError
// only when the system offers no ECDSA P-256 or SHA-256 at all.
std::optional<std::size_t> VerifyP256Signature(std::string_view message, std::string_view signature,
                                               std::span<const std::string_view> keys);

// The diagnostic piece of a check, key=value as the other diagnostics: "Signature=Valid Key=" and the key's
// position, or why not: "Signature=Missing" (no bytes at all), "Signature=Malformed Size=" and the length
// (not 64 bytes), "Signature=Invalid".
std::wstring SignatureDiagnostic(std::string_view signature, std::optional<std::size_t> key);

}  // namespace sf
