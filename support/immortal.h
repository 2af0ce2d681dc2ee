// An object built on first use and never destroyed. The threads of a client
// that the host never destroyed still run while the process exits, after
// the exit handlers have destroyed ordinary statics; what they use must
// outlive them.
#pragma once

#include <new>
#include <utility>

namespace tessel {

template <typename T>
class Immortal {
 public:
  template <typename... Args>
  explicit Immortal(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() { return &get(); }
  T& operator*() { return get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace tessel
