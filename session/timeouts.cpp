#include "session/timeouts.h"

#include <algorithm>
#include <vector>

#include "session/channel_profile.h"
#include "session/trade_client.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {

const char kTimeoutText[] = "{\"status\":2,\"describe\":\"timeout\"}";

namespace {

using Clock = std::chrono::steady_clock;

// Ages are compared in whole seconds: a request expires once more than the
// time-out has passed, i.e. a whole second after the time-out itself.
Clock::time_point ExpiryOf(const TradeRequestData& request, std::chrono::seconds timeout) {
  return request.sentAt + timeout + std::chrono::seconds(1);
}

}  // namespace

Clock::time_point SweepTimeouts(TradeClient& client, Channel& channel, Clock::time_point now) {
  const std::chrono::seconds timeout = client.timings.requestTimeout;
  std::vector<TradeRequestData> expired;
  Clock::time_point next = now + timeout;
  {
    std::lock_guard<std::mutex> hold(channel.pendingLock);
    for (auto it = channel.pending.begin(); it != channel.pending.end();) {
      const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - it->second.sentAt);
      if (age > timeout) {
        expired.push_back(std::move(it->second));
        it = channel.pending.erase(it);
      } else {
        next = std::min(next, ExpiryOf(it->second, timeout));
        ++it;
      }
    }
  }
  const bool answers = ProfileOf(channel.kind).answersTimeouts;
  for (const TradeRequestData& request : expired) {
    if (answers) AnswerRequest(request, kTimeoutText);
    ConsoleLine("Rsp time out:");
    CLog::Instance().Write(1, "Time Out Response", "Response", "content:%d",
                           static_cast<int32_t>(request.requestId));
  }
  return next;
}

void OfflineSweeper::Start() {
  if (thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = false;
  }
  thread_ = std::thread(&OfflineSweeper::Run, this);
}

void OfflineSweeper::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void OfflineSweeper::AdoptQueued() {
  TradeRequestData request;
  while (channel_.queue.try_dequeue(request)) {
    if (IsWakeUp(request)) continue;  // no send thread runs to be woken
    request.sentAt = request.acceptedAt;
    std::lock_guard<std::mutex> hold(channel_.pendingLock);
    channel_.pending[request.requestId] = std::move(request);
  }
}

void OfflineSweeper::Run() {
  // Queued requests are looked at this often; expiries wake it exactly.
  constexpr auto kQueueLook = std::chrono::seconds(1);
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    hold.unlock();
    AdoptQueued();
    const Clock::time_point now = Clock::now();
    const Clock::time_point next = std::min(SweepTimeouts(client_, channel_, now), now + kQueueLook);
    hold.lock();
    wake_.wait_until(hold, next, [this] { return stopping_; });
  }
}

}  // namespace tessel
