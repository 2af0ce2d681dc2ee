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
// A relogin replays the saved login; it must never save it again, or it
// could restore a login that a server-kind switch has just forgotten.
enum class SavesLogin : bool { No, Yes };

bool DispatchRequest(TradeClient& client, Json::Value& request, TradeRequestData& out,
                     Refusal& why, SavesLogin saves = SavesLogin::Yes);

}  // namespace tessel
