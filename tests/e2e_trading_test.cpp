// Trading through the loaded plug-in against the simulated server: orders
// and their push reports, cancels, queries answered from the book, real
// error answers, and pushes injected by a test. Each request starts from
// the message reference's example, written for the demo account, so only
// what a test is about is spelt out here.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "tools/standin/errors.h"

namespace tessel::testing {
namespace {

// Markets, sides and order states travel as character codes.
using standin::kBuy;
using standin::kOrderCancelled;
using standin::kOrderFilled;
using standin::kOrderOpen;
using standin::kSell;
using standin::kShanghai;
using standin::kShenzhen;

TEST_F(TradingSession, FilledOrderIsAnsweredReportedAndSeenByQueries) {
  LogIn();
  // 600519 is priced 1700: a buy at 1800 crosses and fills at 1700.
  const Json::Value answer = Ask(Order("600519", kBuy, 100, 1800));
  ASSERT_EQ(answer["error_no"].asInt(), 0) << answer;
  const std::string requestNo = answer["request_no"].asString();

  const Json::Value execution = AwaitPush(10, "request_no", requestNo);
  EXPECT_EQ(execution["entrust_status"].asInt(), kOrderFilled);
  EXPECT_EQ(execution["business_amount"].asDouble(), 100);
  EXPECT_EQ(execution["business_price"].asDouble(), 1700);
  const Json::Value progress = AwaitPush(17, "request_no", requestNo);
  EXPECT_EQ(progress["error_info"].asString(), "filled");
  const Json::Value fund = AwaitPush(301, "fund_account", "demo-01");
  EXPECT_EQ(fund["balance"].asDouble(), 1000000 - 170000);
  EXPECT_EQ(fund["purchase_power"].asDouble(), 830000);  // nothing stays held after the fill
  const Json::Value position = AwaitPush(302, "security_code", "600519");
  EXPECT_EQ(position["current_amount"].asDouble(), 100);
  EXPECT_EQ(position["enable_amount"].asDouble(), 100);
  EXPECT_EQ(position["avg_price"].asDouble(), 1700);
  EXPECT_EQ(position["bargainBalance"].asDouble(), 170000);

  const Json::Value money = Ask(Example("QryMoney"));
  EXPECT_EQ(money["balance"].asDouble(), 830000);
  EXPECT_EQ(money["market_value"].asDouble(), 170000 + 1000 * 10.50);  // with the seed holding

  const Json::Value holders = Ask(Example("QryHolder"));
  ASSERT_EQ(holders["record_set_cnt"].asInt(), 2) << holders;
  EXPECT_EQ(holders["holders"][1]["stock_code"].asString(), "600519");
  EXPECT_EQ(holders["holders"][1]["current_vol"].asDouble(), 100);

  const Json::Value orders = Ask(Example("QryCurOrder"));
  ASSERT_EQ(orders["records"].size(), 1u) << orders;
  EXPECT_EQ(orders["records"][0]["request_no"].asString(), requestNo);
  EXPECT_EQ(orders["records"][0]["entrust_status"].asInt(), kOrderFilled);
  const Json::Value trades = Ask(Example("QryCurTrade"));
  ASSERT_EQ(trades["records"].size(), 1u) << trades;
  EXPECT_EQ(trades["records"][0]["business_amt"].asDouble(), 170000);

  for (const char* func : {"QryHisOrder", "QryHisTrade"}) {
    Json::Value history = Example(func);
    history["start_date"] = 20000101;  // and no end
    const Json::Value all = Ask(history);
    EXPECT_EQ(all["record_set_cnt"].asInt(), 1) << func << all;
    EXPECT_EQ(all["record_set"][0]["stock_code"].asString(), "600519") << func;
    history["end_date"] = 20001231;  // before anything happened
    EXPECT_EQ(Ask(history)["record_set_cnt"].asInt(), 0) << func;
  }

  Json::Value maxSell = Example("QryMaxSell");
  maxSell["code"] = "600519";
  const Json::Value sellable = Ask(maxSell);
  EXPECT_EQ(sellable["enable_amount"].asDouble(), 100) << sellable;
  maxSell["code"] = "999999";
  EXPECT_EQ(Ask(maxSell)["error_no"].asInt(), standin::kUnknownSecurity);

  // A second fill at another price averages the position's cost.
  ASSERT_TRUE(server().SetPrice('1', "600519", 1600));
  ASSERT_EQ(Ask(Order("600519", kBuy, 100, 1600))["error_no"].asInt(), 0);
  EXPECT_FALSE(AwaitPush(302, "avg_price", 1650.0).isNull());
}

TEST_F(TradingSession, OpenOrdersAreCancelledOrFilledByAPriceMove) {
  LogIn();
  // 600000 is priced 10.50: a buy at 10.00 stays open, holding its cash.
  const Json::Value first = Ask(Order("600000", kBuy, 1000, 10.00));
  ASSERT_EQ(first["error_no"].asInt(), 0) << first;
  const std::string firstNo = first["request_no"].asString();
  const Json::Value opened = AwaitPush(10, "request_no", firstNo);
  EXPECT_EQ(opened["entrust_status"].asInt(), kOrderOpen);
  EXPECT_EQ(opened["left_amount"].asDouble(), 1000);
  EXPECT_FALSE(AwaitPush(301, "purchase_power", 990000.0).isNull());

  const Json::Value cancelled = Ask(Cancel(firstNo));
  ASSERT_EQ(cancelled["error_no"].asInt(), 0) << cancelled;
  const std::string cancelNo = cancelled["request_no"].asString();
  // The cancel's own number, never the order's, even within one second.
  EXPECT_FALSE(cancelNo.empty());
  EXPECT_NE(cancelNo, firstNo);
  const Json::Value report = AwaitPush(10, "orig_request_no", firstNo);
  EXPECT_EQ(report["entrust_status"].asInt(), kOrderCancelled);
  EXPECT_EQ(report["request_no"].asString(), cancelNo);
  EXPECT_FALSE(AwaitPush(17, "error_info", "cancelled").isNull());
  EXPECT_FALSE(AwaitPush(301, "purchase_power", 1000000.0).isNull());  // released

  // Cancelling again, or an order never placed, is an error answer.
  const Json::Value again = Ask(Cancel(firstNo));
  EXPECT_EQ(again["error_no"].asInt(), standin::kOrderAlreadyCancelled);
  EXPECT_EQ(again["error_info"].asString(), "order already cancelled");
  EXPECT_EQ(Ask(Cancel("12345"))["error_no"].asInt(), standin::kUnknownOrder);

  // An open sell holds its shares; cancelled, it gives them back.
  const Json::Value held = Ask(Order("600000", kSell, 400, 11.50));
  EXPECT_FALSE(AwaitPush(302, "enable_amount", 600.0).isNull());
  EXPECT_EQ(Ask(Order("600000", kSell, 700, 11.50))["error_no"].asInt(),
            standin::kInsufficientPosition);
  ASSERT_EQ(Ask(Cancel(held["request_no"].asString()))["error_no"].asInt(), 0);
  EXPECT_FALSE(AwaitPush(302, "enable_amount", 1000.0).isNull());

  // An open sell fills once the price comes up to it.
  const Json::Value sell = Ask(Order("600000", kSell, 400, 11.00));
  ASSERT_EQ(sell["error_no"].asInt(), 0) << sell;
  const std::string sellNo = sell["request_no"].asString();
  ASSERT_TRUE(Commanded(server(), "price 49 600000 11.20"));
  const Json::Value filled = AwaitPush(10, "entrust_status", kOrderFilled);
  EXPECT_EQ(filled["request_no"].asString(), sellNo);
  EXPECT_EQ(filled["business_price"].asDouble(), 11.20);
  EXPECT_FALSE(AwaitPush(302, "current_amount", 600.0).isNull());
  // The fund report came just before: 400 sold at 11.20, 1.20 above their cost.
  const Json::Value fund =
      HostRecorder::Pushes(host().Events(), 301, "fund_account", "demo-01").back();
  EXPECT_NEAR(fund["balance"].asDouble(), 1000000 + 4480, 1e-6);
  EXPECT_NEAR(fund["actual_profit_loss"].asDouble(), 480, 1e-6);
  EXPECT_EQ(Ask(Cancel(sellNo))["error_no"].asInt(), standin::kOrderAlreadyFilled);

  // Sold out, the position is gone.
  ASSERT_EQ(Ask(Order("600000", kSell, 600, 11.00))["error_no"].asInt(), 0);
  EXPECT_EQ(Ask(Example("QryHolder"))["record_set_cnt"].asInt(), 0);

  // A price above a buy's limit leaves it open; one below fills it at that price.
  const std::string buyNo = Ask(Order("600000", kBuy, 100, 11.00))["request_no"].asString();
  ASSERT_TRUE(server().SetPrice('1', "600000", 11.10));
  ASSERT_TRUE(server().SetPrice('1', "600000", 10.90));
  EXPECT_EQ(AwaitPush(10, "business_price", 10.90)["request_no"].asString(), buyNo);
}

TEST_F(TradingSession, RefusedRequestsGetErrorAnswersAndNoReports) {
  ASSERT_TRUE(server().WaitFor(standin::AcceptedAtLeast(Channel::Main, 1)));
  const Json::Value early = Ask(Example("QryMoney"));
  EXPECT_EQ(early["error_no"].asInt(), standin::kNotLoggedIn) << early;

  LogIn();
  host().Clear();
  const Json::Value poor = Ask(Order("600519", kBuy, 1000, 1700));  // 1.7 million
  EXPECT_EQ(poor["error_no"].asInt(), standin::kInsufficientFunds) << poor;
  EXPECT_EQ(poor["error_info"].asString(), "insufficient funds");
  EXPECT_FALSE(poor["request_no"].asString().empty());
  EXPECT_EQ(Ask(Order("999999", kBuy, 100, 10))["error_no"].asInt(), standin::kUnknownSecurity);
  EXPECT_EQ(Ask(Order("600519", kSell, 100, 1700))["error_no"].asInt(),
            standin::kInsufficientPosition);
  EXPECT_EQ(Ask(Order("600000", 1, 100, 10))["error_no"].asInt(), standin::kBadSide);

  // The push connection writes in order: once a push injected now arrives,
  // any report of the refused orders would have arrived before it.
  ASSERT_TRUE(Commanded(server(), R"(push 304 {"fund_account":"marker","limitBalance":2.5})"));
  EXPECT_FALSE(Commanded(server(), "push 4 {}"));  // an answer, not a push
  const Json::Value seen = AwaitPush(304, "fund_account", "marker");
  EXPECT_EQ(seen["limitBalance"].asDouble(), 2.5);
  size_t notices = 0;
  for (const HostEvent& e : host().Events()) notices += !e.isAnswer;
  EXPECT_EQ(notices, 1u);
}

TEST_F(TradingSession, ListsAndLimitsAnswerFromTheBook) {
  LogIn();
  Json::Value add = Example("OptionalOperation");
  add["mark"] = kShenzhen;
  add["code"] = "000858";
  const Json::Value added = Ask(add);
  ASSERT_EQ(added["error_no"].asInt(), 0) << added;
  ASSERT_EQ(added["record_set"].size(), 3u);
  EXPECT_EQ(added["record_set"][2]["code"].asString(), "000858");
  EXPECT_EQ(added["record_set"][2]["mark"].asInt(), 0);  // Shenzhen
  EXPECT_EQ(added["record_set"][2]["security_name"].asString(), "Wuliangye");
  EXPECT_EQ(Ask(add)["error_no"].asInt(), standin::kAlreadyOnWatchList);

  Json::Value page = Example("QueryDealList");
  page["max_request_num"] = 1;
  page["position_str"] = "1";
  const Json::Value dealers = Ask(page);
  ASSERT_EQ(dealers["record_set"].size(), 1u) << dealers;
  EXPECT_EQ(dealers["record_set"][0]["operator_id"].asString(), "dealer-2");

  // 1,000,000 at 1700 in lots of 100.
  Json::Value maxBuy = Example("QryMaxBuy");
  EXPECT_EQ(Ask(maxBuy)["enable_amount"].asDouble(), 500);
  Json::Value maxSell = Example("QryMaxSell");
  EXPECT_EQ(Ask(maxSell)["enable_amount"].asDouble(), 1000);  // the seed holding
  maxSell["mark"] = kShenzhen;
  maxSell["code"] = "000001";
  EXPECT_EQ(Ask(maxSell)["enable_amount"].asDouble(), 0);
}

// ---- Baskets, plans, algorithms and condition orders ------------------------

Json::Value PlanQuery(const char* func, const std::string& basketNo, const std::string& batchNo) {
  Json::Value request = Example(func);
  request["basket_no"] = basketNo;
  request["batch_no"] = batchNo;
  return request;
}

TEST_F(TradingSession, BasketPlanPlacesOrdersThatFillAndReportAndCanBeQueried) {
  LogIn();
  const Json::Value created = Ask(Example("CreateBasket"));
  ASSERT_EQ(created["error_no"].asInt(), 0) << created;
  const std::string basketNo = created["basket_no"].asString();

  // 600519, 000858, 600000 and 000001.
  Json::Value batch = Example("AddBasketSecurityBatch");
  batch["basket_no"] = basketNo;
  const Json::Value added = Ask(batch);
  ASSERT_EQ(added["error_no"].asInt(), 0) << added;

  const Json::Value baskets = Ask(Example("QueryBasket"));
  ASSERT_EQ(baskets["record_set_cnt"].asInt(), 1) << baskets;
  EXPECT_EQ(baskets["record_set"][0]["basket_no"].asString(), basketNo);
  Json::Value detail = Example("QueryBasketDetail");
  detail["basket_no"] = basketNo;
  const Json::Value securities = Ask(detail);
  ASSERT_EQ(securities["record_set_cnt"].asInt(), 4) << securities;
  EXPECT_EQ(securities["record_set"][3]["security_exchange"].asInt(), kShenzhen);

  // The plan names two of them: 600519 at its price fills at once; 000001,
  // its amount replaced, waits at 12.00 below 12.30.
  Json::Value start = Example("StartBasketPlan");
  start["basket_no"] = basketNo;
  start["basket_detail_cnt"] = 2;
  for (int i : {0, 3}) {
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

  const Json::Value filled = AwaitPush(10, "security_code", "600519");
  EXPECT_EQ(filled["entrust_status"].asInt(), kOrderFilled);
  EXPECT_EQ(filled["business_price"].asDouble(), 1700);
  const Json::Value waiting = AwaitPush(10, "security_code", "000001");
  EXPECT_EQ(waiting["entrust_status"].asInt(), kOrderOpen);

  const auto planStatus = [&] {
    Json::Value plans = Example("QueryBasketPlan");
    plans["basket_no"] = basketNo;
    const Json::Value answer = Ask(plans);
    EXPECT_EQ(answer["record_set_cnt"].asInt(), 1) << answer;
    return answer["record_set"][0];
  };
  const Json::Value running = planStatus();
  EXPECT_EQ(running["status"].asString(), "running");
  EXPECT_EQ(running["entrust_amount"].asDouble(), 600);
  EXPECT_EQ(running["business_amount"].asDouble(), 100);

  ASSERT_TRUE(server().SetPrice('2', "000001", 11.90));
  const Json::Value later = AwaitPush(10, "business_price", 11.90);
  EXPECT_EQ(later["business_amount"].asDouble(), 500);
  EXPECT_EQ(planStatus()["status"].asString(), "finished");

  const Json::Value lines = Ask(PlanQuery("QueryBasketPlanDetail", basketNo, batchNo));
  ASSERT_EQ(lines["record_set_cnt"].asInt(), 2) << lines;
  EXPECT_EQ(lines["record_set"][1]["business_entrust_amount"].asDouble(), 500);
  // The batch alone names its plan.
  EXPECT_EQ(Ask(PlanQuery("QueryBasketPlanDetail", "", batchNo))["record_set_cnt"].asInt(), 2);
  const Json::Value orders = Ask(PlanQuery("QueryBasketEntrustOrder", basketNo, batchNo));
  ASSERT_EQ(orders["record_set_cnt"].asInt(), 2) << orders;
  EXPECT_EQ(orders["record_set"][0]["entrust_status"].asInt(), kOrderFilled);
  EXPECT_EQ(orders["record_set"][1]["business_balance"].asDouble(), 500 * 11.90);
  const Json::Value trades = Ask(PlanQuery("QueryBasketBargainOrder", basketNo, batchNo));
  ASSERT_EQ(trades["record_set_cnt"].asInt(), 2) << trades;
  EXPECT_EQ(trades["record_set"][0]["business_balance"].asDouble(), 170000);
  EXPECT_EQ(Ask(PlanQuery("QueryBasketBargainOrder", basketNo, "P404"))["error_no"].asInt(),
            standin::kUnknownPlan);

  // The trades count in the day's summary.
  const Json::Value sums = Ask(Example("QueryBargainSummary"));
  EXPECT_EQ(sums["trans_amount"].asInt(), 2) << sums;
  EXPECT_EQ(sums["bargain_balance"].asDouble(), 170000 + 500 * 11.90);
}

TEST_F(TradingSession, ConditionOrderTriggersWhenThePriceCrossesAndIsListedTriggered) {
  LogIn();
  Json::Value create = Example("CreateConditionOrder");
  create["security_code"] = "600519";
  create["con_type"] = "DOWN";
  create["entrust_bs"] = kBuy;
  create["con_trigger_date"] = "20261231";
  create["con_trigger_price"] = 1650.0;
  create["entrust_amount"] = 100.0;
  const Json::Value created = Ask(create);
  ASSERT_EQ(created["error_no"].asInt(), 0) << created;
  const std::string conditionNo = created["condition_no"].asString();
  create["con_type"] = "SIDEWAYS";
  EXPECT_EQ(Ask(create)["error_no"].asInt(), standin::kBadConditionType);

  Json::Value operate = Example("OperConditionOrder");
  operate["business_type"] = '3';  // pause
  operate["condition_no"] = "C404";
  EXPECT_EQ(Ask(operate)["error_no"].asInt(), standin::kUnknownCondition);

  ASSERT_TRUE(server().SetPrice('1', "600519", 1680));  // not crossed yet
  const Json::Value waiting = Ask(Example("QueryConditionOrderList"));
  ASSERT_EQ(waiting["record_set_cnt"].asInt(), 1) << waiting;
  EXPECT_EQ(waiting["record_set"][0]["status"].asString(), "waiting");

  ASSERT_TRUE(server().SetPrice('1', "600519", 1640));
  const Json::Value execution = AwaitPush(10, "security_code", "600519");
  EXPECT_EQ(execution["entrust_status"].asInt(), kOrderFilled);

  const Json::Value triggered = Ask(Example("QueryConditionOrderList"));
  ASSERT_EQ(triggered["record_set_cnt"].asInt(), 1) << triggered;
  EXPECT_EQ(triggered["record_set"][0]["condition_no"].asString(), conditionNo);
  EXPECT_EQ(triggered["record_set"][0]["status"].asString(), "triggered");
}

Json::Value OperAlgorithm(int opType, const std::string& no) {
  Json::Value request = Example("OperAlgorithm");
  request["algorithm_or_order_no"] = no;
  request["op_type"] = opType;
  return request;
}

TEST_F(TradingSession, AlgorithmSlicesOnPriceMovesAndIsPausedChangedResumedAndListed) {
  LogIn();
  // 300 of 000858 in slices of 100: the first at once, then one per move.
  Json::Value create = OperAlgorithm('1', "");
  create["security_code"] = "000858";
  create["security_exchange"] = kShenzhen;
  create["quantity_ratio"] = 10;
  const Json::Value created = Ask(create);
  ASSERT_EQ(created["error_no"].asInt(), 0) << created;
  const std::string no = created["algorithm_or_order_no"].asString();
  const Json::Value slice = AwaitPush(10, "security_code", "000858");
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
  Json::Value list = Example("QueryAlgorithmList");
  list["algorithm_no"] = no;
  const Json::Value paused = Ask(list);
  ASSERT_EQ(paused["record_set_cnt"].asInt(), 1) << paused;
  const Json::Value& record = paused["record_set"][0];
  EXPECT_EQ(record["algorithm_status"].asString(), "paused");
  EXPECT_EQ(record["entrust_amount_remain"].asDouble(), 200);  // no slice while paused
  EXPECT_EQ(record["quantity_ratio"].asInt(), 25);
  EXPECT_EQ(record["limit_price_basic"].asString(), "LAST");
  EXPECT_EQ(record["limit_price_change"].asDouble(), 1.5);
  EXPECT_EQ(record["price_type"].asString(), "AP");

  ASSERT_EQ(Ask(OperAlgorithm('4', no))["error_no"].asInt(), 0);  // resume: a slice at once
  ASSERT_TRUE(server().SetPrice('2', "000858", 152));              // and the last one
  const Json::Value done = Ask(list);
  EXPECT_EQ(done["record_set"][0]["algorithm_status"].asString(), "done") << done;
  EXPECT_EQ(done["record_set"][0]["business_amount"].asDouble(), 300);

  Json::Value orders = Example("QueryAlgorithmEntrustOrder");
  orders["algorithm_no"] = no;
  const Json::Value slices = Ask(orders);
  ASSERT_EQ(slices["record_set_cnt"].asInt(), 3) << slices;
  EXPECT_EQ(slices["record_set"][1]["business_price"].asDouble(), 151);
  EXPECT_EQ(slices["record_set"][2]["business_price"].asDouble(), 152);
  EXPECT_EQ(slices["record_set"][2]["entrust_status"].asInt(), kOrderFilled);

  EXPECT_EQ(Ask(OperAlgorithm('5', no))["error_no"].asInt(), standin::kAlgorithmEnded);
  EXPECT_EQ(Ask(OperAlgorithm('5', "A404"))["error_no"].asInt(), standin::kUnknownAlgorithm);
  orders["algorithm_no"] = "A404";
  EXPECT_EQ(Ask(orders)["error_no"].asInt(), standin::kUnknownAlgorithm);
}

TEST_F(TradingSession, StrategiesConfigurationAndBoundsAnswerFromTheSimulator) {
  LogIn();
  const Json::Value strategies = Ask(Example("QueryStrategyInfo"));
  ASSERT_GE(strategies["record_set_cnt"].asInt(), 2) << strategies;
  EXPECT_FALSE(strategies["record_set"][0]["strategy_name"].asString().empty());

  Json::Value matched = Example("QueryHistoryMatchedStockList");
  matched["strategy_codes"] = strategies["record_set"][0]["strategy_code"].asString() + "," +
                              strategies["record_set"][1]["strategy_code"].asString();
  const Json::Value stocks = Ask(matched);
  EXPECT_GE(stocks["record_set_cnt"].asInt(), 2) << stocks;
  EXPECT_EQ(stocks["record_set"][0]["security_code"].asString().size(), 6u);
  matched["strategy_codes"] = "NO_SUCH";
  EXPECT_EQ(Ask(matched)["error_no"].asInt(), standin::kUnknownStrategy);

  EXPECT_EQ(Ask(Example("QueryEntrustConfig"))["balance"].asDouble(), 1000000);

  // A plan of an empty basket is refused.
  Json::Value start = Example("StartBasketPlan");
  start["basket_no"] = Ask(Example("CreateBasket"))["basket_no"].asString();
  EXPECT_EQ(Ask(start)["error_no"].asInt(), standin::kEmptyBasket);
}

TEST_F(TradingSession, QuickConditionOrderPlacesItsOrderAndGuardsItWithTwoConditions) {
  LogIn();
  Json::Value quick = Example("QuickConditionOrder");
  quick["security_code"] = "600519";
  quick["security_exchange"] = kShanghai;
  quick["entrust_price"] = 1700.0;
  const Json::Value placed = Ask(quick);
  ASSERT_EQ(placed["error_no"].asInt(), 0) << placed;
  const std::string orderNo = placed["order_request_no"].asString();
  const Json::Value bought = AwaitPush(10, "request_no", orderNo);
  EXPECT_EQ(bought["entrust_status"].asInt(), kOrderFilled);

  // Sells 5 % below and 10 % above the price paid.
  Json::Value list = Example("QueryConditionOrderList");
  const Json::Value guards = Ask(list);
  ASSERT_EQ(guards["record_set_cnt"].asInt(), 2) << guards;
  EXPECT_EQ(guards["record_set"][0]["con_type"].asString(), "DOWN");
  EXPECT_EQ(guards["record_set"][0]["con_trigger_price"].asDouble(), 1615);
  EXPECT_EQ(guards["record_set"][0]["entrust_bs"].asInt(), kSell);
  EXPECT_EQ(guards["record_set"][1]["con_type"].asString(), "UP");
  EXPECT_EQ(guards["record_set"][1]["con_trigger_price"].asDouble(), 1870);

  ASSERT_TRUE(server().SetPrice('1', "600519", 1600));
  const Json::Value sold = AwaitPush(10, "entrust_bs", 0);
  EXPECT_EQ(sold["business_price"].asDouble(), 1600);
  EXPECT_EQ(sold["business_amount"].asDouble(), 100);
  list["status"] = "triggered";
  EXPECT_EQ(Ask(list)["record_set_cnt"].asInt(), 1);
  list["status"] = "cancelled";  // the take profit, with nothing left to sell
  const Json::Value cancelled = Ask(list);
  ASSERT_EQ(cancelled["record_set_cnt"].asInt(), 1) << cancelled;
  EXPECT_EQ(cancelled["record_set"][0]["con_type"].asString(), "UP");

  quick["stop_loss_gear"] = 100;  // a stop at zero is no stop
  EXPECT_EQ(Ask(quick)["error_no"].asInt(), standin::kBadQuantityOrPrice);
}

}  // namespace
}  // namespace tessel::testing
