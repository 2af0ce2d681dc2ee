// The clients alive in the process, and the reaper that frees a client
// destroyed from inside one of its own callbacks: that thread cannot join
// itself, so the joining and freeing happen on the reaper's thread once the
// callback has returned.
#pragma once

namespace tessel {

class TradeClient;

// Counts a client from before its threads start until it has been freed.
// False once the library is going away (the process exits, or the host
// unloads it): no client may be made then, since what clients use is
// about to be released.
bool CountClientIn();
void CountClientOut();
// For the library's going away: no client is counted in from now on. True
// when none is alive or being freed, so what clients use may be released.
bool CloseToNewClients();

// Hands a stopped-from-callback client to the reaper, which joins its
// threads, waits until no thread uses it, frees it and counts it out. The
// reaper's thread runs while it has work and is joined by the next start,
// or by ReapNothingMore.
void ReapLater(TradeClient* client);
// For the library's unloading with no client left: joins the reaper.
void ReapNothingMore();

}  // namespace tessel
