// A few objects that are costly to make and may be used by one thread at a
// time (JSON readers and writers), kept for reuse by whichever thread asks
// next. Lock-free: a thread finding no spare makes a new one, and one
// returned when every slot is taken is destroyed.
//
// Kept in Immortal storage, since threads of a client the host never
// destroyed still use them at exit; unloading the library destroys them.
#pragma once

#include <atomic>
#include <memory>

namespace tessel {

template <typename T, int kSlots = 4>
class Spares {
 public:
  Spares() = default;
  Spares(const Spares&) = delete;
  Spares& operator=(const Spares&) = delete;
  ~Spares() {
    for (std::atomic<T*>& slot : slots_) delete slot.exchange(nullptr, std::memory_order_acquire);
  }

  // A spare, or null when there is none.
  std::unique_ptr<T> Take() {
    for (std::atomic<T*>& slot : slots_) {
      if (slot.load(std::memory_order_relaxed) == nullptr) continue;
      if (T* spare = slot.exchange(nullptr, std::memory_order_acquire)) {
        return std::unique_ptr<T>(spare);
      }
    }
    return nullptr;
  }

  void Give(std::unique_ptr<T> object) {
    for (std::atomic<T*>& slot : slots_) {
      T* expected = nullptr;
      if (slot.compare_exchange_strong(expected, object.get(), std::memory_order_release,
                                       std::memory_order_relaxed)) {
        object.release();
        return;
      }
    }
  }

 private:
  std::atomic<T*> slots_[kSlots] = {};
};

}  // namespace tessel
