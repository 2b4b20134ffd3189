#include "common/PathGuardU.h"

#include <algorithm>

#include "common/PathRulesU.h"
#include "common/TextU.h"

namespace sf {

namespace {

bool IsSeparator(wchar_t c) {
#ifdef _WIN32
  return c == L'\\' || c == L'/';
#else
  return c == L'/';
#endif
}

bool SameText(std::wstring_view a, std::wstring_view b, bool ignoreCase) {
  return ignoreCase ? IsSameFileName(a, b) : a == b;
}

// The part of `full` after `root` and one separator; empty when `full` is not strictly below `root`.
std::wstring_view BelowRoot(std::wstring_view full, std::wstring_view root, bool ignoreCase) {
  if (root.empty() || full.size() <= root.size() + 1) return {};
  if (!SameText(full.substr(0, root.size()), root, ignoreCase)) return {};
  // A root that ends in a separator (a drive's root) is followed directly by the first name.
  const bool rootEndsInSeparator = IsSeparator(root.back());
  if (!rootEndsInSeparator && !IsSeparator(full[root.size()])) return {};
  return full.substr(root.size() + (rootEndsInSeparator ? 0 : 1));
}

std::wstring JoinedRoots(const std::vector<std::wstring>& roots) {
  std::wstring text;
  for (const auto& root : roots) text += (text.empty() ? L"" : L", ") + root;
  return text.empty() ? L"none" : text;
}

class TFilesystemPathFacts : public IPathFacts {
 public:
  std::wstring FullPath(const std::wstring& path) const override {
    if (path.empty()) return {};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(PathOf(path), error);
    if (error) return {};
    std::wstring full = TextOf(absolute.lexically_normal());
    while (full.size() > 1 && IsSeparator(full.back())) full.pop_back();
    return full;
  }

  bool IsLink(const std::wstring& path) const override {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(PathOf(path), error));
  }

  bool IgnoresCase() const override {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
  }
};

}  // namespace

const IPathFacts& FilesystemPathFacts() {
  static const TFilesystemPathFacts facts;
  return facts;
}

TPathGuard::TPathGuard(const std::vector<std::wstring>& roots, const IPathFacts& facts) : m_facts(&facts) {
  for (const auto& root : roots) {
    std::wstring full = facts.FullPath(root);
    if (!full.empty()) m_roots.push_back(std::move(full));
  }
}

std::wstring TPathGuard::Check(std::wstring_view operation, const std::wstring& path, TLeaf leaf) const {
  const auto refuse = [&](const std::wstring& why) -> TUnsafePathError {
    return TUnsafePathError(L"Refused to " + std::wstring(operation) + L" " + path + L": " + why);
  };
  const std::wstring full = m_facts->FullPath(path);
  if (full.empty()) throw refuse(L"the path cannot be resolved");

  const bool ignoreCase = m_facts->IgnoresCase();
  const auto root = std::find_if(m_roots.begin(), m_roots.end(), [&](const std::wstring& r) {
    return !BelowRoot(full, r, ignoreCase).empty();
  });
  if (root == m_roots.end()) {
    throw refuse(L"it resolves to " + full + L", which is not inside the installer's folders (" +
                 JoinedRoots(m_roots) + L")");
  }

  // Every folder from the root down: a link anywhere on the way would take the operation elsewhere.
  if (m_facts->IsLink(*root)) throw refuse(L"the folder " + *root + L" is a link");
  const std::wstring_view below = BelowRoot(full, *root, ignoreCase);
  for (std::size_t at = 0; at < below.size(); ++at) {
    if (!IsSeparator(below[at])) continue;
    const std::wstring folder = full.substr(0, full.size() - below.size() + at);
    if (m_facts->IsLink(folder)) throw refuse(L"the way to it passes through the link " + folder);
  }
  if (leaf == TLeaf::NotALink && m_facts->IsLink(full)) throw refuse(L"it is a link");
  return full;
}

std::filesystem::path PathOf(const std::wstring& text) {
#ifdef _WIN32
  return std::filesystem::path(text);
#else
  return std::filesystem::path(ToUtf8(text));
#endif
}

std::wstring TextOf(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return FromUtf8(path.string());
#endif
}

}  // namespace sf
