// A thread object that is created suspended and started by its owner, with a stop request that the
// thread body checks between units of work.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/WinHandleU.h"

namespace sf {

class TThreadBase {
 public:
  // The thread exists (suspended) once the constructor returns; Execute runs after Start.
  TThreadBase();
  virtual ~TThreadBase();
  TThreadBase(const TThreadBase&) = delete;
  TThreadBase& operator=(const TThreadBase&) = delete;

  void Start();
  // Only asks the thread to stop: Execute ends when it next checks StopRequested(). Nobody waits for it.
  void RequestStop() { m_stopRequested.store(true); }
  bool StopRequested() const { return m_stopRequested.load(); }
  bool Started() const { return m_started.load(); }
  // True once Execute has returned.
  bool Finished() const { return m_finished.load(); }
  DWORD ThreadId() const { return m_threadId; }
  HANDLE ThreadHandle() const { return m_thread.Get(); }
  // Waits for the thread to end; only for owners that must (tests, orderly shutdowns).
  bool WaitFor(DWORD milliseconds) const;

 protected:
  virtual void Execute() = 0;
  // Runs on the thread after Execute, as its very last use of this object: an override may release
  // the object (workers own themselves while they run).
  virtual void Finished() {}

 private:
  static DWORD WINAPI ThreadProc(void* self);
  TScopedKernelHandle m_thread;
  DWORD m_threadId = 0;
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_started{false};
  std::atomic<bool> m_finished{false};
};

}  // namespace sf
