// The send procedure of a channel: writes the queued requests (several in
// one TLS write when they wait together) and heartbeats when the link is
// idle, and ends the link when a write fails or stalls. One thread per
// established link, started and joined by the channel thread.
#pragma once

namespace tessel {

class TradeClient;
class TlsLink;
struct Channel;

void RunSendPump(TradeClient& client, Channel& channel, TlsLink& link);

}  // namespace tessel
