#include "transfer/QuillonVersionU.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/PathRulesU.h"
#include "common/TextU.h"
#include "common/TimeTextU.h"

namespace sf {

namespace {

using nlohmann::json;

[[noreturn]] void Fail(std::wstring_view what, std::wstring_view problem) {
  throw TError(L"Version manifest: " + std::wstring(what) + L" " + std::wstring(problem));
}

std::wstring Quoted(std::string_view key) { return L"\"" + FromUtf8(key) + L"\""; }

const json& Required(const json& object, std::string_view key, std::wstring_view where) {
  const auto it = object.find(key);
  if (it == object.end()) Fail(Quoted(key), L"is missing" + std::wstring(where));
  return *it;
}

// A JSON integer, or a string holding a decimal integer (the server has sent both), within [min, max].
std::int64_t ReadInteger(const json& value, std::wstring_view what, std::int64_t min, std::int64_t max) {
  std::int64_t number = 0;
  bool ok = false;
  if (value.is_number_unsigned()) {
    const auto u = value.get<std::uint64_t>();
    ok = u <= static_cast<std::uint64_t>(max);
    number = ok ? static_cast<std::int64_t>(u) : 0;
  } else if (value.is_number_integer()) {
    number = value.get<std::int64_t>();
    ok = true;
  } else if (value.is_string()) {
    const std::string_view text = value.get_ref<const std::string&>();
    auto digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
    if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      // from_chars takes "-" but not "+"
      const char* first = text.front() == '+' ? digits.data() : text.data();
      ok = std::from_chars(first, text.data() + text.size(), number).ec == std::errc();
    }
  } else {
    Fail(what, L"is not a whole number");
  }
  if (!ok || number < min || number > max) {
    Fail(what, L"is not a whole number from " + std::to_wstring(min) + L" to " + std::to_wstring(max));
  }
  return number;
}

std::int32_t ReadInt32(const json& object, std::string_view key) {
  return static_cast<std::int32_t>(ReadInteger(Required(object, key, L""), Quoted(key),
                                               std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::int32_t>::max()));
}

// A string's value, or a number's JSON text.
std::wstring ReadText(const json& value, std::wstring_view what) {
  if (value.is_string()) return FromUtf8(value.get_ref<const std::string&>());
  if (value.is_number()) return FromUtf8(value.dump());
  Fail(what, L"is neither text nor a number");
}

bool ReadBoolean(const json& object, std::string_view key) {
  const auto& value = Required(object, key, L"");
  if (!value.is_boolean()) Fail(Quoted(key), L"is not true or false");
  return value.get<bool>();
}

const json& ReadArray(const json& object, std::string_view key) {
  const auto& value = Required(object, key, L"");
  if (!value.is_array()) Fail(Quoted(key), L"is not an array");
  return value;
}

// A digest: text of exactly that many hexadecimal digits; `where` says which entry holds it.
std::wstring ReadDigest(const json& element, std::string_view key, std::size_t digits, const std::wstring& where) {
  const auto& value = Required(element, key, where);
  if (!value.is_string()) Fail(Quoted(key) + where, L"is not text");
  std::wstring text = FromUtf8(value.get_ref<const std::string&>());
  if (!IsHexText(text, digits)) {
    Fail(Quoted(key) + where, L"is not " + std::to_wstring(digits) + L" hexadecimal digits: " + text);
  }
  return text;
}

// The fields only signed manifests carry are ours alone, so no other type than the one stated is taken.
void ReadSignedFields(const json& document, TQuillonVersion& version) {
  const auto& serial = Required(document, "serial", L"");
  if (!serial.is_number_unsigned() || serial.get<std::uint64_t>() == 0) {
    Fail(L"\"serial\"", L"is not a whole number from 1 to " +
                             std::to_wstring(std::numeric_limits<std::uint64_t>::max()));
  }
  version.nSerial = serial.get<std::uint64_t>();

  const auto& expires = Required(document, "expires", L"");
  const auto moment = expires.is_string() ? ParseUtcStamp(expires.get_ref<const std::string&>()) : std::nullopt;
  if (!moment) Fail(L"\"expires\"", L"is not a UTC time of the form YYYY-MM-DDTHH:MM:SSZ: " + FromUtf8(expires.dump()));
  version.strExpires = FromUtf8(expires.get_ref<const std::string&>());
  version.nExpires = *moment;
}

std::unique_ptr<TQuillonVersionFile> ReadFileEntry(const json& element, std::size_t index, TManifestKind kind) {
  const std::wstring where = L" in \"files\"[" + std::to_wstring(index) + L"]";
  if (!element.is_object()) Fail(L"\"files\"[" + std::to_wstring(index) + L"]", L"is not an object");
  auto entry = std::make_unique<TQuillonVersionFile>();

  const auto& file = Required(element, "file", where);
  if (!file.is_string()) Fail(L"\"file\"" + where, L"is not text");
  entry->strFile = FromUtf8(file.get_ref<const std::string&>());
  std::replace(entry->strFile.begin(), entry->strFile.end(), L'/', L'\\');
  // The path is joined to the installation folder: one that climbs out of it or names a drive, a
  // stream or a device would let the server write anywhere the user can.
  if (!IsSafeRelativePath(entry->strFile)) Fail(L"\"file\"" + where, L"is not a safe relative path: " + entry->strFile);

  // The digest becomes part of the package's address and is compared with the unpacked file's.
  const std::wstring whereFile = where + L" (" + entry->strFile + L")";
  entry->strMD5 = ReadDigest(element, "md5", 32, whereFile);

  entry->nFileSize = static_cast<std::uint32_t>(ReadInteger(Required(element, "size", whereFile),
                                                           L"\"size\"" + whereFile, 0,
                                                           std::numeric_limits<std::uint32_t>::max()));

  const auto install = element.find("install");
  entry->bInstall = install != element.end() && install->is_boolean() && install->get<bool>();
  if (kind == TManifestKind::Signed) entry->strSHA256 = ReadDigest(element, "sha256", 64, whereFile);
  return entry;
}

}  // namespace

