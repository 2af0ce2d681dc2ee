// Answers to the basket and basket plan requests. Code bytes are reported
// as they came, signed; no market or direction mapping applies here.
#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

// Most of these answers open with the request number, then the error, then
// the user.
constexpr uint32_t kErrorNoAfterNumber = 8;
constexpr AnswerField kHead[3] = {
    {"request_no", FieldKind::U64Text, 0, 8},
    {"error_no", FieldKind::Int32, kErrorNoAfterNumber, 4},
    {"error_info", FieldKind::Text, 12, 256},
};

constexpr AnswerField kHeadOnly[] = {
    kHead[0], kHead[1], kHead[2],
    {"user_name", FieldKind::Text, 268, 64},
};
// The batch answer ends with its user name, which runs to its zero.
constexpr AnswerField kBatchFields[] = {
    kHead[0], kHead[1], kHead[2],
    {"user_name", FieldKind::RestText, 268, 0},
};
constexpr AnswerField kCreateBasketFields[] = {
    kHead[0], kHead[1], kHead[2],
    {"user_name", FieldKind::Text, 268, 64},
    {"basket_no", FieldKind::Text, 332, 32},
    {"basket_name", FieldKind::Text, 364, 256},
    {"basket_type", FieldKind::RestText, 620, 0},
};
constexpr AnswerField kBasketNoFields[] = {
    kHead[0], kHead[1], kHead[2],
    {"user_name", FieldKind::Text, 268, 64},
    {"basket_no", FieldKind::RestText, 332, 0},
};
constexpr AnswerField kAddSecurityFields[] = {
    kHead[0], kHead[1], kHead[2],
    {"user_name", FieldKind::Text, 268, 64},
    {"basket_detail_id", FieldKind::RestText, 332, 0},
};
constexpr AnswerField kStartPlanFields[] = {
    kHead[0], kHead[1], kHead[2],
    {"user_name", FieldKind::Text, 268, 64},
    {"basket_no", FieldKind::Text, 332, 32},
    {"batch_no", FieldKind::RestText, 364, 0},
};
constexpr AnswerField kPlanFields[] = {
    kHead[0], kHead[1], kHead[2],
    {"user_name", FieldKind::Text, 268, 64},
    {"basket_no", FieldKind::Text, 332, 32},
    {"batch_no", FieldKind::Text, 364, 32},
};

// Removing or changing one security: its detail id comes before the error.
constexpr uint32_t kErrorNoAfterDetailId = 72;
constexpr AnswerField kDetailIdFields[] = {
    {"request_no", FieldKind::U64Text, 0, 8},
    {"basket_detail_id", FieldKind::Text, 8, 64},
    {"error_no", FieldKind::Int32, kErrorNoAfterDetailId, 4},
    {"error_info", FieldKind::Text, 76, 256},
    {"user_name", FieldKind::RestText, 332, 0},
};

constexpr AnswerField kBasketRecord[] = {
    {"basket_no", FieldKind::Text, 0, 32},
    {"basket_name", FieldKind::Text, 32, 256},
    {"type", FieldKind::Text, 288, 32},
};
constexpr AnswerField kBasketDetailRecord[] = {
    {"basket_no", FieldKind::Text, 0, 32},
    {"basket_detail_id", FieldKind::Text, 32, 64},
    {"security_code", FieldKind::Text, 96, 12},
    {"security_name", FieldKind::Text, 108, 64},
    {"security_exchange", FieldKind::Code, 172, 1},
    {"algorithm_type", FieldKind::Text, 173, 16},
    {"entrust_bs", FieldKind::Code, 189, 1},
    {"entrust_price_type", FieldKind::Text, 190, 4},
    {"limit_price", FieldKind::Double, 194, 8},
    {"price", FieldKind::Double, 202, 8},
    {"amount", FieldKind::Int32, 210, 4},
    {"smallest_entrust_amount", FieldKind::Double, 214, 8},
    {"smallest_entrust_balance", FieldKind::Double, 222, 8},
};
constexpr AnswerField kPlanRecord[] = {
    {"basket_no", FieldKind::Text, 0, 32},
    {"batch_no", FieldKind::Text, 32, 32},
    {"basket_name", FieldKind::Text, 64, 128},
    {"fund_account", FieldKind::Text, 192, 64},
    {"basket_type", FieldKind::Text, 256, 16},
    {"status", FieldKind::Text, 272, 32},
    {"start_time", FieldKind::U64Text, 304, 8},
    {"business_amount", FieldKind::Double, 312, 8},
    {"entrust_amount", FieldKind::Double, 320, 8},
};
constexpr AnswerField kPlanDetailRecord[] = {
    {"security_code", FieldKind::Text, 0, 12},
    {"security_name", FieldKind::Text, 12, 64},
    {"security_exchange", FieldKind::Code, 76, 1},
    {"algorithm_type", FieldKind::Text, 77, 16},
    {"entrust_bs", FieldKind::Code, 93, 1},
    {"entrust_price_type", FieldKind::Text, 94, 4},
    {"entrust_price", FieldKind::Double, 98, 8},
    {"entrust_amount", FieldKind::Double, 106, 8},
    {"business_entrust_amount", FieldKind::Double, 114, 8},
};
constexpr AnswerField kPlanEntrustRecord[] = {
    {"security_code", FieldKind::Text, 0, 12},
    {"security_name", FieldKind::Text, 12, 64},
    {"security_exchange", FieldKind::Code, 76, 1},
    {"entrust_bs", FieldKind::Code, 77, 1},
    {"entrust_price", FieldKind::Double, 78, 8},
    {"entrust_amount", FieldKind::Double, 86, 8},
    {"entrust_status", FieldKind::Code, 94, 1},
    {"entrust_time", FieldKind::U64Text, 95, 8},
    {"business_amount", FieldKind::Double, 103, 8},
    {"business_balance", FieldKind::Double, 111, 8},
    {"business_price", FieldKind::Double, 119, 8},
    {"entrust_msg", FieldKind::Text, 127, 128},
    {"position_str", FieldKind::Text, 255, 32},
};
constexpr AnswerField kPlanBargainRecord[] = {
    {"security_code", FieldKind::Text, 0, 12},
    {"security_name", FieldKind::Text, 12, 64},
    {"security_exchange", FieldKind::Code, 76, 1},
    {"entrust_bs", FieldKind::Code, 77, 1},
    {"business_amount", FieldKind::Double, 78, 8},
    {"business_balance", FieldKind::Double, 86, 8},
    {"business_price", FieldKind::Double, 94, 8},
    {"business_time", FieldKind::U64Text, 102, 8},
    {"position_str", FieldKind::Text, 110, 32},
};
static_assert(RecordSize(Fields(kBasketRecord)) == 320);
static_assert(RecordSize(Fields(kBasketDetailRecord)) == 230);
static_assert(RecordSize(Fields(kPlanRecord)) == 328);
static_assert(RecordSize(Fields(kPlanDetailRecord)) == 122);
static_assert(RecordSize(Fields(kPlanEntrustRecord)) == 287);
static_assert(RecordSize(Fields(kPlanBargainRecord)) == 142);

