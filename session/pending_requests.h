// A channel's outstanding requests: every request the library accepted and
// has not answered yet, from its acceptance on, whether it still waits for
// the send thread or was written. Whoever takes a request out of the
// pending map (under the channel's pendingLock) answers it, and no one
// else: that is what makes every answer come exactly once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "session/trade_client.h"

namespace tessel {

// How many requests the channel holds now.
size_t OutstandingCount(Channel& channel);

// Takes the request in: pending, written at once when the link is idle or
// else queued for the send thread, its time-out watched. The request id
// must be new.
void QueueRequest(TradeClient& client, Channel& channel, TradeRequestData request);

// Removes and returns a channel's pending request, if it is still there.
std::optional<TradeRequestData> TakePending(Channel& channel, uint64_t requestId);

// What the send thread writes for one request.
struct Outgoing {
  uint64_t requestId = 0;
  uint32_t messageType = 0;
  SharedFrame frame;
};

// Of the queued ids, those still pending are marked as handed to the link
// and returned in order; ids answered meanwhile (timed out, cancelled) are
// skipped, so an answered request is never sent afterwards.
void TakeForSending(Channel& channel, const uint64_t* ids, size_t count,
                    std::vector<Outgoing>& out);
// The same for one request, and only when it is the channel's only one
// (`alone` says whether it was); none when it was answered meanwhile.
std::optional<Outgoing> TakeIfAlone(Channel& channel, uint64_t requestId, bool& alone);

// Answers with the send-failure text every pending request whose frame was
// never handed to a link, and empties the queue: for the end of a link
// (and the start of the next, for what was accepted while it ended).
void FailUnsent(TradeClient& client, Channel& channel);

// Removes the requests older than the time-out (main: answered with the
// time-out text; push: only logged). Returns when the oldest remaining one
// expires; time_point::max() when none is left.
std::chrono::steady_clock::time_point TimeOutExpired(TradeClient& client, Channel& channel,
                                                     std::chrono::steady_clock::time_point now);

// Removes every pending request of the channel, in ascending id order.
PendingMap TakeAll(Channel& channel);

// The log entry for a request the library answered itself, written before
// the host hears of it ("Time Out Response", "Cancel Response", ...).
void LogLibraryAnswer(const char* tag, uint64_t requestId);

}  // namespace tessel
