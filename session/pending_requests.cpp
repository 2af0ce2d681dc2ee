#include "session/pending_requests.h"

#include <algorithm>
#include <string>

#include "session/channel_profile.h"
#include "session/send_pump.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {
namespace {

using Clock = std::chrono::steady_clock;

// Ages are compared in whole seconds: a request expires once more than the
// time-out has passed since it was accepted, i.e. a whole second after the
// time-out itself.
Clock::time_point ExpiryOf(const TradeRequestData& request, std::chrono::seconds timeout) {
  return request.acceptedAt + timeout + std::chrono::seconds(1);
}

// Marks a request as handed to the link; none when it was answered
// meanwhile (timed out, cancelled) or already handed over.
std::optional<Outgoing> HandToLink(PendingMap& pending, uint64_t requestId) {
  const auto found = pending.find(requestId);
  if (found == pending.end() || found->second.handedToLink) return std::nullopt;
  found->second.handedToLink = true;
  return Outgoing{requestId, found->second.messageType, found->second.frame};
}

}  // namespace

size_t OutstandingCount(Channel& channel) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  return channel.pending.size();
}

void QueueRequest(TradeClient& client, Channel& channel, TradeRequestData request) {
  const uint64_t id = request.requestId;
  {
    std::lock_guard<std::mutex> hold(channel.pendingLock);
    channel.pending.emplace(id, std::move(request));
  }
  if (!WriteThrough(channel, id)) {
    channel.queue.enqueue(id);
    channel.doorbell.Ring();
  }
  client.timekeeper.Watch();
}

std::optional<TradeRequestData> TakePending(Channel& channel, uint64_t requestId) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  const auto found = channel.pending.find(requestId);
  if (found == channel.pending.end()) return std::nullopt;
  TradeRequestData entry = std::move(found->second);
  channel.pending.erase(found);
  return entry;
}

std::optional<Outgoing> TakeIfAlone(Channel& channel, uint64_t requestId, bool& alone) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  alone = channel.pending.size() <= 1;
  return alone ? HandToLink(channel.pending, requestId) : std::nullopt;
}

void TakeForSending(Channel& channel, const uint64_t* ids, size_t count,
                    std::vector<Outgoing>& out) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  for (size_t i = 0; i < count; ++i) {
    if (std::optional<Outgoing> taken = HandToLink(channel.pending, ids[i])) {
      out.push_back(std::move(*taken));
    }
  }
}

void LogLibraryAnswer(const char* tag, uint64_t requestId) {
  CLog::Instance().Write(1, tag, "Response", "content:%d", static_cast<int32_t>(requestId));
}

void FailUnsent(TradeClient& client, Channel& channel) {
  uint64_t id = 0;
  while (channel.queue.try_dequeue(id)) {
  }
  std::vector<TradeRequestData> unsent;
  {
    std::lock_guard<std::mutex> hold(channel.pendingLock);
    for (auto it = channel.pending.begin(); it != channel.pending.end();) {
      if (it->second.handedToLink) {
        ++it;
        continue;
      }
      unsent.push_back(std::move(it->second));
      it = channel.pending.erase(it);
    }
  }
  if (unsent.empty()) return;
  for (const TradeRequestData& request : unsent) LogLibraryAnswer("Send Fail Response", request.requestId);
  // In the file before the host hears of it.
  CLog::Instance().Flush();
  for (const TradeRequestData& request : unsent) {
    AnswerHost(client, request, kSendFailText, nullptr);
    ConsoleLine("req send fail:message type = " + std::to_string(request.messageType));
  }
}

Clock::time_point TimeOutExpired(TradeClient& client, Channel& channel, Clock::time_point now) {
  const std::chrono::seconds timeout = client.timings.requestTimeout;
  std::vector<TradeRequestData> expired;
  Clock::time_point next = Clock::time_point::max();
  {
    std::lock_guard<std::mutex> hold(channel.pendingLock);
    for (auto it = channel.pending.begin(); it != channel.pending.end();) {
      const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - it->second.acceptedAt);
      if (age > timeout) {
        expired.push_back(std::move(it->second));
        it = channel.pending.erase(it);
      } else {
        next = std::min(next, ExpiryOf(it->second, timeout));
        ++it;
      }
    }
  }
  if (expired.empty()) return next;
  for (const TradeRequestData& request : expired) LogLibraryAnswer("Time Out Response", request.requestId);
  CLog::Instance().Flush();
  // A timed-out push-channel request gets no answer at all.
  const bool answers = ProfileOf(channel.kind).answersTimeouts;
  for (const TradeRequestData& request : expired) {
    if (answers) AnswerHost(client, request, kTimeoutText);
    ConsoleLine("Rsp time out:");
  }
  return next;
}

PendingMap TakeAll(Channel& channel) {
  PendingMap taken;
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  taken.swap(channel.pending);
  return taken;
}

}  // namespace tessel
