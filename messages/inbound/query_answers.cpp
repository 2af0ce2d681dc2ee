// Answers to the account and order queries: funds, positions, today's
// orders and trades, past orders and trades.
#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

constexpr AnswerField kMoneyFields[] = {
    kAnswerHead[0], kAnswerHead[1], kAnswerHead[2],
    {"currency", FieldKind::Code, 323, 1},
    {"market_value", FieldKind::Double, 324, 8},
    {"total_asset", FieldKind::Double, 332, 8},
    {"net_asset", FieldKind::Double, 340, 8},
    {"purchase_power", FieldKind::Double, 348, 8},
    {"balance", FieldKind::Double, 356, 8},
    {"margin", FieldKind::Double, 364, 8},
    {"borrow_balance", FieldKind::Double, 372, 8},
    {"margin_remain", FieldKind::Double, 380, 8},
    {"margin_warn", FieldKind::Double, 388, 8},
    {"margin_add", FieldKind::Double, 396, 8},
    {"margin_close", FieldKind::Double, 404, 8},
    {"h_market_value", FieldKind::Double, 412, 8},
    {"local_currency", FieldKind::Int32, 420, 4},
    {"limit_total", FieldKind::Double, 424, 8},
    {"margin_call", FieldKind::Double, 432, 8},
};
constexpr AnswerField kMoneyRecord[] = {
    {"client_id", FieldKind::Text, 0, 64},
    {"fund_account", FieldKind::Text, 64, 64},
    {"currency", FieldKind::Code, 128, 1},
    {"enable_balance", FieldKind::Double, 129, 8},
    {"margin", FieldKind::Double, 137, 8},
    {"interest", FieldKind::Double, 145, 8},
};
const RecordBlock kMoneyBlock{440, "record_set", Fields(kMoneyRecord), "record_set_cnt", nullptr};

// The account and security every position, order and trade record opens
// with; the exchange byte is reported raw and as its market.
constexpr AnswerField kPositionOpening[] = {
    {"client_id", FieldKind::Text, 0, 64},
    {"fund_account", FieldKind::Text, 64, 64},
    {"exchange_type", FieldKind::Code, 128, 1},
    {"market", FieldKind::MarketCode, 128, 1},
    {"stock_code", FieldKind::Text, 129, 12},
    {"stock_name", FieldKind::Text, 141, 64},
};
// Orders go on with the order's number, side, kind, time, size and price.
constexpr AnswerField kOrderEntrust[] = {
    {"entrust_no", FieldKind::Text, 205, 128},
    {"entrust_bs", FieldKind::BsFlag, 333, 1},
    {"entrust_prop", FieldKind::Code, 334, 1},
    {"entrust_type", FieldKind::Code, 335, 1},
    {"entrust_date", FieldKind::Int32, 336, 4},
    {"entrust_time", FieldKind::Int32, 340, 4},
    {"entrust_vol", FieldKind::Double, 344, 8},
    {"entrust_price", FieldKind::Double, 352, 8},
};
constexpr auto kOrderOpening = Join(kPositionOpening, kOrderEntrust);

constexpr AnswerField kHolderTail[] = {
    {"currency", FieldKind::Code, 205, 1},
    {"current_vol", FieldKind::Double, 206, 8},
    {"enable_vol", FieldKind::Double, 214, 8},
    {"keep_cost_price", FieldKind::Double, 222, 8},
    {"last_price", FieldKind::Double, 230, 8},
    {"market_value", FieldKind::Double, 238, 8},
    {"income_balance", FieldKind::Double, 246, 8},
    {"position_str", FieldKind::Text, 254, 64},
};
constexpr auto kHolderRecord = Join(kPositionOpening, kHolderTail);
const RecordBlock kHolderBlock{323, "holders", Fields(kHolderRecord), "record_set_cnt", nullptr};

// "entrust_no" and "request_no" report the same field.
constexpr AnswerField kCurOrderTail[] = {
    {"business_volume", FieldKind::Double, 360, 8},
    {"entrust_status", FieldKind::Code, 368, 1},
    {"business_price", FieldKind::Double, 369, 8},
    {"business_amt", FieldKind::Double, 377, 8},
    {"business_date", FieldKind::Int32, 385, 4},
    {"business_time", FieldKind::Int32, 389, 4},
    {"currency", FieldKind::Code, 393, 1},
    {"session_type", FieldKind::Code, 394, 1},
    {"business_type", FieldKind::Code, 555, 1},
    {"position_str", FieldKind::Text, 395, 32},
    {"request_no", FieldKind::Text, 205, 128},
    {"orig_request_no", FieldKind::Text, 427, 128},
    {"allow_cancel_order", FieldKind::Code, 556, 1},
    {"text", FieldKind::Text, 557, 1024},
};
constexpr auto kCurOrderRecord = Join(kOrderOpening, kCurOrderTail);
const RecordBlock kCurOrderBlock{323, "records", Fields(kCurOrderRecord), nullptr, nullptr};

