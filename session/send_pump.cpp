#include "session/send_pump.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "net/tls_link.h"
#include "platform/sockets.h"
#include "session/channel_profile.h"
#include "session/status_reports.h"
#include "session/timeouts.h"
#include "session/trade_client.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {

const char kSendFailText[] = "{\"status\":1,\"describe\":\"req send fail\"}";

namespace {

using Clock = std::chrono::steady_clock;

// Frames queued together go out in one TLS write, up to these bounds.
constexpr size_t kMaxBatchFrames = 64;
constexpr size_t kMaxBatchBytes = 64 * 1024;

class SendPump {
 public:
  SendPump(TradeClient& client, Channel& channel, TlsLink& link)
      : client_(client), channel_(channel), link_(link), profile_(ProfileOf(channel.kind)),
        taken_(kMaxBatchFrames) {}

  void Run() {
    // The first idle pass sweeps and, with lastSent_ at the clock's epoch,
    // sends a heartbeat.
    Clock::time_point nextSweep{};
    while (!client_.stopRequested && channel_.socket.isAlive()) {
      size_t count = channel_.queue.try_dequeue_bulk(taken_.begin(), kMaxBatchFrames);
      if (count == 0) {
        const Clock::time_point now = Clock::now();
        if (now >= nextSweep) nextSweep = SweepTimeouts(client_, channel_, now);
        if (!HeartbeatIfDue(now)) break;
        // Asleep until the next duty: a queued request (or the tear-down's
        // wake-up), the next heartbeat or the earliest time-out.
        const Clock::time_point wake = std::min(nextSweep, HeartbeatDue());
        count = channel_.queue.wait_dequeue_bulk_timed(taken_.begin(), kMaxBatchFrames,
                                                        MicrosecondsUntil(wake));
        if (count == 0) continue;
      }
      if (!SendTaken(count)) break;
    }
    // No request may be accepted for a link the host is told is lost.
    channel_.connected = false;
    channel_.reloginPending = true;
    ReportConnectStatus(client_, false, profile_.connectionType);
    channel_.activeReal = channel_.requestedReal.load();
  }

 private:
  static int64_t MicrosecondsUntil(Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::microseconds>(when - Clock::now());
    return std::max<int64_t>(left.count(), 0);
  }

  // A heartbeat goes out after more than heartbeatIdle whole seconds
  // without a written frame.
  Clock::time_point HeartbeatDue() const {
    return lastSent_ + client_.timings.heartbeatIdle + std::chrono::seconds(1);
  }

  // False when a due heartbeat could not be written.
  bool HeartbeatIfDue(Clock::time_point now) {
    if (std::chrono::duration_cast<std::chrono::seconds>(now - lastSent_) <=
        client_.timings.heartbeatIdle) {
      return true;
    }
    const Frame heartbeat = BuildHeartbeat(++client_.requestSeq);
    const int code = link_.WriteAll(heartbeat.data(), heartbeat.size());
    if (code != 0) {
      CLog::Instance().Write(1, profile_.heartbeatErrorLogTag, "Error", "content:%d", code);
      return false;
    }
    lastSent_ = now;
    return true;
  }

  // Sends the first `count` taken entries, as many per write as the bounds
  // allow; false when a write failed, which ends the pump.
  bool SendTaken(size_t count) {
    size_t at = 0;
    while (at < count) {
      size_t end = at;
      size_t bytes = 0;
      while (end < count && (end == at || bytes + FrameBytes(taken_[end]) <= kMaxBatchBytes)) {
        bytes += FrameBytes(taken_[end]);
        ++end;
      }
      const bool sent = SendBatch(at, end, bytes);
      for (size_t i = at; i < end; ++i) taken_[i] = TradeRequestData{};
      if (!sent) {
        // Entries taken but not reached stay pending as if still queued.
        for (size_t i = end; i < count; ++i) Unsent(std::move(taken_[i]));
        return false;
      }
      at = end;
    }
    return true;
  }

  static size_t FrameBytes(const TradeRequestData& entry) {
    return IsWakeUp(entry) || entry.frame == nullptr ? 0 : entry.frame->size();
  }

  // Enters the requests in the pending map, then writes their frames in
  // one go. On a failure the request whose frame did not go through is
  // answered with the send-failure text, and those behind it stay pending,
  // aged from their acceptance, just as if the pump had never taken them.
  bool SendBatch(size_t at, size_t end, size_t bytes) {
    out_.clear();
    out_.reserve(bytes);
    {
      std::lock_guard<std::mutex> hold(channel_.pendingLock);
      const Clock::time_point now = Clock::now();
      for (size_t i = at; i < end; ++i) {
        TradeRequestData& entry = taken_[i];
        if (IsWakeUp(entry) || entry.frame == nullptr) continue;
        out_.insert(out_.end(), entry.frame->begin(), entry.frame->end());
        entry.sentAt = now;
        // The pending copy shares the frame; the type and id stay here.
        channel_.pending[entry.requestId] = entry;
      }
    }
    if (out_.empty()) return true;
    size_t written = 0;
    const int code = link_.WriteAll(out_.data(), out_.size(), &written);
    size_t offset = 0;
    size_t i = at;
    for (; i < end; ++i) {
      const TradeRequestData& entry = taken_[i];
      if (IsWakeUp(entry) || entry.frame == nullptr) continue;
      offset += entry.frame->size();
      if (offset > written) break;
      ConsoleLine("Send Req: message type = " + std::to_string(entry.messageType));
    }
    if (code == 0) {
      lastSent_ = Clock::now();
      return true;
    }
    if (i < end) {
      const TradeRequestData& failedEntry = taken_[i];
      if (std::optional<TradeRequestData> failed = TakePending(channel_, failedEntry.requestId)) {
        if (failed->callback != nullptr) {
          failed->callback(kSendFailText, sizeof kSendFailText - 1, failed->context);
        }
        ConsoleLine("req send fail:message type = " + std::to_string(failed->messageType));
      }
      for (++i; i < end; ++i) Reage(taken_[i]);
    }
    CLog::Instance().Write(1, profile_.sendErrorLogTag, "Error", "content:%d", code);
    return false;
  }

  // A request written nowhere: its pending entry ages from its acceptance.
  void Reage(const TradeRequestData& entry) {
    if (IsWakeUp(entry)) return;
    std::lock_guard<std::mutex> hold(channel_.pendingLock);
    const auto found = channel_.pending.find(entry.requestId);
    if (found != channel_.pending.end()) found->second.sentAt = found->second.acceptedAt;
  }

  void Unsent(TradeRequestData entry) {
    if (IsWakeUp(entry)) return;
    entry.sentAt = entry.acceptedAt;
    std::lock_guard<std::mutex> hold(channel_.pendingLock);
    channel_.pending[entry.requestId] = std::move(entry);
  }

  TradeClient& client_;
  Channel& channel_;
  TlsLink& link_;
  const ChannelProfile& profile_;
  std::vector<TradeRequestData> taken_;  // entries taken from the queue at once
  Frame out_;                            // their frames, end to end
  Clock::time_point lastSent_{};  // the clock's epoch: the first idle pass sends a heartbeat
};

}  // namespace

void RunSendPump(TradeClient& client, Channel& channel, TlsLink& link) {
  platform::ShieldThreadFromBrokenPipe();
  SendPump(client, channel, link).Run();
}

}  // namespace tessel
