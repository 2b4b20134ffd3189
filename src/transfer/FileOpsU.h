// Folder and file operations of the engine and the extraction workers, on wide paths. Every recursive
// delete and every move goes through the installer's path guard (InstallerPathGuard): a path outside the
// installer's folders, or one reached through a link, is refused, logged and raised as TUnsafePathError,
// and nothing is touched.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/PathGuardU.h"

namespace sf {

bool DirectoryExists(const std::wstring& path);
bool FileExists(const std::wstring& path);

// How Windows sees a path: GetFullPathName's resolution of ".", ".." and of trailing dots and blanks,
// short names made long, and reparse points (junctions, symbolic links) as links.
const IPathFacts& WindowsPathFacts();

// A folder of the user's shell as the current user's "Shell Folders" key names it ("Desktop",
// "Programs"); empty when it is not there.
std::wstring UserShellFolder(const wchar_t* name);

// The folders the installer's recursive deletes, moves and unpacking may act strictly inside: the
// company's folder under APPDATA (installations, the unpack folder) and the company's folder among the
// user's start-menu programs, where its shortcuts go. Read from the environment and the registry at
// each call.
TPathGuard InstallerPathGuard();

// The guard's answer for one path of an operation (InstallerPathGuard().Check); a refusal is logged
// under `routine` before it is raised.
std::wstring Guarded(const wchar_t* routine, std::wstring_view operation, const std::wstring& path,
                     TPathGuard::TLeaf leaf);

// Creates the folder and its missing parents; false when it does not exist afterwards, with the system's
// last error set by the creation that failed. The one way this program makes folders (the package reader
// alone uses the standard library's, as it is built for every platform).
bool ForceDirectories(const std::wstring& path);

// The ordinary recursive deletion: whatever cannot be removed (a file in use, say) is skipped silently.
// Links met on the way (junctions, symbolic links) are removed as links and never followed; a path that
// is itself a link is removed as one. Raises TError when the folder does not exist or its path is not
// valid, TUnsafePathError when the guard refuses it.
void DeleteTree(const std::wstring& path);

// Deletes one of the installer's own folders with everything in it (DeleteTree), up to `attempts` times
// `pauseMs` apart while it is still there (a worker that did not leave in time may hold a file); logs under
// `routine` each error and, at the end, every file it could not remove.
void DiscardFolder(const std::wstring& folder, const wchar_t* routine, int attempts = 1, unsigned pauseMs = 0);

// Moves a file or a folder with its content by renaming it, within its volume: one step that is never a
// copy, so nobody ever sees it half-moved. The destination's parents are created; an existing destination
// is an error. Raises TWinError on failure, TUnsafePathError when the guard refuses either path (the
// source may be a link, moved as one; the destination may not).
void MoveWithinVolume(const std::wstring& from, const std::wstring& to);

// Calls visit with the path of every file below the folder, subfolders included; a link is visited as an
// entry of its own and never followed.
void ForEachFileBelow(const std::wstring& folder, const std::function<void(const std::wstring&)>& visit);

// Calls visit with every entry directly in the folder ("." and ".." left out), in the file system's order.
struct TFolderEntry {
  std::wstring strName;
  bool bFolder = false;
  bool bLink = false;  // a junction, a symbolic link or another reparse point
};
void ForEachEntryIn(const std::wstring& folder, const std::function<void(const TFolderEntry&)>& visit);

// Writes the whole file, replacing it, or appends to it, and waits until the system has it on the disk:
// a record that must survive a power cut. Raises TWinError.
void WriteFileDurably(const std::wstring& path, const std::string& bytes, bool append = false);
// The whole file's bytes. Raises TWinError.
std::string ReadWholeFile(const std::wstring& path);

// Sum of the sizes of every entry below the folder (64-bit); with recursive, subfolders count too,
// except those whose names begin with "." and links, which are never followed.
std::uint64_t FolderSize(const std::wstring& folder, bool recursive);

// The folder part of a path including its last "\" (empty without one), and the name part.
std::wstring ExtractFilePath(const std::wstring& path);
std::wstring ExtractFileName(const std::wstring& path);
std::wstring IncludeTrailingBackslash(const std::wstring& path);
// The path without its trailing "\" characters; a drive's root ("C:\") keeps its own.
std::wstring WithoutTrailingBackslash(std::wstring path);

}  // namespace sf
