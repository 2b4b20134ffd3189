#include "common/ThreadU.h"

#include "common/UnhandledErrorU.h"
#include "common/WinErrorU.h"

namespace sf {

TThreadBase::TThreadBase() {
  // In the body, not the initialiser list: m_threadId's own initialiser would overwrite the id.
  m_thread.Reset(::CreateThread(nullptr, 0, &TThreadBase::ThreadProc, this, CREATE_SUSPENDED, &m_threadId));
  if (!m_thread) throw TWinError(L"CreateThread");
}

// A thread that never started has run no code: ending it here frees it instead of leaving it suspended.
TThreadBase::~TThreadBase() {
  if (!m_started.load() && m_thread) ::TerminateThread(m_thread.Get(), 0);
}

void TThreadBase::Start() {
  if (m_started.exchange(true)) return;
  ::ResumeThread(m_thread.Get());
}

bool TThreadBase::WaitFor(DWORD milliseconds) const {
  return ::WaitForSingleObject(m_thread.Get(), milliseconds) == WAIT_OBJECT_0;
}

DWORD WINAPI TThreadBase::ThreadProc(void* param) {
  auto* self = static_cast<TThreadBase*>(param);
  try {
    self->Execute();
  } catch (const std::exception& e) {
    // The engine and the workers handle their own errors; whatever still escapes ends the thread, is
    // reported and the user is told.
    HandleThreadError(e);
  }
  self->m_finished.store(true);
  self->Finished();
  return 0;
}

}  // namespace sf
