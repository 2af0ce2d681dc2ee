#include "session/send_pump.h"

#include <algorithm>
#include <optional>
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

Clock::time_point LastWrite(const Channel& channel) {
  return Clock::time_point(Clock::duration(channel.lastWrite.load()));
}

void MarkWritten(Channel& channel) {
  channel.lastWrite = Clock::now().time_since_epoch().count();
}

void PrintSent(uint32_t messageType) {
  ConsoleLine("Send Req: message type = " + std::to_string(messageType));
}

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
      if (!WriteWhatIsDue()) {
        channel_.socket.shutdownLink();
        return;
      }
      // Asleep until a request is queued, the link ends or a heartbeat is
      // due. Time-outs are the timekeeper's.
      channel_.doorbell.SleepUntil(HeartbeatDue());
    }
  }

 private:
  // Under the write lock, so that no host thread writes in between: what a
  // host thread began, then the queue, then a heartbeat if one is due.
  bool WriteWhatIsDue() {
    std::lock_guard<std::mutex> hold(channel_.writeLock);
    return CompleteUnfinished() && SendQueued() && HeartbeatIfDue(Clock::now());
  }

  bool CompleteUnfinished() {
    if (!channel_.unfinished) return true;
    const SharedFrame frame = std::move(channel_.unfinished);
    return Written(Write(frame->data(), frame->size()), profile_.sendErrorLogTag);
  }

  // A heartbeat goes out after more than heartbeatIdle whole seconds
  // without a written frame.
  Clock::time_point HeartbeatDue() const {
    return LastWrite(channel_) + client_.timings.heartbeatIdle + std::chrono::seconds(1);
  }

  // False when a due heartbeat could not be written.
  bool HeartbeatIfDue(Clock::time_point now) {
    if (std::chrono::duration_cast<std::chrono::seconds>(now - LastWrite(channel_)) <=
        client_.timings.heartbeatIdle) {
      return true;
    }
    const Frame heartbeat = BuildHeartbeat(++client_.requestSeq);
    return Written(Write(heartbeat.data(), heartbeat.size()), profile_.heartbeatErrorLogTag);
  }

  // Whether a write succeeded; a failure is logged under `errorLogTag`.
  bool Written(int code, const char* errorLogTag) {
    if (code != 0) {
      CLog::Instance().Write(1, errorLogTag, "Error", "content:%d", code);
      return false;
    }
    MarkWritten(channel_);
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
    if (!Written(code, profile_.sendErrorLogTag)) return false;
    for (size_t i = at; i < end; ++i) PrintSent(outgoing_[i].messageType);
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
};

}  // namespace

bool WriteThrough(Channel& channel, uint64_t requestId) {
  std::unique_lock<std::mutex> hold(channel.writeLock, std::try_to_lock);
  // Busy, down, or others wait before this one: the send thread keeps the
  // order. With other requests in flight the send thread batches them,
  // which keeps a pipelining host's throughput; a lone request goes now.
  if (!hold.owns_lock() || channel.link == nullptr || channel.unfinished ||
      channel.queue.size_approx() != 0) {
    return false;
  }
  bool alone = false;
  const std::optional<Outgoing> taken = TakeIfAlone(channel, requestId, alone);
  if (!alone) return false;
  if (!taken) return true;  // answered already: nothing to send
  CLog::Instance().Flush();   // the request's entry before its frame
  const int code = channel.link->TryWrite(taken->frame->data(), taken->frame->size());
  if (code == SSL_ERROR_WANT_WRITE || code == SSL_ERROR_WANT_READ) {
    // The socket is full: never wait on a host thread.
    channel.unfinished = taken->frame;
    channel.doorbell.Ring();
  } else if (code != SSL_ERROR_NONE) {
    CLog::Instance().Write(1, ProfileOf(channel.kind).sendErrorLogTag, "Error", "content:%d",
                           code);
    channel.socket.shutdownLink();
    channel.doorbell.Ring();
    return true;
  } else {
    MarkWritten(channel);
  }
  PrintSent(taken->messageType);
  return true;
}

void RunSendPump(TradeClient& client, Channel& channel, TlsLink& link) {
  platform::ShieldThreadFromBrokenPipe();
  SendPump(client, channel, link).Run();
}

}  // namespace tessel
