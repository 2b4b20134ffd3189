#include "common/ErrorU.h"

#include "common/TextU.h"

namespace sf {

TError::TError(const std::wstring& message) : std::runtime_error(ToUtf8(message)), m_message(message) {}

std::wstring ExceptionMessage(const std::exception& e) {
  if (const auto* error = dynamic_cast<const TError*>(&e)) return error->Message();
  return FromUtf8(e.what());
}

}  // namespace sf
