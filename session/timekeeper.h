// The 30-second promise: every main-channel request the library accepted
// gets the time-out text when no other answer came in time, whatever its
// link is doing. One thread per client owns every time-out of both
// channels. It never does I/O, so a write that hangs on a stalled server or
// a channel thread busy in a slow host callback cannot hold it up; it
// sleeps on the monotonic clock until the earliest request expires, so a
// step of the wall clock changes nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tessel {

class TradeClient;

class Timekeeper {
 public:
  explicit Timekeeper(TradeClient& client) : client_(client) {}
  ~Timekeeper() { Stop(); }
  Timekeeper(const Timekeeper&) = delete;
  Timekeeper& operator=(const Timekeeper&) = delete;

  void Start();
  void Stop();  // returns once the thread has ended

  // A request was just made pending: a timekeeper asleep with nothing to
  // watch looks again. Cheap when it is awake or already has a deadline,
  // since every later request expires after the ones before it.
  void Watch();

 private:
  void Run();
  // Times out what has expired on both channels; the earliest expiry left.
  std::chrono::steady_clock::time_point Sweep();
  bool NothingPending();

  TradeClient& client_;
  std::mutex lock_;  // guards poked_ and stopping_
  std::condition_variable wake_;
  bool poked_ = false;
  bool stopping_ = false;
  // Set before it looks whether anything is pending and goes to sleep with
  // no deadline; a request made pending after that look sees it set.
  std::atomic<bool> idle_{false};
  std::thread thread_;
};

}  // namespace tessel
