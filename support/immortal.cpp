#include "support/immortal.h"

#include <atomic>
#include <cstddef>

namespace tessel {
namespace {

// Plain arrays and an atomic flag: nothing here has a destructor that the
// exit handlers could run early.
struct Registered {
  void (*destroy)(void*);
  void* object;
};
constexpr size_t kMaxImmortals = 32;
Registered gRegistered[kMaxImmortals];
size_t gCount = 0;
std::atomic_flag gBusy = ATOMIC_FLAG_INIT;

class Hold {
 public:
  Hold() {
    while (gBusy.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~Hold() { gBusy.clear(std::memory_order_release); }
};

}  // namespace

void RegisterImmortal(void (*destroy)(void*), void* object) {
  Hold hold;
  // A fixed number of call sites make these; the table is sized for them.
  if (gCount < kMaxImmortals) gRegistered[gCount++] = {destroy, object};
}

void ReleaseImmortals() {
  Hold hold;
  while (gCount > 0) {
    const Registered last = gRegistered[--gCount];
    last.destroy(last.object);
  }
}

}  // namespace tessel
