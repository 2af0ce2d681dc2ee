// The server's unsolicited reports: executions, order progress, strategy
// matches, security information, fund, position, market-value, platform
// limit and entrust-configuration changes. Each carries "push_type".
#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

constexpr AnswerField kExecutionFields[] = {
    {"user_name", FieldKind::Text, 0, 64},
    {"client_id", FieldKind::Text, 64, 64},
    {"fund_account", FieldKind::Text, 128, 64},
    {"operator_id", FieldKind::Text, 192, 64},
    {"security_exchange", FieldKind::Code, 256, 1},
    {"market", FieldKind::MarketCode, 256, 1},
    {"security_code", FieldKind::Text, 257, 12},
    {"request_no", FieldKind::Text, 269, 128},
    {"entrust_bs", FieldKind::BsFlag, 397, 1},
    {"entrust_prop", FieldKind::Code, 398, 1},
    {"cur_date", FieldKind::Int32, 399, 4},
    {"cur_time", FieldKind::Int32, 403, 4},
    {"entrust_amount", FieldKind::Double, 407, 8},
    {"entrust_price", FieldKind::Double, 415, 8},
    {"entrust_status", FieldKind::Code, 423, 1},
    {"business_amount", FieldKind::Double, 424, 8},
    {"business_price", FieldKind::Double, 432, 8},
    {"left_amount", FieldKind::Double, 440, 8},
    {"orig_request_no", FieldKind::Text, 448, 128},
    {"session_type", FieldKind::Code, 576, 1},
    {"avg_price", FieldKind::Double, 577, 8},
    {"business_no", FieldKind::Text, 585, 64},
    {"text", FieldKind::Text, 649, 255},
    {"business_type", FieldKind::Code, 904, 1},
    {"allow_cancel_order", FieldKind::Code, 905, 1},
    {"entrust_type", FieldKind::Code, 906, 1},
    {"trade_fee", FieldKind::Double, 907, 8},
};
static_assert(RecordSize(Fields(kExecutionFields)) == 915);

constexpr AnswerField kOrderProgressFields[] = {
    {"username", FieldKind::Text, 0, 64},
    {"request_no", FieldKind::Text, 64, 128},
    {"entrust_time", FieldKind::Int32, 192, 4},
    {"security_code", FieldKind::Text, 196, 12},
    {"error_no", FieldKind::Int32, 208, 4},
    {"error_info", FieldKind::RestText, 212, 0},
};

// One record is always read, whatever the count field (not read) says.
constexpr AnswerField kMatchFields[] = {
    {"message_id", FieldKind::U64, 0, 8},
    {"strategy_code", FieldKind::Text, 8, 32},
};
constexpr AnswerField kMatchRecord[] = {
    {"security_code", FieldKind::Text, 0, 12},
    {"security_exchange", FieldKind::Code, 12, 1},
    {"market", FieldKind::MarketCode, 12, 1},
    {"trade_status", FieldKind::Int32, 13, 4},
    {"matched_time", FieldKind::U64Text, 17, 8},
};
const RecordBlock kMatchBlock{40, "records", Fields(kMatchRecord), "record_set_cnt",
                              "record_set_size", true};

constexpr AnswerField kSecurityInfoFields[] = {
    {"update_status", FieldKind::Text, 0, 64},
    {"fund_account", FieldKind::Text, 64, 64},
    {"client_id", FieldKind::Text, 128, 64},
    {"security_code", FieldKind::Text, 192, 12},
    {"security_name", FieldKind::Text, 204, 64},
    {"security_exchange", FieldKind::Code, 268, 1},
    {"market", FieldKind::MarketCode, 268, 1},
};

constexpr AnswerField kFundFields[] = {
    {"fund_account", FieldKind::Text, 0, 64},
    {"update_status", FieldKind::Text, 64, 64},
    {"currency", FieldKind::Int32, 128, 4},
    {"borrow_amount", FieldKind::Double, 132, 8},
    {"purchase_power", FieldKind::Double, 140, 8},
    {"margin", FieldKind::Double, 148, 8},
    {"balance", FieldKind::Double, 156, 8},
    {"actual_profit_loss", FieldKind::Double, 164, 8},
    {"trigger_time", FieldKind::Int64, 172, 8},
    {"limit_total", FieldKind::Double, 180, 8},
};

