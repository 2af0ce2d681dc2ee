// Answers to the algorithm and condition-order requests. Times are numbers
// here, unlike the request number, which stays decimal text; code bytes are
// reported unmapped.
#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

constexpr uint32_t kErrorNo = 72;
// The algorithm answers name the user "user_name", the condition-order
// answers "username".
constexpr AnswerField kAlgorithmHead[] = {
    {"request_no", FieldKind::U64Text, 0, 8},
    {"user_name", FieldKind::Text, 8, 64},
    {"error_no", FieldKind::Int32, kErrorNo, 4},
    {"error_info", FieldKind::Text, 76, 256},
};
constexpr AnswerField kConditionHead[] = {
    {"request_no", FieldKind::U64Text, 0, 8},
    {"username", FieldKind::Text, 8, 64},
    {"error_no", FieldKind::Int32, kErrorNo, 4},
    {"error_info", FieldKind::Text, 76, 256},
};
constexpr AnswerField kOperAlgorithmFields[] = {
    kAlgorithmHead[0], kAlgorithmHead[1], kAlgorithmHead[2], kAlgorithmHead[3],
    {"algorithm_or_order_no", FieldKind::RestText, 332, 0},
};
constexpr AnswerField kOperConditionFields[] = {
    kConditionHead[0], kConditionHead[1], kConditionHead[2], kConditionHead[3],
    {"condition_no", FieldKind::RestText, 332, 0},
};
constexpr AnswerField kQuickConditionFields[] = {
    kConditionHead[0], kConditionHead[1], kConditionHead[2], kConditionHead[3],
    {"order_request_no", FieldKind::RestText, 332, 0},
};

constexpr AnswerField kAlgorithmRecord[] = {
    {"client_id", FieldKind::Text, 0, 64},
    {"fund_account", FieldKind::Text, 64, 64},
    {"algorithm_no", FieldKind::Text, 128, 32},
    {"basket_no", FieldKind::Text, 160, 32},
    {"batch_no", FieldKind::Text, 192, 32},
    {"algorithm_type", FieldKind::Text, 224, 16},
    {"security_code", FieldKind::Text, 240, 12},
    {"security_name", FieldKind::Text, 252, 64},
    {"security_exchange", FieldKind::Code, 316, 1},
    {"entrust_bs", FieldKind::Code, 317, 1},
    {"entrust_amount", FieldKind::Double, 318, 8},
    {"entrust_amount_remain", FieldKind::Double, 326, 8},
    {"business_amount", FieldKind::Double, 334, 8},
    {"algorithm_status", FieldKind::Text, 342, 16},
    {"entrust_time", FieldKind::U64, 358, 8},
    {"begin_time", FieldKind::U64, 366, 8},
    {"end_time", FieldKind::U64, 374, 8},
    {"limit_price_basic", FieldKind::Text, 382, 16},
    {"limit_price_unit", FieldKind::Text, 398, 16},
    {"limit_price_change", FieldKind::Double, 414, 8},
    {"quantity_ratio", FieldKind::Int32, 422, 4},
    {"stop_sell_limit_up", FieldKind::Int32, 426, 4},
    {"cancel_order_limit_down", FieldKind::Int32, 430, 4},
    {"smallest_entrust_amount", FieldKind::Double, 434, 8},
    {"smallest_entrust_balance", FieldKind::Double, 442, 8},
    {"position_str", FieldKind::Text, 450, 32},
    {"price_type", FieldKind::Text, 482, 8},
};
constexpr AnswerField kAlgorithmOrderRecord[] = {
    {"order_no", FieldKind::Text, 0, 32},
    {"fund_account", FieldKind::Text, 32, 64},
    {"security_code", FieldKind::Text, 96, 12},
    {"security_name", FieldKind::Text, 108, 64},
    {"security_exchange", FieldKind::Code, 172, 1},
    {"entrust_no", FieldKind::Text, 173, 32},
    {"entrust_bs", FieldKind::Code, 205, 1},
    {"entrust_price", FieldKind::Double, 206, 8},
    {"entrust_amount", FieldKind::Double, 214, 8},
    {"entrust_status", FieldKind::Code, 222, 1},
    {"business_amount", FieldKind::Double, 223, 8},
    {"business_balance", FieldKind::Double, 231, 8},
    {"business_price", FieldKind::Double, 239, 8},
    {"entrust_time", FieldKind::U64, 247, 8},
    {"entrust_msg", FieldKind::Text, 255, 128},
    {"position_str", FieldKind::Text, 383, 32},
};
constexpr AnswerField kConditionRecord[] = {
    {"condition_no", FieldKind::Text, 0, 32},
    {"security_code", FieldKind::Text, 32, 12},
    {"security_name", FieldKind::Text, 44, 64},
    {"security_exchange", FieldKind::Code, 108, 1},
    {"con_type", FieldKind::Text, 109, 16},
    {"entrust_bs", FieldKind::Code, 125, 1},
    {"con_trigger_date", FieldKind::Text, 126, 12},
    {"con_trigger_price", FieldKind::Double, 138, 8},
    {"entrust_amount", FieldKind::Double, 146, 8},
    {"remark", FieldKind::Text, 154, 120},
    {"status", FieldKind::Text, 274, 20},
    {"message", FieldKind::Text, 294, 120},
    {"position_str", FieldKind::Text, 414, 32},
    {"fund_account", FieldKind::Text, 446, 64},
};
static_assert(RecordSize(Fields(kAlgorithmRecord)) == 490);
static_assert(RecordSize(Fields(kAlgorithmOrderRecord)) == 415);
static_assert(RecordSize(Fields(kConditionRecord)) == 510);

constexpr uint32_t kRecordsAfterHead = 332;
const RecordBlock kAlgorithmBlock{kRecordsAfterHead, "record_set", Fields(kAlgorithmRecord),
                                  "record_set_cnt", "record_set_size"};
const RecordBlock kAlgorithmOrderBlock{kRecordsAfterHead, "record_set",
                                       Fields(kAlgorithmOrderRecord), "record_set_cnt",
                                       "record_set_size"};
const RecordBlock kConditionBlock{kRecordsAfterHead, "record_set", Fields(kConditionRecord),
                                  "record_set_cnt", "record_set_size"};

}  // namespace

// All of them ask for a relogin on -999.
const AnswerLayout kQueryAlgorithmListAnswer{Fields(kAlgorithmHead), &kAlgorithmBlock, kErrorNo,
                                             true};
const AnswerLayout kQueryAlgorithmEntrustOrderAnswer{Fields(kAlgorithmHead),
                                                     &kAlgorithmOrderBlock, kErrorNo, true};
const AnswerLayout kOperAlgorithmAnswer{Fields(kOperAlgorithmFields), nullptr, kErrorNo, true};
const AnswerLayout kOperConditionOrderAnswer{Fields(kOperConditionFields), nullptr, kErrorNo,
                                             true};
const AnswerLayout kQueryConditionOrderListAnswer{Fields(kConditionHead), &kConditionBlock,
                                                  kErrorNo, true};
const AnswerLayout kQuickConditionOrderAnswer{Fields(kQuickConditionFields), nullptr, kErrorNo,
                                              true};

}  // namespace tessel
