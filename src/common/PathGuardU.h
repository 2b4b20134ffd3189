// The guard under every recursive delete, every move and the unpacking of packages: a path is acted on
// only when it lies strictly below one of the installer's own folders and is reached without passing
// through a link. Portable: how the platform sees a path comes from an IPathFacts.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorU.h"

namespace sf {

// A path the guard refused; the message names the operation, the path and the rule it breaks.
class TUnsafePathError : public TError {
 public:
  using TError::TError;
};

class IPathFacts {
 public:
  virtual ~IPathFacts() = default;
  // The absolute form of the path with ".", ".." and repeated separators resolved (and where the system
  // has them, short names made long), without following any link and without a trailing separator;
  // empty when the path cannot be made absolute.
  virtual std::wstring FullPath(const std::wstring& path) const = 0;
  // True when something exists at the path and is a link of any kind: a symbolic link, a junction or
  // another reparse point.
  virtual bool IsLink(const std::wstring& path) const = 0;
  // Whether the file system takes names that differ only in letter case for the same name.
  virtual bool IgnoresCase() const = 0;
};

// The facts as the standard library reads them: right for POSIX systems, whose links it sees. On Windows
// it sees neither junctions nor short names; the program uses the platform's own facts there (FileOpsU).
const IPathFacts& FilesystemPathFacts();

class TPathGuard {
 public:
  // What the operation may meet at the path itself: a delete or a move acts on a link as a link; a write
  // would follow it.
  enum class TLeaf { MayBeLink, NotALink };

  // roots: the folders strictly below which operations are allowed. The facts must outlive the guard.
  TPathGuard(const std::vector<std::wstring>& roots, const IPathFacts& facts);

  // The full path of `path` when it lies strictly below one of the roots, and neither that root nor any
  // folder between the root and the path is a link (nor, with NotALink, the path itself). Raises
  // TUnsafePathError otherwise. `operation` names what was about to happen, for the message.
  std::wstring Check(std::wstring_view operation, const std::wstring& path, TLeaf leaf) const;

  const std::vector<std::wstring>& Roots() const { return m_roots; }

 private:
  std::vector<std::wstring> m_roots;  // full paths
  const IPathFacts* m_facts;
};

// Paths are wide on Windows and bytes elsewhere; there the bytes are UTF-8, whatever the C locale says.
std::filesystem::path PathOf(const std::wstring& text);
std::wstring TextOf(const std::filesystem::path& path);

}  // namespace sf
