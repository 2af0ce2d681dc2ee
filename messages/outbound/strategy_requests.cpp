#include "messages/outbound/strategy_requests.h"

namespace tessel {
namespace {

// These queries name the user "username".
constexpr RequestField kStrategyOpening[] = {
    {"request_no", 0, 8, Rule::OrderNumber},
    {"username", 8, 64, Rule::Text},
    {"client_id", 72, 64, Rule::Text},
};
// One text, passed on unsplit.
constexpr RequestField kMatchedStockTail[] = {
    {"strategy_codes", 136, 256, Rule::Text},
};
constexpr RequestField kBargainSummaryTail[] = {
    {"fund_account", 136, 64, Rule::Text},
    {"security_exchange", 200, 1, Rule::Int},
};
constexpr RequestField kEntrustConfigTail[] = {
    {"fund_account", 136, 64, Rule::Text},
};
constexpr auto kMatchedStockFields = Join(kStrategyOpening, kMatchedStockTail);
constexpr auto kBargainSummaryFields = Join(kStrategyOpening, kBargainSummaryTail);
constexpr auto kEntrustConfigFields = Join(kStrategyOpening, kEntrustConfigTail);

}  // namespace

constexpr RequestLayout kQueryStrategyInfoRequest =
    Plain(204, "QueryStrategyInfo", 136, kStrategyOpening);
constexpr RequestLayout kQueryHistoryMatchedStockListRequest =
    Plain(205, "QueryHistoryMatchedStockList", 392, kMatchedStockFields);
constexpr RequestLayout kQueryBargainSummaryRequest =
    Plain(207, "QueryBargainSummary", 201, kBargainSummaryFields);
constexpr RequestLayout kQueryEntrustConfigRequest =
    Plain(208, "QueryEntrustConfig", 200, kEntrustConfigFields);

}  // namespace tessel
