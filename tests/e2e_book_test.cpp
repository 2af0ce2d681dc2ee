// The simulator's book through the loaded plug-in, as a host meets it: the
// orders a real server refuses, orders larger than a security's depth that
// fill in parts, and accounts and securities from an accounts file. Every
// error answer must be one the reference lists for its function.
#include <gtest/gtest.h>
#include <json/writer.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "messages/reference_notes.h"
#include "tools/standin/accounts_file.h"
#include "tools/standin/book.h"

namespace tessel::testing {
namespace {

using namespace standin;  // its error numbers, order states, markets and sides

Json::Value Request(const char* func, const std::string& user, const std::string& client,
                    const std::string& fund) {
  Json::Value request(Json::objectValue);
  request["func"] = func;
  request["user_name"] = user;
  request["client_id"] = client;
  request["fund_account"] = fund;
  return request;
}

// The demo book's account of the user the harness logs in.
Json::Value Demo(const char* func) { return Request(func, "trader01", "trader01", "trader01-01"); }

Json::Value Order(Json::Value request, const std::string& operatorId, const char* code,
                  uint8_t market, uint8_t side, int volume, double price) {
  request["func"] = "OrderSubmit";
  request["operator_id"] = operatorId;
  request["code"] = code;
  request["mark"] = market;
  request["code_name"] = "";
  request["entrust_vol"] = volume;
  request["entrust_price"] = price;
  request["entrust_bs"] = side;
  request["entrust_prop"] = '0';
  request["business_type"] = '0';
  request["allow_cancel_order"] = '1';
  return request;
}

Json::Value DemoOrder(const char* code, uint8_t market, uint8_t side, int volume, double price) {
  return Order(Demo("OrderSubmit"), "trader01-op", code, market, side, volume, price);
}

// A cancel of the order `requestNo`, as if it were of `code` on `market`.
Json::Value Cancel(const std::string& requestNo, const char* code, uint8_t market) {
  Json::Value request = DemoOrder(code, market, kBuy, 0, 0);
  request["func"] = "OrderCancel";
  for (const char* key : {"entrust_bs", "entrust_prop", "business_type", "allow_cancel_order"}) {
    request.removeMember(key);
  }
  request["entrust_type"] = 0;
  request["request_no"] = requestNo;
  return request;
}

Json::Value Login(const char* func, const std::string& user, const std::string& password) {
  Json::Value request(Json::objectValue);
  request["func"] = func;
  request["user_name"] = user;
  request["pass_word"] = password;
  request["heart_beat"] = 30;
  request["compress"] = 0;
  request["encrypt"] = 0;
  return request;
}

// "error_no", or "login_status" in a login report.
int32_t ErrorOf(const Json::Value& answer) {
  return answer.isMember("error_no") ? answer["error_no"].asInt() : answer["login_status"].asInt();
}

bool Declared(const std::string& func, int32_t error) {
  const auto errors = reference::SimulatorErrors(func.c_str());
  return error == 0 || (errors && std::count(errors->begin(), errors->end(), error) == 1);
}

class BookSession : public LoadedClientTest {
 protected:
  // The answer to `request`, sent once the main channel is up; null when
  // none comes.
  Json::Value Ask(const Json::Value& request) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    const uint64_t context = ++lastContext_;
    if (!SendWhenUp(Json::writeString(builder, request), context) ||
        !host().WaitForAnswers(context, 1)) {
      return Json::Value();
    }
    const Json::Value answer = ParseJson(host().AnswersFor(context).front().text);
    const std::string func = request["func"].asString();
    EXPECT_TRUE(Declared(func, ErrorOf(answer))) << func << " answered undeclared\n" << answer;
    return answer;
  }
  int32_t ErrorAsking(const Json::Value& request) { return ErrorOf(Ask(request)); }

  void LogIn(const std::string& user, const std::string& password) {
    ASSERT_EQ(ErrorAsking(Login("Login", user, password)), 0);
    ASSERT_EQ(ErrorAsking(Login("Login_Trade_Push", user, password)), 0);
  }

