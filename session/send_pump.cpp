#include "session/send_pump.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "net/tls_link.h"
#include "platform/sockets.h"
#include "session/channel_profile.h"
#include "session/pending_requests.h"
#include "session/trade_client.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {
namespace {

using Clock = std::chrono::steady_clock;

// Frames queued together go out in one TLS write, up to these bounds.
constexpr size_t kMaxBatchFrames = 64;
constexpr size_t kMaxBatchBytes = 64 * 1024;

class SendPump {
 public:
  SendPump(TradeClient& client, Channel& channel, TlsLink& link)
      : client_(client), channel_(channel), link_(link), profile_(ProfileOf(channel.kind)) {
    ids_.resize(kMaxBatchFrames);
    outgoing_.reserve(kMaxBatchFrames);
  }

  // Writes until the link ends. A write that fails or stalls ends the link
  // itself; the channel thread then tears it down and reports the loss.
  void Run() {
    while (!client_.stopRequested && !channel_.socket.isShutDown()) {
      if (!SendQueued() || !HeartbeatIfDue(Clock::now())) {
        channel_.socket.shutdownLink();
        return;
      }
      // Asleep until a request is queued, the link ends or a heartbeat is
      // due. Time-outs are the timekeeper's.
      channel_.doorbell.SleepUntil(HeartbeatDue());
    }
  }

 private:
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
    const int code = Write(heartbeat.data(), heartbeat.size());
    if (code != 0) {
      CLog::Instance().Write(1, profile_.heartbeatErrorLogTag, "Error", "content:%d", code);
      return false;
    }
    lastSent_ = now;
    return true;
  }

  // Writes every queued request, batch by batch, until the queue is empty;
  // false when a write failed.
  bool SendQueued() {
    for (;;) {
      const size_t count = channel_.queue.try_dequeue_bulk(ids_.begin(), kMaxBatchFrames);
      if (count == 0) return true;
      outgoing_.clear();
      TakeForSending(channel_, ids_.data(), count, outgoing_);
      size_t at = 0;
      while (at < outgoing_.size()) {
        const size_t end = BatchEnd(at);
        if (!SendBatch(at, end)) return false;
        at = end;
      }
    }
  }

  // The end of the batch that starts at `at`: as many frames as the bounds
  // allow, at least one.
  size_t BatchEnd(size_t at) const {
    size_t end = at;
    size_t bytes = 0;
    while (end < outgoing_.size() &&
           (end == at || bytes + outgoing_[end].frame->size() <= kMaxBatchBytes)) {
      bytes += outgoing_[end].frame->size();
      ++end;
    }
    return end;
  }

  // The requests' log entries reach the file before their frames reach the
  // socket, so a crash of the host never hides what was sent. Requests of
  // a failed write stay pending: the server may have them, so they are
  // answered by the server, a time-out or a cancellation, never as unsent.
  bool SendBatch(size_t at, size_t end) {
    out_.clear();
    for (size_t i = at; i < end; ++i) {
      out_.insert(out_.end(), outgoing_[i].frame->begin(), outgoing_[i].frame->end());
    }
    CLog::Instance().Flush();
    const int code = Write(out_.data(), out_.size());
    for (size_t i = at; i < end; ++i) outgoing_[i].frame.reset();
    if (code != 0) {
      CLog::Instance().Write(1, profile_.sendErrorLogTag, "Error", "content:%d", code);
      return false;
    }
    lastSent_ = Clock::now();
    for (size_t i = at; i < end; ++i) {
      ConsoleLine("Send Req: message type = " + std::to_string(outgoing_[i].messageType));
    }
    return true;
  }

  int Write(const uint8_t* data, size_t size) {
    return link_.WriteAll(data, size, client_.timings.writeStallLimit);
  }

  TradeClient& client_;
  Channel& channel_;
  TlsLink& link_;
  const ChannelProfile& profile_;
  std::vector<uint64_t> ids_;        // taken from the queue at once
  std::vector<Outgoing> outgoing_;   // those still pending, to be written
  Frame out_;                        // a batch's frames, end to end
  Clock::time_point lastSent_{};  // the clock's epoch: the first pass sends a heartbeat
};

}  // namespace

void RunSendPump(TradeClient& client, Channel& channel, TlsLink& link) {
  platform::ShieldThreadFromBrokenPipe();
  SendPump(client, channel, link).Run();
}

}  // namespace tessel
