// Answers to the statistics queries, the password change and the list
// services: profit and loss, per-day counts, ModifyPwd, the watch list, menu
// rights, tradable stocks, dealers and capital accounts.
#include "messages/inbound/answer_layouts.h"

namespace tessel {
namespace {

// Profit and loss has a head of its own, with the error after the client.
constexpr AnswerField kProfitFields[] = {
    {"username", FieldKind::Text, 0, 64},
    {"client_id", FieldKind::Text, 64, 64},
    {"error_no", FieldKind::Int32, 128, 4},
    {"error_info", FieldKind::Text, 132, 255},
    {"currency", FieldKind::Code, 387, 1},
    {"profit_loss", FieldKind::Double, 388, 8},
    {"actual_profit_loss", FieldKind::Double, 396, 8},
    {"floating_profit_loss", FieldKind::Double, 404, 8},
    {"h_floating_profit_loss", FieldKind::Double, 412, 8},
    {"local_currency", FieldKind::Int32, 420, 4},
    {"wp", FieldKind::Double, 424, 8},
    {"top_fail_back", FieldKind::Double, 432, 8},
};

// Per-day counts: the head names its user "username".
constexpr AnswerField kTradeNumFields[] = {
    {"username", FieldKind::Text, 0, 64},
    kAnswerHead[1], kAnswerHead[2],
    {"business_num_all", FieldKind::Int32, 323, 4},
};
constexpr AnswerField kTradeNumRecord[] = {
    {"business_date", FieldKind::Int32, 0, 4},
    {"business_num", FieldKind::Int32, 4, 4},
};
constexpr AnswerField kOrderNumFields[] = {
    {"username", FieldKind::Text, 0, 64},
    kAnswerHead[1], kAnswerHead[2],
    {"entrust_num_all", FieldKind::Int32, 323, 4},
};
constexpr AnswerField kOrderNumRecord[] = {
    {"entrust_date", FieldKind::Int32, 0, 4},
    {"entrust_num", FieldKind::Int32, 4, 4},
};
const RecordBlock kTradeNumBlock{327, "record_set", Fields(kTradeNumRecord), "record_set_cnt",
                                 nullptr};
const RecordBlock kOrderNumBlock{327, "record_set", Fields(kOrderNumRecord), "record_set_cnt",
                                 nullptr};

constexpr AnswerField kHeadOnly[] = {kAnswerHead[0], kAnswerHead[1], kAnswerHead[2]};

constexpr AnswerField kOptionalRecord[] = {
    {"mark", FieldKind::MarketCode, 0, 1},
    {"code", FieldKind::Text, 1, 12},
    {"security_exchange", FieldKind::Code, 0, 1},
    {"security_name", FieldKind::Text, 13, 64},
    {"position_str", FieldKind::Text, 77, 32},
};
const RecordBlock kOptionalBlock{323, "record_set", Fields(kOptionalRecord), nullptr, nullptr};

constexpr AnswerField kMenuFields[] = {
    kAnswerHead[0], kAnswerHead[1], kAnswerHead[2],
    {"menu_config", FieldKind::CountedText, 323, 4},
};

constexpr AnswerField kStockRecord[] = {
    {"client_id", FieldKind::Text, 0, 64},
    {"fund_account", FieldKind::Text, 64, 64},
    {"security_exchange", FieldKind::Code, 128, 1},
    {"mark", FieldKind::MarketCode, 128, 1},
    {"code", FieldKind::Text, 129, 12},
    {"security_name", FieldKind::Text, 141, 64},
};
const RecordBlock kStockBlock{323, "record_set", Fields(kStockRecord), nullptr, nullptr};

constexpr AnswerField kDealRecord[] = {
    {"user_name", FieldKind::Text, 0, 64},
    {"client_id", FieldKind::Text, 64, 32},
    {"operator_id", FieldKind::Text, 96, 32},
    {"position_str", FieldKind::Text, 128, 32},
};
const RecordBlock kDealBlock{323, "record_set", Fields(kDealRecord), nullptr, nullptr};

// 32 bytes at 323 are not read.
constexpr AnswerField kCapitalFields[] = {
    kAnswerHead[0], kAnswerHead[1], kAnswerHead[2],
    {"operator_id", FieldKind::Text, 355, 32},
};
constexpr AnswerField kCapitalRecord[] = {
    {"fund_account", FieldKind::Text, 0, 64},
    {"client_id", FieldKind::Text, 64, 64},
    {"busi_type", FieldKind::Text, 128, 10},
    {"busi_type_desc", FieldKind::Text, 138, 64},
};
const RecordBlock kCapitalBlock{387, "record_set", Fields(kCapitalRecord), nullptr, nullptr};

static_assert(RecordSize(Fields(kTradeNumRecord)) == 8);
static_assert(RecordSize(Fields(kOptionalRecord)) == 109);
static_assert(RecordSize(Fields(kStockRecord)) == 205);
static_assert(RecordSize(Fields(kDealRecord)) == 160);
static_assert(RecordSize(Fields(kCapitalRecord)) == 202);

}  // namespace

const AnswerLayout kQryProfitAndLossAnswer{Fields(kProfitFields), nullptr, 128, true};
const AnswerLayout kQryHisTradeNumAnswer{Fields(kTradeNumFields), &kTradeNumBlock,
                                         kAnswerHeadErrorNoOffset, true};
const AnswerLayout kQryHisOrderNumAnswer{Fields(kOrderNumFields), &kOrderNumBlock,
                                         kAnswerHeadErrorNoOffset, true};
// The password change and the reference lists never ask for a relogin.
const AnswerLayout kModifyPwdAnswer{Fields(kHeadOnly), nullptr, kAnswerHeadErrorNoOffset, false};
const AnswerLayout kOptionalOperationAnswer{Fields(kHeadOnly), &kOptionalBlock,
                                            kAnswerHeadErrorNoOffset, true};
const AnswerLayout kUserMenuauthAnswer{Fields(kMenuFields), nullptr, kAnswerHeadErrorNoOffset,
                                       false};
const AnswerLayout kUserStockListAnswer{Fields(kHeadOnly), &kStockBlock, kAnswerHeadErrorNoOffset,
                                        false};
const AnswerLayout kQueryDealListAnswer{Fields(kHeadOnly), &kDealBlock, kAnswerHeadErrorNoOffset,
                                        false};
const AnswerLayout kQueryCapitalListAnswer{Fields(kCapitalFields), &kCapitalBlock,
                                           kAnswerHeadErrorNoOffset, false};

}  // namespace tessel
