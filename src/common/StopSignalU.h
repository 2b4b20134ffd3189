// The stop signal of a run: once set it stays set. Every thread that works for the run waits on it
// beside whatever else it waits for, so a cancel, an abort or the end of the program reaches all of them
// at once, a request waiting on a silent server included.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/WinHandleU.h"

namespace sf {

class TStopSignal {
 public:
  TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  // Safe from any thread, any number of times.
  void Stop();
  bool IsStopped() const { return m_bStopped.load(); }
  // A manual-reset event that is signalled once Stop has been called.
  HANDLE Event() const { return m_event.Get(); }
  // Sleeps up to the interval; true when the signal was set meanwhile (or before).
  bool WaitFor(DWORD milliseconds) const;

 private:
  TScopedKernelHandle m_event;
  std::atomic<bool> m_bStopped{false};
};

}  // namespace sf
