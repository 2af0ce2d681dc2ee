// Answers to the strategy and statistics queries. Their head names the user
// "username"; the entrust configuration alone reports its request number as
// a number.
#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

constexpr uint32_t kErrorNo = 72;
constexpr AnswerField kHead[] = {
    {"request_no", FieldKind::U64Text, 0, 8},
    {"username", FieldKind::Text, 8, 64},
    {"error_no", FieldKind::Int32, kErrorNo, 4},
    {"error_info", FieldKind::Text, 76, 256},
};

constexpr AnswerField kStrategyRecord[] = {
    {"strategy_code", FieldKind::Text, 0, 32},
    {"strategy_name", FieldKind::Text, 32, 64},
    {"strategy_desc", FieldKind::Text, 96, 512},
    {"strategy_desc_ext", FieldKind::Text, 608, 512},
};
// The exchange byte is reported twice: as sent, and mapped to a market.
constexpr AnswerField kMatchedStockRecord[] = {
    {"security_code", FieldKind::Text, 0, 12},
    {"security_exchange", FieldKind::Code, 12, 1},
    {"market", FieldKind::MarketCode, 12, 1},
    {"trade_status", FieldKind::Int32, 13, 4},
    {"matched_time", FieldKind::U64Text, 17, 8},
};
static_assert(RecordSize(Fields(kStrategyRecord)) == 1120);
static_assert(RecordSize(Fields(kMatchedStockRecord)) == 25);

const RecordBlock kStrategyBlock{332, "record_set", Fields(kStrategyRecord), "record_set_cnt",
                                 "record_set_size"};
constexpr AnswerField kMatchedStockFields[] = {
    kHead[0], kHead[1], kHead[2], kHead[3],
    {"strategy_code", FieldKind::Text, 332, 32},
};
const RecordBlock kMatchedStockBlock{364, "record_set", Fields(kMatchedStockRecord),
                                     "record_set_cnt", "record_set_size"};

constexpr AnswerField kBargainSummaryFields[] = {
    kHead[0], kHead[1], kHead[2], kHead[3],
    {"bargain_balance", FieldKind::Double, 332, 8},
    {"trans_amount", FieldKind::Int32, 340, 4},
};
constexpr AnswerField kEntrustConfigFields[] = {
    {"request_no", FieldKind::U64, 0, 8},
    kHead[1], kHead[2], kHead[3],
    {"currency", FieldKind::Code, 332, 1},
    {"dma", FieldKind::Code, 333, 1},
    {"balance", FieldKind::Double, 334, 8},
};

}  // namespace

// All of them ask for a relogin on -999.
const AnswerLayout kQueryStrategyInfoAnswer{Fields(kHead), &kStrategyBlock, kErrorNo, true};
const AnswerLayout kQueryHistoryMatchedStockListAnswer{Fields(kMatchedStockFields),
                                                       &kMatchedStockBlock, kErrorNo, true};
const AnswerLayout kQueryBargainSummaryAnswer{Fields(kBargainSummaryFields), nullptr, kErrorNo,
                                              true};
const AnswerLayout kQueryEntrustConfigAnswer{Fields(kEntrustConfigFields), nullptr, kErrorNo,
                                             true};

}  // namespace tessel
