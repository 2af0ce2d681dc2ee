// The channel procedure: connect, TLS, relogin, read frames, reconnect;
// one thread per channel for the client's whole life.
#pragma once

namespace tessel {

class TradeClient;
struct Channel;

void RunChannel(TradeClient& client, Channel& channel);

}  // namespace tessel
