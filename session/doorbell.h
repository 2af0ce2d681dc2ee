// Doorbell: how a send thread sleeps until it has work or a duty falls due.
// Waits run on the monotonic clock, so a step of the wall clock neither
// stretches nor cuts a sleep.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tessel {

class Doorbell {
 public:
  using Clock = std::chrono::steady_clock;

  // Any thread: the sleeper looks at its work again (now, or at once when
  // it next means to sleep).
  void Ring() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      rung_ = true;
    }
    wake_.notify_one();
  }

  // The one sleeper: returns when rung since its last return, or at
  // `until`. What was rung before the call is not lost.
  void SleepUntil(Clock::time_point until) {
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait_until(hold, until, [this] { return rung_; });
    rung_ = false;
  }

 private:
  std::mutex lock_;  // guards rung_
  std::condition_variable wake_;
  bool rung_ = false;
};

}  // namespace tessel
