#include "messages/outbound/dispatch.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "messages/outbound/packing.h"
#include "messages/outbound/session_requests.h"

namespace tessel {
namespace {

constexpr OutboundRoute Unbuilt(uint32_t funcId, uint32_t bodySize) {
  return {funcId, bodySize, 0, nullptr, nullptr};
}

constexpr OutboundRoute UnbuiltCounted(uint32_t funcId, uint32_t fixedSize, uint32_t recordSize,
                                       const char* countKey) {
  return {funcId, fixedSize, recordSize, countKey, nullptr};
}

// Ordered by funcId. Rows without a fill step are messages whose bodies are
// not built yet; they are refused like unknown functions.
const OutboundRoute kRoutes[] = {
    FixedRoute<LoginBody, FillLogin>(1),
    {2, 0, 0, nullptr, &FillLogout},
    Unbuilt(4, 735),
    Unbuilt(5, 862),
    Unbuilt(6, 192),
    Unbuilt(7, 261),
    Unbuilt(8, 233),
    Unbuilt(9, 229),
    Unbuilt(11, 268),
    Unbuilt(12, 268),
    Unbuilt(13, 206),
    Unbuilt(14, 218),
    Unbuilt(15, 196),
    Unbuilt(16, 204),
    Unbuilt(18, 204),
    FixedRoute<ModifyPwdBody, FillModifyPwd>(100),
    UnbuiltCounted(101, 122, 17, "record_set_cnt"),
    Unbuilt(102, 64),
    Unbuilt(103, 256),
    Unbuilt(104, 100),
    Unbuilt(105, 64),
    Unbuilt(106, 424),
    Unbuilt(107, 424),
    Unbuilt(108, 168),
    Unbuilt(109, 168),
    Unbuilt(110, 302),
    Unbuilt(111, 200),
    Unbuilt(112, 321),
    UnbuiltCounted(113, 176, 134, "record_set_cnt"),
    Unbuilt(114, 168),
    UnbuiltCounted(115, 393, 118, "basket_detail_cnt"),
    Unbuilt(116, 168),
    Unbuilt(117, 200),
    Unbuilt(118, 236),
    Unbuilt(119, 236),
    Unbuilt(120, 421),
    Unbuilt(121, 204),
    Unbuilt(122, 491),
    Unbuilt(200, 386),
    Unbuilt(201, 292),
    Unbuilt(202, 495),
    Unbuilt(203, 197),
    Unbuilt(204, 136),
    Unbuilt(205, 392),
    Unbuilt(207, 201),
    Unbuilt(208, 200),
};

// The saved login is what relogins replay; it is kept even when the fill
// fails so that it always mirrors the host's last login request.
void SaveLogin(TradeClient& client, const Json::Value& request) {
  std::lock_guard<std::mutex> hold(client.savedLoginLock);
  client.savedLogin = request;
}

std::optional<uint32_t> BodySizeFor(const OutboundRoute& route, const Json::Value& request) {
  if (route.countKey == nullptr) return route.bodySize;
  const Json::Value& count = request[route.countKey];
  if (!count.isInt()) return std::nullopt;
  return CountedBodySize(route, count.asInt());
}

}  // namespace

const OutboundRoute* FindOutboundRoute(uint32_t funcId) {
  const auto found = std::lower_bound(
      std::begin(kRoutes), std::end(kRoutes), funcId,
      [](const OutboundRoute& route, uint32_t id) { return route.funcId < id; });
  return (found != std::end(kRoutes) && found->funcId == funcId) ? found : nullptr;
}

std::optional<uint32_t> CountedBodySize(const OutboundRoute& route, int64_t count) {
  if (count < 0) return std::nullopt;
  const uint64_t size = route.bodySize + static_cast<uint64_t>(count) * route.recordSize;
  if (size > kMaxBodyLength) return std::nullopt;
  return static_cast<uint32_t>(size);
}

bool DispatchRequest(TradeClient& client, Json::Value& request, TradeRequestData& out) {
  const Json::Value& funcIdValue = static_cast<const Json::Value&>(request)["funcId"];
  if (!funcIdValue.isInt()) return false;
  const int32_t funcId = funcIdValue.asInt();
  if (funcId < 1) return false;
  const OutboundRoute* route = FindOutboundRoute(static_cast<uint32_t>(funcId));
  if (route == nullptr) return false;
  if (funcId == kLoginType) SaveLogin(client, request);

  const std::optional<uint32_t> bodySize = BodySizeFor(*route, request);
  if (!bodySize || route->fill == nullptr) return false;
  std::vector<uint8_t> body(*bodySize, 0);
  if (!route->fill(client, request, body.data(), body.size())) return false;

  const uint64_t requestId = ++client.requestSeq;
  out.frame = std::make_shared<const Frame>(
      PackRequest(route->funcId, body.data(), *bodySize, requestId));
  out.requestId = requestId;
  out.messageType = route->funcId;
  return true;
}

}  // namespace tessel
