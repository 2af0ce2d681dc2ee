#include "messages/outbound/query_requests.h"

namespace tessel {
namespace {

constexpr RequestField kAccount[] = {
    {"user_name", 0, 64, Rule::Text},
    {"client_id", 64, 64, Rule::Text},
    {"fund_account", 128, 64, Rule::Text},
};
// The statistics queries name the user "username".
constexpr RequestField kStatisticsAccount[] = {
    {"username", 0, 64, Rule::Text, nullptr, "user_name"},
    {"client_id", 64, 64, Rule::Text},
    {"fund_account", 128, 64, Rule::Text},
};

constexpr RequestField kHolderTail[] = {
    {"mark", 192, 1, Rule::Int},
    {"max_request_num", 193, 4, Rule::Int},
    {"position_str", 197, 64, Rule::Text},
};
constexpr RequestField kCurTradeTail[] = {
    {"mark", 192, 1, Rule::Int},
    {"max_request_num", 193, 4, Rule::Int},
    {"position_str", 197, 32, Rule::Text},
};
constexpr RequestField kCurOrderTail[] = {
    {"mark", 192, 1, Rule::Int},
    {"max_request_num", 193, 4, Rule::Int},
    {"position_str", 197, 32, Rule::Text},
    {"reserved", 229, 4, Rule::Reserved},
};
constexpr RequestField kHistoryTail[] = {
    {"max_request_num", 192, 4, Rule::Int},
    {"start_date", 196, 4, Rule::Int},
    {"end_date", 200, 4, Rule::Int},
    {"position_str", 204, 64, Rule::Text},
};
constexpr RequestField kPerDayTail[] = {
    {"max_request_num", 192, 4, Rule::Int},
    {"start_date", 196, 4, Rule::Int},
    {"end_date", 200, 4, Rule::Int},
};
constexpr RequestField kProfitTail[] = {
    {"trade_date", 192, 4, Rule::Int},
};

constexpr auto kHolderFields = Join(kAccount, kHolderTail);
constexpr auto kCurOrderFields = Join(kAccount, kCurOrderTail);
constexpr auto kCurTradeFields = Join(kAccount, kCurTradeTail);
constexpr auto kHistoryFields = Join(kAccount, kHistoryTail);
constexpr auto kPerDayFields = Join(kStatisticsAccount, kPerDayTail);
constexpr auto kProfitFields = Join(kStatisticsAccount, kProfitTail);

constexpr RequestField kUserOnly[] = {
    {"user_name", 0, 64, Rule::Text},
};
// Operator before fund account, unlike every other body.
constexpr RequestField kUserStockListFields[] = {
    {"user_name", 0, 64, Rule::Text},
    {"client_id", 64, 64, Rule::Text},
    {"operator_id", 128, 64, Rule::Text},
    {"fund_account", 192, 64, Rule::Text},
};
constexpr RequestField kDealListFields[] = {
    {"user_name", 0, 64, Rule::Text},
    {"max_request_num", 64, 4, Rule::Int},
    {"position_str", 68, 32, Rule::Text},
};

// The watch list: the operation byte decides which of the groups below are
// read; the others stay zero.
constexpr RequestField kOptionalHead[] = {
    {"user_name", 0, 64, Rule::Text},
    {"op_type", 64, 1, Rule::Int},
};
constexpr RequestField kOptionalOneSecurity[] = {
    {"mark", 65, 1, Rule::Int},
    {"code", 66, 12, Rule::Text},
};
constexpr RequestField kOptionalPage[] = {
    {"max_request_num", 78, 4, Rule::Int},
    {"position_str", 82, 32, Rule::Text},
};
constexpr RequestField kOptionalReplace[] = {
    {"record_len", 114, 4, Rule::RecordLength},
    {"record_set_cnt", 118, 4, Rule::Int},
};
constexpr RequestField kOptionalRecord[] = {
    {"security_code", 5, 12, Rule::Text},
    {"security_exchange", 4, 1, Rule::Int},
    {"priority", 0, 4, Rule::Int},
};
constexpr uint32_t kOptionalRecordSize = Tiled({Group(kOptionalRecord)}, 17);
constexpr uint32_t kOptionalFixedSize = Tiled(
    {Group(kOptionalHead), Group(kOptionalOneSecurity), Group(kOptionalPage),
     Group(kOptionalReplace)},
    122);

bool FillOptionalOperation(const Json::Value& request, BodyWriter& out) {
  if (!FillGroup(Group(kOptionalHead), request, out)) return false;
  switch (out.body[kOptionalHead[1].offset]) {
    case '0':
      return FillGroup(Group(kOptionalPage), request, out);
    case '1':
    case '2':
      return FillGroup(Group(kOptionalOneSecurity), request, out);
    case '3':
      // The dispatch has checked the count and sized the body from it.
      return FillGroup(Group(kOptionalReplace), request, out) &&
             FillRecords(Group(kOptionalRecord), kOptionalRecordSize,
                         request["record_set_cnt"].asInt(), request, out, kOptionalFixedSize);
    default:
      return true;  // any other operation sends the user name and that byte
  }
}

constexpr RequestLayout OptionalOperationLayout() {
  RequestLayout layout{};
  layout.funcId = 101;
  layout.name = "OptionalOperation";
  layout.bodySize = kOptionalFixedSize;
  layout.groups[0] = {nullptr, Group(kOptionalHead)};
  layout.groups[1] = {"\"op_type\" is '0' (48): one page of the list", Group(kOptionalPage)};
  layout.groups[2] = {"\"op_type\" is '1' (49) or '2' (50): one security",
                      Group(kOptionalOneSecurity)};
  layout.groups[3] = {"\"op_type\" is '3' (51): the whole list in \"record_set\"",
                      Group(kOptionalReplace)};
  layout.groupCount = 4;
  layout.countKey = "record_set_cnt";
  layout.recordSize = kOptionalRecordSize;
  layout.recordFields = Group(kOptionalRecord);
  layout.custom = &FillOptionalOperation;
  layout.note =
      "\"record_set_cnt\" is required as an integer in every request, whatever the "
      "operation: the body is 122 + 17 x \"record_set_cnt\" bytes.";
  return layout;
}

constexpr RequestLayout CurOrderLayout() {
  RequestLayout layout = Plain(8, "QryCurOrder", 233, kCurOrderFields);
  layout.secondLengthIsBody = true;
  return layout;
}

}  // namespace

constexpr RequestLayout kQryMoneyRequest = Plain(6, "QryMoney", 192, kAccount);
constexpr RequestLayout kQryHolderRequest = Plain(7, "QryHolder", 261, kHolderFields);
constexpr RequestLayout kQryCurOrderRequest = CurOrderLayout();
constexpr RequestLayout kQryCurTradeRequest = Plain(9, "QryCurTrade", 229, kCurTradeFields);
constexpr RequestLayout kQryHisOrderRequest = Plain(11, "QryHisOrder", 268, kHistoryFields);
constexpr RequestLayout kQryHisTradeRequest = Plain(12, "QryHisTrade", 268, kHistoryFields);
constexpr RequestLayout kQryProfitAndLossRequest =
    Plain(15, "QryProfitAndLoss", 196, kProfitFields);
constexpr RequestLayout kQryHisTradeNumRequest = Plain(16, "QryHisTradeNum", 204, kPerDayFields);
constexpr RequestLayout kQryHisOrderNumRequest = Plain(18, "QryHisOrderNum", 204, kPerDayFields);
constexpr RequestLayout kOptionalOperationRequest = OptionalOperationLayout();
constexpr RequestLayout kUserMenuauthRequest = Plain(102, "UserMenuauth", 64, kUserOnly);
constexpr RequestLayout kUserStockListRequest =
    Plain(103, "UserStockList", 256, kUserStockListFields);
constexpr RequestLayout kQueryDealListRequest = Plain(104, "QueryDealList", 100, kDealListFields);
constexpr RequestLayout kQueryCapitalListRequest = Plain(105, "QueryCapitalList", 64, kUserOnly);

}  // namespace tessel
