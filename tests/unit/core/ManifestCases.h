// Changes to a manifest that the reader must refuse, as a table, for the tests of unsigned and signed
// manifests alike.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "common/ErrorU.h"
#include "transfer/QuillonVersionU.h"

namespace sf::test {

struct TManifestChange {
  const char* pointer;     // the key to change, as a JSON pointer
  const char* value;       // its new JSON value; nullptr removes the key
  const wchar_t* message;  // what the refusal must say
};

// Applies each change to `manifest` on its own: the reader must refuse the result with a message that holds
// the change's text, and keep what its record held, so that the caller's "Exception=" diagnostic says
// what the server got wrong and nothing half-read is used.
inline void ExpectEachRefused(const nlohmann::json& manifest, std::span<const TManifestChange> changes,
                              TManifestKind kind) {
  for (const auto& c : changes) {
    SCOPED_TRACE(std::string(c.pointer) + " = " + (c.value != nullptr ? c.value : "(removed)"));
    nlohmann::json changed = manifest;
    const nlohmann::json::json_pointer pointer(c.pointer);
    if (c.value == nullptr) {
      changed.at(pointer.parent_pointer()).erase(pointer.back());
    } else {
      changed[pointer] = nlohmann::json::parse(c.value);
    }
    TQuillonVersion kept;
    kept.nMajor = 4;
    kept.lstChanges.push_back(L"kept");
    kept.nSerial = 9;
    try {
      ParseVersionManifest(changed.dump(), kept, kind);
      ADD_FAILURE() << "accepted";
    } catch (const TError& e) {
      EXPECT_NE(e.Message().find(c.message), std::wstring::npos) << e.what();
    }
    EXPECT_EQ(kept.nMajor, 4);
    EXPECT_EQ(kept.lstChanges, std::vector<std::wstring>{L"kept"});
    EXPECT_EQ(kept.nSerial, 9u);
  }
}

}  // namespace sf::test