constexpr AnswerField kCurTradeTail[] = {
    {"entrust_bs", FieldKind::BsFlag, 205, 1},
    {"entrust_prop", FieldKind::Code, 206, 1},
    {"entrust_no", FieldKind::Text, 207, 128},
    {"business_vol", FieldKind::Double, 335, 8},
    {"business_price", FieldKind::Double, 343, 8},
    {"business_amt", FieldKind::Double, 351, 8},
    {"business_no", FieldKind::Text, 359, 64},
    {"business_date", FieldKind::Int32, 423, 4},
    {"business_time", FieldKind::Int32, 427, 4},
    {"real_type", FieldKind::Code, 431, 1},
    {"real_status", FieldKind::Code, 432, 1},
    {"currency", FieldKind::Code, 433, 1},
    {"session_type", FieldKind::Code, 434, 1},
    {"position_str", FieldKind::Text, 435, 32},
    {"request_no", FieldKind::Text, 467, 128},
    {"trade_fee", FieldKind::Double, 595, 8},
};
constexpr auto kCurTradeRecord = Join(kPositionOpening, kCurTradeTail);
const RecordBlock kCurTradeBlock{323, "records", Fields(kCurTradeRecord), nullptr, nullptr};

constexpr AnswerField kHisOrderTail[] = {
    {"business_vol", FieldKind::Double, 360, 8},
    {"entrust_status", FieldKind::Code, 368, 1},
    {"business_price", FieldKind::Double, 369, 8},
    {"business_balance", FieldKind::Double, 377, 8},
    {"business_date", FieldKind::Int32, 385, 4},
    {"business_time", FieldKind::Int32, 389, 4},
    {"currency", FieldKind::Code, 393, 1},
    {"session_type", FieldKind::Code, 394, 1},
    {"position_str", FieldKind::Text, 395, 64},
    {"request_no", FieldKind::Text, 459, 130},
    {"trade_date", FieldKind::Int32, 589, 4},
};
constexpr auto kHisOrderRecord = Join(kOrderOpening, kHisOrderTail);
const RecordBlock kHisOrderBlock{323, "record_set", Fields(kHisOrderRecord), "record_set_cnt",
                                 nullptr};

constexpr AnswerField kHisTradeTail[] = {
    {"entrust_bs", FieldKind::BsFlag, 205, 1},
    {"entrust_prop", FieldKind::Code, 206, 1},
    {"request_no", FieldKind::Text, 207, 128},
    {"business_vol", FieldKind::Double, 335, 8},
    {"business_price", FieldKind::Double, 343, 8},
    {"business_balance", FieldKind::Double, 351, 8},
    {"business_no", FieldKind::Text, 359, 64},
    {"business_date", FieldKind::Int32, 423, 4},
    {"business_time", FieldKind::Int32, 427, 4},
    {"real_type", FieldKind::Code, 431, 1},
    {"real_status", FieldKind::Code, 432, 1},
    {"currency", FieldKind::Code, 433, 1},
    {"session_type", FieldKind::Code, 434, 1},
    {"position_str", FieldKind::Text, 435, 64},
    {"orig_request_no", FieldKind::Text, 499, 128},
    {"trade_date", FieldKind::Int32, 627, 4},
    {"trade_fee", FieldKind::Double, 631, 8},
};
constexpr auto kHisTradeRecord = Join(kPositionOpening, kHisTradeTail);
const RecordBlock kHisTradeBlock{323, "record_set", Fields(kHisTradeRecord), "record_set_cnt",
                                 nullptr};

constexpr AnswerField kHeadOnly[] = {kAnswerHead[0], kAnswerHead[1], kAnswerHead[2]};

}  // namespace

// The record sizes the server's records have at least; a wider record_len
// is skipped over.
static_assert(RecordSize(Fields(kMoneyRecord)) == 153);
static_assert(RecordSize(Fields(kHolderRecord)) == 318);
static_assert(RecordSize(Fields(kCurOrderRecord)) == 1581);
static_assert(RecordSize(Fields(kCurTradeRecord)) == 603);
static_assert(RecordSize(Fields(kHisOrderRecord)) == 593);
static_assert(RecordSize(Fields(kHisTradeRecord)) == 639);

const AnswerLayout kQryMoneyAnswer{Fields(kMoneyFields), &kMoneyBlock, kAnswerHeadErrorNoOffset,
                                   true};
const AnswerLayout kQryHolderAnswer{Fields(kHeadOnly), &kHolderBlock, kAnswerHeadErrorNoOffset,
                                    true};
const AnswerLayout kQryCurOrderAnswer{Fields(kHeadOnly), &kCurOrderBlock,
                                      kAnswerHeadErrorNoOffset, true};
const AnswerLayout kQryCurTradeAnswer{Fields(kHeadOnly), &kCurTradeBlock,
                                      kAnswerHeadErrorNoOffset, true};
const AnswerLayout kQryHisOrderAnswer{Fields(kHeadOnly), &kHisOrderBlock,
                                      kAnswerHeadErrorNoOffset, true};
const AnswerLayout kQryHisTradeAnswer{Fields(kHeadOnly), &kHisTradeBlock,
                                      kAnswerHeadErrorNoOffset, true};

}  // namespace tessel
