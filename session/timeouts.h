// The 30-second promise: a main-channel request gets the time-out text when
// no answer came in time, link or no link. The send thread sweeps while a
// link is up; the channel's OfflineSweeper does it while none is.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tessel {

class TradeClient;
struct Channel;

extern const char kTimeoutText[];  // no answer in time (33 bytes)

// Removes every pending request older than the time-out under the lock,
// then answers them without it, in ascending id order (main channel: the
// time-out text; push channel: only the log). Returns the time at which the
// oldest remaining entry expires, or the time-out from `now` when none is left.
std::chrono::steady_clock::time_point SweepTimeouts(TradeClient& client, Channel& channel,
                                                    std::chrono::steady_clock::time_point now);

// A thread that exists while the channel has no send thread: requests left
// queued or pending by a lost link are timed out from when they were taken
// (queued ones from their acceptance) until the next link cancels them.
// Owned by the channel thread, which starts and stops it.
class OfflineSweeper {
 public:
  OfflineSweeper(TradeClient& client, Channel& channel) : client_(client), channel_(channel) {}
  ~OfflineSweeper() { Stop(); }
  OfflineSweeper(const OfflineSweeper&) = delete;
  OfflineSweeper& operator=(const OfflineSweeper&) = delete;

  void Start();
  void Stop();  // returns once the thread has ended

 private:
  void Run();
  // Moves what the lost link left queued into the pending map, aged from
  // its acceptance, so one sweep covers both.
  void AdoptQueued();

  TradeClient& client_;
  Channel& channel_;
  std::mutex lock_;  // guards stopping_
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tessel
