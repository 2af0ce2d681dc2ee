// Outbound dispatch: a mapped host request (carrying "funcId") becomes a
// TradeRequestData with request id, message type and packed frame.
#pragma once

#include <json/value.h>

#include "messages/outbound/request_layout.h"

namespace tessel {

class TradeClient;
struct TradeRequestData;

// Fills, numbers and packs the request. On failure `out` gets no frame, no
// request id and no counter value is consumed, and `why` says what was wrong
// (except that a Login still becomes the saved login, so a relogin replays
// what the host last sent).
bool DispatchRequest(TradeClient& client, Json::Value& request, TradeRequestData& out,
                     Refusal& why);

}  // namespace tessel