  // The latest push of `type` holding every key of `match` with its value,
  // once one has come; null when none does.
  Json::Value AwaitPush(int type, const Json::Value& match) {
    Json::Value found;
    host().WaitFor([&](const std::vector<HostEvent>& events) {
      for (const HostEvent& event : events) {
        const Json::Value push = event.isAnswer ? Json::Value() : ParseJson(event.text);
        const std::vector<std::string> keys = match.getMemberNames();
        if (push["push_type"].asInt() == type &&
            std::all_of(keys.begin(), keys.end(),
                        [&](const std::string& key) { return push[key] == match[key]; })) {
          found = push;
        }
      }
      return !found.isNull();
    });
    return found;
  }

  // An execution report of the order `requestNo` in `status`; of its
  // cancel, by "orig_request_no".
  static Json::Value Match(const std::string& requestNo, int status) {
    Json::Value match(Json::objectValue);
    const bool cancel = status == kOrderCancelled || status == kOrderPartlyCancelled;
    match[cancel ? "orig_request_no" : "request_no"] = requestNo;
    match["entrust_status"] = status;
    return match;
  }

  uint64_t lastContext_ = 0;
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
    Json::Value order = DemoOrder("600000", kShanghai, kBuy, 100, 10.00);
    order[stranger.key] = stranger.value;
    EXPECT_EQ(ErrorAsking(order), stranger.error) << stranger.key;
    Json::Value query = Demo("QryMoney");
    if (!query.isMember(stranger.key)) continue;
    query[stranger.key] = stranger.value;
    EXPECT_EQ(ErrorAsking(query), stranger.error) << stranger.key;
  }
  Json::Value margin = Demo("QryMoney");
  margin["fund_account"] = "trader01-02";  // the user's other fund account
  EXPECT_EQ(ErrorAsking(margin), 0);

  // 600000: lots of 100, tick 0.01, limits 9.45 to 11.55. Sells by lot and
  // by what may be sold are shown with the example accounts file below.
  EXPECT_EQ(ErrorAsking(DemoOrder("600000", kShanghai, kBuy, 150, 10.00)), kBadLot);
  EXPECT_EQ(ErrorAsking(DemoOrder("600000", kShanghai, kBuy, 100, 10.005)), kBadTick);
  EXPECT_EQ(ErrorAsking(DemoOrder("600000", kShanghai, kBuy, 100, 11.56)), kOutsidePriceBand);
  EXPECT_EQ(ErrorAsking(DemoOrder("600000", kShanghai, kSell, 100, 9.44)), kOutsidePriceBand);

  // A cancel must agree with the order it names.
  const std::string open =
      Ask(DemoOrder("600000", kShanghai, kBuy, 100, 10.00))["request_no"].asString();
  EXPECT_EQ(ErrorAsking(Cancel(open, "000001", kShanghai)), kCancelMismatch);
  EXPECT_EQ(ErrorAsking(Cancel(open, "600000", kShenzhen)), kCancelMismatch);
  Json::Value otherFund = Cancel(open, "600000", kShanghai);
  otherFund["fund_account"] = "trader01-02";
  EXPECT_EQ(ErrorAsking(otherFund), kCancelMismatch);
  EXPECT_EQ(ErrorAsking(Cancel(open, "600000", kShanghai)), 0);
  EXPECT_FALSE(AwaitPush(10, Match(open, kOrderCancelled)).isNull());
}