constexpr AnswerField kPositionFields[] = {
    {"fund_account", FieldKind::Text, 0, 64},
    {"update_status", FieldKind::Text, 64, 64},
    {"security_exchange", FieldKind::Code, 128, 1},
    {"security_code", FieldKind::Text, 129, 12},
    {"security_name", FieldKind::Text, 141, 64},
    {"current_amount", FieldKind::Double, 205, 8},
    {"enable_amount", FieldKind::Double, 213, 8},
    {"avg_price", FieldKind::Double, 221, 8},
    {"frozen_amount", FieldKind::Double, 229, 8},
    {"trigger_time", FieldKind::Int64, 237, 8},
    {"transAmount", FieldKind::Int64, 245, 8},
    {"bargainBalance", FieldKind::Double, 253, 8},
};

constexpr AnswerField kMarketValueFields[] = {
    {"fund_account", FieldKind::Text, 0, 64},
    {"update_status", FieldKind::Text, 64, 64},
    {"currency", FieldKind::Int32, 128, 4},
    {"market_value", FieldKind::Double, 132, 8},
    {"floating_profit_loss", FieldKind::Double, 140, 8},
    {"margin_remain", FieldKind::Double, 148, 8},
    {"trigger_time", FieldKind::Int64, 156, 8},
    {"margin_call", FieldKind::Double, 164, 8},
    {"margin_call_time", FieldKind::Double, 172, 8},
    {"h_market_value", FieldKind::Double, 180, 8},
    {"h_floating_profit_loss", FieldKind::Double, 188, 8},
    {"local_currency", FieldKind::Int32, 196, 4},
    {"assetTotal", FieldKind::Double, 200, 8},
    {"aProfitAndLoss", FieldKind::Double, 208, 8},
    {"hProfitAndLoss", FieldKind::Double, 216, 8},
    {"hAssetTotal", FieldKind::Double, 224, 8},
    {"wp", FieldKind::Double, 232, 8},
    {"topFailBack", FieldKind::Double, 240, 8},
    {"margin_add", FieldKind::Double, 248, 8},
};

constexpr AnswerField kLimitFields[] = {
    {"fund_account", FieldKind::Text, 0, 64},
    {"limitBalance", FieldKind::Double, 64, 8},
};

constexpr AnswerField kEntrustConfigFields[] = {
    {"currency", FieldKind::Code, 0, 1},
    {"dma", FieldKind::Code, 1, 1},
    {"balance", FieldKind::Double, 2, 8},
};

// Pushes have no error head: nothing to read for the relogin rule.
constexpr AnswerLayout PushLayout(FieldList fields, const RecordBlock* records, int32_t type) {
  return {fields, records, 0, false, type};
}

}  // namespace

const AnswerLayout kExecutionReportPush = PushLayout(Fields(kExecutionFields), nullptr, 10);
const AnswerLayout kOrderProgressPush = PushLayout(Fields(kOrderProgressFields), nullptr, 17);
const AnswerLayout kStrategyMatchPush = PushLayout(Fields(kMatchFields), &kMatchBlock, 206);
const AnswerLayout kSecurityInfoPush = PushLayout(Fields(kSecurityInfoFields), nullptr, 300);
const AnswerLayout kFundChangePush = PushLayout(Fields(kFundFields), nullptr, 301);
const AnswerLayout kPositionChangePush = PushLayout(Fields(kPositionFields), nullptr, 302);
const AnswerLayout kMarketValuePush = PushLayout(Fields(kMarketValueFields), nullptr, 303);
const AnswerLayout kLimitBalancePush = PushLayout(Fields(kLimitFields), nullptr, 304);
const AnswerLayout kEntrustConfigPush = PushLayout(Fields(kEntrustConfigFields), nullptr, 305);

}  // namespace tessel
