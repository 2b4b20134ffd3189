#include "common/StopSignalU.h"

#include "common/WinErrorU.h"

namespace sf {

TStopSignal::TStopSignal() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!m_event) throw TWinError(L"CreateEvent");
}

void TStopSignal::Stop() {
  m_bStopped.store(true);
  ::SetEvent(m_event.Get());
}

bool TStopSignal::WaitFor(DWORD milliseconds) const {
  return ::WaitForSingleObject(m_event.Get(), milliseconds) == WAIT_OBJECT_0 || IsStopped();
}

}  // namespace sf
