// Folder and file operations of the engine, on wide paths.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sf {

bool DirectoryExists(const std::wstring& path);
bool FileExists(const std::wstring& path);

// Creates the folder and its missing parents; false when it does not exist afterwards.
bool ForceDirectories(const std::wstring& path);

// The ordinary recursive deletion: whatever cannot be removed (a file in use, say) is skipped silently.
// Raises TError only when the folder does not exist or its path is not valid.
void DeleteTree(const std::wstring& path);

// Moves a folder with its content; the destination's parents are created, the source is gone after.
// Raises TWinError on failure.
void MoveFolder(const std::wstring& from, const std::wstring& to);

// Calls visit with the path of every file below the folder, subfolders included.
void ForEachFileBelow(const std::wstring& folder, const std::function<void(const std::wstring&)>& visit);

// Sum of the sizes of every entry below the folder (64-bit); with recursive, subfolders count too,
// except those whose names begin with ".".
std::uint64_t FolderSize(const std::wstring& folder, bool recursive);

// The folder part of a path including its last "\" (empty without one), and the name part.
std::wstring ExtractFilePath(const std::wstring& path);
std::wstring ExtractFileName(const std::wstring& path);
std::wstring IncludeTrailingBackslash(const std::wstring& path);

}  // namespace sf
