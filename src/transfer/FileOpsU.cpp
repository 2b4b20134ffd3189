#include "transfer/FileOpsU.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/RegistryU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "logging/LogU.h"

namespace sf {

namespace {

using TLeaf = TPathGuard::TLeaf;

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool IsReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// GetLongPathName only knows paths that exist; the part that does not exist yet has no short names.
std::wstring LongForm(const std::wstring& full) {
  const wchar_t* afterRoot = ::PathSkipRootW(full.c_str());
  const std::size_t rootLength = afterRoot ? static_cast<std::size_t>(afterRoot - full.c_str()) : full.size();
  std::wstring head = full;
  std::wstring tail;
  while (head.size() >= rootLength) {
    const DWORD size = ::GetLongPathNameW(head.c_str(), nullptr, 0);
    if (size > 0) {
      std::wstring longHead(size, L'\0');
      const DWORD length = ::GetLongPathNameW(head.c_str(), longHead.data(), size);
      if (length > 0 && length < size) {
        longHead.resize(length);
        return longHead + tail;
      }
    }
    const std::size_t at = head.find_last_of(L'\\');
    if (at == std::wstring::npos || at < rootLength) break;
    tail = head.substr(at) + tail;
    head.resize(at);
  }
  return full;
}

class TWindowsPathFacts : public IPathFacts {
 public:
  std::wstring FullPath(const std::wstring& path) const override {
    // The device namespaces are passed through unresolved by GetFullPathName.
    if (path.empty() || path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return {};
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return {};
    full.resize(length);
    while (full.size() > 1 && full.back() == L'\\' && !::PathIsRootW(full.c_str())) full.pop_back();
    // The system makes a short name as NAME~N, so only a path with a "~" can hold one; the look-up of
    // long names lists a folder for each part of the path, which is slow enough to matter when every
    // file of an update is moved twice.
    return full.find(L'~') == std::wstring::npos ? full : LongForm(full);
  }

  bool IsLink(const std::wstring& path) const override { return IsReparsePoint(Attributes(path)); }

  bool IgnoresCase() const override { return true; }
};

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

// A junction or a folder's symbolic link goes with RemoveDirectory, a file's with DeleteFile: both remove
// the link itself and leave what it points at alone.
void RemoveLink(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    ::RemoveDirectoryW(path.c_str());
  } else {
    ::DeleteFileW(path.c_str());
  }
}

void DeleteTreeContent(const std::wstring& folder) {
  ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data, bool real) {
    if (!real) return;
    const std::wstring path = IncludeTrailingBackslash(folder) + data.cFileName;
    if (IsReparsePoint(data.dwFileAttributes)) {
      RemoveLink(path, data.dwFileAttributes);
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteTreeContent(path);
      ::RemoveDirectoryW(path.c_str());
    } else {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(path.c_str());
    }
  });
}

}  // namespace

const IPathFacts& WindowsPathFacts() {
  static const TWindowsPathFacts facts;
  return facts;
}

std::wstring UserShellFolder(const wchar_t* name) {
  TRegKey key;
  std::wstring value;
  if (key.Open(HKEY_CURRENT_USER, L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders") ==
      ERROR_SUCCESS) {
    key.ReadString(name, value);
  }
  return value;
}

TPathGuard InstallerPathGuard() {
  std::vector<std::wstring> roots;
  // A relative APPDATA would make the guard's folder depend on the current folder: no folder at all then.
  const std::wstring appData = Trim(EnvironmentVariable(L"APPDATA"));
  if (!appData.empty() && !::PathIsRelativeW(appData.c_str())) roots.push_back(appData + L"\\" + CompanyName);
  const std::wstring programs = UserShellFolder(L"Programs");
  if (!programs.empty()) roots.push_back(programs + L"\\" + CompanyName);
  return TPathGuard(roots, WindowsPathFacts());
}

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
  if (::CreateDirectoryW(folder.c_str(), nullptr)) return true;
  const DWORD error = ::GetLastError();
  if (DirectoryExists(folder)) return true;  // made by someone else meanwhile
  ::SetLastError(error);  // the creation's reason, not the look-up's, for the caller's message
  return false;
}

