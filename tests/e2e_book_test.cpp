// The simulator's book through the loaded plug-in, as a host meets it: the
// orders a real server refuses, orders larger than a security's depth that
// fill in parts, and accounts and securities from an accounts file. Every
// error answer must be one the reference lists for its function.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "tools/standin/accounts_file.h"
#include "tools/standin/book.h"

namespace tessel::testing {
namespace {

using namespace standin;  // its error numbers, order states, markets and sides

// `request` by `user` for `client`'s account `fund`, through `operatorId`
// where it names an operator.
Json::Value As(Json::Value request, const std::string& user, const std::string& client,
               const std::string& fund, const std::string& operatorId) {
  request["user_name"] = user;
  request["client_id"] = client;
  request["fund_account"] = fund;
  if (request.isMember("operator_id")) request["operator_id"] = operatorId;
  return request;
}

// The demo book's account of the user the tests log in.
Json::Value Trader(const Json::Value& request) {
  return As(request, "trader01", "trader01", "trader01-01", "trader01-op");
}

// The example accounts file's first user.
Json::Value Alice(const Json::Value& request, const std::string& operatorId = "alice-op") {
  return As(request, "alice", "C1001", "A-01", operatorId);
}

class BookSession : public TradingSession {
 protected:
  // An execution report of the order `requestNo` in `status`; of its
  // cancel, by "orig_request_no".
  static Json::Value Match(const std::string& requestNo, int status) {
    Json::Value match(Json::objectValue);
    const bool cancel = status == kOrderCancelled || status == kOrderPartlyCancelled;
    match[cancel ? "orig_request_no" : "request_no"] = requestNo;
    match["entrust_status"] = status;
    return match;
  }
};

TEST_F(BookSession, RequestsARealServerRefusesAreAnsweredWithTheirErrors) {
  LogIn("trader01", "secret");
  // Every identity a request names must be the logged-in user's.
  const struct {
    const char* key;
    const char* value;
    int32_t error;
  } strangers[] = {{"user_name", "trader02", kWrongUser},
                   {"client_id", "trader02", kUnknownClient},
                   {"fund_account", "trader02-01", kUnknownFundAccount},
                   {"operator_id", "demo-op", kUnknownOperator}};
  for (const auto& stranger : strangers) {
    Json::Value order = Trader(Order("600000", kBuy, 100, 10.00));
    order[stranger.key] = stranger.value;
    EXPECT_EQ(ErrorAsking(order), stranger.error) << stranger.key;
    Json::Value query = Trader(Example("QryMoney"));
    if (!query.isMember(stranger.key)) continue;
    query[stranger.key] = stranger.value;
    EXPECT_EQ(ErrorAsking(query), stranger.error) << stranger.key;
  }
  Json::Value margin = Trader(Example("QryMoney"));
  margin["fund_account"] = "trader01-02";  // the user's other fund account
  EXPECT_EQ(ErrorAsking(margin), 0);

  // 600000: lots of 100, tick 0.01, limits 9.45 to 11.55. Sells by lot and
  // by what may be sold are shown with the example accounts file below.
  EXPECT_EQ(ErrorAsking(Trader(Order("600000", kBuy, 150, 10.00))), kBadLot);
  EXPECT_EQ(ErrorAsking(Trader(Order("600000", kBuy, 100, 10.005))), kBadTick);
  EXPECT_EQ(ErrorAsking(Trader(Order("600000", kBuy, 100, 11.56))), kOutsidePriceBand);
  EXPECT_EQ(ErrorAsking(Trader(Order("600000", kSell, 100, 9.44))), kOutsidePriceBand);

  // A cancel must agree with the order it names.
  const std::string open =
      Ask(Trader(Order("600000", kBuy, 100, 10.00)))["request_no"].asString();
  EXPECT_EQ(ErrorAsking(Trader(Cancel(open, "000001", kShanghai))), kCancelMismatch);
  EXPECT_EQ(ErrorAsking(Trader(Cancel(open, "600000", kShenzhen))), kCancelMismatch);
  Json::Value otherFund = Trader(Cancel(open, "600000", kShanghai));
  otherFund["fund_account"] = "trader01-02";
  EXPECT_EQ(ErrorAsking(otherFund), kCancelMismatch);
  EXPECT_EQ(ErrorAsking(Trader(Cancel(open, "600000", kShanghai))), 0);
  EXPECT_FALSE(AwaitPush(10, Match(open, kOrderCancelled)).isNull());
}

TEST_F(BookSession, AnOrderLargerThanTheDepthFillsInPartsUntilFilledOrCancelled) {
  LogIn("trader01", "secret");
  // 000001 trades 20,000 at each price, from 12.30.
  const std::string first =
      Ask(Trader(Order("000001", kBuy, 50000, 12.40, kShenzhen)))["request_no"].asString();
  const Json::Value part = AwaitPush(10, Match(first, kOrderPartlyFilled));
  ASSERT_FALSE(part.isNull());
  EXPECT_EQ(part["business_amount"].asDouble(), 20000);
  EXPECT_EQ(part["business_price"].asDouble(), 12.30);
  EXPECT_EQ(part["left_amount"].asDouble(), 30000);
  Json::Value progress(Json::objectValue);
  progress["request_no"] = first;
  progress["error_info"] = "partly filled";
  EXPECT_FALSE(AwaitPush(17, progress).isNull());

  ASSERT_TRUE(server().SetPrice(kShenzhen, "000001", 12.35));
  Json::Value second = Match(first, kOrderPartlyFilled);
  second["left_amount"] = 10000.0;
  second = AwaitPush(10, second);
  ASSERT_FALSE(second.isNull());
  EXPECT_EQ(second["business_price"].asDouble(), 12.35);
  EXPECT_EQ(second["avg_price"].asDouble(), 12.325);

  // A cancel withdraws the rest and gives back the cash it held.
  ASSERT_EQ(ErrorAsking(Trader(Cancel(first, "000001", kShenzhen))), 0);
  const Json::Value withdrawn = AwaitPush(10, Match(first, kOrderPartlyCancelled));
  ASSERT_FALSE(withdrawn.isNull());
  EXPECT_EQ(withdrawn["left_amount"].asDouble(), 10000);
  const Json::Value money = Ask(Trader(Example("QryMoney")));
  EXPECT_EQ(money["purchase_power"].asDouble(), money["balance"].asDouble());

  // The depth at 12.35 is spent: the next order waits for new prices.
  const std::string next =
      Ask(Trader(Order("000001", kBuy, 30000, 12.40, kShenzhen)))["request_no"].asString();
  EXPECT_FALSE(AwaitPush(10, Match(next, kOrderOpen)).isNull());
  ASSERT_TRUE(server().SetPrice(kShenzhen, "000001", 12.36));
  EXPECT_FALSE(AwaitPush(10, Match(next, kOrderPartlyFilled)).isNull());
  ASSERT_TRUE(server().SetPrice(kShenzhen, "000001", 12.37));
  EXPECT_FALSE(AwaitPush(10, Match(next, kOrderFilled)).isNull());
  Json::Value held(Json::objectValue);
  held["security_code"] = "000001";
  held["current_amount"] = 70000.0;
  EXPECT_FALSE(AwaitPush(302, held).isNull());

  const Json::Value records = Ask(Trader(Example("QryCurOrder")))["records"];
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["entrust_status"].asInt(), kOrderPartlyCancelled);
  EXPECT_EQ(records[0]["business_volume"].asDouble(), 40000);
  EXPECT_EQ(records[1]["entrust_status"].asInt(), kOrderFilled);
  EXPECT_EQ(records[1]["business_volume"].asDouble(), 30000);
  EXPECT_EQ(Ask(Trader(Example("QryCurTrade")))["records"].size(), 4u);
}

TEST_F(BookSession, TheExampleAccountsFileServesItsOwnUsersAndSecurities) {
  Seed seed;
  std::string error;
  ASSERT_TRUE(LoadAccounts(TESSEL_SOURCE_DIR "/tools/standin/accounts-example.json", seed, error))
      << error;
  server().SetBook(std::move(seed));
  EXPECT_EQ(ErrorAsking(Login("trader01", "secret")), kUnknownUser);
  EXPECT_EQ(ErrorAsking(Login("alice", "secret")), kWrongPassword);
  LogIn("alice", "alice-secret");
  Json::Value bobs = Alice(Example("QryMoney"));
  bobs["fund_account"] = "B-01";
  EXPECT_EQ(ErrorAsking(bobs), kUnknownFundAccount);
  bobs["fund_account"] = "A-02";
  EXPECT_EQ(ErrorAsking(bobs), 0);

  // 1050 of 600000 held from before today: 50 are odd, and go only all together.
  EXPECT_EQ(ErrorAsking(Alice(Order("600000", kSell, 120, 10.50))), kBadLot);
  const std::string sold =
      Ask(Alice(Order("600000", kSell, 50, 10.50), "desk-7"))["request_no"].asString();
  const Json::Value report = AwaitPush(10, Match(sold, kOrderFilled));
  ASSERT_FALSE(report.isNull());
  EXPECT_EQ(report["operator_id"].asString(), "desk-7");
  EXPECT_EQ(report["client_id"].asString(), "C1001");

  // 600000's shares bought today are sellable only tomorrow.
  const std::string bought =
      Ask(Alice(Order("600000", kBuy, 100, 10.50)))["request_no"].asString();
  ASSERT_FALSE(AwaitPush(10, Match(bought, kOrderFilled)).isNull());
  // The example asks of 600000.
  EXPECT_EQ(Ask(Alice(Example("QryMaxSell")))["enable_amount"].asDouble(), 1000);
  EXPECT_EQ(ErrorAsking(Alice(Order("600000", kSell, 1100, 10.50))),
            kInsufficientPosition);
}

}  // namespace
}  // namespace tessel::testing
