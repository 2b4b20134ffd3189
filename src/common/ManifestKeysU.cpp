// The keys this executable trusts. Compiled into each executable on its own (cmake/ManifestKeys.cmake),
// from the header CMake writes for it out of the executable's key list.
#include <array>

#include "common/ConstantsU.h"
#include "sf_manifest_keys.h"

namespace sf {

namespace {
constexpr std::array<std::string_view, SF_MANIFEST_KEY_COUNT> kManifestKeys{SF_MANIFEST_KEY_LIST};
}  // namespace

std::span<const std::string_view> ManifestKeys() { return kManifestKeys; }

}  // namespace sf
