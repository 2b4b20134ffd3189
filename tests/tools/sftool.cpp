// sftool: what the end-to-end tests need from inside the Wine prefix.
//
//   sftool run TIMEOUT_MS EXE [ARGS...]   start EXE, wait, print "exit=<signed 32-bit code>" and
//                                         "elapsed=<ms>" from process creation to its end
//                                         (Wine passes only the low 8 bits of an exit code to Linux);
//                                         after TIMEOUT_MS the child is terminated and "timeout" printed
//   sftool paths                          print TEMP, APPDATA, DESKTOP and PROGRAMS folders
//   sftool windows                        print the visible top-level windows: class, title, pid
//   sftool texts CLASS TITLE              print the child controls of a window: class, text
//   sftool clean                          remove the installer's registry keys, folders, shortcuts, logs
//   sftool hold MS FILE...                keep the files (or folders) open without sharing for MS milliseconds
//   sftool processes                      print the running processes: pid, executable name
//   sftool sleep MS                       do nothing for MS milliseconds (a stand-in for a running product)
//   sftool close CLASS TITLE              ask a top-level window to close (WM_CLOSE), as its close box does
//   sftool desktop MS                     keep the desktop in use for MS milliseconds
//   sftool firstpage TIMEOUT_MS EXE [ARGS...]
//                                         start EXE, print "shown=<ms>" from process creation until a
//                                         window of it shows a page (a visible child window) and its
//                                         window thread has finished the step that showed it (the page
//                                         is painted), and "cpu=<ms>", the processor time it used
//                                         until then; then end it; "timeout" when that never came
//
// Output is UTF-8; texts escape CR, LF, TAB and backslash so that one control is one line.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/TextU.h"

namespace {

void Print(const std::wstring& line) {
  const std::string utf8 = sf::ToUtf8(line + L"\n");
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'\\': out += L"\\\\"; break;
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      case L'\t': out += L"\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
    } else if (c == L'"') {
      out.append(slashes * 2 + 1, L'\\');
      slashes = 0;
    } else {
      out.append(slashes, L'\\');
      slashes = 0;
    }
    if (c != L'\\') out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

// Starts argv[3] with the arguments after it; false (and a printed error) when it cannot be started.
bool StartChild(int argc, wchar_t** argv, PROCESS_INFORMATION& pi) {
  std::wstring commandLine = Quoted(argv[3]);
  for (int i = 4; i < argc; ++i) commandLine += L" " + Quoted(argv[i]);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  if (!::CreateProcessW(argv[3], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    Print(L"error=CreateProcess " + std::to_wstring(::GetLastError()));
    return false;
  }
  return true;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const DWORD timeout = static_cast<DWORD>(_wtoi(argv[2]));
  PROCESS_INFORMATION pi{};
  if (!StartChild(argc, argv, pi)) return 2;
  const ULONGLONG started = ::GetTickCount64();
  Print(L"pid=" + std::to_wstring(pi.dwProcessId));
  if (::WaitForSingleObject(pi.hProcess, timeout) == WAIT_TIMEOUT) {
    ::TerminateProcess(pi.hProcess, 0xDEAD);
    ::WaitForSingleObject(pi.hProcess, 5000);
    Print(L"timeout");
  }
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  Print(L"elapsed=" + std::to_wstring(::GetTickCount64() - started));
  Print(L"exit=" + std::to_wstring(static_cast<int>(code)));
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return 0;
}

struct TPageSearch {
  DWORD pid;
  HWND window;
};

// A child window is visible only while its parents are: any visible one means a page is shown.
BOOL CALLBACK FindVisibleChild(HWND hWnd, LPARAM lParam) {
  if (::IsWindowVisible(hWnd)) *reinterpret_cast<bool*>(lParam) = true;
  return !::IsWindowVisible(hWnd);
}

// A visible top-level window of the process that shows a page: an empty window is not a first page yet
// (the wizard shows its window before the engine has said which page comes first).
BOOL CALLBACK FindWindowWithPage(HWND hWnd, LPARAM lParam) {
  auto& search = *reinterpret_cast<TPageSearch*>(lParam);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hWnd, &owner);
  if (owner != search.pid || !::IsWindowVisible(hWnd)) return TRUE;
  bool hasPage = false;
  ::EnumChildWindows(hWnd, &FindVisibleChild, reinterpret_cast<LPARAM>(&hasPage));
  if (!hasPage) return TRUE;
  search.window = hWnd;
  return FALSE;
}

// The time a user waits for the first page: from process creation until a window of the program shows
// a page and the program's window thread has come back for its next message. A page is shown and
// painted in one step of that thread, so its answer to a sent message proves the paint is over; a
// program that goes idle with an empty window does not count.
int FirstPage(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const DWORD timeout = static_cast<DWORD>(_wtoi(argv[2]));
  LARGE_INTEGER frequency{}, started{}, now{};
  ::QueryPerformanceFrequency(&frequency);
  PROCESS_INFORMATION pi{};
  if (!StartChild(argc, argv, pi)) return 2;
  ::QueryPerformanceCounter(&started);
  const auto elapsedMs = [&] {
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - started.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  };
  bool shown = false;
  while (!shown && elapsedMs() < timeout && ::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
    TPageSearch search{pi.dwProcessId, nullptr};
    ::EnumWindows(&FindWindowWithPage, reinterpret_cast<LPARAM>(&search));
    DWORD_PTR answer = 0;
    shown = search.window && ::SendMessageTimeoutW(search.window, WM_NULL, 0, 0, SMTO_NORMAL,
                                                   static_cast<UINT>(timeout), &answer) != 0;
    if (!shown) ::Sleep(1);
  }
  Print(shown ? L"shown=" + std::to_wstring(elapsedMs()) : std::wstring(L"timeout"));
  // On a busy machine the processor time the program used until then says more than the clock.
  FILETIME created, exited, kernel, user;
  if (shown && ::GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user)) {
    const auto ms = [](const FILETIME& t) {
      return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    Print(L"cpu=" + std::to_wstring(ms(kernel) + ms(user)));
  }
  ::TerminateProcess(pi.hProcess, 0);
  ::WaitForSingleObject(pi.hProcess, 5000);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return 0;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
  ::CoTaskMemFree(path);
  return result;
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, length);
}

