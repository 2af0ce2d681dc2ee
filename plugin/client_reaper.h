// The clients alive in the process, and the reaper that frees a client
// destroyed from inside one of its own callbacks: that thread cannot join
// itself, so the joining and freeing happen on the reaper's thread once the
// callback has returned.
#pragma once

namespace tessel {

class TradeClient;

// Counts a client from before its threads start until it has been freed.
void CountClientIn();
void CountClientOut();
// Whether any client is alive or still being freed.
bool AnyClientAlive();

// Hands a stopped-from-callback client to the reaper, which joins its
// threads, waits until no thread uses it, frees it and counts it out. The
// reaper's thread runs while it has work and is joined by the next start,
// or by ReapNothingMore.
void ReapLater(TradeClient* client);
// For the library's unloading with no client left: joins the reaper.
void ReapNothingMore();

}  // namespace tessel
