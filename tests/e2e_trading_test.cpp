// Trading through the loaded plug-in against the simulated server: orders
// and their push reports, cancels, queries answered from the book, real
// error answers, and pushes injected by a test.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <json/writer.h>

#include <thread>

#include "e2e_support.h"
#include "plugin/host_api.h"
#include "tools/standin/book.h"
#include "tools/standin/errors.h"

namespace tessel::testing {
namespace {

// Market and buy/sell bytes travel as character codes.
constexpr int kShanghai = '1';
constexpr int kBuy = '1';
constexpr int kSell = '2';
// The simulator's order states, as the client reports the code byte.
constexpr int kOpen = '2';
constexpr int kCancelled = '6';
constexpr int kFilled = '8';

std::string Text(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

Json::Value Account(const char* func) {
  Json::Value request(Json::objectValue);
  request["func"] = func;
  request["user_name"] = "trader01";
  request["client_id"] = "trader01";
  request["fund_account"] = "trader01-01";
  return request;
}

Json::Value Order(const char* code, int side, int volume, double price) {
  Json::Value request = Account("OrderSubmit");
  request["operator_id"] = "trader01-op";
  request["code"] = code;
  request["mark"] = kShanghai;
  request["code_name"] = "";
  request["entrust_vol"] = volume;
  request["entrust_price"] = price;
  request["entrust_bs"] = side;
  request["entrust_prop"] = '0';
  request["business_type"] = '0';
  request["allow_cancel_order"] = '1';
  return request;
}

Json::Value Cancel(const std::string& requestNo) {
  Json::Value request = Order("600000", kBuy, 0, 0);
  request["func"] = "OrderCancel";
  request.removeMember("entrust_bs");
  request.removeMember("entrust_prop");
  request.removeMember("business_type");
  request.removeMember("allow_cancel_order");
  request["entrust_type"] = 0;
  request["request_no"] = requestNo;
  return request;
}

Json::Value Paged(const char* func) {
  Json::Value request = Account(func);
  request["mark"] = 0;
  request["max_request_num"] = 50;
  request["position_str"] = "";
  return request;
}

class TradingSession : public LoadedClientTest {
 protected:
  // Sends once the main channel is up (retrying while it comes up) and
  // returns the answer, or null when none arrives.
  Json::Value Ask(const Json::Value& request) {
    const std::string text = Text(request);
    const uint64_t context = ++lastContext_;
    if (!SendWhenUp(text, context) || !host().WaitForAnswers(context, 1)) return Json::Value();
    return ParseJson(host().AnswersFor(context).front().text);
  }

  void LogInBothChannels() {
    ASSERT_FALSE(Ask(ParseJson(LoginJson("Login"))).isNull());
    ASSERT_FALSE(Ask(ParseJson(LoginJson("Login_Trade_Push"))).isNull());
  }

  // Pushes of `type` delivered so far whose `key` is `value`.
  static std::vector<Json::Value> Pushes(const std::vector<HostEvent>& events, int type,
                                         const char* key, const Json::Value& value) {
    std::vector<Json::Value> found;
    for (const HostEvent& e : events) {
      if (e.isAnswer) continue;
      const Json::Value v = ParseJson(e.text);
      if (v["push_type"].asInt() == type && v[key] == value) found.push_back(v);
    }
    return found;
  }

  // Waits for a push of `type` whose `key` is `value`; null when none comes.
  Json::Value AwaitPush(int type, const char* key, const Json::Value& value) {
    host().WaitFor([&](const std::vector<HostEvent>& events) {
      return !Pushes(events, type, key, value).empty();
    });
    const auto found = Pushes(host().Events(), type, key, value);
    return found.empty() ? Json::Value() : found.back();
  }

  uint64_t lastContext_ = 0;
};

TEST_F(TradingSession, FilledOrderIsAnsweredReportedAndSeenByQueries) {
  LogInBothChannels();
  // 600519 is priced 1700: a buy at 1800 crosses and fills at 1700.
  const Json::Value answer = Ask(Order("600519", kBuy, 100, 1800));
  ASSERT_EQ(answer["error_no"].asInt(), 0) << answer;
  const std::string requestNo = answer["request_no"].asString();
  ASSERT_FALSE(requestNo.empty());

  const Json::Value execution = AwaitPush(10, "request_no", requestNo);
  ASSERT_FALSE(execution.isNull());
  EXPECT_EQ(execution["entrust_status"].asInt(), kFilled);
  EXPECT_EQ(execution["business_amount"].asDouble(), 100);
  EXPECT_EQ(execution["business_price"].asDouble(), 1700);
  EXPECT_EQ(execution["entrust_bs"].asInt(), 1);  // buy
  EXPECT_EQ(execution["market"].asInt(), 1);      // Shanghai
  EXPECT_EQ(execution["security_code"].asString(), "600519");
  const Json::Value progress = AwaitPush(17, "request_no", requestNo);
  ASSERT_FALSE(progress.isNull());
  EXPECT_EQ(progress["error_info"].asString(), "filled");
  const Json::Value fund = AwaitPush(301, "fund_account", "trader01-01");
  ASSERT_FALSE(fund.isNull());
  EXPECT_EQ(fund["balance"].asDouble(), 1000000 - 170000);
  const Json::Value position = AwaitPush(302, "security_code", "600519");
  ASSERT_FALSE(position.isNull());
  EXPECT_EQ(position["current_amount"].asDouble(), 100);
  EXPECT_EQ(position["bargainBalance"].asDouble(), 170000);

  const Json::Value money = Ask(Account("QryMoney"));
  EXPECT_EQ(money["balance"].asDouble(), 830000);
  EXPECT_EQ(money["market_value"].asDouble(), 170000 + 1000 * 10.50);  // with the seed holding
  ASSERT_EQ(money["record_set"].size(), 1u);
  EXPECT_EQ(money["record_set"][0]["enable_balance"].asDouble(), 830000);

  const Json::Value holders = Ask(Paged("QryHolder"));
  ASSERT_EQ(holders["record_set_cnt"].asInt(), 2) << holders;
  EXPECT_EQ(holders["holders"][1]["stock_code"].asString(), "600519");
  EXPECT_EQ(holders["holders"][1]["current_vol"].asDouble(), 100);
  EXPECT_EQ(holders["holders"][1]["exchange_type"].asInt(), kShanghai);
  EXPECT_EQ(holders["holders"][1]["position_str"].asString(), "2");

  const Json::Value orders = Ask(Paged("QryCurOrder"));
  ASSERT_EQ(orders["records"].size(), 1u) << orders;
  EXPECT_EQ(orders["records"][0]["request_no"].asString(), requestNo);
  EXPECT_EQ(orders["records"][0]["entrust_status"].asInt(), kFilled);
  const Json::Value trades = Ask(Paged("QryCurTrade"));
  ASSERT_EQ(trades["records"].size(), 1u) << trades;
  EXPECT_EQ(trades["records"][0]["business_amt"].asDouble(), 170000);

  Json::Value history = Account("QryHisTradeNum");
  history.removeMember("user_name");
  history["username"] = "trader01";
  history["max_request_num"] = 10;
  history["start_date"] = 0;
  history["end_date"] = 0;
  const Json::Value perDay = Ask(history);
  EXPECT_EQ(perDay["business_num_all"].asInt(), 1) << perDay;
  EXPECT_EQ(perDay["record_set_cnt"].asInt(), 1);
}

TEST_F(TradingSession, OpenOrdersAreCancelledOrFilledByAPriceMove) {
  LogInBothChannels();
  // 600000 is priced 10.50: a buy at 10.00 stays open.
  const Json::Value first = Ask(Order("600000", kBuy, 1000, 10.00));
  ASSERT_EQ(first["error_no"].asInt(), 0) << first;
  const std::string firstNo = first["request_no"].asString();
  const Json::Value opened = AwaitPush(10, "request_no", firstNo);
  ASSERT_FALSE(opened.isNull());
  EXPECT_EQ(opened["entrust_status"].asInt(), kOpen);
  EXPECT_EQ(opened["left_amount"].asDouble(), 1000);

  const Json::Value cancelled = Ask(Cancel(firstNo));
  ASSERT_EQ(cancelled["error_no"].asInt(), 0) << cancelled;
  const std::string cancelNo = cancelled["request_no"].asString();
  // The cancel's own number, never the order's, even within one second.
  EXPECT_FALSE(cancelNo.empty());
  EXPECT_NE(cancelNo, firstNo);
  const Json::Value report = AwaitPush(10, "orig_request_no", firstNo);
  ASSERT_FALSE(report.isNull());
  EXPECT_EQ(report["entrust_status"].asInt(), kCancelled);
  EXPECT_EQ(report["request_no"].asString(), cancelNo);
  EXPECT_FALSE(AwaitPush(17, "error_info", "cancelled").isNull());

  // Cancelling again, or an order never placed, is an error answer.
  const Json::Value again = Ask(Cancel(firstNo));
  EXPECT_EQ(again["error_no"].asInt(), standin::kOrderAlreadyCancelled);
  EXPECT_EQ(again["error_info"].asString(), "order already cancelled");
  const Json::Value unknown = Ask(Cancel("12345"));
  EXPECT_EQ(unknown["error_no"].asInt(), standin::kUnknownOrder);
  EXPECT_EQ(unknown["error_info"].asString(), "no such order");

  // An open sell fills once the price comes up to it.
  const Json::Value sell = Ask(Order("600000", kSell, 400, 11.00));
  ASSERT_EQ(sell["error_no"].asInt(), 0) << sell;
  const std::string sellNo = sell["request_no"].asString();
  ASSERT_TRUE(Commanded(server(), "price 49 600000 11.20"));
  const Json::Value filled = AwaitPush(10, "entrust_status", kFilled);
  ASSERT_FALSE(filled.isNull());
  EXPECT_EQ(filled["request_no"].asString(), sellNo);
  EXPECT_EQ(filled["business_price"].asDouble(), 11.20);
  EXPECT_EQ(filled["entrust_bs"].asInt(), 0);  // sell
  const Json::Value position = AwaitPush(302, "current_amount", 600.0);
  EXPECT_FALSE(position.isNull());
  EXPECT_EQ(Ask(Cancel(sellNo))["error_no"].asInt(), standin::kOrderAlreadyFilled);
}

TEST_F(TradingSession, RefusedRequestsGetErrorAnswersAndNoReports) {
  ASSERT_TRUE(server().WaitFor(standin::AcceptedAtLeast(Channel::Main, 1)));
  const Json::Value early = Ask(Account("QryMoney"));
  EXPECT_EQ(early["error_no"].asInt(), standin::kNotLoggedIn) << early;

  LogInBothChannels();
  host().Clear();
  const Json::Value poor = Ask(Order("600519", kBuy, 1000, 1700));  // 1.7 million
  EXPECT_EQ(poor["error_no"].asInt(), standin::kInsufficientFunds) << poor;
  EXPECT_EQ(poor["error_info"].asString(), "insufficient funds");
  EXPECT_FALSE(poor["request_no"].asString().empty());
  EXPECT_EQ(Ask(Order("999999", kBuy, 100, 10))["error_no"].asInt(), standin::kUnknownSecurity);
  EXPECT_EQ(Ask(Order("600519", kSell, 100, 1700))["error_no"].asInt(),
            standin::kInsufficientPosition);
  EXPECT_EQ(Ask(Order("600000", 1, 100, 10))["error_no"].asInt(), standin::kBadSide);

  // The push connection writes in order: once a marker sent now arrives,
  // any report of the refused orders would have arrived before it.
  Json::Value marker;
  marker["fund_account"] = "marker";
  ASSERT_TRUE(server().SendPush(Channel::Push, 304, marker));
  ASSERT_FALSE(AwaitPush(304, "fund_account", "marker").isNull());
  size_t notices = 0;
  for (const HostEvent& e : host().Events()) notices += !e.isAnswer;
  EXPECT_EQ(notices, 1u);
}

TEST_F(TradingSession, ListsAndLimitsAnswerFromTheBook) {
  LogInBothChannels();
  Json::Value add = Account("OptionalOperation");
  add["op_type"] = '1';
  add["mark"] = '2';
  add["code"] = "000858";
  add["record_set_cnt"] = 0;
  const Json::Value added = Ask(add);
  ASSERT_EQ(added["error_no"].asInt(), 0) << added;
  ASSERT_EQ(added["record_set"].size(), 3u);
  EXPECT_EQ(added["record_set"][2]["code"].asString(), "000858");
  EXPECT_EQ(added["record_set"][2]["mark"].asInt(), 0);  // Shenzhen
  EXPECT_EQ(added["record_set"][2]["security_name"].asString(), "Wuliangye");
  EXPECT_EQ(Ask(add)["error_no"].asInt(), standin::kAlreadyOnWatchList);

  Json::Value replace = Account("OptionalOperation");
  replace["op_type"] = '3';
  replace["record_set_cnt"] = 2;
  for (const char* code : {"600519", "600000"}) {
    Json::Value record;
    record["security_code"] = code;
    record["security_exchange"] = '1';
    record["priority"] = code[3] == '5' ? 2 : 1;
    replace["record_set"].append(record);
  }
  const Json::Value replaced = Ask(replace);
  ASSERT_EQ(replaced["record_set"].size(), 2u) << replaced;
  EXPECT_EQ(replaced["record_set"][0]["code"].asString(), "600000");  // priority 1 first

  Json::Value page = Account("QueryDealList");
  page["max_request_num"] = 1;
  page["position_str"] = "1";
  const Json::Value dealers = Ask(page);
  ASSERT_EQ(dealers["record_set"].size(), 1u) << dealers;
  EXPECT_EQ(dealers["record_set"][0]["operator_id"].asString(), "dealer-2");

  Json::Value maxBuy = Account("QryMaxBuy");
  maxBuy["entrust_prop"] = '0';
  maxBuy["mark"] = kShanghai;
  maxBuy["code"] = "600519";
  maxBuy["entrust_price"] = 1700;
  maxBuy["trade_unit"] = 100;
  EXPECT_EQ(Ask(maxBuy)["enable_amount"].asDouble(), 500);

  Json::Value stocks = Account("UserStockList");
  stocks["operator_id"] = "trader01-op";
  EXPECT_EQ(Ask(stocks)["record_set"].size(), 4u);
  Json::Value capital(Json::objectValue);
  capital["func"] = "QueryCapitalList";
  capital["user_name"] = "trader01";
  EXPECT_EQ(Ask(capital)["record_set"][1]["busi_type_desc"].asString(), "margin account");
}

TEST_F(TradingSession, HistoryStatisticsAndMenuAnswerFromTheBook) {
  LogInBothChannels();
  ASSERT_EQ(Ask(Order("600519", kBuy, 100, 1800))["error_no"].asInt(), 0);

  for (const char* func : {"QryHisOrder", "QryHisTrade"}) {
    Json::Value history = Account(func);
    history["max_request_num"] = 10;
    history["start_date"] = 20000101;
    history["end_date"] = 0;  // open-ended
    history["position_str"] = "";
    const Json::Value all = Ask(history);
    EXPECT_EQ(all["error_no"].asInt(), 0) << all;
    EXPECT_EQ(all["record_set_cnt"].asInt(), 1) << func;
    EXPECT_EQ(all["record_set"][0]["stock_code"].asString(), "600519") << func;
    history["end_date"] = 20001231;  // before anything happened
    EXPECT_EQ(Ask(history)["record_set_cnt"].asInt(), 0) << func;
  }

  Json::Value orderNum = Account("QryHisOrderNum");
  orderNum.removeMember("user_name");
  orderNum["username"] = "trader01";
  orderNum["max_request_num"] = 10;
  orderNum["start_date"] = 0;
  orderNum["end_date"] = 0;
  EXPECT_EQ(Ask(orderNum)["entrust_num_all"].asInt(), 1);

  Json::Value profit = Account("QryProfitAndLoss");
  profit.removeMember("user_name");
  profit["username"] = "trader01";
  profit["trade_date"] = 0;
  const Json::Value pnl = Ask(profit);
  EXPECT_EQ(pnl["username"].asString(), "trader01") << pnl;
  // The seed holding: 1000 bought at 10.00, priced 10.50; the buy is at its price.
  EXPECT_EQ(pnl["floating_profit_loss"].asDouble(), 500);

  Json::Value maxSell = Account("QryMaxSell");
  maxSell["entrust_prop"] = '0';
  maxSell["mark"] = kShanghai;
  maxSell["code"] = "600519";
  const Json::Value sellable = Ask(maxSell);
  EXPECT_EQ(sellable["enable_amount"].asDouble(), 100) << sellable;
  EXPECT_EQ(sellable["cliend_id"].asString(), "trader01");
  maxSell["code"] = "999999";
  EXPECT_EQ(Ask(maxSell)["error_no"].asInt(), standin::kUnknownSecurity);

  Json::Value menu(Json::objectValue);
  menu["func"] = "UserMenuauth";
  menu["user_name"] = "trader01";
  EXPECT_FALSE(Ask(menu)["menu_config"].asString().empty());
}

TEST_F(TradingSession, TestsCanInjectAnyPushFromJson) {
  LogInBothChannels();
  ASSERT_TRUE(Commanded(server(), R"(push 304 {"fund_account":"F1","limitBalance":2.5})"));
  const Json::Value seen = AwaitPush(304, "fund_account", "F1");
  ASSERT_FALSE(seen.isNull());
  EXPECT_EQ(seen["limitBalance"].asDouble(), 2.5);
  EXPECT_FALSE(Commanded(server(), "push 4 {}"));  // an answer, not a push
}

// ---- Baskets, plans and condition orders ------------------------------------

constexpr int kShenzhen = '2';

Json::Value Program(const char* func) {
  Json::Value request(Json::objectValue);
  request["func"] = func;
  request["user_name"] = "trader01";
  request["client_id"] = "trader01";
  return request;
}

// A plain (non-algorithm) plan of `lines` lines for the basket; the lines'
// records are the caller's.
Json::Value NormalPlan(const std::string& basketNo, int lines) {
  Json::Value start = Program("StartBasketPlan");
  start["basket_no"] = basketNo;
  start["basket_type"] = "NORMAL";
  start["entrust_amount_type"] = 0;
  start["fund_account"] = "trader01-01";
  start["operator_id"] = "trader01-op";
  start["basket_detail_cnt"] = lines;
  return start;
}

Json::Value BatchRecord(const char* code, int market, int side, int amount, double price) {
  Json::Value r(Json::objectValue);
  r["security_code"] = code;
  r["security_name"] = "";
  r["security_exchange"] = market;
  r["algorithm_type"] = "";
  r["entrust_bs"] = side;
  r["entrust_price_type"] = "LMT";
  r["limit_price"] = 0;
  r["price"] = price;
  r["amount"] = amount;
  r["smallest_entrust_amount"] = 0;
  r["smallest_entrust_balance"] = 0;
  return r;
}

Json::Value PlanQuery(const char* func, const std::string& basketNo, const std::string& batchNo) {
  Json::Value request = Program(func);
  request["basket_no"] = basketNo;
  request["batch_no"] = batchNo;
  request["max_request_num"] = 50;
  request["position_str"] = "";
  return request;
}

TEST_F(TradingSession, BasketPlanPlacesOrdersThatFillAndReportAndCanBeQueried) {
  LogInBothChannels();
  Json::Value create = Program("CreateBasket");
  create["basket_name"] = "blue chips";
  create["type"] = "NORMAL";
  const Json::Value created = Ask(create);
  ASSERT_EQ(created["error_no"].asInt(), 0) << created;
  const std::string basketNo = created["basket_no"].asString();
  ASSERT_FALSE(basketNo.empty());
  EXPECT_EQ(created["basket_name"].asString(), "blue chips");

  // 600519 at its price fills at once; 000001 at 12.00 waits below 12.30.
  Json::Value batch = Program("AddBasketSecurityBatch");
  batch["basket_no"] = basketNo;
  batch["record_set_cnt"] = 2;
  batch["record_set"].append(BatchRecord("600519", kShanghai, kBuy, 100, 0));
  batch["record_set"].append(BatchRecord("000001", kShenzhen, kBuy, 1000, 12.00));
  const Json::Value added = Ask(batch);
  ASSERT_EQ(added["error_no"].asInt(), 0) << added;
  // One unknown security refuses the batch whole.
  batch["record_set"][1]["security_code"] = "999999";
  EXPECT_EQ(Ask(batch)["error_no"].asInt(), standin::kUnknownSecurity);

  Json::Value list = Program("QueryBasket");
  list["basket_no"] = "";
  const Json::Value baskets = Ask(list);
  ASSERT_EQ(baskets["record_set_cnt"].asInt(), 1) << baskets;
  EXPECT_EQ(baskets["record_set"][0]["basket_no"].asString(), basketNo);
  Json::Value detail = Program("QueryBasketDetail");
  detail["basket_no"] = basketNo;
  const Json::Value securities = Ask(detail);
  ASSERT_EQ(securities["record_set_cnt"].asInt(), 2) << securities;
  EXPECT_EQ(securities["record_set"][0]["security_name"].asString(), "Kweichow Moutai");
  EXPECT_EQ(securities["record_set"][1]["security_exchange"].asInt(), kShenzhen);
  detail["basket_no"] = "K404";
  EXPECT_EQ(Ask(detail)["error_no"].asInt(), standin::kUnknownBasket);

  // The plan names both securities; the second's amount replaced.
  Json::Value start = NormalPlan(basketNo, 2);
  for (int i = 0; i < 2; ++i) {
    Json::Value line(Json::objectValue);
    line["basket_detail_id"] = securities["record_set"][i]["basket_detail_id"];
    line["entrust_price_type"] = "LMT";
    line["algorithm_type"] = "";
    line["entrust_bs"] = kBuy;
    line["entrust_price"] = 0;
    line["entrust_amount"] = i == 0 ? 0 : 500;
    line["smallest_entrust_amount"] = 0;
    line["smallest_entrust_balance"] = 0;
    line["security_exchange"] = securities["record_set"][i]["security_exchange"];
    start["record_set"].append(line);
  }
  const Json::Value started = Ask(start);
  ASSERT_EQ(started["error_no"].asInt(), 0) << started;
  const std::string batchNo = started["batch_no"].asString();
  ASSERT_FALSE(batchNo.empty());

  const Json::Value filled = AwaitPush(10, "security_code", "600519");
  ASSERT_FALSE(filled.isNull());
  EXPECT_EQ(filled["entrust_status"].asInt(), kFilled);
  EXPECT_EQ(filled["business_price"].asDouble(), 1700);
  EXPECT_FALSE(AwaitPush(302, "security_code", "600519").isNull());
  const Json::Value waiting = AwaitPush(10, "security_code", "000001");
  ASSERT_FALSE(waiting.isNull());
  EXPECT_EQ(waiting["entrust_status"].asInt(), kOpen);

  const auto planStatus = [&] {
    Json::Value plans = Program("QueryBasketPlan");
    plans["basket_no"] = basketNo;
    const Json::Value answer = Ask(plans);
    EXPECT_EQ(answer["record_set_cnt"].asInt(), 1) << answer;
    return answer["record_set"][0];
  };
  const Json::Value running = planStatus();
  EXPECT_EQ(running["status"].asString(), "running");
  EXPECT_EQ(running["batch_no"].asString(), batchNo);
  EXPECT_EQ(running["entrust_amount"].asDouble(), 600);
  EXPECT_EQ(running["business_amount"].asDouble(), 100);

  ASSERT_TRUE(server().SetPrice('2', "000001", 11.90));
  const Json::Value later = AwaitPush(10, "business_price", 11.90);
  ASSERT_FALSE(later.isNull());
  EXPECT_EQ(later["business_amount"].asDouble(), 500);
  EXPECT_EQ(planStatus()["status"].asString(), "finished");

  const Json::Value lines = Ask(PlanQuery("QueryBasketPlanDetail", basketNo, batchNo));
  ASSERT_EQ(lines["record_set_cnt"].asInt(), 2) << lines;
  EXPECT_EQ(lines["record_set"][1]["entrust_amount"].asDouble(), 500);
  EXPECT_EQ(lines["record_set"][1]["business_entrust_amount"].asDouble(), 500);
  const Json::Value orders = Ask(PlanQuery("QueryBasketEntrustOrder", basketNo, batchNo));
  ASSERT_EQ(orders["record_set_cnt"].asInt(), 2) << orders;
  EXPECT_EQ(orders["record_set"][0]["entrust_status"].asInt(), kFilled);
  EXPECT_EQ(orders["record_set"][1]["business_balance"].asDouble(), 500 * 11.90);
  EXPECT_EQ(orders["record_set"][1]["position_str"].asString(), "2");
  const Json::Value trades = Ask(PlanQuery("QueryBasketBargainOrder", basketNo, batchNo));
  ASSERT_EQ(trades["record_set_cnt"].asInt(), 2) << trades;
  EXPECT_EQ(trades["record_set"][0]["business_balance"].asDouble(), 170000);
  EXPECT_EQ(Ask(PlanQuery("QueryBasketBargainOrder", basketNo, "P404"))["error_no"].asInt(),
            standin::kUnknownPlan);

  // The trades count in the day's summary.
  Json::Value summary = Program("QueryBargainSummary");
  summary.removeMember("user_name");
  summary["username"] = "trader01";
  summary["fund_account"] = "trader01-01";
  summary["security_exchange"] = 0;
  const Json::Value sums = Ask(summary);
  EXPECT_EQ(sums["trans_amount"].asInt(), 2) << sums;
  EXPECT_EQ(sums["bargain_balance"].asDouble(), 170000 + 500 * 11.90);
}

Json::Value ConditionRequest(const char* func) {
  Json::Value request(Json::objectValue);
  request["func"] = func;
  request["username"] = "trader01";
  request["client_id"] = "trader01";
  return request;
}

Json::Value ConditionList() {
  Json::Value list = ConditionRequest("QueryConditionOrderList");
  list["security_code"] = "";
  list["status"] = "";
  list["con_trigger_start_date"] = "";
  list["con_trigger_end_date"] = "";
  list["max_request_num"] = 10;
  list["position_str"] = "";
  list["fund_account"] = "";
  return list;
}

TEST_F(TradingSession, ConditionOrderTriggersWhenThePriceCrossesAndIsListedTriggered) {
  LogInBothChannels();
  Json::Value create = ConditionRequest("CreateConditionOrder");
  create["fund_account"] = "trader01-01";
  create["operator_id"] = "trader01-op";
  create["security_code"] = "600519";
  create["security_name"] = "";
  create["security_exchange"] = kShanghai;
  create["con_type"] = "DOWN";
  create["entrust_bs"] = kBuy;
  create["con_trigger_date"] = "20261231";
  create["con_trigger_price"] = 1650.0;
  create["entrust_amount"] = 100.0;
  const Json::Value created = Ask(create);
  ASSERT_EQ(created["error_no"].asInt(), 0) << created;
  const std::string conditionNo = created["condition_no"].asString();
  ASSERT_FALSE(conditionNo.empty());
  create["con_type"] = "SIDEWAYS";
  EXPECT_EQ(Ask(create)["error_no"].asInt(), standin::kBadConditionType);

  Json::Value pause = ConditionRequest("OperConditionOrder");
  pause["business_type"] = '3';
  pause["condition_no"] = "C404";
  EXPECT_EQ(Ask(pause)["error_no"].asInt(), standin::kUnknownCondition);

  ASSERT_TRUE(server().SetPrice('1', "600519", 1680));  // not crossed yet
  Json::Value waiting = Ask(ConditionList());
  ASSERT_EQ(waiting["record_set_cnt"].asInt(), 1) << waiting;
  EXPECT_EQ(waiting["record_set"][0]["status"].asString(), "waiting");
  EXPECT_EQ(waiting["record_set"][0]["con_trigger_price"].asDouble(), 1650);

  ASSERT_TRUE(server().SetPrice('1', "600519", 1640));
  const Json::Value execution = AwaitPush(10, "security_code", "600519");
  ASSERT_FALSE(execution.isNull());
  EXPECT_EQ(execution["entrust_status"].asInt(), kFilled);
  EXPECT_EQ(execution["business_price"].asDouble(), 1640);
  EXPECT_EQ(execution["business_amount"].asDouble(), 100);
  EXPECT_FALSE(AwaitPush(302, "security_code", "600519").isNull());

  const Json::Value triggered = Ask(ConditionList());
  ASSERT_EQ(triggered["record_set_cnt"].asInt(), 1) << triggered;
  EXPECT_EQ(triggered["record_set"][0]["condition_no"].asString(), conditionNo);
  EXPECT_EQ(triggered["record_set"][0]["status"].asString(), "triggered");
  const Json::Value orders = Ask(Paged("QryCurOrder"));
  ASSERT_EQ(orders["records"].size(), 1u) << orders;
  EXPECT_EQ(orders["records"][0]["entrust_status"].asInt(), kFilled);

  // Ended: nothing more to operate.
  Json::Value cancel = ConditionRequest("OperConditionOrder");
  cancel["business_type"] = '1';
  cancel["condition_no"] = conditionNo;
  EXPECT_EQ(Ask(cancel)["error_no"].asInt(), standin::kConditionEnded);
}

Json::Value OperAlgorithm(int opType, const std::string& no) {
  Json::Value request = Program("OperAlgorithm");
  request["fund_account"] = "trader01-01";
  request["operator_id"] = "trader01-op";
  request["algorithm_or_order_no"] = no;
  request["op_type"] = opType;
  return request;
}

Json::Value AlgorithmList(const std::string& no) {
  Json::Value list = Program("QueryAlgorithmList");
  for (const char* key : {"fund_account", "basket_no", "batch_no", "algorithm_type",
                          "security_code", "algorithm_status", "price_type", "position_str"}) {
    list[key] = "";
  }
  list["algorithm_no"] = no;
  list["security_exchange"] = 0;
  list["entrust_begin_time"] = "0";
  list["entrust_end_time"] = "0";
  list["max_request_num"] = 10;
  return list;
}

TEST_F(TradingSession, AlgorithmSlicesOnPriceMovesAndIsPausedChangedResumedAndListed) {
  LogInBothChannels();
  // 300 of 000858 in slices of 100: the first at once, then one per move.
  Json::Value create = OperAlgorithm('1', "");
  create["algorithm_type"] = "TWAP";
  create["security_code"] = "000858";
  create["security_name"] = "";
  create["security_exchange"] = kShenzhen;
  create["entrust_bs"] = kBuy;
  create["entrust_amount"] = 300.0;
  create["smallest_entrust_amount"] = 100.0;
  create["quantity_ratio"] = 10;
  create["price_type"] = "LMT";
  const Json::Value created = Ask(create);
  ASSERT_EQ(created["error_no"].asInt(), 0) << created;
  const std::string no = created["algorithm_or_order_no"].asString();
  ASSERT_FALSE(no.empty());
  const Json::Value slice = AwaitPush(10, "security_code", "000858");
  ASSERT_FALSE(slice.isNull());
  EXPECT_EQ(slice["business_amount"].asDouble(), 100);

  ASSERT_EQ(Ask(OperAlgorithm('3', no))["error_no"].asInt(), 0);  // pause
  ASSERT_TRUE(server().SetPrice('2', "000858", 151));
  // New limits for the paused algorithm: these bytes overlap the new-algorithm layout.
  Json::Value change = OperAlgorithm('2', no);
  change["stop_sell_limit_up"] = 1;
  change["cancel_order_limit_down"] = 0;
  change["quantity_ratio"] = 25;
  change["smallest_entrust_amount"] = 100.0;
  change["smallest_entrust_balance"] = 0.0;
  change["price_type"] = "AP";
  change["limit_price_basic"] = "LAST";
  change["limit_price_unit"] = "PCT";
  change["limit_price_change"] = 1.5;
  ASSERT_EQ(Ask(change)["error_no"].asInt(), 0);
  const Json::Value paused = Ask(AlgorithmList(no));
  ASSERT_EQ(paused["record_set_cnt"].asInt(), 1) << paused;
  const Json::Value& record = paused["record_set"][0];
  EXPECT_EQ(record["algorithm_status"].asString(), "paused");
  EXPECT_EQ(record["entrust_amount_remain"].asDouble(), 200);  // no slice while paused
  EXPECT_EQ(record["algorithm_type"].asString(), "TWAP");
  EXPECT_EQ(record["security_code"].asString(), "000858");
  EXPECT_EQ(record["quantity_ratio"].asInt(), 25);
  EXPECT_EQ(record["limit_price_basic"].asString(), "LAST");
  EXPECT_EQ(record["limit_price_change"].asDouble(), 1.5);
  EXPECT_EQ(record["price_type"].asString(), "AP");

  ASSERT_EQ(Ask(OperAlgorithm('4', no))["error_no"].asInt(), 0);  // resume: a slice at once
  ASSERT_TRUE(server().SetPrice('2', "000858", 152));              // and the last one
  const Json::Value done = Ask(AlgorithmList(no));
  EXPECT_EQ(done["record_set"][0]["algorithm_status"].asString(), "done") << done;
  EXPECT_EQ(done["record_set"][0]["business_amount"].asDouble(), 300);

  Json::Value orders = Program("QueryAlgorithmEntrustOrder");
  orders["max_request_num"] = 10;
  orders["position_str"] = "";
  orders["algorithm_no"] = no;
  const Json::Value slices = Ask(orders);
  ASSERT_EQ(slices["record_set_cnt"].asInt(), 3) << slices;
  EXPECT_EQ(slices["record_set"][1]["business_price"].asDouble(), 151);
  EXPECT_EQ(slices["record_set"][2]["business_price"].asDouble(), 152);
  EXPECT_EQ(slices["record_set"][2]["entrust_status"].asInt(), kFilled);

  EXPECT_EQ(Ask(OperAlgorithm('5', no))["error_no"].asInt(), standin::kAlgorithmEnded);
  EXPECT_EQ(Ask(OperAlgorithm('5', "A404"))["error_no"].asInt(), standin::kUnknownAlgorithm);
  EXPECT_EQ(Ask(OperAlgorithm('9', no))["error_no"].asInt(), standin::kBadAlgorithmOperation);
  orders["algorithm_no"] = "A404";
  EXPECT_EQ(Ask(orders)["error_no"].asInt(), standin::kUnknownAlgorithm);
}

TEST_F(TradingSession, StrategiesConfigurationAndBoundsAnswerFromTheSimulator) {
  LogInBothChannels();
  const Json::Value strategies = Ask(ConditionRequest("QueryStrategyInfo"));
  ASSERT_GE(strategies["record_set_cnt"].asInt(), 2) << strategies;
  EXPECT_FALSE(strategies["record_set"][0]["strategy_name"].asString().empty());

  Json::Value matched = ConditionRequest("QueryHistoryMatchedStockList");
  matched["strategy_codes"] = strategies["record_set"][0]["strategy_code"].asString() + "," +
                              strategies["record_set"][1]["strategy_code"].asString();
  const Json::Value stocks = Ask(matched);
  ASSERT_EQ(stocks["error_no"].asInt(), 0) << stocks;
  EXPECT_GE(stocks["record_set_cnt"].asInt(), 2);
  EXPECT_EQ(stocks["record_set"][0]["security_code"].asString().size(), 6u);
  matched["strategy_codes"] = "NO_SUCH";
  EXPECT_EQ(Ask(matched)["error_no"].asInt(), standin::kUnknownStrategy);

  Json::Value config = ConditionRequest("QueryEntrustConfig");
  config["fund_account"] = "trader01-01";
  const Json::Value settings = Ask(config);
  EXPECT_EQ(settings["error_no"].asInt(), 0) << settings;
  EXPECT_EQ(settings["balance"].asDouble(), 1000000);

  // A batch of more securities than a basket holds is refused undecoded.
  Json::Value create = Program("CreateBasket");
  create["basket_name"] = "big";
  create["type"] = "NORMAL";
  const std::string basketNo = Ask(create)["basket_no"].asString();
  Json::Value batch = Program("AddBasketSecurityBatch");
  batch["basket_no"] = basketNo;
  batch["record_set_cnt"] = static_cast<int>(standin::kMaxBasketSecurities + 1);
  for (size_t i = 0; i <= standin::kMaxBasketSecurities; ++i) {
    batch["record_set"].append(BatchRecord("600000", kShanghai, kBuy, 100, 10));
  }
  EXPECT_EQ(Ask(batch)["error_no"].asInt(), standin::kBasketFull);
  Json::Value start = NormalPlan(basketNo, 0);
  start["record_set"] = Json::Value(Json::arrayValue);
  EXPECT_EQ(Ask(start)["error_no"].asInt(), standin::kEmptyBasket);
}

TEST_F(TradingSession, QuickConditionOrderPlacesItsOrderAndGuardsItWithTwoConditions) {
  LogInBothChannels();
  Json::Value quick = ConditionRequest("QuickConditionOrder");
  quick["fund_account"] = "trader01-01";
  quick["operator_id"] = "trader01-op";
  quick["security_code"] = "600519";
  quick["security_name"] = "";
  quick["security_exchange"] = kShanghai;
  quick["stop_loss_gear"] = 5;
  quick["take_profit_gear"] = 10;
  quick["entrust_bs"] = kBuy;
  quick["entrust_price"] = 1700.0;
  quick["entrust_amount"] = 100.0;
  quick["entrust_prop"] = '0';
  const Json::Value placed = Ask(quick);
  ASSERT_EQ(placed["error_no"].asInt(), 0) << placed;
  const std::string orderNo = placed["order_request_no"].asString();
  ASSERT_FALSE(orderNo.empty());
  const Json::Value bought = AwaitPush(10, "request_no", orderNo);
  ASSERT_FALSE(bought.isNull());
  EXPECT_EQ(bought["entrust_status"].asInt(), kFilled);

  // Sells 5 % below and 10 % above the price paid.
  const Json::Value guards = Ask(ConditionList());
  ASSERT_EQ(guards["record_set_cnt"].asInt(), 2) << guards;
  EXPECT_EQ(guards["record_set"][0]["con_type"].asString(), "DOWN");
  EXPECT_EQ(guards["record_set"][0]["con_trigger_price"].asDouble(), 1615);
  EXPECT_EQ(guards["record_set"][0]["entrust_bs"].asInt(), kSell);
  EXPECT_EQ(guards["record_set"][1]["con_type"].asString(), "UP");
  EXPECT_EQ(guards["record_set"][1]["con_trigger_price"].asDouble(), 1870);

  ASSERT_TRUE(server().SetPrice('1', "600519", 1600));
  const Json::Value sold = AwaitPush(10, "entrust_bs", 0);
  ASSERT_FALSE(sold.isNull());
  EXPECT_EQ(sold["business_price"].asDouble(), 1600);
  EXPECT_EQ(sold["business_amount"].asDouble(), 100);
  Json::Value triggered = ConditionList();
  triggered["status"] = "triggered";
  EXPECT_EQ(Ask(triggered)["record_set_cnt"].asInt(), 1);
  triggered["status"] = "cancelled";  // the take profit, with nothing left to sell
  const Json::Value cancelled = Ask(triggered);
  ASSERT_EQ(cancelled["record_set_cnt"].asInt(), 1) << cancelled;
  EXPECT_EQ(cancelled["record_set"][0]["con_type"].asString(), "UP");

  quick["stop_loss_gear"] = 100;  // a stop at zero is no stop
  EXPECT_EQ(Ask(quick)["error_no"].asInt(), standin::kBadQuantityOrPrice);
}

}  // namespace
}  // namespace tessel::testing
