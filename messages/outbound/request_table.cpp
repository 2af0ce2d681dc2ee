// Every request message the client can send, by funcId.
#include <algorithm>
#include <iterator>

#include "messages/outbound/algorithm_requests.h"
#include "messages/outbound/basket_requests.h"
#include "messages/outbound/order_requests.h"
#include "messages/outbound/query_requests.h"
#include "messages/outbound/request_layout.h"
#include "messages/outbound/session_requests.h"
#include "messages/outbound/strategy_requests.h"

namespace tessel {
namespace {

// Ascending by funcId.
const RequestLayout* const kRequests[] = {
    &kLoginRequest,
    &kLogoutRequest,
    &kOrderSubmitRequest,
    &kOrderCancelRequest,
    &kQryMoneyRequest,
    &kQryHolderRequest,
    &kQryCurOrderRequest,
    &kQryCurTradeRequest,
    &kQryHisOrderRequest,
    &kQryHisTradeRequest,
    &kQryMaxSellRequest,
    &kQryMaxBuyRequest,
    &kQryProfitAndLossRequest,
    &kQryHisTradeNumRequest,
    &kQryHisOrderNumRequest,
    &kModifyPwdRequest,
    &kOptionalOperationRequest,
    &kUserMenuauthRequest,
    &kUserStockListRequest,
    &kQueryDealListRequest,
    &kQueryCapitalListRequest,
    &kCreateBasketRequest,
    &kUpdateBasketRequest,
    &kDeleteBasketRequest,
    &kQueryBasketRequest,
    &kAddBasketSecurityRequest,
    &kDelBasketSecurityRequest,
    &kUpdateBasketSecurityRequest,
    &kAddBasketSecurityBatchRequest,
    &kQueryBasketDetailRequest,
    &kStartBasketPlanRequest,
    &kQueryBasketPlanRequest,
    &kQueryBasketPlanDetailRequest,
    &kQueryBasketEntrustOrderRequest,
    &kQueryBasketBargainOrderRequest,
    &kQueryAlgorithmListRequest,
    &kQueryAlgorithmEntrustOrderRequest,
    &kOperAlgorithmRequest,
    &kCreateConditionOrderRequest,
    &kQueryConditionOrderListRequest,
    &kQuickConditionOrderRequest,
    &kOperConditionOrderRequest,
    &kQueryStrategyInfoRequest,
    &kQueryHistoryMatchedStockListRequest,
    &kQueryBargainSummaryRequest,
    &kQueryEntrustConfigRequest,
};

}  // namespace

const RequestLayout* FindRequestLayout(uint32_t funcId) {
  const auto found = std::lower_bound(
      std::begin(kRequests), std::end(kRequests), funcId,
      [](const RequestLayout* layout, uint32_t id) { return layout->funcId < id; });
  return (found != std::end(kRequests) && (*found)->funcId == funcId) ? *found : nullptr;
}

const RequestLayout* const* AllRequestLayouts(size_t& count) {
  count = std::size(kRequests);
  return kRequests;
}

}  // namespace tessel
