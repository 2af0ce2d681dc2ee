#include "session/request_dispatch.h"

#include <memory>
#include <vector>

#include "messages/outbound/packing.h"
#include "session/trade_client.h"

namespace tessel {
namespace {

// The saved login is what relogins replay; it is kept even when the fill
// fails so that it always mirrors the host's last login request.
void SaveLogin(TradeClient& client, const Json::Value& request) {
  std::lock_guard<std::mutex> hold(client.savedLoginLock);
  client.savedLogin = request;
}

}  // namespace

bool DispatchRequest(TradeClient& client, Json::Value& request, TradeRequestData& out,
                     Refusal& why, SavesLogin saves) {
  const Json::Value& funcIdValue = static_cast<const Json::Value&>(request)["funcId"];
  const RequestLayout* layout =
      funcIdValue.isInt() && funcIdValue.asInt() > 0
          ? FindRequestLayout(static_cast<uint32_t>(funcIdValue.asInt()))
          : nullptr;
  if (layout == nullptr) {
    why = {Refusal::Problem::NoSuchFunction, ""};
    return false;
  }
  if (layout->funcId == kLoginType && saves == SavesLogin::Yes) SaveLogin(client, request);

  std::vector<uint8_t> body;
  if (!FillRequest(*layout, request, body, why)) return false;
  const uint64_t requestId = ++client.requestSeq;
  const auto bodyLength = static_cast<uint32_t>(body.size());
  out.frame = std::make_shared<const Frame>(PackRequest(
      layout->funcId, body.data(), bodyLength, requestId,
      layout->secondLengthIsBody ? bodyLength : 0));
  out.requestId = requestId;
  out.messageType = layout->funcId;
  out.acceptedAt = std::chrono::steady_clock::now();
  return true;
}

}  // namespace tessel
