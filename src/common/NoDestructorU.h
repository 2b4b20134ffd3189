// A process-wide object that is built on first use and never destroyed. Threads that are never joined
// (the engine, the workers) may still use it while the process exits.
#pragma once

#include <new>
#include <utility>

namespace sf {

template <typename T>
class TNoDestructor {
 public:
  template <typename... Args>
  explicit TNoDestructor(Args&&... args) {
    new (m_storage) T(std::forward<Args>(args)...);
  }
  TNoDestructor(const TNoDestructor&) = delete;
  TNoDestructor& operator=(const TNoDestructor&) = delete;

  T& operator*() { return *Get(); }
  T* operator->() { return Get(); }
  T* Get() { return std::launder(reinterpret_cast<T*>(m_storage)); }

 private:
  alignas(T) unsigned char m_storage[sizeof(T)];
};

}  // namespace sf
