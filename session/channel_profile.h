// What differs between the main and the push channel. Both run the same
// channel and send procedures; everything particular is in this table.
#pragma once

#include <cstdint>

#include "session/trade_client.h"

namespace tessel {

struct ChannelProfile {
  ChannelKind kind;
  uint32_t connectionType;           // in status reports: 2 main, 3 push
  const char* connectLogTag;         // second tag of the "Connect" log entry
  const char* afterConnectLine;      // console line after the TCP connect
  const char* readErrorLogTag;
  const char* sendErrorLogTag;
  const char* heartbeatErrorLogTag;
  bool loadsCertificate;             // main only: ca.pem beside the host
  bool cancelsOnConnect;             // main only: a new link cancels what is outstanding
  bool answersTimeouts;              // main only: a timed-out request gets the time-out text
  bool skipsBadMagic;                // push only: headers not starting with '-' are dropped
  bool (*dispatch)(TradeClient& client, const uint8_t* buffer, int32_t& count);
};

const ChannelProfile& ProfileOf(ChannelKind kind);

}  // namespace tessel
