#include "tools/standin/answers.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "messages/inbound/answer_layouts.h"
#include "messages/outbound/algorithm_requests.h"
#include "messages/outbound/basket_requests.h"
#include "messages/outbound/order_requests.h"
#include "messages/outbound/query_requests.h"
#include "messages/outbound/session_requests.h"
#include "messages/outbound/strategy_requests.h"

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

// A listed book checks each user's own password; an open one the shared
// password, and makes an account for a user it has not seen.
int32_t LoginError(AnswerContext& context, const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> hold(context.book.lock);
  Book& book = context.book.book;
  if (book.Listed()) return book.CheckLogin(user, password);
  if (!context.credentials.Accepts(password)) return kWrongPassword;
  return book.Open(user) != nullptr ? kNoError : kTooManyAccounts;
}

std::optional<Frame> AnswerLogin(const ReceivedFrame& request, AnswerContext& context) {
  const auto body = BodyAs(kLoginRequest, request);
  if (!body) return Reply(request, kHeadAnswer, Head({}, kMalformedRequest));
  const std::string user = (*body)["user_name"].asString();
  const int32_t error = LoginError(context, user, (*body)["pass_word"].asString());
  if (error == kNoError) context.lastUser = user;
  return Reply(request, kHeadAnswer, Head(user, error));
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
  const std::string current = (*body)["pass_word"].asString();
  const std::string next = (*body)["new_pass_word"].asString();
  std::lock_guard<std::mutex> hold(context.book.lock);
  Book& book = context.book.book;
  const int32_t error = book.Listed() ? book.ChangePassword(user, current, next)
                        : context.credentials.Change(current, next) ? kNoError
                                                                    : kWrongPassword;
  return Reply(request, kModifyPwdAnswer, Head(user, error));
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

// The fund account an order or trade was placed under, with its client.
void PutFund(Json::Value& record, const Account& account, const std::string& fundAccount) {
  record["client_id"] = account.ClientOf(fundAccount);
  record["fund_account"] = fundAccount;
}

// One order, under the keys of both today's and past order records.
Json::Value OrderRecord(const Account& account, const Order& order) {
  Json::Value r(Json::objectValue);
  PutFund(r, account, order.fundAccount);
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
  if (order.filled > 0) {
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
  PutFund(r, account, trade.fundAccount);
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
  ticket.fundAccount = q["fund_account"].asString();
  ticket.operatorId = q["operator_id"].asString();
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
  const Json::Value& q = t.request;
  CancelTicket cancel;
  cancel.orderNo = q["orig_request_no"].asString();
  cancel.cancelNo = q["request_no"].asString();
  cancel.market = Byte(q["mark"]);
  cancel.code = q["code"].asString();
  cancel.fundAccount = q["fund_account"].asString();
  Outcome outcome = t.book.Cancel(t.account.user, cancel);
  t.changes = std::move(outcome.changes);
  Json::Value values = Head(t.account.user, outcome.error);
  values["request_no"] = cancel.cancelNo;
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

// ---- Baskets and basket plans (book_programs.cpp) -------------------------

// The request's own generated number, echoed in these answers.
std::string RequestNo(const Json::Value& request) { return request["request_no"].asString(); }

Json::Value ProgramHead(Turn& t, int32_t error) {
  Json::Value values = Head(t.account.user, error);
  values["request_no"] = RequestNo(t.request);
  return values;
}

// YYYYMMDDHHMMSS, as the plan and order records report a moment.
uint64_t Moment(const Stamp& stamp) {
  return static_cast<uint64_t>(stamp.date) * 1000000u + static_cast<uint64_t>(stamp.time);
}

BasketSecurity SecurityFrom(const Json::Value& r, uint8_t market) {
  BasketSecurity s;
  s.detailId = r["basket_detail_id"].asString();
  s.market = market;
  s.code = r["security_code"].asString();
  s.name = r["security_name"].asString();
  s.algorithmType = r["algorithm_type"].asString();
  s.side = Byte(r["entrust_bs"]);
  s.priceType = r["entrust_price_type"].asString();
  s.limitPrice = r["limit_price"].asDouble();
  s.price = r["price"].asDouble();
  s.amount = r["amount"].asInt();
  s.smallestAmount = r["smallest_entrust_amount"].asDouble();
  s.smallestBalance = r["smallest_entrust_balance"].asDouble();
  return s;
}

Json::Value CreateBasket(Turn& t) {
  std::string no;
  const std::string name = t.request["basket_name"].asString();
  const std::string type = t.request["type"].asString();
  Json::Value values =
      ProgramHead(t, t.book.CreateBasket(t.account.user, name, type, no));
  values["basket_no"] = no;
  values["basket_name"] = name;
  values["basket_type"] = type;
  return values;
}

Json::Value UpdateBasket(Turn& t) {
  const std::string no = t.request["basket_no"].asString();
  Json::Value values = ProgramHead(
      t, t.book.RenameBasket(t.account.user, no, t.request["basket_name"].asString()));
  values["basket_no"] = no;
  return values;
}

Json::Value DeleteBasket(Turn& t) {
  const std::string no = t.request["basket_no"].asString();
  Json::Value values = ProgramHead(t, t.book.DeleteBasket(t.account.user, no));
  values["basket_no"] = no;
  return values;
}

// An empty "basket_no" lists every basket.
Json::Value QueryBasket(Turn& t) {
  const std::string no = t.request["basket_no"].asString();
  if (!no.empty() && t.book.FindBasket(t.account.user, no) == nullptr) {
    return ProgramHead(t, kUnknownBasket);
  }
  Json::Value values = ProgramHead(t, kNoError);
  values["record_set"] = Json::Value(Json::arrayValue);
  for (const Basket& basket : t.account.baskets) {
    if (!no.empty() && basket.no != no) continue;
    Json::Value r(Json::objectValue);
    r["basket_no"] = basket.no;
    r["basket_name"] = basket.name;
    r["type"] = basket.type;
    values["record_set"].append(std::move(r));
  }
  return values;
}

Json::Value AddBasketSecurity(Turn& t) {
  std::vector<std::string> ids;
  const int32_t error = t.book.AddBasketSecurities(
      t.account.user, t.request["basket_no"].asString(),
      {SecurityFrom(t.request, Byte(t.request["mark"]))}, ids);
  Json::Value values = ProgramHead(t, error);
  values["basket_detail_id"] = ids.empty() ? std::string() : ids.front();
  return values;
}

Json::Value AddBasketSecurityBatch(Turn& t) {
  const Json::Value& records = t.request["record_set"];
  if (t.request["record_set_cnt"].asInt() != static_cast<int>(records.size())) {
    return ProgramHead(t, kMalformedRequest);
  }
  std::vector<BasketSecurity> securities;
  for (const Json::Value& r : records) {
    securities.push_back(SecurityFrom(r, Byte(r["security_exchange"])));
  }
  std::vector<std::string> ids;
  return ProgramHead(t, t.book.AddBasketSecurities(t.account.user,
                                                   t.request["basket_no"].asString(),
                                                   std::move(securities), ids));
}

Json::Value UpdateBasketSecurity(Turn& t) {
  const BasketSecurity security = SecurityFrom(t.request, 0);
  Json::Value values = ProgramHead(t, t.book.UpdateBasketSecurity(t.account.user, security));
  values["basket_detail_id"] = security.detailId;
  return values;
}

Json::Value DelBasketSecurity(Turn& t) {
  const std::string id = t.request["basket_detail_id"].asString();
  Json::Value values = ProgramHead(t, t.book.DeleteBasketSecurity(t.account.user, id));
  values["basket_detail_id"] = id;
  return values;
}

Json::Value QueryBasketDetail(Turn& t) {
  const Basket* basket = t.book.FindBasket(t.account.user, t.request["basket_no"].asString());
  if (basket == nullptr) return ProgramHead(t, kUnknownBasket);
  Json::Value values = ProgramHead(t, kNoError);
  values["record_set"] = Json::Value(Json::arrayValue);
  for (const BasketSecurity& s : basket->securities) {
    Json::Value r(Json::objectValue);
    r["basket_no"] = basket->no;
    r["basket_detail_id"] = s.detailId;
    r["security_code"] = s.code;
    r["security_name"] = s.name;
    r["security_exchange"] = s.market;
    r["algorithm_type"] = s.algorithmType;
    r["entrust_bs"] = s.side;
    r["entrust_price_type"] = s.priceType;
    r["limit_price"] = s.limitPrice;
    r["price"] = s.price;
    r["amount"] = s.amount;
    r["smallest_entrust_amount"] = s.smallestAmount;
    r["smallest_entrust_balance"] = s.smallestBalance;
    values["record_set"].append(std::move(r));
  }
  return values;
}

Json::Value StartBasketPlan(Turn& t) {
  const Json::Value& q = t.request;
  const Json::Value& records = q["record_set"];
  if (q["basket_detail_cnt"].asInt() != static_cast<int>(records.size())) {
    return ProgramHead(t, kMalformedRequest);
  }
  std::vector<PlanLine> lines;
  for (const Json::Value& r : records) {
    PlanLine line;
    line.detailId = r["basket_detail_id"].asString();
    line.priceType = r["entrust_price_type"].asString();
    line.algorithmType = r["algorithm_type"].asString();
    line.side = Byte(r["entrust_bs"]);
    line.price = r["entrust_price"].asDouble();
    line.amount = r["entrust_amount"].asDouble();
    lines.push_back(std::move(line));
  }
  std::string batchNo;
  const std::string basketNo = q["basket_no"].asString();
  Outcome outcome = t.book.StartPlan(t.account.user, basketNo, q["basket_type"].asString(),
                                     q["fund_account"].asString(), lines, batchNo);
  t.changes = std::move(outcome.changes);
  Json::Value values = ProgramHead(t, outcome.error);
  values["basket_no"] = basketNo;
  values["batch_no"] = batchNo;
  return values;
}

// Every plan, or the plans of one basket.
Json::Value QueryBasketPlan(Turn& t) {
  const std::string no = t.request["basket_no"].asString();
  Json::Value values = ProgramHead(t, kNoError);
  values["record_set"] = Json::Value(Json::arrayValue);
  for (const Plan& plan : t.account.plans) {
    if (!no.empty() && plan.basketNo != no) continue;
    double ordered = 0;
    double filled = 0;
    for (const PlanLine& line : plan.lines) {
      ordered += line.amount;
      if (const Order* order = t.book.FindOrder(t.account, line.requestNo)) {
        filled += order->filled;
      }
    }
    Json::Value r(Json::objectValue);
    r["basket_no"] = plan.basketNo;
    r["batch_no"] = plan.batchNo;
    r["basket_name"] = plan.basketName;
    r["fund_account"] = plan.fundAccount;
    r["basket_type"] = plan.basketType;
    r["status"] = t.book.PlanStatus(t.account, plan);
    r["start_time"] = std::to_string(Moment(plan.started));
    r["business_amount"] = filled;
    r["entrust_amount"] = ordered;
    values["record_set"].append(std::move(r));
  }
  return values;
}

// The plan a request names by basket and batch, with its numbers in the head.
const Plan* NamedPlan(Turn& t, Json::Value& values) {
  const std::string basketNo = t.request["basket_no"].asString();
  const std::string batchNo = t.request["batch_no"].asString();
  const Plan* plan = t.book.FindPlan(t.account.user, basketNo, batchNo);
  values = ProgramHead(t, plan == nullptr ? kUnknownPlan : kNoError);
  values["basket_no"] = basketNo;
  values["batch_no"] = batchNo;
  return plan;
}

Json::Value QueryBasketPlanDetail(Turn& t) {
  Json::Value values;
  const Plan* plan = NamedPlan(t, values);
  if (plan == nullptr) return values;
  values["record_set"] = Json::Value(Json::arrayValue);
  for (const PlanLine& line : plan->lines) {
    const Order* order = t.book.FindOrder(t.account, line.requestNo);
    Json::Value r(Json::objectValue);
    r["security_code"] = line.code;
    r["security_name"] = line.name;
    r["security_exchange"] = line.market;
    r["algorithm_type"] = line.algorithmType;
    r["entrust_bs"] = line.side;
    r["entrust_price_type"] = line.priceType;
    r["entrust_price"] = line.price;
    r["entrust_amount"] = line.amount;
    r["business_entrust_amount"] = order != nullptr ? order->filled : 0.0;
    values["record_set"].append(std::move(r));
  }
  return values;
}

// A line the book refused is listed with this status and the refusal.
constexpr uint8_t kLineRefused = '9';

Json::Value QueryBasketEntrustOrder(Turn& t) {
  Json::Value values;
  const Plan* plan = NamedPlan(t, values);
  if (plan == nullptr) return values;
  values["record_set"] = Paged(
      plan->lines, t.request, [](const PlanLine&) { return true; },
      [&](const PlanLine& line) {
        const Order* order = t.book.FindOrder(t.account, line.requestNo);
        Json::Value r(Json::objectValue);
        r["security_code"] = line.code;
        r["security_name"] = line.name;
        r["security_exchange"] = line.market;
        r["entrust_bs"] = line.side;
        r["entrust_price"] = line.price;
        r["entrust_amount"] = line.amount;
        if (order == nullptr) {
          r["entrust_status"] = kLineRefused;
          r["entrust_time"] = std::to_string(Moment(plan->started));
          r["entrust_msg"] = ErrorText(line.refusal);
          return r;
        }
        r["entrust_status"] = order->status;
        r["entrust_time"] = std::to_string(Moment(order->placed));
        r["business_amount"] = order->filled;
        r["business_balance"] = order->filled * order->fillPrice;
        r["business_price"] = order->fillPrice;
        r["entrust_msg"] = StatusWord(order->status);
        return r;
      });
  return values;
}

Json::Value QueryBasketBargainOrder(Turn& t) {
  Json::Value values;
  const Plan* plan = NamedPlan(t, values);
  if (plan == nullptr) return values;
  const auto ofPlan = [&](const Trade& trade) {
    return std::any_of(plan->lines.begin(), plan->lines.end(), [&](const PlanLine& line) {
      return !line.requestNo.empty() && line.requestNo == trade.requestNo;
    });
  };
  values["record_set"] = Paged(t.account.trades, t.request, ofPlan, [](const Trade& trade) {
    Json::Value r(Json::objectValue);
    r["security_code"] = trade.code;
    r["security_name"] = trade.name;
    r["security_exchange"] = trade.market;
    r["entrust_bs"] = trade.side;
    r["business_amount"] = trade.volume;
    r["business_balance"] = trade.volume * trade.price;
    r["business_price"] = trade.price;
    r["business_time"] = std::to_string(Moment(trade.at));
    return r;
  });
  return values;
}

// ---- Algorithms ------------------------------------------------------------

// "op_type": '1' starts an algorithm, '2' gives it new limits, '3' pauses,
// '4' resumes and '5' cancels it.
Json::Value OperAlgorithm(Turn& t) {
  const Json::Value& q = t.request;
  const std::string no = q["algorithm_or_order_no"].asString();
  Json::Value values = Head(t.account.user, kNoError);
  values["request_no"] = RequestNo(q);
  values["algorithm_or_order_no"] = no;
  const auto answer = [&](Outcome outcome) {
    t.changes = std::move(outcome.changes);
    values["error_no"] = outcome.error;
    values["error_info"] = ErrorText(outcome.error);
    return values;
  };
  static const char* const kSettings[] = {
      "begin_time", "end_time", "limit_price_basic", "limit_price_unit", "limit_price_change",
      "quantity_ratio", "stop_sell_limit_up", "cancel_order_limit_down",
      "smallest_entrust_amount", "smallest_entrust_balance", "price_type"};
  switch (Byte(q["op_type"])) {
    case '1': {
      Algorithm algorithm;
      algorithm.type = q["algorithm_type"].asString();
      algorithm.market = Byte(q["security_exchange"]);
      algorithm.code = q["security_code"].asString();
      algorithm.side = Byte(q["entrust_bs"]);
      algorithm.amount = q["entrust_amount"].asDouble();
      algorithm.slice = q["smallest_entrust_amount"].asDouble();
      for (const char* key : kSettings) algorithm.settings[key] = q[key];
      std::string started;
      Outcome outcome = t.book.StartAlgorithm(t.account.user, std::move(algorithm), started);
      values["algorithm_or_order_no"] = started;
      return answer(std::move(outcome));
    }
    case '2': {
      Algorithm* algorithm = nullptr;
      for (Algorithm& a : t.account.algorithms) {
        if (!no.empty() && a.no == no) algorithm = &a;
      }
      if (algorithm == nullptr) return answer({kUnknownAlgorithm, {}});
      if (algorithm->status == kAlgorithmCancelled || algorithm->status == kAlgorithmDone ||
          algorithm->status == kAlgorithmStopped) {
        return answer({kAlgorithmEnded, {}});
      }
      for (const char* key : kSettings) {
        if (q.isMember(key)) algorithm->settings[key] = q[key];
      }
      return answer({});
    }
    case '3': return answer(t.book.OperateAlgorithm(t.account.user, no, Book::Operation::Pause));
    case '4': return answer(t.book.OperateAlgorithm(t.account.user, no, Book::Operation::Resume));
    case '5': return answer(t.book.OperateAlgorithm(t.account.user, no, Book::Operation::Cancel));
    default: return answer({kBadAlgorithmOperation, {}});
  }
}

// The common part, then the part "op_type" chose: the two overlap.
std::optional<Json::Value> DecodeOperAlgorithm(const RequestLayout& layout,
                                               const ReceivedFrame& request) {
  if (request.body.size() != layout.bodySize) return std::nullopt;
  const uint8_t* body = request.body.data();
  const size_t size = request.body.size();
  Json::Value out(Json::objectValue);
  DecodeGroup(layout.groups[0].group, body, size, out);
  switch (Byte(out["op_type"])) {
    case '1':
      DecodeGroup(layout.groups[1].group, body, size, out);
      DecodeGroup(layout.groups[2].group, body, size, out);
      break;
    case '2':
      DecodeGroup(layout.groups[3].group, body, size, out);
      DecodeGroup(layout.groups[4].group, body, size, out);
      break;
    default:
      break;
  }
  return out;
}

bool Matches(const Json::Value& request, const char* key, const std::string& value) {
  const std::string wanted = request[key].asString();
  return wanted.empty() || wanted == value;
}

Json::Value QueryAlgorithmList(Turn& t) {
  const Json::Value& q = t.request;
  Json::Value values = ProgramHead(t, kNoError);
  values["record_set"] = Paged(
      t.account.algorithms, q,
      [&](const Algorithm& a) {
        const uint8_t market = Byte(q["security_exchange"]);
        return Matches(q, "algorithm_no", a.no) && Matches(q, "algorithm_type", a.type) &&
               Matches(q, "security_code", a.code) &&
               Matches(q, "algorithm_status", a.status) && (market == 0 || market == a.market);
      },
      [&](const Algorithm& a) {
        Json::Value r(Json::objectValue);
        PutAccount(r, t.account);
        for (const std::string& key : a.settings.getMemberNames()) r[key] = a.settings[key];
        r["algorithm_no"] = a.no;
        r["algorithm_type"] = a.type;
        r["security_code"] = a.code;
        r["security_name"] = a.name;
        r["security_exchange"] = a.market;
        r["entrust_bs"] = a.side;
        r["entrust_amount"] = a.amount;
        r["entrust_amount_remain"] = a.amount - a.placed;
        double filled = 0;
        for (const std::string& no : a.orders) {
          if (const Order* order = t.book.FindOrder(t.account, no)) filled += order->filled;
        }
        r["business_amount"] = filled;
        r["algorithm_status"] = a.status;
        r["entrust_time"] = static_cast<Json::UInt64>(Moment(a.entered));
        return r;
      });
  return values;
}

Json::Value QueryAlgorithmEntrustOrder(Turn& t) {
  const std::string no = t.request["algorithm_no"].asString();
  const Algorithm* algorithm = nullptr;
  for (const Algorithm& a : t.account.algorithms) {
    if (!no.empty() && a.no == no) algorithm = &a;
  }
  if (algorithm == nullptr) return ProgramHead(t, kUnknownAlgorithm);
  std::vector<const Order*> orders;
  for (const std::string& requestNo : algorithm->orders) {
    if (const Order* order = t.book.FindOrder(t.account, requestNo)) orders.push_back(order);
  }
  Json::Value values = ProgramHead(t, kNoError);
  values["record_set"] = Paged(
      orders, t.request, [](const Order*) { return true; },
      [&](const Order* o) {
        Json::Value r(Json::objectValue);
        r["order_no"] = r["entrust_no"] = o->requestNo;
        r["fund_account"] = t.account.fundAccount;
        r["security_code"] = o->code;
        r["security_name"] = o->name;
        r["security_exchange"] = o->market;
        r["entrust_bs"] = o->side;
        r["entrust_price"] = o->price;
        r["entrust_amount"] = o->volume;
        r["entrust_status"] = o->status;
        r["business_amount"] = o->filled;
        r["business_balance"] = o->filled * o->fillPrice;
        r["business_price"] = o->fillPrice;
        r["entrust_time"] = static_cast<Json::UInt64>(Moment(o->placed));
        r["entrust_msg"] = StatusWord(o->status);
        return r;
      });
  return values;
}

// ---- Condition orders --------------------------------------------------------

Json::Value ConditionAnswer(Turn& t, int32_t error, const std::string& no) {
  Json::Value values = ProgramHead(t, error);
  values["condition_no"] = no;
  return values;
}

Json::Value CreateConditionOrder(Turn& t) {
  const Json::Value& q = t.request;
  ConditionOrder condition;
  condition.market = Byte(q["security_exchange"]);
  condition.code = q["security_code"].asString();
  condition.name = q["security_name"].asString();
  condition.type = q["con_type"].asString();
  condition.side = Byte(q["entrust_bs"]);
  condition.triggerDate = q["con_trigger_date"].asString();
  condition.triggerPrice = q["con_trigger_price"].asDouble();
  condition.amount = q["entrust_amount"].asDouble();
  condition.fundAccount = q["fund_account"].asString();
  std::string no;
  const int32_t error = t.book.CreateCondition(t.account.user, std::move(condition), no);
  return ConditionAnswer(t, error, no);
}

// "business_type": '1' cancels, '2' sets a new trigger, '3' pauses and '4'
// resumes the condition order.
Json::Value OperConditionOrder(Turn& t) {
  const Json::Value& q = t.request;
  const std::string no = q["condition_no"].asString();
  const std::string& user = t.account.user;
  switch (Byte(q["business_type"])) {
    case '1':
      return ConditionAnswer(t, t.book.OperateCondition(user, no, Book::Operation::Cancel), no);
    case '2':
      return ConditionAnswer(
          t, t.book.ChangeCondition(user, no, q["con_trigger_date"].asString(),
                                    q["con_trigger_price"].asDouble(),
                                    q["entrust_amount"].asDouble()),
          no);
    case '3':
      return ConditionAnswer(t, t.book.OperateCondition(user, no, Book::Operation::Pause), no);
    case '4':
      return ConditionAnswer(t, t.book.OperateCondition(user, no, Book::Operation::Resume), no);
    default:
      return ConditionAnswer(t, kBadConditionOperation, no);
  }
}

Json::Value QueryConditionOrderList(Turn& t) {
  const Json::Value& q = t.request;
  Json::Value values = ProgramHead(t, kNoError);
  values["record_set"] = Paged(
      t.account.conditions, q,
      [&](const ConditionOrder& c) {
        return Matches(q, "security_code", c.code) && Matches(q, "status", c.status);
      },
      [](const ConditionOrder& c) {
        Json::Value r(Json::objectValue);
        r["condition_no"] = c.no;
        r["security_code"] = c.code;
        r["security_name"] = c.name;
        r["security_exchange"] = c.market;
        r["con_type"] = c.type;
        r["entrust_bs"] = c.side;
        r["con_trigger_date"] = c.triggerDate;
        r["con_trigger_price"] = c.triggerPrice;
        r["entrust_amount"] = c.amount;
        r["remark"] = c.remark;
        r["status"] = c.status;
        r["message"] = c.message;
        r["fund_account"] = c.fundAccount;
        return r;
      });
  return values;
}

// Places the order now and, for each gear that is set, a condition order
// on the other side that closes it that many percent lower (stop loss) or
// higher (take profit) for a buy, the other way round for a sell; the first
// to trigger cancels the other.
Json::Value QuickConditionOrder(Turn& t) {
  const Json::Value& q = t.request;
  Ticket ticket;
  ticket.requestNo = q["order_request_no"].asString();
  ticket.fundAccount = q["fund_account"].asString();
  ticket.operatorId = q["operator_id"].asString();
  ticket.market = Byte(q["security_exchange"]);
  ticket.code = q["security_code"].asString();
  ticket.side = Byte(q["entrust_bs"]);
  ticket.prop = Byte(q["entrust_prop"]);
  ticket.volume = q["entrust_amount"].asDouble();
  ticket.price = q["entrust_price"].asDouble();
  const int32_t lossGear = q["stop_loss_gear"].asInt();
  const int32_t profitGear = q["take_profit_gear"].asInt();
  Json::Value values = ProgramHead(t, kNoError);
  values["order_request_no"] = ticket.requestNo;
  const auto fail = [&](int32_t error) {
    values["error_no"] = error;
    values["error_info"] = ErrorText(error);
    return values;
  };
  if (lossGear < 0 || lossGear >= 100 || profitGear < 0 || profitGear > 1000) {
    return fail(kBadQuantityOrPrice);
  }
  const size_t gears = (lossGear > 0 ? 1u : 0u) + (profitGear > 0 ? 1u : 0u);
  if (t.account.conditions.size() + gears > kMaxConditions) return fail(kTooManyConditions);
  Outcome outcome = t.book.Submit(t.account.user, ticket);
  t.changes = std::move(outcome.changes);
  if (outcome.error != kNoError) return fail(outcome.error);
  const bool buy = ticket.side == kBuy;
  const auto guard = [&](int32_t gear, bool loss) -> std::string {
    if (gear <= 0) return {};
    ConditionOrder condition;
    condition.market = ticket.market;
    condition.code = ticket.code;
    condition.side = buy ? kSell : kBuy;
    condition.type = (loss == buy) ? "DOWN" : "UP";
    const double factor = loss == buy ? 1 - gear / 100.0 : 1 + gear / 100.0;
    condition.triggerPrice = std::round(ticket.price * factor * 100) / 100;
    condition.amount = ticket.volume;
    condition.fundAccount = q["fund_account"].asString();
    condition.remark = std::string(loss ? "stop loss of " : "take profit of ") + ticket.requestNo;
    std::string no;
    t.book.CreateCondition(t.account.user, std::move(condition), no);
    return no;
  };
  // One guard closing the position cancels the other.
  const std::string loss = guard(lossGear, true);
  const std::string profit = guard(profitGear, false);
  if (!loss.empty() && !profit.empty()) {
    for (ConditionOrder& c : t.account.conditions) {
      if (c.no == loss) c.partner = profit;
      if (c.no == profit) c.partner = loss;
    }
  }
  return values;
}

// ---- Strategies and statistics ---------------------------------------------

struct Strategy {
  const char* code;
  const char* name;
  const char* description;
  const char* matched[2];  // codes, Shanghai first; null when fewer
};

constexpr Strategy kStrategies[] = {
    {"MOMENTUM", "Momentum", "Securities whose price rose over the last twenty days.",
     {"600519", "000858"}},
    {"VALUE", "Value", "Securities trading below their book value.", {"600000", "000001"}},
    {"BREAKOUT", "Breakout", "Securities crossing their sixty-day high.", {"600519", nullptr}},
};

Json::Value QueryStrategyInfo(Turn& t) {
  Json::Value values = ProgramHead(t, kNoError);
  values["record_set"] = Json::Value(Json::arrayValue);
  for (const Strategy& s : kStrategies) {
    Json::Value r(Json::objectValue);
    r["strategy_code"] = s.code;
    r["strategy_name"] = s.name;
    r["strategy_desc"] = s.description;
    r["strategy_desc_ext"] = "";
    values["record_set"].append(std::move(r));
  }
  return values;
}

// "strategy_codes" is a comma-separated list; the stocks of each, in order.
Json::Value QueryHistoryMatchedStockList(Turn& t) {
  const std::string codes = t.request["strategy_codes"].asString();
  Json::Value records(Json::arrayValue);
  size_t start = 0;
  std::string first;
  while (start <= codes.size()) {
    const size_t comma = std::min(codes.find(',', start), codes.size());
    const std::string code = codes.substr(start, comma - start);
    start = comma + 1;
    const auto known = std::find_if(std::begin(kStrategies), std::end(kStrategies),
                                    [&](const Strategy& s) { return code == s.code; });
    if (known == std::end(kStrategies)) return ProgramHead(t, kUnknownStrategy);
    if (first.empty()) first = code;
    for (const char* matched : known->matched) {
      if (matched == nullptr) continue;
      for (const Security& security : t.book.Securities()) {
        if (security.code != matched) continue;
        Json::Value r(Json::objectValue);
        r["security_code"] = security.code;
        r["security_exchange"] = security.market;
        r["trade_status"] = 1;  // tradable
        r["matched_time"] = std::to_string(Moment(Now()));
        records.append(std::move(r));
      }
    }
  }
  Json::Value values = ProgramHead(t, kNoError);
  values["strategy_code"] = first;
  values["record_set"] = std::move(records);
  return values;
}

// Today's trades of the account, on one exchange or ("security_exchange" 0)
// on all.
Json::Value QueryBargainSummary(Turn& t) {
  const uint8_t market = Byte(t.request["security_exchange"]);
  double balance = 0;
  int32_t count = 0;
  for (const Trade& trade : t.account.trades) {
    if (market != 0 && trade.market != market) continue;
    balance += trade.volume * trade.price;
    ++count;
  }
  Json::Value values = ProgramHead(t, kNoError);
  values["bargain_balance"] = balance;
  values["trans_amount"] = count;
  return values;
}

// Accounts trade in yuan ('0') without direct market access ('0'); the
// balance is the cash free to order with.
Json::Value QueryEntrustConfig(Turn& t) {
  Json::Value values = Head(t.account.user, kNoError);
  values["request_no"] = t.request["request_no"].asUInt64();
  values["currency"] = '0';
  values["dma"] = '0';
  values["balance"] = t.account.Available();
  return values;
}

using Decoder = std::optional<Json::Value> (*)(const RequestLayout&, const ReceivedFrame&);

struct TradingRow {
  const RequestLayout* request;
  const AnswerLayout* answer;
  Handler handle;
  // A counted body with more records than this is refused undecoded.
  size_t maxRecords = 0;
  int32_t tooMany = kTooManyRecords;
  Decoder decode = nullptr;  // null: the whole layout
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
    {&kOptionalOperationRequest, &kOptionalOperationAnswer, OptionalOperation, kMaxWatchList,
     kWatchListFull},
    {&kUserMenuauthRequest, &kUserMenuauthAnswer, UserMenuauth},
    {&kUserStockListRequest, &kUserStockListAnswer, UserStockList},
    {&kQueryDealListRequest, &kQueryDealListAnswer, QueryDealList},
    {&kQueryCapitalListRequest, &kQueryCapitalListAnswer, QueryCapitalList},
    {&kCreateBasketRequest, &kCreateBasketAnswer, CreateBasket},
    {&kUpdateBasketRequest, &kUpdateBasketAnswer, UpdateBasket},
    {&kDeleteBasketRequest, &kDeleteBasketAnswer, DeleteBasket},
    {&kQueryBasketRequest, &kQueryBasketAnswer, QueryBasket},
    {&kAddBasketSecurityRequest, &kAddBasketSecurityAnswer, AddBasketSecurity},
    {&kDelBasketSecurityRequest, &kDelBasketSecurityAnswer, DelBasketSecurity},
    {&kUpdateBasketSecurityRequest, &kUpdateBasketSecurityAnswer, UpdateBasketSecurity},
    {&kAddBasketSecurityBatchRequest, &kAddBasketSecurityBatchAnswer, AddBasketSecurityBatch,
     kMaxBasketSecurities, kBasketFull},
    {&kQueryBasketDetailRequest, &kQueryBasketDetailAnswer, QueryBasketDetail},
    {&kStartBasketPlanRequest, &kStartBasketPlanAnswer, StartBasketPlan, kMaxBasketSecurities},
    {&kQueryBasketPlanRequest, &kQueryBasketPlanAnswer, QueryBasketPlan},
    {&kQueryBasketPlanDetailRequest, &kQueryBasketPlanDetailAnswer, QueryBasketPlanDetail},
    {&kQueryBasketEntrustOrderRequest, &kQueryBasketEntrustOrderAnswer, QueryBasketEntrustOrder},
    {&kQueryBasketBargainOrderRequest, &kQueryBasketBargainOrderAnswer, QueryBasketBargainOrder},
    {&kQueryAlgorithmListRequest, &kQueryAlgorithmListAnswer, QueryAlgorithmList},
    {&kQueryAlgorithmEntrustOrderRequest, &kQueryAlgorithmEntrustOrderAnswer,
     QueryAlgorithmEntrustOrder},
    {&kOperAlgorithmRequest, &kOperAlgorithmAnswer, OperAlgorithm, 0, kTooManyRecords,
     DecodeOperAlgorithm},
    {&kCreateConditionOrderRequest, &kOperConditionOrderAnswer, CreateConditionOrder},
    {&kQueryConditionOrderListRequest, &kQueryConditionOrderListAnswer, QueryConditionOrderList},
    {&kQuickConditionOrderRequest, &kQuickConditionOrderAnswer, QuickConditionOrder},
    {&kOperConditionOrderRequest, &kOperConditionOrderAnswer, OperConditionOrder},
    {&kQueryStrategyInfoRequest, &kQueryStrategyInfoAnswer, QueryStrategyInfo},
    {&kQueryHistoryMatchedStockListRequest, &kQueryHistoryMatchedStockListAnswer,
     QueryHistoryMatchedStockList},
    {&kQueryBargainSummaryRequest, &kQueryBargainSummaryAnswer, QueryBargainSummary},
    {&kQueryEntrustConfigRequest, &kQueryEntrustConfigAnswer, QueryEntrustConfig},
};

// Requests whose "fund_account" may be "", standing for the account's own.
const RequestLayout* const kOwnFundWhenEmpty[] = {
    &kStartBasketPlanRequest, &kCreateConditionOrderRequest, &kQueryConditionOrderListRequest,
    &kQueryAlgorithmListRequest};

bool OwnFundWhenEmpty(const RequestLayout& layout) {
  return std::find(std::begin(kOwnFundWhenEmpty), std::end(kOwnFundWhenEmpty), &layout) !=
         std::end(kOwnFundWhenEmpty);
}

bool Belongs(const IdentityKey& identity, const Json::Value& request, const Account& account,
             bool ownFundWhenEmpty) {
  const std::string value = request[identity.key].asString();
  switch (identity.error) {
    case kWrongUser:
      return value == account.user;
    case kUnknownClient:
      return std::any_of(account.capital.begin(), account.capital.end(),
                         [&](const CapitalAccount& c) { return c.clientId == value; });
    case kUnknownFundAccount: {
      if (value.empty()) return ownFundWhenEmpty;
      const CapitalAccount* fund = account.FindFund(value);
      return fund != nullptr &&
             (!request.isMember("client_id") || fund->clientId == request["client_id"].asString());
    }
    default:
      return std::find(account.operators.begin(), account.operators.end(), value) !=
             account.operators.end();
  }
}

// The error of the first key naming someone who is not the account's.
int32_t IdentityError(const RequestLayout& layout, const Json::Value& request,
                      const Account& account) {
  for (const IdentityKey& identity : kIdentityKeys) {
    if (request.isMember(identity.key) &&
        !Belongs(identity, request, account, OwnFundWhenEmpty(layout))) {
      return identity.error;
    }
  }
  return kNoError;
}

Frame AnswerTrading(const TradingRow& row, const ReceivedFrame& request, AnswerContext& context) {
  // More records than the book would keep are not worth decoding.
  const RequestLayout& layout = *row.request;
  if (layout.recordSize != 0 && request.body.size() > layout.bodySize &&
      (request.body.size() - layout.bodySize) / layout.recordSize > row.maxRecords) {
    return Reply(request, *row.answer, Head(context.lastUser, row.tooMany));
  }
  const auto body = row.decode != nullptr ? row.decode(layout, request) : BodyAs(layout, request);
  if (!body) return Reply(request, *row.answer, Head(context.lastUser, kMalformedRequest));
  std::lock_guard<std::mutex> hold(context.book.lock);
  Book& book = context.book.book;
  Account* account = context.lastUser.empty() ? nullptr : book.Open(context.lastUser);
  if (account == nullptr) return Reply(request, *row.answer, Head(context.lastUser, kNotLoggedIn));
  if (const int32_t error = IdentityError(layout, *body, *account)) {
    Json::Value values = Head(account->user, error);
    if (body->isMember("request_no")) values["request_no"] = (*body)["request_no"];
    return Reply(request, *row.answer, values);
  }
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

std::optional<Json::Value> ReadRequest(const ReceivedFrame& request) {
  for (const TradingRow& row : kTrading) {
    if (row.request->funcId == request.messageType && row.decode != nullptr) {
      return row.decode(*row.request, request);
    }
  }
  const RequestLayout* layout = FindRequestLayout(request.messageType);
  if (layout == nullptr) return std::nullopt;
  return BodyAs(*layout, request);
}

}  // namespace tessel::standin
