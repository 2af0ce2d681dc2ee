#include "tools/standin/answers.h"

#include <algorithm>
#include <map>
#include <utility>

#include "messages/inbound/answer_layouts.h"
#include "messages/outbound/order_requests.h"
#include "messages/outbound/query_requests.h"
#include "messages/outbound/session_requests.h"

namespace tessel::standin {

void Credentials::Set(std::string password) {
  std::lock_guard<std::mutex> lock(mutex_);
  password_ = std::move(password);
}

bool Credentials::Accepts(std::string_view given) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return password_.empty() || given == password_;
}

bool Credentials::Change(std::string_view current, std::string_view next) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!password_.empty() && current != password_) return false;
  password_ = std::string(next);
  return true;
}

namespace {

// Login and Logout answers are the answer head alone, as ModifyPwd's is.
const AnswerLayout kHeadAnswer{Fields(kAnswerHead), nullptr, kAnswerHeadErrorNoOffset, false};

// The head under both spellings of the user key; a layout takes the one it has.
Json::Value Head(const std::string& user, int32_t error) {
  Json::Value values(Json::objectValue);
  values["user_name"] = user;
  values["username"] = user;
  values["error_no"] = error;
  values["error_info"] = ErrorText(error);
  return values;
}

Frame Reply(const ReceivedFrame& request, const AnswerLayout& layout, const Json::Value& values) {
  const std::vector<uint8_t> body = EncodeAnswer(layout, values);
  return BuildFrame(request.messageType, body.data(), static_cast<uint32_t>(body.size()),
                    request.requestId, {});
}

// The request's fields by key, when its body has the layout's size (a
// counted body: the fixed part and whole records, as many as it says).
std::optional<Json::Value> BodyAs(const RequestLayout& layout, const ReceivedFrame& request) {
  const size_t size = request.body.size();
  if (layout.recordSize == 0 ? size != layout.bodySize
                             : size < layout.bodySize ||
                                   (size - layout.bodySize) % layout.recordSize != 0) {
    return std::nullopt;
  }
  return DecodeRequest(layout, request.body.data(), size);
}

uint8_t Byte(const Json::Value& value) { return static_cast<uint8_t>(value.asInt() & 0xFF); }

// ---- Session: login, logout, heartbeat and password -----------------------

std::optional<Frame> AnswerLogin(const ReceivedFrame& request, AnswerContext& context) {
  const auto body = BodyAs(kLoginRequest, request);
  if (!body) return Reply(request, kHeadAnswer, Head({}, kMalformedRequest));
  const std::string user = (*body)["user_name"].asString();
  if (!context.credentials.Accepts((*body)["pass_word"].asString())) {
    return Reply(request, kHeadAnswer, Head(user, kWrongPassword));
  }
  {
    std::lock_guard<std::mutex> hold(context.book.lock);
    if (context.book.book.Open(user) == nullptr) {
      return Reply(request, kHeadAnswer, Head(user, kTooManyAccounts));
    }
  }
  context.lastUser = user;
  return Reply(request, kHeadAnswer, Head(user, kNoError));
}

std::optional<Frame> AnswerLogout(const ReceivedFrame& request, AnswerContext& context) {
  if (!request.body.empty()) return Reply(request, kHeadAnswer, Head({}, kMalformedRequest));
  const std::string user = std::move(context.lastUser);
  context.lastUser.clear();
  return Reply(request, kHeadAnswer, Head(user, kNoError));
}

std::optional<Frame> AnswerModifyPwd(const ReceivedFrame& request, AnswerContext& context) {
  const auto body = BodyAs(kModifyPwdRequest, request);
  if (!body) return Reply(request, kModifyPwdAnswer, Head({}, kMalformedRequest));
  const std::string user = (*body)["user_name"].asString();
  const bool changed = context.credentials.Change((*body)["pass_word"].asString(),
                                                  (*body)["new_pass_word"].asString());
  return Reply(request, kModifyPwdAnswer, Head(user, changed ? kNoError : kWrongPassword));
}

std::optional<Frame> AnswerHeartbeat(const ReceivedFrame& request, AnswerContext&) {
  return BuildHeartbeat(request.requestId);
}

// ---- Trading requests: one handler per type, run under the book's lock ----

// One request against the book, by the user logged in on its connection.
struct Turn {
  const Json::Value& request;
  Book& book;
  Account& account;
  std::vector<Change>& changes;
};

using Handler = Json::Value (*)(Turn&);

// Records of `all` that `keep` selects, paged by the request's
// "max_request_num" and "position_str", each written by `write` and given
// its "position_str".
template <typename T, typename Keep, typename Write>
Json::Value Paged(const std::vector<T>& all, const Json::Value& request, Keep keep, Write write) {
  std::vector<const T*> kept;
  for (const T& item : all) {
    if (keep(item)) kept.push_back(&item);
  }
  const PageRange page =
      Page(kept.size(), request["max_request_num"].asInt(), request["position_str"].asString());
  Json::Value list(Json::arrayValue);
  for (size_t i = page.first; i < page.last; ++i) {
    Json::Value record = write(*kept[i]);
    record["position_str"] = std::to_string(i + 1);
    list.append(std::move(record));
  }
  return list;
}

// "mark" 0 asks for every market.
bool OnMarket(const Json::Value& request, uint8_t market) {
  const uint8_t mark = Byte(request["mark"]);
  return mark == 0 || mark == market;
}

bool InPeriod(const Json::Value& request, int32_t date) {
  const int32_t start = request["start_date"].asInt();
  const int32_t end = request["end_date"].asInt();
  return (start == 0 || date >= start) && (end == 0 || date <= end);
}

void PutAccount(Json::Value& record, const Account& account) {
  record["client_id"] = account.clientId;
  record["fund_account"] = account.fundAccount;
}

// One order, under the keys of both today's and past order records.
Json::Value OrderRecord(const Account& account, const Order& order) {
  Json::Value r(Json::objectValue);
  PutAccount(r, account);
  r["exchange_type"] = order.market;
  r["stock_code"] = order.code;
  r["stock_name"] = order.name;
  r["entrust_no"] = order.requestNo;
  r["request_no"] = order.requestNo;
  r["orig_request_no"] = order.cancelNo;
  r["entrust_bs"] = BsFlag(order.side);
  r["entrust_prop"] = order.prop;
  r["entrust_date"] = order.placed.date;
  r["entrust_time"] = order.placed.time;
  r["entrust_vol"] = order.volume;
  r["entrust_price"] = order.price;
  r["entrust_status"] = order.status;
  r["business_volume"] = r["business_vol"] = order.filled;
  r["business_price"] = order.fillPrice;
  r["business_amt"] = r["business_balance"] = order.filled * order.fillPrice;
  if (order.status == kOrderFilled) {
    r["business_date"] = order.changed.date;
    r["business_time"] = order.changed.time;
  }
  r["business_type"] = order.businessType;
  r["allow_cancel_order"] = order.allowCancel;
  r["text"] = StatusWord(order.status);
  r["trade_date"] = order.placed.date;
  return r;
}

Json::Value TradeRecord(const Account& account, const Trade& trade) {
  Json::Value r(Json::objectValue);
  PutAccount(r, account);
  r["exchange_type"] = trade.market;
  r["stock_code"] = trade.code;
  r["stock_name"] = trade.name;
  r["entrust_bs"] = BsFlag(trade.side);
  r["entrust_prop"] = trade.prop;
  r["entrust_no"] = trade.requestNo;
  r["request_no"] = trade.requestNo;
  r["business_vol"] = trade.volume;
  r["business_price"] = trade.price;
  r["business_amt"] = r["business_balance"] = trade.volume * trade.price;
  r["business_no"] = trade.businessNo;
  r["business_date"] = trade.at.date;
  r["business_time"] = trade.at.time;
  r["trade_date"] = trade.at.date;
  return r;
}

Json::Value OrderSubmit(Turn& t) {
  const Json::Value& q = t.request;
  Ticket ticket;
  ticket.requestNo = q["request_no"].asString();
  ticket.market = Byte(q["mark"]);
  ticket.code = q["code"].asString();
  ticket.side = Byte(q["entrust_bs"]);
  ticket.prop = Byte(q["entrust_prop"]);
  ticket.businessType = Byte(q["business_type"]);
  ticket.allowCancel = Byte(q["allow_cancel_order"]);
  ticket.volume = q["entrust_vol"].asDouble();
  ticket.price = q["entrust_price"].asDouble();
  Outcome outcome = t.book.Submit(t.account.user, ticket);
  t.changes = std::move(outcome.changes);
  Json::Value values = Head(t.account.user, outcome.error);
  values["request_no"] = ticket.requestNo;
  return values;
}

Json::Value OrderCancel(Turn& t) {
  const std::string cancelNo = t.request["request_no"].asString();
  Outcome outcome =
      t.book.Cancel(t.account.user, t.request["orig_request_no"].asString(), cancelNo);
  t.changes = std::move(outcome.changes);
  Json::Value values = Head(t.account.user, outcome.error);
  values["request_no"] = cancelNo;
  return values;
}

Json::Value MaxAnswer(Turn& t, std::optional<double> amount) {
  Json::Value values = Head(t.account.user, amount ? kNoError : kUnknownSecurity);
  values["client_id"] = values["cliend_id"] = t.account.clientId;
  values["fund_account"] = t.account.fundAccount;
  values["enable_amount"] = amount.value_or(0);
  return values;
}

Json::Value QryMaxSell(Turn& t) {
  return MaxAnswer(t, t.book.MaxSell(t.account.user, Byte(t.request["mark"]),
                                     t.request["code"].asString()));
}

Json::Value QryMaxBuy(Turn& t) {
  return MaxAnswer(t, t.book.MaxBuy(t.account.user, Byte(t.request["mark"]),
                                    t.request["code"].asString(),
                                    t.request["entrust_price"].asDouble(),
                                    t.request["trade_unit"].asInt()));
}

Json::Value QryMoney(Turn& t) {
  const Account& a = t.account;
  const double marketValue = t.book.MarketValue(a);
  Json::Value values = Head(a.user, kNoError);
  values["market_value"] = marketValue;
  values["total_asset"] = values["net_asset"] = a.cash + marketValue;
  values["purchase_power"] = a.Available();
  values["balance"] = a.cash;
  Json::Value record(Json::objectValue);
  PutAccount(record, a);
  record["enable_balance"] = a.Available();
  values["record_set"].append(std::move(record));
  return values;
}

Json::Value QryHolder(Turn& t) {
  const Account& a = t.account;
  Json::Value values = Head(a.user, kNoError);
  values["holders"] = Paged(
      a.positions, t.request, [&](const Position& p) { return OnMarket(t.request, p.market); },
      [&](const Position& p) {
        const Security* security = t.book.FindSecurity(p.market, p.code);
        const double last = security != nullptr ? security->price : p.cost;
        Json::Value r(Json::objectValue);
        PutAccount(r, a);
        r["exchange_type"] = p.market;
        r["stock_code"] = p.code;
        r["stock_name"] = p.name;
        r["current_vol"] = p.current;
        r["enable_vol"] = p.enable;
        r["keep_cost_price"] = p.cost;
        r["last_price"] = last;
        r["market_value"] = p.current * last;
        r["income_balance"] = p.current * (last - p.cost);
        return r;
      });
  return values;
}

Json::Value QryCurOrder(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["records"] = Paged(
      t.account.orders, t.request, [&](const Order& o) { return OnMarket(t.request, o.market); },
      [&](const Order& o) { return OrderRecord(t.account, o); });
  return values;
}

Json::Value QryCurTrade(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["records"] = Paged(
      t.account.trades, t.request, [&](const Trade& d) { return OnMarket(t.request, d.market); },
      [&](const Trade& d) { return TradeRecord(t.account, d); });
  return values;
}

// The book holds today only: the past is today's orders and trades when the
// period includes today.
Json::Value QryHisOrder(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["record_set"] = Paged(
      t.account.orders, t.request, [&](const Order& o) { return InPeriod(t.request, o.placed.date); },
      [&](const Order& o) { return OrderRecord(t.account, o); });
  return values;
}

Json::Value QryHisTrade(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["record_set"] = Paged(
      t.account.trades, t.request, [&](const Trade& d) { return InPeriod(t.request, d.at.date); },
      [&](const Trade& d) { return TradeRecord(t.account, d); });
  return values;
}

// Per-day counts of `dates` within the period, and their total.
Json::Value PerDay(Turn& t, const std::vector<int32_t>& dates, const char* dateKey,
                   const char* numKey, const char* allKey) {
  std::map<int32_t, int32_t> days;
  int32_t all = 0;
  for (int32_t date : dates) {
    if (!InPeriod(t.request, date)) continue;
    ++days[date];
    ++all;
  }
  std::vector<std::pair<int32_t, int32_t>> list(days.begin(), days.end());
  const PageRange page = Page(list.size(), t.request["max_request_num"].asInt(), {});
  Json::Value values = Head(t.account.user, kNoError);
  values[allKey] = all;
  values["record_set"] = Json::Value(Json::arrayValue);
  for (size_t i = page.first; i < page.last; ++i) {
    Json::Value record(Json::objectValue);
    record[dateKey] = list[i].first;
    record[numKey] = list[i].second;
    values["record_set"].append(std::move(record));
  }
  return values;
}

Json::Value QryHisTradeNum(Turn& t) {
  std::vector<int32_t> dates;
  for (const Trade& trade : t.account.trades) dates.push_back(trade.at.date);
  return PerDay(t, dates, "business_date", "business_num", "business_num_all");
}

Json::Value QryHisOrderNum(Turn& t) {
  std::vector<int32_t> dates;
  for (const Order& order : t.account.orders) dates.push_back(order.placed.date);
  return PerDay(t, dates, "entrust_date", "entrust_num", "entrust_num_all");
}

Json::Value QryProfitAndLoss(Turn& t) {
  const double floating = t.book.FloatingProfit(t.account);
  Json::Value values = Head(t.account.user, kNoError);
  values["client_id"] = t.account.clientId;
  values["profit_loss"] = t.account.realized + floating;
  values["actual_profit_loss"] = t.account.realized;
  values["floating_profit_loss"] = floating;
  return values;
}

Json::Value WatchList(Turn& t, int32_t error) {
  Json::Value values = Head(t.account.user, error);
  Json::Value page;
  page["max_request_num"] = t.request["max_request_num"];
  page["position_str"] = t.request["position_str"];
  values["record_set"] = Paged(
      t.account.watch, page, [](const WatchItem&) { return true; },
      [&](const WatchItem& item) {
        const Security* security = t.book.FindSecurity(item.market, item.code);
        Json::Value r(Json::objectValue);
        r["security_exchange"] = item.market;
        r["code"] = item.code;
        r["security_name"] = security != nullptr ? security->name : "";
        return r;
      });
  return values;
}

// '0' lists a page; '1' adds, '2' removes, '3' replaces the list (by
// ascending "priority"); each answers with the first page of the list.
Json::Value OptionalOperation(Turn& t) {
  const Json::Value& q = t.request;
  const std::string& user = t.account.user;
  switch (Byte(q["op_type"])) {
    case '0':
      return WatchList(t, kNoError);
    case '1':
      return WatchList(t, t.book.Watch(user, Byte(q["mark"]), q["code"].asString()));
    case '2':
      return WatchList(t, t.book.Unwatch(user, Byte(q["mark"]), q["code"].asString()));
    case '3': {
      const Json::Value& records = q["record_set"];
      if (q["record_set_cnt"].asInt() != static_cast<int>(records.size())) {
        return WatchList(t, kMalformedRequest);
      }
      std::vector<std::pair<int32_t, WatchItem>> ranked;
      for (const Json::Value& r : records) {
        ranked.push_back({r["priority"].asInt(),
                          {Byte(r["security_exchange"]), r["security_code"].asString()}});
      }
      std::stable_sort(ranked.begin(), ranked.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      std::vector<WatchItem> items;
      for (auto& entry : ranked) items.push_back(std::move(entry.second));
      return WatchList(t, t.book.ReplaceWatch(user, items));
    }
    default:
      return WatchList(t, kBadWatchOperation);
  }
}

constexpr char kMenuConfig[] = "order,cancel,query,watchlist";

Json::Value UserMenuauth(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["menu_config"] = kMenuConfig;
  return values;
}

Json::Value UserStockList(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  Json::Value list(Json::arrayValue);
  for (const Security& security : t.book.Securities()) {
    Json::Value r(Json::objectValue);
    PutAccount(r, t.account);
    r["security_exchange"] = security.market;
    r["code"] = security.code;
    r["security_name"] = security.name;
    list.append(std::move(r));
  }
  values["record_set"] = std::move(list);
  return values;
}

Json::Value QueryDealList(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["record_set"] = Paged(
      t.account.dealers, t.request, [](const Dealer&) { return true; },
      [](const Dealer& d) {
        Json::Value r(Json::objectValue);
        r["user_name"] = d.user;
        r["client_id"] = d.clientId;
        r["operator_id"] = d.operatorId;
        return r;
      });
  return values;
}

Json::Value QueryCapitalList(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["operator_id"] = t.account.operatorId;
  Json::Value list(Json::arrayValue);
  for (const CapitalAccount& c : t.account.capital) {
    Json::Value r(Json::objectValue);
    r["fund_account"] = c.fundAccount;
    r["client_id"] = c.clientId;
    r["busi_type"] = c.busiType;
    r["busi_type_desc"] = c.busiTypeDesc;
    list.append(std::move(r));
  }
  values["record_set"] = std::move(list);
  return values;
}

struct TradingRow {
  const RequestLayout* request;
  const AnswerLayout* answer;
  Handler handle;
};

const TradingRow kTrading[] = {
    {&kOrderSubmitRequest, &kOrderSubmitAnswer, OrderSubmit},
    {&kOrderCancelRequest, &kOrderCancelAnswer, OrderCancel},
    {&kQryMoneyRequest, &kQryMoneyAnswer, QryMoney},
    {&kQryHolderRequest, &kQryHolderAnswer, QryHolder},
    {&kQryCurOrderRequest, &kQryCurOrderAnswer, QryCurOrder},
    {&kQryCurTradeRequest, &kQryCurTradeAnswer, QryCurTrade},
    {&kQryHisOrderRequest, &kQryHisOrderAnswer, QryHisOrder},
    {&kQryHisTradeRequest, &kQryHisTradeAnswer, QryHisTrade},
    {&kQryMaxSellRequest, &kQryMaxSellAnswer, QryMaxSell},
    {&kQryMaxBuyRequest, &kQryMaxBuyAnswer, QryMaxBuy},
    {&kQryProfitAndLossRequest, &kQryProfitAndLossAnswer, QryProfitAndLoss},
    {&kQryHisTradeNumRequest, &kQryHisTradeNumAnswer, QryHisTradeNum},
    {&kQryHisOrderNumRequest, &kQryHisOrderNumAnswer, QryHisOrderNum},
    {&kOptionalOperationRequest, &kOptionalOperationAnswer, OptionalOperation},
    {&kUserMenuauthRequest, &kUserMenuauthAnswer, UserMenuauth},
    {&kUserStockListRequest, &kUserStockListAnswer, UserStockList},
    {&kQueryDealListRequest, &kQueryDealListAnswer, QueryDealList},
    {&kQueryCapitalListRequest, &kQueryCapitalListAnswer, QueryCapitalList},
};

Frame AnswerTrading(const TradingRow& row, const ReceivedFrame& request, AnswerContext& context) {
  // Only the watch list is counted; more records than it may hold are not
  // worth decoding.
  const RequestLayout& layout = *row.request;
  if (layout.recordSize != 0 && request.body.size() > layout.bodySize &&
      (request.body.size() - layout.bodySize) / layout.recordSize > kMaxWatchList) {
    return Reply(request, *row.answer, Head(context.lastUser, kWatchListFull));
  }
  const auto body = BodyAs(layout, request);
  if (!body) return Reply(request, *row.answer, Head(context.lastUser, kMalformedRequest));
  std::lock_guard<std::mutex> hold(context.book.lock);
  Book& book = context.book.book;
  Account* account = context.lastUser.empty() ? nullptr : book.Open(context.lastUser);
  if (account == nullptr) return Reply(request, *row.answer, Head(context.lastUser, kNotLoggedIn));
  std::vector<Change> changes;
  Turn turn{*body, book, *account, changes};
  const Json::Value values = row.handle(turn);
  std::vector<Push> pushes = PushesFor(book, changes);
  context.deliver(pushes);
  return Reply(request, *row.answer, values);
}

using SessionFunction = std::optional<Frame> (*)(const ReceivedFrame&, AnswerContext&);

struct SessionRow {
  uint32_t messageType;
  SessionFunction answer;
};

const SessionRow kSession[] = {
    {kLoginType, AnswerLogin},
    {kLogoutType, AnswerLogout},
    {kHeartbeatType, AnswerHeartbeat},
    {kModifyPwdRequest.funcId, AnswerModifyPwd},
};

}  // namespace

std::optional<Frame> AnswerFor(const ReceivedFrame& request, AnswerContext& context) {
  for (const SessionRow& row : kSession) {
    if (row.messageType == request.messageType) return row.answer(request, context);
  }
  for (const TradingRow& row : kTrading) {
    if (row.request->funcId == request.messageType) return AnswerTrading(row, request, context);
  }
  return std::nullopt;
}

}  // namespace tessel::standin
