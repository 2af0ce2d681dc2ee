#include <algorithm>
#include <iterator>

#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

// Ascending by type.
const AnswerType kAnswerTypes[] = {
    {4, "Receive Entrust Order Rsp", &kOrderSubmitAnswer},
    {5, "Receive Entrust Order Withdraw Rsp", &kOrderCancelAnswer},
    {6, "Receive Query Fund Rsp", &kQryMoneyAnswer},
    {7, "Receive Query Position Rsp", &kQryHolderAnswer},
    {8, "Receive Query Entrust Rsp", &kQryCurOrderAnswer},
    {9, "Receive Query Bargain Rsp", &kQryCurTradeAnswer},
    {11, "Receive Query History Order Rsp", &kQryHisOrderAnswer},
    {12, "Receive Query History Bargain Rsp", &kQryHisTradeAnswer},
    {13, "Receive Query Max Stock Quantity Rsp", &kQryMaxSellAnswer},
    {14, "Receive Query Max Stock Fund Rsp", &kQryMaxBuyAnswer},
    {15, "Receive Query Profit and Loss Rsp", &kQryProfitAndLossAnswer},
    {16, "Receive Query History Bargain Num Rsp", &kQryHisTradeNumAnswer},
    {18, "Receive Query History Order Num Rsp", &kQryHisOrderNumAnswer},
    {100, "Receive Modify Password Rsp", &kModifyPwdAnswer},
    {101, "Receive Query Optional List Rsp", &kOptionalOperationAnswer},
    {102, "Receive User Menu auth Rsp", &kUserMenuauthAnswer},
    {103, "Receive User Tradable Stock List Rsp", &kUserStockListAnswer},
    {104, "Receive Query Dealer List Rsp", &kQueryDealListAnswer},
    {105, "Receive Query Capital List Rsp", &kQueryCapitalListAnswer},
    {106, "Receive Create Basket Rsp", &kCreateBasketAnswer},
    {107, "Receive Update Basket Rsp", &kUpdateBasketAnswer},
    {108, "Receive Delete Basket Rsp", &kDeleteBasketAnswer},
    {109, "Receive Query Basket Rsp", &kQueryBasketAnswer},
    {110, "Receive Add Basket Security Rsp", &kAddBasketSecurityAnswer},
    {111, "Receive Del Basket Security Rsp", &kDelBasketSecurityAnswer},
    {112, "Receive Update Basket Security Rsp", &kUpdateBasketSecurityAnswer},
    {113, "Receive Add Basket Security Batch Rsp", &kAddBasketSecurityBatchAnswer},
    {114, "Receive Query Basket Detail Rsp", &kQueryBasketDetailAnswer},
    {115, "Receive Start Basket Plan Rsp", &kStartBasketPlanAnswer},
    {116, "Receive Query Basket Plan Rsp", &kQueryBasketPlanAnswer},
    {117, "Receive Query Basket Plan Detail Rsp", &kQueryBasketPlanDetailAnswer},
    {118, "Receive Query Basket Entrust Order", &kQueryBasketEntrustOrderAnswer},
    {119, "Receive Query Basket Bargain Order", &kQueryBasketBargainOrderAnswer},
    {120, "Receive Query Algorithm List Rsp", &kQueryAlgorithmListAnswer},
    {121, "Receive Query Algorithm Entrust Order", &kQueryAlgorithmEntrustOrderAnswer},
    {122, "Receive Oper Algorithm Rsp", &kOperAlgorithmAnswer},
    {200, "Receive Oper Condition Order Rsp", &kOperConditionOrderAnswer},
    {201, "Receive Query Condition Order List Rsp", &kQueryConditionOrderListAnswer},
    {202, "Receive Quick Condition Order Rsp", &kQuickConditionOrderAnswer},
    {203, "Receive Oper Condition Order Rsp", &kOperConditionOrderAnswer},
    {204, "Receive Query Strategy Info Rsp", &kQueryStrategyInfoAnswer},
    {205, "Receive Query History Strategy Matched Stock List Rsp",
     &kQueryHistoryMatchedStockListAnswer},
    {207, "Receive Query Bargain Summary Rsp", &kQueryBargainSummaryAnswer},
    {208, "Receive Query Entrust Config Rsp", &kQueryEntrustConfigAnswer},
};

const PushType kPushTypes[] = {
    {10, "kZELMessageTypePushExecutionReport", &kExecutionReportPush, true, true, true},
    {17, "kZELMessageTypePushOrderProcessInfo", &kOrderProgressPush, true, false, false},
    {206, "kZELMessageTypeEx1AiMatchStockReport", &kStrategyMatchPush, true, false, false},
    {300, "kZELMessageTypeExSecurityInfoPush", &kSecurityInfoPush, true, false, false},
    {301, "kZELMessageTypeExAccountQueryFundPush", &kFundChangePush, true, true, false},
    {302, "kZELMessageTypeExAccountQueryPositionSinglePush", &kPositionChangePush, true, true,
     false},
    {303, "kZELMessageTypeExAccountQueryFundMarkValuePush", &kMarketValuePush, true, true, false},
    {304, "kZELMessageTypeExPlatformLimitBalancePush", &kLimitBalancePush, false, true, false},
    {305, "kZELMessageTypeExQueryEntrustConfigPush", &kEntrustConfigPush, false, true, false},
};

template <typename Row, size_t N>
const Row* FindByType(const Row (&rows)[N], uint32_t type) {
  const auto found = std::lower_bound(std::begin(rows), std::end(rows), type,
                                      [](const Row& row, uint32_t t) { return row.type < t; });
  return (found != std::end(rows) && found->type == type) ? found : nullptr;
}

}  // namespace

const AnswerType* FindAnswerType(uint32_t type) { return FindByType(kAnswerTypes, type); }
const PushType* FindPushType(uint32_t type) { return FindByType(kPushTypes, type); }

const AnswerType* AllAnswerTypes(size_t& count) {
  count = std::size(kAnswerTypes);
  return kAnswerTypes;
}

const PushType* AllPushTypes(size_t& count) {
  count = std::size(kPushTypes);
  return kPushTypes;
}

}  // namespace tessel
