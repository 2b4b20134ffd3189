// The installer's own error type: a wide message (what() gives it in UTF-8). Portable.
#pragma once

#include <stdexcept>
#include <string>

namespace sf {

class TError : public std::runtime_error {
 public:
  explicit TError(const std::wstring& message);
  const std::wstring& Message() const { return m_message; }

 private:
  std::wstring m_message;
};

// The message of any exception as wide text, for log lines and diagnostic texts.
std::wstring ExceptionMessage(const std::exception& e);

}  // namespace sf
