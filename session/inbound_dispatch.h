// Inbound dispatch: each received frame either answers a pending request
// (matched by request id, handed to the request's callback) or is a push
// message / stray answer (handed to hostNotify or reported as lost).
#pragma once

#include <cstdint>

namespace tessel {

class TradeClient;

// Walks the frames in `buffer`; `count` is decreased by each frame handled.
// Incomplete frames are left alone. Always returns false.
bool MainDispatch(TradeClient& client, const uint8_t* buffer, int32_t& count);
bool PushDispatch(TradeClient& client, const uint8_t* buffer, int32_t& count);

}  // namespace tessel
