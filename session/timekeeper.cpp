#include "session/timekeeper.h"

#include <algorithm>

#include "session/pending_requests.h"
#include "session/trade_client.h"

namespace tessel {

using Clock = std::chrono::steady_clock;

void Timekeeper::Start() {
  if (thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = false;
  }
  thread_ = std::thread(&Timekeeper::Run, this);
}

void Timekeeper::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Timekeeper::Watch() {
  if (!idle_.load()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    poked_ = true;
  }
  wake_.notify_all();
}

Clock::time_point Timekeeper::Sweep() {
  const Clock::time_point now = Clock::now();
  return std::min(TimeOutExpired(client_, client_.main, now),
                  TimeOutExpired(client_, client_.push, now));
}

// Each map is looked at under its own lock, after idle_ was set: a request
// made pending after the look finds idle_ set and pokes.
bool Timekeeper::NothingPending() {
  return OutstandingCount(client_.main) == 0 && OutstandingCount(client_.push) == 0;
}

void Timekeeper::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    poked_ = false;
    hold.unlock();
    const Clock::time_point next = Sweep();
    const bool noDeadline = next == Clock::time_point::max();
    if (noDeadline) {
      idle_ = true;
      if (!NothingPending()) {
        idle_ = false;
        hold.lock();
        continue;
      }
    }
    hold.lock();
    const auto woken = [this] { return poked_ || stopping_; };
    if (noDeadline) {
      wake_.wait(hold, woken);
    } else {
      wake_.wait_until(hold, next, woken);
    }
    idle_ = false;
  }
}

}  // namespace tessel
