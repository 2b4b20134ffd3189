#include "engine/ProgressLogU.h"

#include "engine/MessagesU.h"

namespace sf {

std::optional<std::wstring> TProgressLogThinner::LineFor(std::uint32_t message, std::uintptr_t wParam) {
  const std::wstring text = L"TInstallerThread.ProcessMessage: " + MessageName(message) + L".";
  if (message != WM_UPDATE_PROGRESS) {
    m_count = 16;
    return text;
  }
  if (m_count > 15) {
    m_count = 0;
    return text + L" Total downloaded=" + std::to_wstring(wParam);
  }
  ++m_count;
  return std::nullopt;
}

}  // namespace sf
