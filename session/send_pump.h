// The send procedure of a channel: writes queued requests, keeps them
// pending until answered, times them out, and sends heartbeats when idle.
// One thread per established link, started and joined by the channel thread.
#pragma once

namespace tessel {

class TradeClient;
class TlsLink;
struct Channel;

void RunSendPump(TradeClient& client, Channel& channel, TlsLink& link);

}  // namespace tessel

namespace tessel {

// Fixed texts a request's callback may receive from the send thread.
extern const char kSendFailText[];  // the frame could not be written (39 bytes)

}  // namespace tessel