// Right after the head, or after the plan's basket and batch numbers.
constexpr uint32_t kRecordsAfterHead = 332;
constexpr uint32_t kRecordsAfterPlan = 396;
const RecordBlock kBasketBlock{kRecordsAfterHead, "record_set", Fields(kBasketRecord),
                               "record_set_cnt", "record_set_size"};
const RecordBlock kBasketDetailBlock{kRecordsAfterHead, "record_set", Fields(kBasketDetailRecord),
                                     "record_set_cnt", "record_set_size"};
const RecordBlock kPlanBlock{kRecordsAfterHead, "record_set", Fields(kPlanRecord),
                             "record_set_cnt", "record_set_size"};
const RecordBlock kPlanDetailBlock{kRecordsAfterPlan, "record_set", Fields(kPlanDetailRecord),
                                   "record_set_cnt", "record_set_size"};
const RecordBlock kPlanEntrustBlock{kRecordsAfterPlan, "record_set", Fields(kPlanEntrustRecord),
                                    "record_set_cnt", "record_set_size"};
const RecordBlock kPlanBargainBlock{kRecordsAfterPlan, "record_set", Fields(kPlanBargainRecord),
                                   "record_set_cnt", "record_set_size"};

}  // namespace

// Every basket and basket plan answer asks for a relogin on -999.
const AnswerLayout kCreateBasketAnswer{Fields(kCreateBasketFields), nullptr, kErrorNoAfterNumber,
                                       true};
const AnswerLayout kUpdateBasketAnswer{Fields(kBasketNoFields), nullptr, kErrorNoAfterNumber,
                                       true};
const AnswerLayout kDeleteBasketAnswer{Fields(kBasketNoFields), nullptr, kErrorNoAfterNumber,
                                       true};
const AnswerLayout kQueryBasketAnswer{Fields(kHeadOnly), &kBasketBlock, kErrorNoAfterNumber,
                                      true};
const AnswerLayout kAddBasketSecurityAnswer{Fields(kAddSecurityFields), nullptr,
                                            kErrorNoAfterNumber, true};
const AnswerLayout kDelBasketSecurityAnswer{Fields(kDetailIdFields), nullptr,
                                            kErrorNoAfterDetailId, true};
const AnswerLayout kUpdateBasketSecurityAnswer{Fields(kDetailIdFields), nullptr,
                                               kErrorNoAfterDetailId, true};
const AnswerLayout kAddBasketSecurityBatchAnswer{Fields(kBatchFields), nullptr,
                                                 kErrorNoAfterNumber, true};
const AnswerLayout kQueryBasketDetailAnswer{Fields(kHeadOnly), &kBasketDetailBlock,
                                            kErrorNoAfterNumber, true};
const AnswerLayout kStartBasketPlanAnswer{Fields(kStartPlanFields), nullptr, kErrorNoAfterNumber,
                                          true};
const AnswerLayout kQueryBasketPlanAnswer{Fields(kHeadOnly), &kPlanBlock, kErrorNoAfterNumber,
                                          true};
const AnswerLayout kQueryBasketPlanDetailAnswer{Fields(kPlanFields), &kPlanDetailBlock,
                                                kErrorNoAfterNumber, true};
const AnswerLayout kQueryBasketEntrustOrderAnswer{Fields(kPlanFields), &kPlanEntrustBlock,
                                                  kErrorNoAfterNumber, true};
const AnswerLayout kQueryBasketBargainOrderAnswer{Fields(kPlanFields), &kPlanBargainBlock,
                                                  kErrorNoAfterNumber, true};

}  // namespace tessel
