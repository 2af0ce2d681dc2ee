#include "session/channel_session.h"

#include <thread>

#include "session/trade_client.h"

namespace tessel {

// Links are not opened yet: the thread only waits for the stop flag.
void RunChannel(TradeClient& client, Channel&) {
  while (!client.stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace tessel
