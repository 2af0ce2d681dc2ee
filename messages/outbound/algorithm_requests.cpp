#include "messages/outbound/algorithm_requests.h"

#include <cstring>
#include <string>

#include "net/wire.h"

namespace tessel {
namespace {

// The algorithm messages name the user "user_name", the condition-order
// messages "username".
constexpr RequestField kAlgorithmOpening[] = {
    {"request_no", 0, 8, Rule::OrderNumber},
    {"user_name", 8, 64, Rule::Text},
    {"client_id", 72, 64, Rule::Text},
};
constexpr RequestField kConditionOpening[] = {
    {"request_no", 0, 8, Rule::OrderNumber},
    {"username", 8, 64, Rule::Text},
    {"client_id", 72, 64, Rule::Text},
};

constexpr RequestField kAlgorithmListTail[] = {
    {"fund_account", 136, 64, Rule::Text},
    {"algorithm_no", 200, 32, Rule::Text},
    {"basket_no", 232, 32, Rule::Text},
    {"batch_no", 264, 32, Rule::Text},
    {"algorithm_type", 296, 16, Rule::Text},
    {"security_exchange", 312, 1, Rule::Int},
    {"security_code", 313, 12, Rule::Text},
    {"algorithm_status", 325, 16, Rule::Text},
    {"entrust_begin_time", 341, 8, Rule::TimeText},
    {"entrust_end_time", 349, 8, Rule::TimeText},
    {"max_request_num", 357, 4, Rule::Int},
    {"position_str", 361, 32, Rule::Text},
    {"algorithm_kind", 393, 20, Rule::OptionalText},
    {"price_type", 413, 8, Rule::Text},
};
constexpr RequestField kAlgorithmOrdersTail[] = {
    {"max_request_num", 136, 4, Rule::Int},
    {"position_str", 140, 32, Rule::Text},
    {"algorithm_no", 172, 32, Rule::Text},
};
constexpr auto kAlgorithmListFields = Join(kAlgorithmOpening, kAlgorithmListTail);
constexpr auto kAlgorithmOrdersFields = Join(kAlgorithmOpening, kAlgorithmOrdersTail);

// --- operating an algorithm: a common part, then the layout "op_type" picks ---

constexpr RequestField kOperTail[] = {
    {"fund_account", 136, 64, Rule::Text},
    {"operator_id", 200, 64, Rule::Text},
    {"algorithm_or_order_no", 264, 32, Rule::Text},
    {"op_type", 296, 1, Rule::Int},
};
constexpr auto kOperCommon = Join(kAlgorithmOpening, kOperTail);
constexpr uint32_t kOperTypeOffset = 296;

// op_type '1': a new algorithm. "price_type" decides the limit rows, so it
// is read with the rest before them.
constexpr RequestField kOperNew[] = {
    {"algorithm_type", 297, 16, Rule::Text},
    {"security_code", 313, 12, Rule::Text},
    {"security_name", 325, 64, Rule::Text},
    {"security_exchange", 389, 1, Rule::Int},
    {"entrust_bs", 390, 1, Rule::Int},
    {"entrust_amount", 391, 8, Rule::Number},
    {"begin_time", 399, 8, Rule::OptionalTime},
    {"end_time", 407, 8, Rule::OptionalTime},
    {"quantity_ratio", 455, 4, Rule::OptionalInt},
    {"stop_sell_limit_up", 459, 4, Rule::OptionalInt},
    {"cancel_order_limit_down", 463, 4, Rule::OptionalInt},
    {"smallest_entrust_amount", 467, 8, Rule::OptionalNumber},
    {"smallest_entrust_balance", 475, 8, Rule::OptionalNumber},
    {"price_type", 483, 8, Rule::Text},
};
constexpr RequestField kOperNewLimits[] = {
    {"limit_price_basic", 415, 16, Rule::Text},
    {"limit_price_unit", 431, 16, Rule::Text},
    {"limit_price_change", 447, 8, Rule::Number},
};
constexpr RequestField kOperNewOtherLimits[] = {
    {"limit_price_change", 447, 8, Rule::OptionalNumber},
};

// op_type '2': new limits for a running algorithm; the rest of the body is
// zero.
constexpr RequestField kOperChange[] = {
    {"stop_sell_limit_up", 337, 4, Rule::Int},
    {"cancel_order_limit_down", 341, 4, Rule::Int},
    {"quantity_ratio", 345, 4, Rule::Int},
    {"smallest_entrust_amount", 349, 8, Rule::Number},
    {"smallest_entrust_balance", 357, 8, Rule::Number},
    {"price_type", 365, 8, Rule::Text},
    {"reserved", 373, 118, Rule::Reserved},
};
constexpr RequestField kOperChangeLimits[] = {
    {"limit_price_basic", 297, 16, Rule::Text},
    {"limit_price_unit", 313, 16, Rule::Text},
    {"limit_price_change", 329, 8, Rule::Number},
};
constexpr RequestField kOperChangeOtherLimits[] = {
    {"limit_price_change", 329, 8, Rule::OptionalNumber},
};

// Each choice tiles the body on its own.
constexpr uint32_t kOperSize =
    Tiled({Group(kOperCommon), Group(kOperNew), Group(kOperNewLimits)}, 491);
static_assert(Tiled({Group(kOperCommon), Group(kOperChange), Group(kOperChangeLimits)}, 491) ==
              kOperSize);

// "AP" limits need all three limit rows; any other price type only an
// optional change.
bool IsAp(const BodyWriter& out, uint32_t priceTypeOffset) {
  constexpr char kAp[8] = "AP";
  return std::memcmp(out.body + priceTypeOffset, kAp, sizeof kAp) == 0;
}

bool FillOperAlgorithm(const Json::Value& request, BodyWriter& out) {
  if (!FillGroup(Group(kOperCommon), request, out)) return false;
  bool filled = true;
  switch (out.body[kOperTypeOffset]) {
    case '1':
      filled = FillGroup(Group(kOperNew), request, out) &&
               FillGroup(IsAp(out, 483) ? Group(kOperNewLimits) : Group(kOperNewOtherLimits),
                         request, out);
      break;
    case '2':
      filled = FillGroup(Group(kOperChange), request, out) &&
               FillGroup(IsAp(out, 365) ? Group(kOperChangeLimits)
                                        : Group(kOperChangeOtherLimits),
                         request, out);
      break;
    default:
      break;  // any other operation sends the common part alone
  }
  if (!filled) return false;
  FillGenerated(Group(kOperCommon), out);
  return true;
}

constexpr RequestLayout OperAlgorithmLayout() {
  RequestLayout layout{};
  layout.funcId = 122;
  layout.name = "OperAlgorithm";
  layout.bodySize = kOperSize;
  layout.groups[0] = {nullptr, Group(kOperCommon)};
  layout.groups[1] = {"\"op_type\" is '1' (49): a new algorithm", Group(kOperNew)};
  layout.groups[2] = {"\"op_type\" is '1' (49) and \"price_type\" is \"AP\"; for another price "
                      "type only \"limit_price_change\" is read, as an optional number",
                      Group(kOperNewLimits)};
  layout.groups[3] = {"\"op_type\" is '2' (50): new limits", Group(kOperChange)};
  layout.groups[4] = {"\"op_type\" is '2' (50) and \"price_type\" is \"AP\"; for another price "
                      "type only \"limit_price_change\" is read, as an optional number",
                      Group(kOperChangeLimits)};
  layout.groupCount = 5;
  layout.custom = &FillOperAlgorithm;
  layout.note = "Any other \"op_type\" sends the common part alone, the rest zero.";
  return layout;
}

// --- condition orders ---

constexpr RequestField kCreateConditionTail[] = {
    {"fund_account", 136, 64, Rule::Text},
    {"operator_id", 200, 64, Rule::Text},
    {"security_code", 264, 12, Rule::Text},
    {"security_name", 276, 64, Rule::Text},
    {"security_exchange", 340, 1, Rule::Int},
    {"con_type", 341, 16, Rule::Text},
    {"entrust_bs", 357, 1, Rule::Int},
    {"con_trigger_date", 358, 12, Rule::Text},
    {"con_trigger_price", 370, 8, Rule::Number},
    {"entrust_amount", 378, 8, Rule::Number},
};
constexpr RequestField kConditionListTail[] = {
    {"security_code", 136, 12, Rule::Text},
    {"status", 148, 20, Rule::Text},
    {"con_trigger_start_date", 168, 12, Rule::Text},
    {"con_trigger_end_date", 180, 12, Rule::Text},
    {"max_request_num", 192, 4, Rule::Int},
    {"position_str", 196, 32, Rule::Text},
    {"fund_account", 228, 64, Rule::Text},
};
constexpr RequestField kQuickConditionTail[] = {
    {"fund_account", 136, 64, Rule::Text},
    {"operator_id", 200, 64, Rule::Text},
    {"security_code", 264, 12, Rule::Text},
    {"security_name", 276, 64, Rule::Text},
    {"security_exchange", 340, 1, Rule::Int},
    {"stop_loss_gear", 341, 4, Rule::Int},
    {"take_profit_gear", 345, 4, Rule::Int},
    {"entrust_bs", 349, 1, Rule::Int},
    {"entrust_price", 350, 8, Rule::Number},
    {"entrust_amount", 358, 8, Rule::Number},
    {"entrust_prop", 366, 1, Rule::Int},
    {"order_request_no", 367, 128, Rule::OrderNoText},
};
constexpr auto kCreateConditionFields = Join(kConditionOpening, kCreateConditionTail);
constexpr auto kConditionListFields = Join(kConditionOpening, kConditionListTail);
constexpr auto kQuickConditionFields = Join(kConditionOpening, kQuickConditionTail);

// The order's own request number: the body's number, then the fund account.
bool FillQuickConditionOrder(const Json::Value& request, BodyWriter& out) {
  if (!FillGroup(Group(kQuickConditionFields), request, out)) return false;
  FillGenerated(Group(kQuickConditionFields), out);
  constexpr uint32_t kOrderNoOffset = 367;
  constexpr uint32_t kOrderNoWidth = 128;
  constexpr uint32_t kFundAccountOffset = 136;
  char* orderNo = reinterpret_cast<char*>(out.body + kOrderNoOffset);
  const char* fundAccount = reinterpret_cast<const char*>(out.body + kFundAccountOffset);
  std::string text(orderNo, strnlen(orderNo, kOrderNoWidth));
  text.append(fundAccount, strnlen(fundAccount, 64));
  // At most 20 digits and 63 bytes of account: always fits.
  wire::StoreText(orderNo, kOrderNoWidth, text.data(), text.size());
  return true;
}

constexpr RequestLayout QuickConditionOrderLayout() {
  RequestLayout layout = Plain(202, "QuickConditionOrder", 495, kQuickConditionFields);
  layout.custom = &FillQuickConditionOrder;
  layout.note = "\"order_request_no\" is the generated request number's text followed directly "
                "by the \"fund_account\" text.";
  return layout;
}

// business_type '2' changes the trigger; any other only names the order.
constexpr RequestField kOperConditionTail[] = {
    {"business_type", 136, 1, Rule::Int},
    {"condition_no", 137, 32, Rule::Text},
};
constexpr auto kOperConditionFields = Join(kConditionOpening, kOperConditionTail);
constexpr RequestField kOperConditionChange[] = {
    {"con_trigger_date", 169, 12, Rule::Text},
    {"con_trigger_price", 181, 8, Rule::Number},
    {"entrust_amount", 189, 8, Rule::Number},
};
constexpr uint32_t kOperConditionSize =
    Tiled({Group(kOperConditionFields), Group(kOperConditionChange)}, 197);

bool FillOperConditionOrder(const Json::Value& request, BodyWriter& out) {
  if (!FillGroup(Group(kOperConditionFields), request, out)) return false;
  constexpr uint32_t kBusinessTypeOffset = 136;
  if (out.body[kBusinessTypeOffset] == '2' &&
      !FillGroup(Group(kOperConditionChange), request, out)) {
    return false;
  }
  FillGenerated(Group(kOperConditionFields), out);
  return true;
}

constexpr RequestLayout OperConditionOrderLayout() {
  RequestLayout layout{};
  layout.funcId = 203;
  layout.name = "OperConditionOrder";
  layout.bodySize = kOperConditionSize;
  layout.groups[0] = {nullptr, Group(kOperConditionFields)};
  layout.groups[1] = {"\"business_type\" is '2' (50): a new trigger",
                      Group(kOperConditionChange)};
  layout.groupCount = 2;
  layout.custom = &FillOperConditionOrder;
  return layout;
}

}  // namespace

constexpr RequestLayout kQueryAlgorithmListRequest =
    Plain(120, "QueryAlgorithmList", 421, kAlgorithmListFields);
constexpr RequestLayout kQueryAlgorithmEntrustOrderRequest =
    Plain(121, "QueryAlgorithmEntrustOrder", 204, kAlgorithmOrdersFields);
constexpr RequestLayout kOperAlgorithmRequest = OperAlgorithmLayout();
constexpr RequestLayout kCreateConditionOrderRequest =
    Plain(200, "CreateConditionOrder", 386, kCreateConditionFields);
constexpr RequestLayout kQueryConditionOrderListRequest =
    Plain(201, "QueryConditionOrderList", 292, kConditionListFields);
constexpr RequestLayout kQuickConditionOrderRequest = QuickConditionOrderLayout();
constexpr RequestLayout kOperConditionOrderRequest = OperConditionOrderLayout();

}  // namespace tessel
