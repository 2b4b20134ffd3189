// Errors of Windows calls: an exception that carries the Win32 error code and its text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/ErrorU.h"

namespace sf {

// The system's message text for an error code, without the trailing line break.
std::wstring SystemErrorText(DWORD code);

class TWinError : public TError {
 public:
  // context: what was being done, e.g. L"CreateFile C:\\x". The message is context + ": " + system text.
  TWinError(const std::wstring& context, DWORD code = ::GetLastError());
  DWORD Code() const { return m_code; }

 private:
  DWORD m_code;
};

// Environment variable, empty when it is not set.
std::wstring EnvironmentVariable(const wchar_t* name);

// Command line as CommandLineToArgvW splits it; element 0 is the program path.
std::vector<std::wstring> CommandLineArguments();

// The running executable's full path.
std::wstring ModuleFileName(HMODULE module = nullptr);

}  // namespace sf
