#include "session/send_pump.h"

#include <chrono>
#include <string>
#include <vector>

#include "net/tls_link.h"
#include "platform/sockets.h"
#include "session/channel_profile.h"
#include "session/status_reports.h"
#include "session/trade_client.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {

const char kSendFailText[] = "{\"status\":1,\"describe\":\"req send fail\"}";
const char kTimeoutText[] = "{\"status\":2,\"describe\":\"timeout\"}";

namespace {

using Clock = std::chrono::steady_clock;

class SendPump {
 public:
  SendPump(TradeClient& client, Channel& channel, TlsLink& link)
      : client_(client), channel_(channel), link_(link), profile_(ProfileOf(channel.kind)) {}

  void Run() {
    while (!client_.stopRequested && channel_.socket.isAlive()) {
      TradeRequestData request;
      if (!channel_.queue.try_dequeue(request)) {
        if (!IdlePass()) break;
        // Idle pacing that a newly queued request ends at once.
        if (!channel_.queue.wait_dequeue_timed(request, client_.timings.idlePacing)) continue;
      }
      if (!Send(std::move(request))) break;
    }
    channel_.reloginPending = true;
    // Refuse requests before the host hears of the loss, not only once the
    // channel thread has finished its tear-down: a host that sends right
    // after the report must be refused, not queued on a dead link.
    channel_.connected = false;
    ReportConnectStatus(client_, false, profile_.connectionType);
    channel_.activeReal = channel_.requestedReal.load();
  }

 private:
  // Enters the request in the pending map, then writes its frame; false when
  // the write failed, which ends the pump.
  bool Send(TradeRequestData request) {
    const uint64_t requestId = request.requestId;
    const uint32_t messageType = request.messageType;
    const SharedFrame frame = request.frame;  // keeps the bytes alive while writing
    {
      std::lock_guard<std::mutex> hold(channel_.pendingLock);
      request.sentAt = Clock::now();
      channel_.pending[requestId] = std::move(request);
    }
    const int code = link_.WriteAll(frame->data(), frame->size());
    if (code == 0) {
      lastSent_ = Clock::now();
      ConsoleLine("Send Req: message type = " + std::to_string(messageType));
      return true;
    }
    if (std::optional<TradeRequestData> failed = TakePending(channel_, requestId)) {
      if (failed->callback != nullptr) {
        failed->callback(kSendFailText, sizeof kSendFailText - 1, failed->context);
      }
      ConsoleLine("req send fail:message type = " + std::to_string(messageType));
    }
    CLog::Instance().Write(1, profile_.sendErrorLogTag, "Error", "content:%d", code);
    return false;
  }

  // Time-outs, then a heartbeat when nothing was written for a while; false
  // when the heartbeat could not be written.
  bool IdlePass() {
    const Clock::time_point now = Clock::now();
    SweepTimeouts(now);
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

  // Removes every request older than the time-out under the lock, then
  // answers them without it, in ascending id order.
  void SweepTimeouts(Clock::time_point now) {
    std::vector<TradeRequestData> expired;
    {
      std::lock_guard<std::mutex> hold(channel_.pendingLock);
      for (auto it = channel_.pending.begin(); it != channel_.pending.end();) {
        const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - it->second.sentAt);
        if (age > client_.timings.requestTimeout) {
          expired.push_back(std::move(it->second));
          it = channel_.pending.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (const TradeRequestData& request : expired) {
      if (profile_.answersTimeouts) AnswerRequest(request, kTimeoutText);
      ConsoleLine("Rsp time out:");
      CLog::Instance().Write(1, "Time Out Response", "Response", "content:%d",
                             static_cast<int32_t>(request.requestId));
    }
  }

  TradeClient& client_;
  Channel& channel_;
  TlsLink& link_;
  const ChannelProfile& profile_;
  Clock::time_point lastSent_{};  // the clock's epoch: the first idle pass sends a heartbeat
};

}  // namespace

void RunSendPump(TradeClient& client, Channel& channel, TlsLink& link) {
  platform::ShieldThreadFromBrokenPipe();
  SendPump(client, channel, link).Run();
}

}  // namespace tessel
