#include "messages/outbound/order_requests.h"

namespace tessel {
namespace {

// What an order and its cancel share, in the order the keys are read:
// "code" before "mark" although it sits after it.
constexpr RequestField kOrderOpening[] = {
    {"user_name", 0, 64, Rule::Text},
    {"client_id", 64, 64, Rule::Text},
    {"fund_account", 128, 64, Rule::Text},
    {"operator_id", 192, 64, Rule::Text},
    {"code", 385, 12, Rule::Text},
    {"mark", 384, 1, Rule::Int},
    {"code_name", 397, 64, Rule::Text},
    {"entrust_vol", 461, 8, Rule::WholeDouble},
    {"entrust_price", 469, 8, Rule::Number},
};

constexpr RequestField kOrderSubmitTail[] = {
    {"entrust_bs", 477, 1, Rule::Int},
    {"entrust_prop", 478, 1, Rule::Int},
    {"business_type", 479, 1, Rule::Int},
    {"allow_cancel_order", 480, 1, Rule::Int},
    {"request_no", 256, 128, Rule::OrderNoText},
    {"reserved", 481, 254, Rule::Reserved},
};
constexpr auto kOrderSubmitFields = Join(kOrderOpening, kOrderSubmitTail);

// The host's "request_no" names the order to withdraw; the cancel itself
// gets a generated number of its own.
constexpr RequestField kOrderCancelTail[] = {
    {"entrust_type", 477, 1, Rule::Int},
    {"request_no", 478, 128, Rule::Text, nullptr, "orig_request_no"},
    {"request_no", 256, 128, Rule::OrderNoText},
    {"reserved", 606, 256, Rule::Reserved},
};
constexpr auto kOrderCancelFields = Join(kOrderOpening, kOrderCancelTail);

constexpr RequestField kQryMaxSellFields[] = {
    {"user_name", 0, 64, Rule::Text},
    {"client_id", 64, 64, Rule::Text},
    {"fund_account", 128, 64, Rule::Text},
    {"entrust_prop", 192, 1, Rule::Int},
    {"mark", 193, 1, Rule::Int},
    {"code", 194, 12, Rule::Text},
};

constexpr RequestField kQryMaxBuyExtra[] = {
    {"entrust_price", 206, 8, Rule::Number},
    {"trade_unit", 214, 4, Rule::Int},
};
constexpr auto kQryMaxBuyFields = Join(kQryMaxSellFields, kQryMaxBuyExtra);

}  // namespace

constexpr RequestLayout kOrderSubmitRequest = Plain(4, "OrderSubmit", 735, kOrderSubmitFields);
constexpr RequestLayout kOrderCancelRequest = Plain(5, "OrderCancel", 862, kOrderCancelFields);
constexpr RequestLayout kQryMaxSellRequest = Plain(13, "QryMaxSell", 206, kQryMaxSellFields);
constexpr RequestLayout kQryMaxBuyRequest = Plain(14, "QryMaxBuy", 218, kQryMaxBuyFields);

}  // namespace tessel