std::wstring VersionText(const TQuillonVersion& version) {
  return std::to_wstring(version.nMajor) + L"." + std::to_wstring(version.nMinor) + L"." +
         std::to_wstring(version.nRelease) + L"." + std::to_wstring(version.nBuild);
}

void ParseVersionManifest(std::string_view utf8Json, TQuillonVersion& out, TManifestKind kind) {
  json document;
  try {
    document = json::parse(utf8Json);
  } catch (const json::exception& e) {
    throw TError(L"Version manifest: not valid JSON: " + FromUtf8(e.what()));
  }
  if (!document.is_object()) throw TError(L"Version manifest: the top level is not a JSON object");

  TQuillonVersion version;
  version.nMajor = ReadInt32(document, "major");
  version.nMinor = ReadInt32(document, "minor");
  version.nRelease = ReadInt32(document, "release");
  version.nBuild = ReadInt32(document, "build");
  version.strVideo = ReadText(Required(document, "video", L""), L"\"video\"");
  version.strType = ReadText(Required(document, "version_type", L""), L"\"version_type\"");
  version.bIsLatest = ReadBoolean(document, "is_latest");
  version.bBugVersion = ReadBoolean(document, "bugged");
  const auto& changes = ReadArray(document, "changes");
  const auto& files = ReadArray(document, "files");
  if (kind == TManifestKind::Signed) ReadSignedFields(document, version);

  // Change notes are only shown, never relied on: one that cannot be read drops the notes, not the
  // installation.
  try {
    for (const auto& change : changes) version.lstChanges.push_back(ReadText(change, L"a change note"));
  } catch (const TError&) {
    version.lstChanges.clear();
  }

  // Two entries for one file (letter case does not tell files apart on Windows) would have two workers
  // write the same file.
  std::unordered_map<std::wstring, std::size_t> entryOfFile;
  for (std::size_t i = 0; i < files.size(); ++i) {
    auto entry = ReadFileEntry(files[i], i, kind);
    const auto [first, added] = entryOfFile.emplace(FileNameKey(entry->strFile), i);
    if (!added) {
      Fail(L"\"file\" in \"files\"[" + std::to_wstring(i) + L"] (" + entry->strFile + L")",
           L"names the same file as \"files\"[" + std::to_wstring(first->second) + L"] (" +
               version.lstFiles[first->second]->strFile + L")");
    }
    version.lstFiles.push_back(std::move(entry));
  }

  out = std::move(version);
}

std::wstring SignedManifestRefusal(const TQuillonVersion& version, std::int64_t nowUtc, std::uint64_t acceptedSerial) {
  if (version.nExpires < nowUtc) return L"Expired=" + version.strExpires + L" Now=" + UtcStamp(nowUtc);
  if (version.nSerial < acceptedSerial) {
    return L"Serial=" + std::to_wstring(version.nSerial) + L" Accepted=" + std::to_wstring(acceptedSerial);
  }
  return {};
}

}  // namespace sf
