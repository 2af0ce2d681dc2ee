// Answers to OrderSubmit, OrderCancel, QryMaxSell and QryMaxBuy.
#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

constexpr AnswerField kOrderSubmitFields[] = {
    kAnswerHead[0], kAnswerHead[1], kAnswerHead[2],
    {"request_no", FieldKind::RestText, 323, 0},
};

// OrderCancel has a head of its own: the cancel's number before the error.
constexpr AnswerField kOrderCancelFields[] = {
    {"user_name", FieldKind::Text, 0, 64},
    {"request_no", FieldKind::Text, 64, 128},
    {"error_no", FieldKind::Int32, 192, 4},
    {"error_info", FieldKind::RestText, 196, 0},
};

// The sell answer spells its client key "cliend_id", the buy answer does not.
constexpr AnswerField kQryMaxSellFields[] = {
    kAnswerHead[0], kAnswerHead[1], kAnswerHead[2],
    {"cliend_id", FieldKind::Text, 323, 64},
    {"fund_account", FieldKind::Text, 387, 64},
    {"enable_amount", FieldKind::Double, 451, 8},
};
constexpr AnswerField kQryMaxBuyFields[] = {
    kAnswerHead[0], kAnswerHead[1], kAnswerHead[2],
    {"client_id", FieldKind::Text, 323, 64},
    {"fund_account", FieldKind::Text, 387, 64},
    {"enable_amount", FieldKind::Double, 451, 8},
};

}  // namespace

const AnswerLayout kOrderSubmitAnswer{Fields(kOrderSubmitFields), nullptr,
                                      kAnswerHeadErrorNoOffset, true};
const AnswerLayout kOrderCancelAnswer{Fields(kOrderCancelFields), nullptr, 192, true};
const AnswerLayout kQryMaxSellAnswer{Fields(kQryMaxSellFields), nullptr,
                                     kAnswerHeadErrorNoOffset, true};
const AnswerLayout kQryMaxBuyAnswer{Fields(kQryMaxBuyFields), nullptr, kAnswerHeadErrorNoOffset,
                                    true};

}  // namespace tessel
