// An object built on first use and destroyed only when the library itself
// goes away with no client left (ReleaseImmortals), never by the exit
// handlers: the threads of a client that the host never destroyed still run
// while the process exits, after the exit handlers have destroyed ordinary
// statics, and what they use must outlive them.
#pragma once

#include <new>
#include <utility>

namespace tessel {

// Remembers how to destroy one immortal object.
void RegisterImmortal(void (*destroy)(void*), void* object);
// Destroys every immortal object, newest first. Only for the library's
// unload (or the end of a process) with no client alive: nothing may use
// them afterwards.
void ReleaseImmortals();

template <typename T>
class Immortal {
 public:
  template <typename... Args>
  explicit Immortal(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
    RegisterImmortal(&Destroy, storage_);
  }
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() { return &get(); }
  T& operator*() { return get(); }

 private:
  static void Destroy(void* object) { std::launder(reinterpret_cast<T*>(object))->~T(); }

  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace tessel
