// Outbound dispatch: a mapped host request (carrying "funcId") becomes a
// TradeRequestData with request id, message type and packed frame.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <cstring>
#include <optional>

#include "session/trade_client.h"

namespace tessel {

// Writes a message's body from the request into `body` (zeroed, `size`
// bytes); false refuses the request.
using FillStep = bool (*)(TradeClient& client, const Json::Value& request, uint8_t* body,
                          size_t size);

// One row of the dispatch table.
struct OutboundRoute {
  uint32_t funcId;
  uint32_t bodySize;       // whole body, or the fixed part of a counted one
  uint32_t recordSize;     // size of one counted record; 0 for fixed bodies
  const char* countKey;    // request key holding the record count, or null
  FillStep fill;           // null until the message's body is built: refused
};

// The row of a funcId, or null when no function bears that number.
const OutboundRoute* FindOutboundRoute(uint32_t funcId);

// Body size of a counted message; nothing for a negative count or a body
// over the ceiling.
std::optional<uint32_t> CountedBodySize(const OutboundRoute& route, int64_t count);

// Fills, numbers and packs the request. On failure `out` gets no frame and
// no request id is consumed (except that a Login still becomes the saved
// login, so a relogin can replay what the host last sent).
bool DispatchRequest(TradeClient& client, Json::Value& request, TradeRequestData& out);

// Adapts a fill step written against a packed body record to the table.
template <typename Body, bool (*Fill)(TradeClient&, const Json::Value&, Body&)>
bool FillRecord(TradeClient& client, const Json::Value& request, uint8_t* body, size_t size) {
  Body record{};
  if (size != sizeof record || !Fill(client, request, record)) return false;
  std::memcpy(body, &record, sizeof record);
  return true;
}

template <typename Body, bool (*Fill)(TradeClient&, const Json::Value&, Body&)>
constexpr OutboundRoute FixedRoute(uint32_t funcId) {
  return {funcId, static_cast<uint32_t>(sizeof(Body)), 0, nullptr, &FillRecord<Body, Fill>};
}

}  // namespace tessel
