// The send procedure of a channel: writes the queued requests (several in
// one TLS write when they wait together) and heartbeats when the link is
// idle, and ends the link when a write fails or stalls. One thread per
// established link, started and joined by the channel thread.
#pragma once

#include <cstdint>

namespace tessel {

class TradeClient;
class TlsLink;
struct Channel;

void RunSendPump(TradeClient& client, Channel& channel, TlsLink& link);

// A host thread's shortcut: when the link is up, nobody is writing and the
// request (already pending) is the channel's only one, the calling thread
// writes it itself instead of waking the send thread. It never
// waits: what the socket cannot take at once is left to the send thread.
// False when the request must be queued instead.
bool WriteThrough(Channel& channel, uint64_t requestId);

}  // namespace tessel