std::wstring Guarded(const wchar_t* routine, std::wstring_view operation, const std::wstring& path, TLeaf leaf) {
  try {
    return InstallerPathGuard().Check(operation, path, leaf);
  } catch (const TUnsafePathError& e) {
    AppendLog(std::wstring(routine) + L": " + e.Message());
    throw;
  }
}

void DiscardFolder(const std::wstring& folder, const wchar_t* routine, int attempts, unsigned pauseMs) {
  for (int attempt = 0; attempt < attempts && DirectoryExists(folder); ++attempt) {
    if (attempt > 0) ::Sleep(pauseMs);
    try {
      DeleteTree(folder);
    } catch (const std::exception& e) {
      AppendLog(std::wstring(routine) + L": " + ExceptionMessage(e));
    }
  }
  if (DirectoryExists(folder)) {
    std::wstring left;
    ForEachFileBelow(folder, [&](const std::wstring& path) { left += L" " + path; });
    AppendLog(std::wstring(routine) + L": could not remove " + folder + L":" + left);
  }
}

void ForEachFileBelow(const std::wstring& folder, const std::function<void(const std::wstring&)>& visit) {
  ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data, bool real) {
    if (!real) return;
    const std::wstring path = IncludeTrailingBackslash(folder) + data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsReparsePoint(data.dwFileAttributes)) {
      ForEachFileBelow(path, visit);
    } else {
      visit(path);
    }
  });
}

void DeleteTree(const std::wstring& path) {
  if (WithoutTrailingBackslash(path).empty()) throw TError(L"Invalid path: " + path);
  const std::wstring folder = Guarded(L"DeleteTree", L"delete", path, TLeaf::MayBeLink);
  const DWORD attributes = Attributes(folder);
  if (IsReparsePoint(attributes)) {
    RemoveLink(folder, attributes);
    return;
  }
  if (!DirectoryExists(folder)) throw TError(L"Invalid path: " + path);
  DeleteTreeContent(folder);
  ::RemoveDirectoryW(folder.c_str());
}

void MoveWithinVolume(const std::wstring& from, const std::wstring& to) {
  const std::wstring source = Guarded(L"MoveWithinVolume", L"move", from, TLeaf::MayBeLink);
  const std::wstring target = Guarded(L"MoveWithinVolume", L"move into", to, TLeaf::NotALink);
  ForceDirectories(ExtractFilePath(target));
  if (!::MoveFileExW(source.c_str(), target.c_str(), 0)) throw TWinError(L"Move " + source + L" to " + target);
}

void ForEachEntryIn(const std::wstring& folder, const std::function<void(const TFolderEntry&)>& visit) {
  ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data, bool real) {
    if (!real) return;
    visit({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
           IsReparsePoint(data.dwFileAttributes)});
  });
}

void WriteFileDurably(const std::wstring& path, const std::string& bytes, bool append) {
  TScopedKernelHandle file(::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                                         append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw TWinError(L"CreateFile " + path);
  DWORD written = 0;
  if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    throw TWinError(L"WriteFile " + path);
  }
  if (!::FlushFileBuffers(file.Get())) throw TWinError(L"FlushFileBuffers " + path);
}

std::string ReadWholeFile(const std::wstring& path) {
  TScopedKernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw TWinError(L"CreateFile " + path);
  std::string bytes;
  char buffer[16384];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) throw TWinError(L"ReadFile " + path);
    if (read == 0) return bytes;
    bytes.append(buffer, read);
  }
}

std::uint64_t FolderSize(const std::wstring& folder, bool recursive) {
  const std::wstring base = IncludeTrailingBackslash(folder);
  std::uint64_t total = 0;
  ForEachEntry(base, [&](const WIN32_FIND_DATAW& data, bool) {
    total += (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsReparsePoint(data.dwFileAttributes) &&
        data.cFileName[0] != L'.' && recursive) {
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

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

}  // namespace sf