int Paths() {
  wchar_t appdata[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH);
  Print(L"TEMP=" + TempFolder());
  Print(std::wstring(L"APPDATA=") + appdata);
  Print(L"DESKTOP=" + KnownFolder(FOLDERID_Desktop));
  Print(L"PROGRAMS=" + KnownFolder(FOLDERID_Programs));
  return 0;
}

BOOL CALLBACK ListTopLevel(HWND hWnd, LPARAM) {
  if (!::IsWindowVisible(hWnd)) return TRUE;
  wchar_t cls[256] = {}, title[512] = {};
  ::GetClassNameW(hWnd, cls, 256);
  // Reads the stored title without sending a message, so a busy window cannot block the listing.
  ::InternalGetWindowText(hWnd, title, 512);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hWnd, &pid);
  Print(Escaped(cls) + L"\t" + Escaped(title) + L"\t" + std::to_wstring(pid));
  return TRUE;
}

BOOL CALLBACK ListChild(HWND hWnd, LPARAM) {
  wchar_t cls[256] = {};
  ::GetClassNameW(hWnd, cls, 256);
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
  text.resize(static_cast<size_t>(copied));
  Print(Escaped(cls) + L"\t" + Escaped(text) + L"\t" + (::IsWindowVisible(hWnd) ? L"visible" : L"hidden"));
  return TRUE;
}

int Texts(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  HWND window = ::FindWindowW(argv[2], argv[3]);
  if (!window) {
    Print(L"error=no window");
    return 1;
  }
  ::EnumChildWindows(window, &ListChild, 0);
  return 0;
}

void DeleteTree(const std::wstring& path) {
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  std::wstring from = path;
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  ::SHFileOperationW(&op);
}

void DeleteMatching(const std::wstring& folder, const std::wstring& pattern) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring path = folder + L"\\" + data.cFileName;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

int Clean() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Ardentis");
  HKEY uninstall = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                      KEY_READ | KEY_WRITE, &uninstall) == ERROR_SUCCESS) {
    std::vector<std::wstring> doomed;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = 256;
      if (::RegEnumKeyExW(uninstall, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      if (::wcsncmp(name, L"Stormfinch", 10) == 0) doomed.emplace_back(name);
    }
    for (const auto& key : doomed) ::RegDeleteTreeW(uninstall, key.c_str());
    ::RegCloseKey(uninstall);
  }
  wchar_t appdata[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH);
  if (appdata[0]) DeleteTree(std::wstring(appdata) + L"\\Ardentis");
  DeleteMatching(KnownFolder(FOLDERID_Desktop), L"Stormfinch*.lnk");
  DeleteTree(KnownFolder(FOLDERID_Programs) + L"\\Ardentis");
  std::wstring temp = TempFolder();
  if (!temp.empty() && temp.back() == L'\\') temp.pop_back();
  DeleteMatching(temp, L"Stormfinch *.log");
  Print(L"clean=ok");
  return 0;
}

int Hold(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  std::vector<HANDLE> files;
  for (int i = 3; i < argc; ++i) {
    // Folders too: a folder held open cannot be renamed.
    HANDLE file = ::CreateFileW(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      Print(L"error=open " + std::to_wstring(::GetLastError()) + L" " + argv[i]);
      return 1;
    }
    files.push_back(file);
  }
  Print(L"holding");
  ::Sleep(static_cast<DWORD>(_wtoi(argv[2])));
  for (HANDLE file : files) ::CloseHandle(file);
  return 0;
}

int Processes() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
    Print(std::to_wstring(entry.th32ProcessID) + L"\t" + entry.szExeFile);
  }
  ::CloseHandle(snapshot);
  return 0;
}

int Close(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  HWND window = ::FindWindowW(argv[2], argv[3]);
  if (!window) {
    Print(L"error=no window");
    return 1;
  }
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"run") return Run(argc, argv);
  if (command == L"firstpage") return FirstPage(argc, argv);
  if (command == L"paths") return Paths();
  if (command == L"windows") return ::EnumWindows(&ListTopLevel, 0) ? 0 : 1;
  if (command == L"texts") return Texts(argc, argv);
  if (command == L"clean") return Clean();
  if (command == L"hold") return Hold(argc, argv);
  if (command == L"close") return Close(argc, argv);
  if (command == L"processes") return Processes();
  if (command == L"desktop" && argc > 2) {
    // Wine closes a desktop that no process uses, and the next program to show a window would have to
    // wait until it is brought back; a test session keeps it in use throughout.
    if (!::GetDesktopWindow()) return 1;
    Print(L"desktop");
    ::Sleep(static_cast<DWORD>(_wtoi(argv[2])));
    return 0;
  }
  if (command == L"sleep" && argc > 2) {
    ::Sleep(static_cast<DWORD>(_wtoi(argv[2])));
    return 0;
  }
  return 2;
}
