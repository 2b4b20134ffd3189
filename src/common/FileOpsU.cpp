#include "common/FileOpsU.h"

#include <windows.h>

#include <vector>

#include "common/ErrorU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"

namespace sf {

namespace {

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

template <typename Visit>
void ForEachEntry(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW data;
  TScopedFindHandle find(::FindFirstFileW((IncludeTrailingBackslash(folder) + L"*.*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") {
      visit(data, false);
      continue;
    }
    visit(data, true);
  } while (::FindNextFileW(find.Get(), &data));
}

void DeleteTreeContent(const std::wstring& folder) {
  ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data, bool real) {
    if (!real) return;
    const std::wstring path = IncludeTrailingBackslash(folder) + data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteTreeContent(path);
      ::RemoveDirectoryW(path.c_str());
    } else {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(path.c_str());
    }
  });
}

}  // namespace

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::wstring& path) {
  const std::wstring folder = WithoutTrailingBackslash(path);
  if (folder.empty()) return false;
  if (DirectoryExists(folder)) return true;
  const std::wstring parent = ExtractFilePath(folder);
  if (!parent.empty() && parent != folder && !DirectoryExists(parent)) ForceDirectories(parent);
  return ::CreateDirectoryW(folder.c_str(), nullptr) || DirectoryExists(folder);
}

void ForEachFileBelow(const std::wstring& folder, const std::function<void(const std::wstring&)>& visit) {
  ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data, bool real) {
    if (!real) return;
    const std::wstring path = IncludeTrailingBackslash(folder) + data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ForEachFileBelow(path, visit);
    } else {
      visit(path);
    }
  });
}

void DeleteTree(const std::wstring& path) {
  const std::wstring folder = WithoutTrailingBackslash(path);
  if (folder.empty() || !DirectoryExists(folder)) throw TError(L"Invalid path: " + path);
  DeleteTreeContent(folder);
  ::RemoveDirectoryW(folder.c_str());
}

void MoveFolder(const std::wstring& from, const std::wstring& to) {
  const std::wstring source = WithoutTrailingBackslash(from);
  const std::wstring target = WithoutTrailingBackslash(to);
  ForceDirectories(ExtractFilePath(target));
  if (!::MoveFileExW(source.c_str(), target.c_str(), 0)) throw TWinError(L"Move " + source + L" to " + target);
}

std::uint64_t FolderSize(const std::wstring& folder, bool recursive) {
  const std::wstring base = IncludeTrailingBackslash(folder);
  std::uint64_t total = 0;
  ForEachEntry(base, [&](const WIN32_FIND_DATAW& data, bool) {
    total += (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.cFileName[0] != L'.' && recursive) {
      total += FolderSize(base + data.cFileName, true);
    }
  });
  return total;
}

std::wstring ExtractFilePath(const std::wstring& path) {
  const auto at = path.find_last_of(L"\\:");
  return at == std::wstring::npos ? std::wstring() : path.substr(0, at + 1);
}

std::wstring ExtractFileName(const std::wstring& path) {
  const auto at = path.find_last_of(L"\\:");
  return at == std::wstring::npos ? path : path.substr(at + 1);
}

std::wstring IncludeTrailingBackslash(const std::wstring& path) {
  return (!path.empty() && path.back() == L'\\') ? path : path + L"\\";
}

}  // namespace sf
