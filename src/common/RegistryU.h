// A registry key owned by one object. The operations return the Win32 status (LONG) and leave their
// out-parameters alone on failure, so callers decide what a missing key or value means.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/WinHandleU.h"

namespace sf {

class TRegKey {
 public:
  TRegKey() = default;

  LONG Open(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);
  // Opens the key, creating it and its missing parents.
  LONG Create(HKEY root, const std::wstring& path, REGSAM access = KEY_READ | KEY_WRITE);
  bool IsValid() const { return m_key.IsValid(); }
  HKEY Get() const { return m_key.Get(); }
  void Close() { m_key.Close(); }

  LONG ReadString(const wchar_t* name, std::wstring& value) const;
  LONG ReadDword(const wchar_t* name, DWORD& value) const;
  LONG ReadQword(const wchar_t* name, std::uint64_t& value) const;
  bool HasValue(const wchar_t* name) const;
  LONG WriteString(const wchar_t* name, const std::wstring& value) const;
  LONG WriteDword(const wchar_t* name, DWORD value) const;
  LONG WriteQword(const wchar_t* name, std::uint64_t value) const;
  // Subkey names in the order the registry enumerates them.
  LONG SubkeyNames(std::vector<std::wstring>& names) const;

 private:
  TScopedRegKey m_key;
};

}  // namespace sf
