#include "messages/outbound/basket_requests.h"

#include <cstring>

namespace tessel {
namespace {

// Every basket and basket plan body opens with these.
constexpr RequestField kBasketOpening[] = {
    {"request_no", 0, 8, Rule::OrderNumber},
    {"user_name", 8, 64, Rule::Text},
    {"client_id", 72, 64, Rule::Text},
};

constexpr RequestField kCreateBasketTail[] = {
    {"basket_name", 136, 256, Rule::Text},
    {"type", 392, 32, Rule::Text},
};
constexpr RequestField kUpdateBasketTail[] = {
    {"basket_name", 136, 256, Rule::Text},
    {"basket_no", 392, 32, Rule::Text},
};
constexpr RequestField kBasketNoTail[] = {
    {"basket_no", 136, 32, Rule::Text},
};
constexpr RequestField kDetailIdTail[] = {
    {"basket_detail_id", 136, 64, Rule::Text},
};
constexpr RequestField kAddSecurityTail[] = {
    {"basket_no", 136, 32, Rule::Text},
    {"security_code", 168, 12, Rule::Text},
    {"security_name", 180, 64, Rule::Text},
    {"mark", 244, 1, Rule::Int},
    {"algorithm_type", 245, 16, Rule::Text},
    {"entrust_bs", 261, 1, Rule::Int},
    {"entrust_price_type", 262, 4, Rule::Text},
    {"limit_price", 266, 8, Rule::Number},
    {"price", 274, 8, Rule::Number},
    {"amount", 282, 4, Rule::Int},
    {"smallest_entrust_amount", 286, 8, Rule::Number},
    {"smallest_entrust_balance", 294, 8, Rule::Number},
};
// Named by its detail id alone; no "mark".
constexpr RequestField kUpdateSecurityTail[] = {
    {"basket_detail_id", 136, 64, Rule::Text},
    {"security_name", 200, 64, Rule::Text},
    {"algorithm_type", 264, 16, Rule::Text},
    {"entrust_bs", 280, 1, Rule::Int},
    {"entrust_price_type", 281, 4, Rule::Text},
    {"limit_price", 285, 8, Rule::Number},
    {"price", 293, 8, Rule::Number},
    {"amount", 301, 4, Rule::Int},
    {"smallest_entrust_amount", 305, 8, Rule::Number},
    {"smallest_entrust_balance", 313, 8, Rule::Number},
};
constexpr RequestField kBatchTail[] = {
    {"basket_no", 136, 32, Rule::Text},
    {"record_len", 168, 4, Rule::RecordLength},
    {"record_set_cnt", 172, 4, Rule::Int},
};
// A batch record names its exchange, which the single request does not.
constexpr RequestField kBatchRecord[] = {
    {"security_code", 0, 12, Rule::Text},
    {"security_name", 12, 64, Rule::Text},
    {"security_exchange", 76, 1, Rule::Int},
    {"algorithm_type", 77, 16, Rule::Text},
    {"entrust_bs", 93, 1, Rule::Int},
    {"entrust_price_type", 94, 4, Rule::Text},
    {"limit_price", 98, 8, Rule::Number},
    {"price", 106, 8, Rule::Number},
    {"amount", 114, 4, Rule::Int},
    {"smallest_entrust_amount", 118, 8, Rule::Number},
    {"smallest_entrust_balance", 126, 8, Rule::Number},
};

constexpr auto kCreateBasketFields = Join(kBasketOpening, kCreateBasketTail);
constexpr auto kUpdateBasketFields = Join(kBasketOpening, kUpdateBasketTail);
constexpr auto kBasketNoFields = Join(kBasketOpening, kBasketNoTail);
constexpr auto kDetailIdFields = Join(kBasketOpening, kDetailIdTail);
constexpr auto kAddSecurityFields = Join(kBasketOpening, kAddSecurityTail);
constexpr auto kUpdateSecurityFields = Join(kBasketOpening, kUpdateSecurityTail);
constexpr auto kBatchFields = Join(kBasketOpening, kBatchTail);

constexpr RequestLayout BatchLayout() {
  RequestLayout layout = Plain(113, "AddBasketSecurityBatch", 176, kBatchFields);
  layout.countKey = "record_set_cnt";
  layout.recordSize = Tiled({Group(kBatchRecord)}, 134);
  layout.recordFields = Group(kBatchRecord);
  return layout;
}

// --- basket plans ---

constexpr RequestField kPlanDetailTail[] = {
    {"basket_no", 136, 32, Rule::Text},
    {"batch_no", 168, 32, Rule::Text},
};
constexpr RequestField kPlanOrdersTail[] = {
    {"basket_no", 136, 32, Rule::Text},
    {"batch_no", 168, 32, Rule::Text},
    {"max_request_num", 200, 4, Rule::Int},
    {"position_str", 204, 32, Rule::Text},
};
constexpr auto kPlanDetailFields = Join(kBasketOpening, kPlanDetailTail);
constexpr auto kPlanOrdersFields = Join(kBasketOpening, kPlanOrdersTail);

// Starting a plan: the fixed part, an algorithm block read only for
// algorithm baskets, then the counted securities.
constexpr RequestField kStartPlanTail[] = {
    {"basket_no", 136, 32, Rule::Text},
    {"basket_type", 168, 16, Rule::Text},
    {"entrust_amount_type", 184, 1, Rule::Int},
    {"fund_account", 185, 64, Rule::Text},
    {"operator_id", 249, 64, Rule::Text},
};
constexpr auto kStartPlanFields = Join(kBasketOpening, kStartPlanTail);
constexpr RequestField kStartPlanAlgorithm[] = {
    {"algorithm_block_size", 313, 4, Rule::GroupLength},
    {"begin_time", 317, 8, Rule::TimeText},
    {"end_time", 325, 8, Rule::TimeText},
    {"limit_price_basic", 333, 16, Rule::Text},
    {"limit_price_unit", 349, 16, Rule::Text},
    {"limit_price_change", 365, 8, Rule::Number},
    {"quantity_ratio", 373, 4, Rule::Int},
    {"stop_sell_limit_up", 377, 4, Rule::Int},
    {"cancel_order_limit_down", 381, 4, Rule::Int},
};
constexpr RequestField kStartPlanCount[] = {
    {"record_len", 385, 4, Rule::RecordLength},
    {"basket_detail_cnt", 389, 4, Rule::Int},
};
// The quantity is a double here, and the exchange comes last.
constexpr RequestField kStartPlanRecord[] = {
    {"basket_detail_id", 0, 64, Rule::Text},
    {"entrust_price_type", 64, 4, Rule::Text},
    {"algorithm_type", 68, 16, Rule::Text},
    {"entrust_bs", 84, 1, Rule::Int},
    {"entrust_price", 85, 8, Rule::Number},
    {"entrust_amount", 93, 8, Rule::Number},
    {"smallest_entrust_amount", 101, 8, Rule::Number},
    {"smallest_entrust_balance", 109, 8, Rule::Number},
    {"security_exchange", 117, 1, Rule::Int},
};
constexpr uint32_t kStartPlanRecordSize = Tiled({Group(kStartPlanRecord)}, 118);
constexpr uint32_t kStartPlanFixedSize = Tiled(
    {Group(kStartPlanFields), Group(kStartPlanAlgorithm), Group(kStartPlanCount)}, 393);
// The block behind its size field, 317 to 384.
static_assert(kStartPlanCount[0].offset - (kStartPlanAlgorithm[0].offset + 4) == 68);

// The whole 16-byte field must read "ALGORITHM": case and padding count.
bool IsAlgorithmBasket(const BodyWriter& out) {
  constexpr uint32_t kBasketTypeOffset = 168;
  constexpr char kAlgorithm[16] = "ALGORITHM";
  return std::memcmp(out.body + kBasketTypeOffset, kAlgorithm, sizeof kAlgorithm) == 0;
}

bool FillStartBasketPlan(const Json::Value& request, BodyWriter& out) {
  if (!FillGroup(Group(kStartPlanFields), request, out)) return false;
  if (IsAlgorithmBasket(out) && !FillGroup(Group(kStartPlanAlgorithm), request, out)) {
    return false;
  }
  // The dispatch has checked the count and sized the body from it.
  if (!FillGroup(Group(kStartPlanCount), request, out) ||
      !FillRecords(Group(kStartPlanRecord), kStartPlanRecordSize,
                   request["basket_detail_cnt"].asInt(), request, out, kStartPlanFixedSize)) {
    return false;
  }
  FillGenerated(Group(kStartPlanFields), out);
  return true;
}

constexpr RequestLayout StartBasketPlanLayout() {
  RequestLayout layout{};
  layout.funcId = 115;
  layout.name = "StartBasketPlan";
  layout.bodySize = kStartPlanFixedSize;
  layout.groups[0] = {nullptr, Group(kStartPlanFields)};
  layout.groups[1] = {"\"basket_type\" is exactly \"ALGORITHM\" (otherwise these bytes are zero)",
                      Group(kStartPlanAlgorithm)};
  layout.groups[2] = {nullptr, Group(kStartPlanCount)};
  layout.groupCount = 3;
  layout.countKey = "basket_detail_cnt";
  layout.recordSize = kStartPlanRecordSize;
  layout.recordFields = Group(kStartPlanRecord);
  layout.custom = &FillStartBasketPlan;
  layout.note = "\"begin_time\" and \"end_time\" are texts whose leading digits are sent as a "
                "number.";
  return layout;
}

}  // namespace

constexpr RequestLayout kCreateBasketRequest = Plain(106, "CreateBasket", 424, kCreateBasketFields);
constexpr RequestLayout kUpdateBasketRequest = Plain(107, "UpdateBasket", 424, kUpdateBasketFields);
constexpr RequestLayout kDeleteBasketRequest = Plain(108, "DeleteBasket", 168, kBasketNoFields);
constexpr RequestLayout kQueryBasketRequest = Plain(109, "QueryBasket", 168, kBasketNoFields);
constexpr RequestLayout kAddBasketSecurityRequest =
    Plain(110, "AddBasketSecurity", 302, kAddSecurityFields);
constexpr RequestLayout kDelBasketSecurityRequest =
    Plain(111, "DelBasketSecurity", 200, kDetailIdFields);
constexpr RequestLayout kUpdateBasketSecurityRequest =
    Plain(112, "UpdateBasketSecurity", 321, kUpdateSecurityFields);
constexpr RequestLayout kAddBasketSecurityBatchRequest = BatchLayout();
constexpr RequestLayout kQueryBasketDetailRequest =
    Plain(114, "QueryBasketDetail", 168, kBasketNoFields);
constexpr RequestLayout kStartBasketPlanRequest = StartBasketPlanLayout();
constexpr RequestLayout kQueryBasketPlanRequest =
    Plain(116, "QueryBasketPlan", 168, kBasketNoFields);
constexpr RequestLayout kQueryBasketPlanDetailRequest =
    Plain(117, "QueryBasketPlanDetail", 200, kPlanDetailFields);
constexpr RequestLayout kQueryBasketEntrustOrderRequest =
    Plain(118, "QueryBasketEntrustOrder", 236, kPlanOrdersFields);
constexpr RequestLayout kQueryBasketBargainOrderRequest =
    Plain(119, "QueryBasketBargainOrder", 236, kPlanOrdersFields);

}  // namespace tessel