TEST_F(BookSession, AnOrderLargerThanTheDepthFillsInPartsUntilFilledOrCancelled) {
  LogIn("trader01", "secret");
  // 000001 trades 20,000 at each price, from 12.30.
  const std::string first =
      Ask(DemoOrder("000001", kShenzhen, kBuy, 50000, 12.40))["request_no"].asString();
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
  ASSERT_EQ(ErrorAsking(Cancel(first, "000001", kShenzhen)), 0);
  const Json::Value withdrawn = AwaitPush(10, Match(first, kOrderPartlyCancelled));
  ASSERT_FALSE(withdrawn.isNull());
  EXPECT_EQ(withdrawn["left_amount"].asDouble(), 10000);
  const Json::Value money = Ask(Demo("QryMoney"));
  EXPECT_EQ(money["purchase_power"].asDouble(), money["balance"].asDouble());

  // The depth at 12.35 is spent: the next order waits for new prices.
  const std::string next =
      Ask(DemoOrder("000001", kShenzhen, kBuy, 30000, 12.40))["request_no"].asString();
  EXPECT_FALSE(AwaitPush(10, Match(next, kOrderOpen)).isNull());
  ASSERT_TRUE(server().SetPrice(kShenzhen, "000001", 12.36));
  EXPECT_FALSE(AwaitPush(10, Match(next, kOrderPartlyFilled)).isNull());
  ASSERT_TRUE(server().SetPrice(kShenzhen, "000001", 12.37));
  EXPECT_FALSE(AwaitPush(10, Match(next, kOrderFilled)).isNull());
  Json::Value held(Json::objectValue);
  held["security_code"] = "000001";
  held["current_amount"] = 70000.0;
  EXPECT_FALSE(AwaitPush(302, held).isNull());

  Json::Value orders = Demo("QryCurOrder");
  orders["mark"] = 0;
  orders["max_request_num"] = 10;
  orders["position_str"] = "";
  const Json::Value records = Ask(orders)["records"];
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["entrust_status"].asInt(), kOrderPartlyCancelled);
  EXPECT_EQ(records[0]["business_volume"].asDouble(), 40000);
  EXPECT_EQ(records[1]["entrust_status"].asInt(), kOrderFilled);
  EXPECT_EQ(records[1]["business_volume"].asDouble(), 30000);
  orders["func"] = "QryCurTrade";
  EXPECT_EQ(Ask(orders)["records"].size(), 4u);
}

TEST_F(BookSession, TheExampleAccountsFileServesItsOwnUsersAndSecurities) {
  Seed seed;
  std::string error;
  ASSERT_TRUE(LoadAccounts(TESSEL_SOURCE_DIR "/tools/standin/accounts-example.json", seed, error))
      << error;
  server().SetBook(std::move(seed));
  EXPECT_EQ(ErrorAsking(Login("Login", "trader01", "secret")), kUnknownUser);
  EXPECT_EQ(ErrorAsking(Login("Login", "alice", "secret")), kWrongPassword);
  LogIn("alice", "alice-secret");
  const Json::Value alice = Request("OrderSubmit", "alice", "C1001", "A-01");
  Json::Value bobs = Request("QryMoney", "alice", "C1001", "B-01");
  EXPECT_EQ(ErrorAsking(bobs), kUnknownFundAccount);
  bobs["fund_account"] = "A-02";
  EXPECT_EQ(ErrorAsking(bobs), 0);

  // 1050 of 600000 held from before today: 50 are odd, and go only all together.
  EXPECT_EQ(ErrorAsking(Order(alice, "alice-op", "600000", kShanghai, kSell, 120, 10.50)), kBadLot);
  const std::string sold =
      Ask(Order(alice, "desk-7", "600000", kShanghai, kSell, 50, 10.50))["request_no"].asString();
  const Json::Value report = AwaitPush(10, Match(sold, kOrderFilled));
  ASSERT_FALSE(report.isNull());
  EXPECT_EQ(report["operator_id"].asString(), "desk-7");
  EXPECT_EQ(report["client_id"].asString(), "C1001");

  // 600000's shares bought today are sellable only tomorrow.
  const std::string bought =
      Ask(Order(alice, "alice-op", "600000", kShanghai, kBuy, 100, 10.50))["request_no"].asString();
  ASSERT_FALSE(AwaitPush(10, Match(bought, kOrderFilled)).isNull());
  Json::Value sellable = Request("QryMaxSell", "alice", "C1001", "A-01");
  sellable["entrust_prop"] = '0';
  sellable["mark"] = kShanghai;
  sellable["code"] = "600000";
  EXPECT_EQ(Ask(sellable)["enable_amount"].asDouble(), 1000);
  EXPECT_EQ(ErrorAsking(Order(alice, "alice-op", "600000", kShanghai, kSell, 1100, 10.50)),
            kInsufficientPosition);
}

}  // namespace
}  // namespace tessel::testing
