#include "common/RegistryU.h"

namespace sf {

LONG TRegKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyExW(root, path.c_str(), 0, access, &key);
  if (status == ERROR_SUCCESS) m_key.Reset(key);
  return status;
}

LONG TRegKey::Create(HKEY root, const std::wstring& path, REGSAM access) {
  HKEY key = nullptr;
  const LONG status =
      ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) m_key.Reset(key);
  return status;
}

LONG TRegKey::ReadString(const wchar_t* name, std::wstring& value) const {
  for (;;) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExW(m_key.Get(), name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(m_key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (status == ERROR_MORE_DATA) continue;  // the value grew in between
    if (status != ERROR_SUCCESS) return status;
    buffer.resize(bytes / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
    value = std::move(buffer);
    return ERROR_SUCCESS;
  }
}

LONG TRegKey::ReadDword(const wchar_t* name, DWORD& value) const {
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof(data);
  const LONG status = ::RegQueryValueExW(m_key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_DWORD) return ERROR_INVALID_DATATYPE;
  value = data;
  return ERROR_SUCCESS;
}

LONG TRegKey::ReadQword(const wchar_t* name, std::uint64_t& value) const {
  DWORD type = 0;
  std::uint64_t data = 0;
  DWORD size = sizeof(data);
  const LONG status = ::RegQueryValueExW(m_key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_QWORD || size != sizeof(data)) return ERROR_INVALID_DATATYPE;
  value = data;
  return ERROR_SUCCESS;
}

bool TRegKey::HasValue(const wchar_t* name) const {
  return ::RegQueryValueExW(m_key.Get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

LONG TRegKey::WriteString(const wchar_t* name, const std::wstring& value) const {
  return ::RegSetValueExW(m_key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG TRegKey::WriteDword(const wchar_t* name, DWORD value) const {
  return ::RegSetValueExW(m_key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG TRegKey::WriteQword(const wchar_t* name, std::uint64_t value) const {
  return ::RegSetValueExW(m_key.Get(), name, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG TRegKey::SubkeyNames(std::vector<std::wstring>& names) const {
  DWORD count = 0;
  DWORD maxLength = 0;
  LONG status = ::RegQueryInfoKeyW(m_key.Get(), nullptr, nullptr, nullptr, &count, &maxLength, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::wstring> found;
  std::wstring name(maxLength + 1, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    status = ::RegEnumKeyExW(m_key.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_MORE_DATA) {
      name.resize(name.size() * 2);
      --i;
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    found.emplace_back(name.data(), length);
  }
  names = std::move(found);
  return ERROR_SUCCESS;
}

}  // namespace sf
