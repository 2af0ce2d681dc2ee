#include "wall_clock_shift.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<long> gShiftSeconds{0};

int KernelClock(clockid_t clock, timespec* now) {
  return static_cast<int>(::syscall(SYS_clock_gettime, clock, now));
}

}  // namespace

// Visible, so that shared libraries that read the clock read it here too.
extern "C" __attribute__((visibility("default"))) int clock_gettime(clockid_t clock,
                                                                    timespec* now) {
  const int rc = KernelClock(clock, now);
  if (rc == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    now->tv_sec += gShiftSeconds.load();
  }
  return rc;
}

namespace tessel::testing {

void ShiftWallClock(long seconds) { gShiftSeconds = seconds; }

long UnshiftedWallSeconds() {
  timespec now{};
  KernelClock(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

}  // namespace tessel::testing
