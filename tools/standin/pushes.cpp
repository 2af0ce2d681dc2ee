#include "tools/standin/pushes.h"

#include "messages/inbound/answer_layouts.h"

namespace tessel::standin {
namespace {


Frame PushFrame(const AnswerLayout& layout, const Json::Value& values) {
  const std::vector<uint8_t> body = EncodeAnswer(layout, values);
  return BuildFrame(static_cast<uint32_t>(layout.pushType), body.data(),
                    static_cast<uint32_t>(body.size()), 0, {});
}

// A cancel is reported under the cancel's number, naming the order it
// withdrew; other changes under the order's own number.
Json::Value ExecutionReport(const Account& a, const Change& change) {
  const Order& o = change.order;
  const bool cancelled = o.status == kOrderCancelled || o.status == kOrderPartlyCancelled;
  Json::Value v(Json::objectValue);
  v["user_name"] = a.user;
  v["client_id"] = a.ClientOf(o.fundAccount);
  v["fund_account"] = o.fundAccount;
  v["operator_id"] = o.operatorId;
  v["security_exchange"] = o.market;
  v["security_code"] = o.code;
  v["request_no"] = cancelled ? o.cancelNo : o.requestNo;
  v["orig_request_no"] = cancelled ? o.requestNo : std::string();
  v["entrust_bs"] = BsFlag(o.side);
  v["entrust_prop"] = o.prop;
  v["cur_date"] = o.changed.date;
  v["cur_time"] = o.changed.time;
  v["entrust_amount"] = o.volume;
  v["entrust_price"] = o.price;
  v["entrust_status"] = o.status;
  v["business_amount"] = change.trade ? change.trade->volume : 0.0;
  v["business_price"] = change.trade ? change.trade->price : 0.0;
  v["left_amount"] = o.volume - o.filled;
  v["avg_price"] = o.fillPrice;
  v["business_no"] = change.trade ? change.trade->businessNo : std::string();
  v["text"] = StatusWord(o.status);
  v["business_type"] = o.businessType;
  v["allow_cancel_order"] = o.allowCancel;
  return v;
}

Json::Value OrderProgress(const Account& a, const Change& change) {
  Json::Value v(Json::objectValue);
  v["username"] = a.user;
  v["request_no"] = change.order.requestNo;
  v["entrust_time"] = change.order.changed.time;
  v["security_code"] = change.order.code;
  v["error_no"] = kNoError;
  v["error_info"] = StatusWord(change.order.status);
  return v;
}

Json::Value FundChange(const Change& change, int64_t now) {
  Json::Value v(Json::objectValue);
  v["fund_account"] = change.fundAccount;
  v["update_status"] = "update";
  v["purchase_power"] = change.available;
  v["balance"] = change.balance;
  v["actual_profit_loss"] = change.realized;
  v["trigger_time"] = static_cast<Json::Int64>(now);
  return v;
}

Json::Value PositionChange(const Change& change, int64_t now) {
  const Position& p = change.position;
  Json::Value v(Json::objectValue);
  v["fund_account"] = change.fundAccount;
  v["update_status"] = "update";
  v["security_exchange"] = p.market;
  v["security_code"] = p.code;
  v["security_name"] = p.name;
  v["current_amount"] = p.current;
  v["enable_amount"] = p.enable;
  v["avg_price"] = p.cost;
  v["frozen_amount"] = p.current - p.enable;
  v["trigger_time"] = static_cast<Json::Int64>(now);
  v["transAmount"] = static_cast<Json::Int64>(change.tradedVolume);
  v["bargainBalance"] = change.tradedAmount;
  return v;
}

}  // namespace

std::vector<Push> PushesFor(const Book& book, const std::vector<Change>& changes) {
  std::vector<Push> pushes;
  const int64_t now = Now().millis;
  for (const Change& change : changes) {
    const Account* account = book.Find(change.user);
    if (account == nullptr) continue;
    switch (change.kind) {
      case Change::Kind::Order:
        pushes.push_back({change.user, PushFrame(kExecutionReportPush, ExecutionReport(*account, change))});
        pushes.push_back({change.user, PushFrame(kOrderProgressPush, OrderProgress(*account, change))});
        break;
      case Change::Kind::Fund:
        pushes.push_back({change.user, PushFrame(kFundChangePush, FundChange(change, now))});
        break;
      case Change::Kind::Position:
        pushes.push_back(
            {change.user, PushFrame(kPositionChangePush, PositionChange(change, now))});
        break;
    }
  }
  return pushes;
}

std::optional<Frame> EncodePush(uint32_t type, const Json::Value& values) {
  const PushType* push = FindPushType(type);
  if (push == nullptr || push->layout == nullptr) return std::nullopt;
  return PushFrame(*push->layout, values);
}

}  // namespace tessel::standin
