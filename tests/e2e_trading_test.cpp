// Trading through the loaded plug-in against the simulated server: orders
// and their push reports, cancels, queries answered from the book, real
// error answers, and pushes injected by a test.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <json/writer.h>

#include <thread>

#include "e2e_support.h"
#include "plugin/host_api.h"
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
  request["operator_id"] = "op";
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

class TradingSession : public ::testing::Test {
 protected:
  void SetUp() override {
    HostRecorder::Instance().Clear();
    ASSERT_TRUE(harness_.Start());
    library_ = dlopen(TESSEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    auto query = reinterpret_cast<PluginDescriptor (*)()>(dlsym(library_, "QueryZephCommInterface"));
    ASSERT_NE(query, nullptr);
    plugin_ = query();
    client_ = plugin_.createClient(&HostRecorder::Notify);
    ASSERT_NE(client_, nullptr);
  }

  void TearDown() override {
    if (client_ != nullptr) plugin_.destroyClient(client_);
    if (library_ != nullptr) dlclose(library_);
  }

  // Sends once the main channel is up (retrying while it comes up) and
  // returns the answer, or null when none arrives.
  Json::Value Ask(const Json::Value& request) {
    const std::string text = Text(request);
    const uint64_t context = ++lastContext_;
    bool sent = false;
    for (int attempt = 0; attempt < 200 && !sent; ++attempt) {
      sent = plugin_.sendRequest(client_, text.data(), static_cast<int32_t>(text.size()),
                                 &HostRecorder::Answer, context) == 1;
      if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!sent || !host().WaitForAnswers(context, 1)) return Json::Value();
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

  standin::StandIn& server() { return harness_.server(); }
  HostRecorder& host() { return HostRecorder::Instance(); }

  StandInHarness harness_;
  void* library_ = nullptr;
  PluginDescriptor plugin_{};
  TradeClient* client_ = nullptr;
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
  // The cancel's own number, from a counter of its own: it may well equal
  // the order's number within the same second.
  EXPECT_FALSE(cancelNo.empty());
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
  ASSERT_TRUE(server().SetPrice('1', "600000", 11.20));
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
  stocks["operator_id"] = "op";
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
  Json::Value limit;
  limit["fund_account"] = "F1";
  limit["limitBalance"] = 2.5;
  ASSERT_TRUE(server().SendPush(Channel::Push, 304, limit));
  const Json::Value seen = AwaitPush(304, "fund_account", "F1");
  ASSERT_FALSE(seen.isNull());
  EXPECT_EQ(seen["limitBalance"].asDouble(), 2.5);
  EXPECT_FALSE(server().SendPush(Channel::Push, 4, limit));  // an answer, not a push
}

}  // namespace
}  // namespace tessel::testing
