// Basket, basket plan, algorithm, condition-order and strategy answers,
// decoded from bodies built here byte by byte at the documented offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "messages/inbound/answer_layouts.h"
#include "net/frame.h"
#include "net/wire.h"
#include "session/inbound_dispatch.h"
#include "session/trade_client.h"
#include "test_support.h"

namespace tessel {
namespace {

using testing::ParseJson;

constexpr uint64_t kAllBits = UINT64_MAX;
constexpr const char* kAllBitsText = "18446744073709551615";

class Body {
 public:
  explicit Body(size_t size, uint8_t fill = 0) : bytes_(size, fill) {}
  Body& Text(size_t at, const std::string& text) {
    std::memcpy(bytes_.data() + at, text.data(), text.size());
    return *this;
  }
  Body& I32(size_t at, int32_t value) { return Put(at, value); }
  Body& U64(size_t at, uint64_t value) { return Put(at, value); }
  Body& F64(size_t at, double value) { return Put(at, value); }
  Body& Byte(size_t at, uint8_t value) { return Put(at, value); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  template <typename T>
  Body& Put(size_t at, T value) {
    std::memcpy(bytes_.data() + at, &value, sizeof value);
    return *this;
  }
  std::vector<uint8_t> bytes_;
};

ParsedAnswer ParseRaw(uint32_t type, const std::vector<uint8_t>& body) {
  const AnswerType* answer = FindAnswerType(type);
  EXPECT_NE(answer, nullptr) << type;
  EXPECT_NE(answer != nullptr ? answer->layout : nullptr, nullptr) << type;
  if (answer == nullptr || answer->layout == nullptr) return {};
  return ParseAnswer(*answer->layout, BodyView(body.data(), body.size()));
}

Json::Value Parse(uint32_t type, const Body& body) {
  return ParseJson(ParseRaw(type, body.bytes()).text);
}

std::vector<std::string> Keys(const Json::Value& object) {
  std::vector<std::string> keys = object.getMemberNames();
  std::sort(keys.begin(), keys.end());
  return keys;
}
std::vector<std::string> Sorted(std::vector<std::string> keys) {
  std::sort(keys.begin(), keys.end());
  return keys;
}

// The request-number head of most basket answers: number, error, user.
Body HeadA(size_t size, uint64_t number, int32_t errorNo, const std::string& info,
           const std::string& user) {
  Body body(size);
  body.U64(0, number).I32(8, errorNo).Text(12, info).Text(268, user);
  return body;
}
// The head of the algorithm, condition-order and strategy answers.
Body HeadLong(size_t size, uint64_t number, const std::string& user, int32_t errorNo,
              const std::string& info) {
  Body body(size);
  body.U64(0, number).Text(8, user).I32(72, errorNo).Text(76, info);
  return body;
}

// --- baskets ----------------------------------------------------------------

TEST(BasketAnswers, CreateBasketEndsWithItsType) {
  const Json::Value answer =
      Parse(106, HeadA(620 + 7, kAllBits, 0, "", "u1")
                     .Text(332, "B001")
                     .Text(364, "Blue chips")
                     .Text(620, "NORMAL"));
  EXPECT_EQ(Keys(answer), Sorted({"request_no", "error_no", "error_info", "user_name",
                                  "basket_no", "basket_name", "basket_type"}));
  EXPECT_EQ(answer["request_no"], Json::Value(kAllBitsText));  // never negative
  EXPECT_EQ(answer["user_name"], "u1");
  EXPECT_EQ(answer["basket_no"], "B001");
  EXPECT_EQ(answer["basket_name"], "Blue chips");
  EXPECT_EQ(answer["basket_type"], "NORMAL");
}

// The last text runs to its zero, or to the end of what arrived.
TEST(BasketAnswers, LastTextsRunToTheirZeroWithinTheBody) {
  const std::string longName(100, 'n');
  for (uint32_t type : {107u, 108u}) {
    const Json::Value answer =
        Parse(type, HeadA(332 + 100 + 1, 5, 0, "", "u1").Text(332, longName));
    EXPECT_EQ(Keys(answer),
              Sorted({"request_no", "error_no", "error_info", "user_name", "basket_no"}));
    EXPECT_EQ(answer["basket_no"], longName);
    EXPECT_EQ(answer["request_no"], "5");
    // No zero before the end: the text stops there.
    EXPECT_EQ(Parse(type, HeadA(336, 5, 0, "", "u1").Text(332, "B001"))["basket_no"], "B001");
  }
  const Json::Value added = Parse(110, HeadA(340, 6, 0, "", "u1").Text(332, "D42"));
  EXPECT_EQ(Keys(added),
            Sorted({"request_no", "error_no", "error_info", "user_name", "basket_detail_id"}));
  EXPECT_EQ(added["basket_detail_id"], "D42");
  // The batch answer's user name is its last field, longer than 64 bytes here.
  const std::string longUser(70, 'u');
  const Json::Value batch = Parse(113, HeadA(268 + 71, 7, 4, "partly", longUser));
  EXPECT_EQ(Keys(batch), Sorted({"request_no", "error_no", "error_info", "user_name"}));
  EXPECT_EQ(batch["user_name"], longUser);
  EXPECT_EQ(batch["error_no"], 4);
  EXPECT_EQ(batch["error_info"], "partly");
}

// Removing or changing a security: the detail id sits before the error.
TEST(BasketAnswers, SecurityChangesCarryTheDetailIdFirst) {
  for (uint32_t type : {111u, 112u}) {
    Body body(332 + 3);
    body.U64(0, 123).Text(8, "D42").I32(72, 7).Text(76, "no such security").Text(332, "u1");
    const Json::Value answer = Parse(type, body);
    EXPECT_EQ(Keys(answer),
              Sorted({"request_no", "basket_detail_id", "error_no", "error_info", "user_name"}));
    EXPECT_EQ(answer["request_no"], "123");
    EXPECT_EQ(answer["basket_detail_id"], "D42");
    EXPECT_EQ(answer["error_no"], 7);
    EXPECT_EQ(answer["error_info"], "no such security");
    EXPECT_EQ(answer["user_name"], "u1");
  }
}

TEST(BasketAnswers, QueryBasketListsRecords) {
  Body body = HeadA(340 + 2 * 320, 9, 0, "", "u1");
  body.I32(332, 320).I32(336, 2);
  body.Text(340, "B001").Text(340 + 32, "Blue chips").Text(340 + 288, "NORMAL");
  body.Text(660, "B002").Text(660 + 32, "Tech").Text(660 + 288, "ALGORITHM");
  const Json::Value answer = Parse(109, body);
  EXPECT_EQ(Keys(answer), Sorted({"request_no", "error_no", "error_info", "user_name",
                                  "record_set_size", "record_set_cnt", "record_set"}));
  EXPECT_EQ(answer["record_set_size"], 320);
  EXPECT_EQ(answer["record_set_cnt"], 2);
  ASSERT_EQ(answer["record_set"].size(), 2u);
  const Json::Value& second = answer["record_set"][1];
  EXPECT_EQ(Keys(second), Sorted({"basket_no", "basket_name", "type"}));
  EXPECT_EQ(second["basket_no"], "B002");
  EXPECT_EQ(second["basket_name"], "Tech");
  EXPECT_EQ(second["type"], "ALGORITHM");
  EXPECT_EQ(answer["record_set"][0]["basket_no"], "B001");

  // An error keeps the counts as sent but reads no record.
  body.I32(8, 5);
  const Json::Value failed = Parse(109, body);
  EXPECT_EQ(failed["error_no"], 5);
  EXPECT_EQ(failed["record_set_cnt"], 2);
  EXPECT_EQ(failed["record_set_size"], 320);
  EXPECT_TRUE(failed["record_set"].isArray());
  EXPECT_EQ(failed["record_set"].size(), 0u);
}

// 240-byte slots for 230-byte records: the stride is the server's.
TEST(BasketAnswers, QueryBasketDetailWalksTheServersStride) {
  Body body = HeadA(340 + 2 * 240, 10, 0, "", "u1");
  body.I32(332, 240).I32(336, 2);
  for (size_t slot : {340u, 580u}) {
    body.Text(slot, "B001")
        .Text(slot + 32, slot == 340 ? "D1" : "D2")
        .Text(slot + 96, "600000")
        .Text(slot + 108, "PF Bank")
        .Byte(slot + 172, 0xC8)
        .Text(slot + 173, "TWAP")
        .Byte(slot + 189, '2')
        .Text(slot + 190, "LMT")
        .F64(slot + 194, 10.5)
        .F64(slot + 202, 0.1)
        .I32(slot + 210, 300)
        .F64(slot + 214, 100)
        .F64(slot + 222, 1000);
    for (size_t i = 230; i < 240; ++i) body.Byte(slot + i, 0xEE);  // padding, never read
  }
  const Json::Value answer = Parse(114, body);
  ASSERT_EQ(answer["record_set"].size(), 2u);
  const Json::Value& record = answer["record_set"][1];
  EXPECT_EQ(Keys(record),
            Sorted({"basket_no", "basket_detail_id", "security_code", "security_name",
                    "security_exchange", "algorithm_type", "entrust_bs", "entrust_price_type",
                    "limit_price", "price", "amount", "smallest_entrust_amount",
                    "smallest_entrust_balance"}));
  EXPECT_EQ(record["basket_detail_id"], "D2");
  EXPECT_EQ(record["security_code"], "600000");
  EXPECT_EQ(record["security_name"], "PF Bank");
  EXPECT_EQ(record["security_exchange"], -56);  // 0xC8, signed
  EXPECT_EQ(record["algorithm_type"], "TWAP");
  EXPECT_EQ(record["entrust_bs"], 50);  // '2', not mapped
  EXPECT_EQ(record["entrust_price_type"], "LMT");
  EXPECT_EQ(record["limit_price"], 10.5);
  EXPECT_EQ(record["price"], 0.1);
  EXPECT_EQ(record["amount"], 300);
  EXPECT_EQ(record["smallest_entrust_amount"], 100.0);
  EXPECT_EQ(record["smallest_entrust_balance"], 1000.0);
  EXPECT_EQ(answer["record_set"][0]["basket_detail_id"], "D1");
  EXPECT_EQ(answer["record_set_size"], 240);
}

// --- basket plans -------------------------------------------------------------

TEST(BasketPlanAnswers, StartBasketPlanHasNoRecords) {
  const Json::Value answer =
      Parse(115, HeadA(364 + 3, 11, 3, "refused", "u1").Text(332, "B001").Text(364, "P7"));
  EXPECT_EQ(Keys(answer), Sorted({"request_no", "error_no", "error_info", "user_name",
                                  "basket_no", "batch_no"}));
  EXPECT_EQ(answer["error_no"], 3);
  EXPECT_EQ(answer["basket_no"], "B001");
  EXPECT_EQ(answer["batch_no"], "P7");
}

TEST(BasketPlanAnswers, QueryBasketPlanRecords) {
  Body body = HeadA(340 + 328, 12, 0, "", "u1");
  body.I32(332, 328).I32(336, 1);
  body.Text(340, "B001")
      .Text(372, "P7")
      .Text(404, "Blue chips")
      .Text(532, "F01")
      .Text(596, "ALGORITHM")
      .Text(612, "RUNNING")
      .U64(644, kAllBits)
      .F64(652, 150)
      .F64(660, 300.5);
  const Json::Value answer = Parse(116, body);
  ASSERT_EQ(answer["record_set"].size(), 1u);
  const Json::Value& record = answer["record_set"][0];
  EXPECT_EQ(Keys(record), Sorted({"basket_no", "batch_no", "basket_name", "fund_account",
                                  "basket_type", "status", "start_time", "business_amount",
                                  "entrust_amount"}));
  EXPECT_EQ(record["basket_no"], "B001");
  EXPECT_EQ(record["batch_no"], "P7");
  EXPECT_EQ(record["basket_name"], "Blue chips");
  EXPECT_EQ(record["fund_account"], "F01");
  EXPECT_EQ(record["basket_type"], "ALGORITHM");
  EXPECT_EQ(record["status"], "RUNNING");
  EXPECT_EQ(record["start_time"], kAllBitsText);
  EXPECT_EQ(record["business_amount"], 150.0);
  EXPECT_EQ(record["entrust_amount"], 300.5);
}

// The plan's basket and batch come before the counts, at 396.
Body PlanListHead(size_t recordSize, int32_t count) {
  Body body = HeadA(404 + count * recordSize, 13, 0, "", "u1");
  body.Text(332, "B001").Text(364, "P7").I32(396, static_cast<int32_t>(recordSize)).I32(400, count);
  return body;
}

TEST(BasketPlanAnswers, QueryBasketPlanDetailRecords) {
  Body body = PlanListHead(122, 1);
  body.Text(404, "600000")
      .Text(416, "PF Bank")
      .Byte(480, '1')
      .Text(481, "TWAP")
      .Byte(497, '1')
      .Text(498, "LMT")
      .F64(502, 10.5)
      .F64(510, 100)
      .F64(518, 40);
  const Json::Value answer = Parse(117, body);
  EXPECT_EQ(answer["basket_no"], "B001");
  EXPECT_EQ(answer["batch_no"], "P7");
  EXPECT_EQ(answer["record_set_size"], 122);
  ASSERT_EQ(answer["record_set"].size(), 1u);
  const Json::Value& record = answer["record_set"][0];
  EXPECT_EQ(Keys(record), Sorted({"security_code", "security_name", "security_exchange",
                                  "algorithm_type", "entrust_bs", "entrust_price_type",
                                  "entrust_price", "entrust_amount", "business_entrust_amount"}));
  EXPECT_EQ(record["security_code"], "600000");
  EXPECT_EQ(record["security_exchange"], 49);
  EXPECT_EQ(record["algorithm_type"], "TWAP");
  EXPECT_EQ(record["entrust_bs"], 49);  // '1' stays 49
  EXPECT_EQ(record["entrust_price_type"], "LMT");
  EXPECT_EQ(record["entrust_price"], 10.5);
  EXPECT_EQ(record["entrust_amount"], 100.0);
  EXPECT_EQ(record["business_entrust_amount"], 40.0);
}

TEST(BasketPlanAnswers, QueryBasketEntrustOrderRecords) {
  Body body = PlanListHead(287, 2);
  for (size_t slot : {404u, 691u}) {
    body.Text(slot, "600000")
        .Text(slot + 12, "PF Bank")
        .Byte(slot + 76, '2')
        .Byte(slot + 77, '1')
        .F64(slot + 78, 10.5)
        .F64(slot + 86, 100)
        .Byte(slot + 94, '2')
        .U64(slot + 95, 0)
        .F64(slot + 103, 60)
        .F64(slot + 111, 630)
        .F64(slot + 119, 10.5)
        .Text(slot + 127, "partly filled")
        .Text(slot + 255, slot == 404 ? "pos1" : "pos2");
  }
  const Json::Value answer = Parse(118, body);
  EXPECT_EQ(Keys(answer), Sorted({"request_no", "error_no", "error_info", "user_name",
                                  "basket_no", "batch_no", "record_set_size", "record_set_cnt",
                                  "record_set"}));
  ASSERT_EQ(answer["record_set"].size(), 2u);
  const Json::Value& record = answer["record_set"][1];
  EXPECT_EQ(record.size(), 13u);
  EXPECT_EQ(Keys(record), Sorted({"security_code", "security_name", "security_exchange",
                                  "entrust_bs", "entrust_price", "entrust_amount",
                                  "entrust_status", "entrust_time", "business_amount",
                                  "business_balance", "business_price", "entrust_msg",
                                  "position_str"}));
  EXPECT_EQ(record["security_exchange"], 50);
  EXPECT_EQ(record["entrust_bs"], 49);
  EXPECT_EQ(record["entrust_price"], 10.5);
  EXPECT_EQ(record["entrust_amount"], 100.0);
  EXPECT_EQ(record["entrust_status"], 50);
  EXPECT_EQ(record["entrust_time"], "0");
  EXPECT_EQ(record["business_amount"], 60.0);
  EXPECT_EQ(record["business_balance"], 630.0);
  EXPECT_EQ(record["business_price"], 10.5);
  EXPECT_EQ(record["entrust_msg"], "partly filled");
  EXPECT_EQ(record["position_str"], "pos2");
  EXPECT_EQ(answer["record_set"][0]["position_str"], "pos1");
}

TEST(BasketPlanAnswers, QueryBasketBargainOrderRecords) {
  Body body = PlanListHead(142, 1);
  body.Text(404, "000001")
      .Text(416, "Ping An")
      .Byte(480, '2')
      .Byte(481, '2')
      .F64(482, 200)
      .F64(490, 2100)
      .F64(498, 10.5)
      .U64(506, 20240102093015ull)
      .Text(514, "pos9");
  const Json::Value answer = Parse(119, body);
  ASSERT_EQ(answer["record_set"].size(), 1u);
  const Json::Value& record = answer["record_set"][0];
  EXPECT_EQ(Keys(record), Sorted({"security_code", "security_name", "security_exchange",
                                  "entrust_bs", "business_amount", "business_balance",
                                  "business_price", "business_time", "position_str"}));
  EXPECT_EQ(record["security_code"], "000001");
  EXPECT_EQ(record["security_name"], "Ping An");
  EXPECT_EQ(record["security_exchange"], 50);
  EXPECT_EQ(record["entrust_bs"], 50);
  EXPECT_EQ(record["business_amount"], 200.0);
  EXPECT_EQ(record["business_balance"], 2100.0);
  EXPECT_EQ(record["business_price"], 10.5);
  EXPECT_EQ(record["business_time"], "20240102093015");
  EXPECT_EQ(record["position_str"], "pos9");
}

// --- algorithms and condition orders -------------------------------------------

TEST(AlgorithmAnswers, AlgorithmListTimesAreNumbers) {
  Body body = HeadLong(340 + 490, 14, "u1", 0, "");
  body.I32(332, 490).I32(336, 1);
  const size_t r = 340;
  body.Text(r, "c1")
      .Text(r + 64, "F01")
      .Text(r + 128, "A9")
      .Text(r + 160, "B001")
      .Text(r + 192, "P7")
      .Text(r + 224, "TWAP")
      .Text(r + 240, "600000")
      .Text(r + 252, "PF Bank")
      .Byte(r + 316, '1')
      .Byte(r + 317, 0x80)
      .F64(r + 318, 1000)
      .F64(r + 326, 400)
      .F64(r + 334, 600)
      .Text(r + 342, "RUNNING")
      .U64(r + 358, 20240102093000ull)
      .U64(r + 366, kAllBits)
      .U64(r + 374, 20240102150000ull)
      .Text(r + 382, "LAST")
      .Text(r + 398, "TICK")
      .F64(r + 414, 0.01)
      .I32(r + 422, 30)
      .I32(r + 426, -1)
      .I32(r + 430, 2)
      .F64(r + 434, 100)
      .F64(r + 442, 5000)
      .Text(r + 450, "pos")
      .Text(r + 482, "AP");
  const Json::Value answer = Parse(120, body);
  EXPECT_EQ(Keys(answer), Sorted({"request_no", "user_name", "error_no", "error_info",
                                  "record_set_size", "record_set_cnt", "record_set"}));
  EXPECT_EQ(answer["request_no"], "14");
  EXPECT_EQ(answer["user_name"], "u1");
  ASSERT_EQ(answer["record_set"].size(), 1u);
  const Json::Value& record = answer["record_set"][0];
  EXPECT_EQ(record.size(), 27u);
  EXPECT_EQ(record["client_id"], "c1");
  EXPECT_EQ(record["fund_account"], "F01");
  EXPECT_EQ(record["algorithm_no"], "A9");
  EXPECT_EQ(record["basket_no"], "B001");
  EXPECT_EQ(record["batch_no"], "P7");
  EXPECT_EQ(record["algorithm_type"], "TWAP");
  EXPECT_EQ(record["security_code"], "600000");
  EXPECT_EQ(record["security_name"], "PF Bank");
  EXPECT_EQ(record["security_exchange"], 49);
  EXPECT_EQ(record["entrust_bs"], -128);
  EXPECT_EQ(record["entrust_amount"], 1000.0);
  EXPECT_EQ(record["entrust_amount_remain"], 400.0);
  EXPECT_EQ(record["business_amount"], 600.0);
  EXPECT_EQ(record["algorithm_status"], "RUNNING");
  EXPECT_TRUE(record["entrust_time"].isUInt64());
  EXPECT_FALSE(record["entrust_time"].isString());
  EXPECT_EQ(record["entrust_time"].asUInt64(), 20240102093000ull);
  EXPECT_EQ(record["begin_time"].asUInt64(), kAllBits);
  EXPECT_EQ(record["end_time"].asUInt64(), 20240102150000ull);
  EXPECT_EQ(record["limit_price_basic"], "LAST");
  EXPECT_EQ(record["limit_price_unit"], "TICK");
  EXPECT_EQ(record["limit_price_change"], 0.01);
  EXPECT_EQ(record["quantity_ratio"], 30);
  EXPECT_EQ(record["stop_sell_limit_up"], -1);
  EXPECT_EQ(record["cancel_order_limit_down"], 2);
  EXPECT_EQ(record["smallest_entrust_amount"], 100.0);
  EXPECT_EQ(record["smallest_entrust_balance"], 5000.0);
  EXPECT_EQ(record["position_str"], "pos");
  EXPECT_EQ(record["price_type"], "AP");
  // The writer prints the time as a bare number and the request number quoted.
  const std::string text = ParseRaw(120, body.bytes()).text;
  EXPECT_NE(text.find("\"entrust_time\" : 20240102093000"), std::string::npos);
  EXPECT_NE(text.find("\"request_no\" : \"14\""), std::string::npos);
}

TEST(AlgorithmAnswers, ChildOrderRecords) {
  Body body = HeadLong(340 + 415, 15, "u1", 0, "");
  body.I32(332, 415).I32(336, 1);
  const size_t r = 340;
  body.Text(r, "O1")
      .Text(r + 32, "F01")
      .Text(r + 96, "600000")
      .Text(r + 108, "PF Bank")
      .Byte(r + 172, '2')
      .Text(r + 173, "E55")
      .Byte(r + 205, '1')
      .F64(r + 206, 10.5)
      .F64(r + 214, 100)
      .Byte(r + 222, '8')
      .F64(r + 223, 100)
      .F64(r + 231, 1050)
      .F64(r + 239, 10.5)
      .U64(r + 247, 93015)
      .Text(r + 255, "filled")
      .Text(r + 383, "pos");
  const Json::Value record = Parse(121, body)["record_set"][0];
  EXPECT_EQ(Keys(record), Sorted({"order_no", "fund_account", "security_code", "security_name",
                                  "security_exchange", "entrust_no", "entrust_bs",
                                  "entrust_price", "entrust_amount", "entrust_status",
                                  "business_amount", "business_balance", "business_price",
                                  "entrust_time", "entrust_msg", "position_str"}));
  EXPECT_EQ(record["order_no"], "O1");
  EXPECT_EQ(record["fund_account"], "F01");
  EXPECT_EQ(record["security_code"], "600000");
  EXPECT_EQ(record["security_name"], "PF Bank");
  EXPECT_EQ(record["security_exchange"], 50);
  EXPECT_EQ(record["entrust_no"], "E55");
  EXPECT_EQ(record["entrust_bs"], 49);
  EXPECT_EQ(record["entrust_price"], 10.5);
  EXPECT_EQ(record["entrust_amount"], 100.0);
  EXPECT_EQ(record["entrust_status"], 56);
  EXPECT_EQ(record["business_amount"], 100.0);
  EXPECT_EQ(record["business_balance"], 1050.0);
  EXPECT_EQ(record["business_price"], 10.5);
  EXPECT_TRUE(record["entrust_time"].isUInt64());
  EXPECT_EQ(record["entrust_time"].asUInt64(), 93015u);
  EXPECT_EQ(record["entrust_msg"], "filled");
  EXPECT_EQ(record["position_str"], "pos");
}

TEST(AlgorithmAnswers, OperAlgorithmNamesTheAlgorithm) {
  const Json::Value answer =
      Parse(122, HeadLong(332 + 4, 16, "u1", 0, "").Text(332, "A9"));  // no zero at the end
  EXPECT_EQ(Keys(answer), Sorted({"request_no", "user_name", "error_no", "error_info",
                                  "algorithm_or_order_no"}));
  EXPECT_EQ(answer["algorithm_or_order_no"], "A9");
  EXPECT_EQ(answer["user_name"], "u1");
}

// Creating and operating a condition order share one answer.
TEST(AlgorithmAnswers, ConditionOrderOperationsShareTheirAnswer) {
  const Body body = HeadLong(332 + 40, 17, "u1", 0, "").Text(332, "C77");
  const Json::Value created = Parse(200, body);
  EXPECT_EQ(Keys(created),
            Sorted({"request_no", "username", "error_no", "error_info", "condition_no"}));
  EXPECT_EQ(created["username"], "u1");
  EXPECT_EQ(created["condition_no"], "C77");
  EXPECT_EQ(ParseRaw(203, body.bytes()).text, ParseRaw(200, body.bytes()).text);

  const Json::Value quick =
      Parse(202, HeadLong(332 + 30, 18, "u1", 0, "").Text(332, "17000000011F01"));
  EXPECT_EQ(Keys(quick),
            Sorted({"request_no", "username", "error_no", "error_info", "order_request_no"}));
  EXPECT_EQ(quick["order_request_no"], "17000000011F01");
}

TEST(AlgorithmAnswers, ConditionOrderListWith512ByteSlots) {
  Body body = HeadLong(340 + 2 * 512, 19, "u1", 0, "");
  body.I32(332, 512).I32(336, 2);
  for (size_t slot : {340u, 852u}) {
    body.Text(slot, slot == 340 ? "C1" : "C2")
        .Text(slot + 32, "600000")
        .Text(slot + 44, "PF Bank")
        .Byte(slot + 108, '1')
        .Text(slot + 109, "PRICE_UP")
        .Byte(slot + 125, '2')
        .Text(slot + 126, "20240105")
        .F64(slot + 138, 11.5)
        .F64(slot + 146, 100)
        .Text(slot + 154, "remark")
        .Text(slot + 274, "WAITING")
        .Text(slot + 294, "none yet")
        .Text(slot + 414, "pos")
        .Text(slot + 446, "F01")
        .Byte(slot + 510, 'Z')
        .Byte(slot + 511, 'Z');  // the slot's two spare bytes
  }
  const Json::Value answer = Parse(201, body);
  EXPECT_EQ(answer["username"], "u1");
  EXPECT_EQ(answer["record_set_size"], 512);
  ASSERT_EQ(answer["record_set"].size(), 2u);
  const Json::Value& record = answer["record_set"][1];
  EXPECT_EQ(Keys(record), Sorted({"condition_no", "security_code", "security_name",
                                  "security_exchange", "con_type", "entrust_bs",
                                  "con_trigger_date", "con_trigger_price", "entrust_amount",
                                  "remark", "status", "message", "position_str",
                                  "fund_account"}));
  EXPECT_EQ(record["condition_no"], "C2");
  EXPECT_EQ(record["security_code"], "600000");
  EXPECT_EQ(record["security_name"], "PF Bank");
  EXPECT_EQ(record["security_exchange"], 49);
  EXPECT_EQ(record["con_type"], "PRICE_UP");
  EXPECT_EQ(record["entrust_bs"], 50);
  EXPECT_EQ(record["con_trigger_date"], "20240105");
  EXPECT_EQ(record["con_trigger_price"], 11.5);
  EXPECT_EQ(record["entrust_amount"], 100.0);
  EXPECT_EQ(record["remark"], "remark");
  EXPECT_EQ(record["status"], "WAITING");
  EXPECT_EQ(record["message"], "none yet");
  EXPECT_EQ(record["position_str"], "pos");
  EXPECT_EQ(record["fund_account"], "F01");  // the spare bytes stay out of it
  EXPECT_EQ(answer["record_set"][0]["condition_no"], "C1");
}

// --- strategy and statistics ---------------------------------------------------

TEST(StrategyAnswers, StrategyInfoRecords) {
  Body body = HeadLong(340 + 3 * 1120, 20, "u1", 0, "");
  body.I32(332, 1120).I32(336, 3);
  for (int i = 0; i < 3; ++i) {
    const size_t slot = 340 + 1120 * static_cast<size_t>(i);
    const std::string n = std::to_string(i);
    body.Text(slot, "S" + n)
        .Text(slot + 32, "name" + n)
        .Text(slot + 96, std::string(511, 'd'))
        .Text(slot + 608, "ext" + n);
  }
  const Json::Value answer = Parse(204, body);
  EXPECT_EQ(Keys(answer), Sorted({"request_no", "username", "error_no", "error_info",
                                  "record_set_size", "record_set_cnt", "record_set"}));
  ASSERT_EQ(answer["record_set"].size(), 3u);
  const Json::Value& record = answer["record_set"][2];
  EXPECT_EQ(Keys(record),
            Sorted({"strategy_code", "strategy_name", "strategy_desc", "strategy_desc_ext"}));
  EXPECT_EQ(record["strategy_code"], "S2");
  EXPECT_EQ(record["strategy_name"], "name2");
  EXPECT_EQ(record["strategy_desc"], std::string(511, 'd'));
  EXPECT_EQ(record["strategy_desc_ext"], "ext2");
}

// The exchange byte twice: as sent, and mapped to a market.
TEST(StrategyAnswers, MatchedStocksReportExchangeAndMarket) {
  Body body = HeadLong(372 + 3 * 25, 21, "u1", 0, "");
  body.Text(332, "S1").I32(364, 25).I32(368, 3);
  const uint8_t exchanges[] = {'K', '2', 'A'};
  for (size_t i = 0; i < 3; ++i) {
    const size_t slot = 372 + 25 * i;
    body.Text(slot, "60000" + std::to_string(i))
        .Byte(slot + 12, exchanges[i])
        .I32(slot + 13, static_cast<int32_t>(i) + 1)
        .U64(slot + 17, 20240102000000ull + i);
  }
  const Json::Value answer = Parse(205, body);
  EXPECT_EQ(answer["strategy_code"], "S1");
  EXPECT_EQ(answer["record_set_size"], 25);
  EXPECT_EQ(answer["record_set_cnt"], 3);
  ASSERT_EQ(answer["record_set"].size(), 3u);
  const int raw[] = {75, 50, 65};
  const int market[] = {2, 0, 65};
  for (Json::ArrayIndex i = 0; i < 3; ++i) {
    const Json::Value& record = answer["record_set"][i];
    EXPECT_EQ(Keys(record), Sorted({"security_code", "security_exchange", "market",
                                    "trade_status", "matched_time"}));
    EXPECT_EQ(record["security_code"], "60000" + std::to_string(i));
    EXPECT_EQ(record["security_exchange"], raw[i]);
    EXPECT_EQ(record["market"], market[i]);
    EXPECT_EQ(record["trade_status"], static_cast<int>(i) + 1);
    EXPECT_EQ(record["matched_time"], std::to_string(20240102000000ull + i));
  }
}

// The entrust configuration alone writes its request number as a number.
TEST(StrategyAnswers, BargainSummaryAndEntrustConfig) {
  const Json::Value summary =
      Parse(207, HeadLong(344, kAllBits, "u1", 0, "").F64(332, 12345.5).I32(340, 7));
  EXPECT_EQ(Keys(summary), Sorted({"request_no", "username", "error_no", "error_info",
                                   "bargain_balance", "trans_amount"}));
  EXPECT_EQ(summary["request_no"], kAllBitsText);
  EXPECT_EQ(summary["bargain_balance"], 12345.5);
  EXPECT_EQ(summary["trans_amount"], 7);

  const Json::Value config =
      Parse(208, HeadLong(342, kAllBits, "u1", 0, "").Byte(332, 0xFF).Byte(333, '1').F64(334, 1e6));
  EXPECT_EQ(Keys(config), Sorted({"request_no", "username", "error_no", "error_info", "currency",
                                  "dma", "balance"}));
  EXPECT_TRUE(config["request_no"].isUInt64());
  EXPECT_FALSE(config["request_no"].isString());
  EXPECT_EQ(config["request_no"].asUInt64(), kAllBits);
  EXPECT_EQ(config["currency"], -1);
  EXPECT_EQ(config["dma"], 49);
  EXPECT_EQ(config["balance"], 1e6);
}

// --- what every answer of these families shares ---------------------------------

struct Family {
  uint32_t type;
  uint32_t errorNoAt;      // where the documented error number sits
  uint32_t recordLenAt;    // 0: no records
  uint32_t recordSize;
};
const Family kFamilies[] = {
    {106, 8, 0, 0},     {107, 8, 0, 0},     {108, 8, 0, 0},     {109, 8, 332, 320},
    {110, 8, 0, 0},     {111, 72, 0, 0},    {112, 72, 0, 0},    {113, 8, 0, 0},
    {114, 8, 332, 230}, {115, 8, 0, 0},     {116, 8, 332, 328}, {117, 8, 396, 122},
    {118, 8, 396, 287}, {119, 8, 396, 142}, {120, 72, 332, 490}, {121, 72, 332, 415},
    {122, 72, 0, 0},    {200, 72, 0, 0},    {201, 72, 332, 510}, {202, 72, 0, 0},
    {203, 72, 0, 0},    {204, 72, 332, 1120}, {205, 72, 364, 25}, {207, 72, 0, 0},
    {208, 72, 0, 0},
};

// -999 where the answer keeps its error number asks for a relogin; the same
// value at the other head's offset does not.
TEST(FamilyAnswers, LostLoginIsReadAtEachHeadsOwnOffset) {
  for (const Family& family : kFamilies) {
    Body body(1600);
    body.I32(family.errorNoAt, -999);
    EXPECT_TRUE(ParseRaw(family.type, body.bytes()).loginLost) << family.type;
    Body elsewhere(1600);
    elsewhere.I32(family.errorNoAt == 8 ? 72 : 8, -999);
    EXPECT_FALSE(ParseRaw(family.type, elsewhere.bytes()).loginLost) << family.type;
    Body near(1600);
    near.I32(family.errorNoAt, -998);
    EXPECT_FALSE(ParseRaw(family.type, near.bytes()).loginLost) << family.type;
    // The answer itself still carries the error.
    EXPECT_EQ(ParseJson(ParseRaw(family.type, body.bytes()).text)["error_no"], -999)
        << family.type;
  }
}

// A count larger than the records that arrived, a negative or zero stride,
// and a count that points far past the body all read only what is there.
TEST(FamilyAnswers, CountsAndStridesAreBoundedByTheBody) {
  for (const Family& family : kFamilies) {
    if (family.recordLenAt == 0) continue;
    const size_t first = family.recordLenAt + 8;
    Body body(first + 2 * family.recordSize, 'r');
    body.I32(family.errorNoAt, 0);
    body.I32(family.recordLenAt, static_cast<int32_t>(family.recordSize)).I32(family.recordLenAt + 4, 2147483647);
    Json::Value answer = Parse(family.type, body);
    EXPECT_EQ(answer["record_set"].size(), 2u) << family.type;
    EXPECT_EQ(answer["record_set_cnt"], 2147483647) << family.type;
    for (int32_t stride : {0, -1, -2147483647 - 1}) {
      body.I32(family.recordLenAt, stride);
      answer = Parse(family.type, body);
      EXPECT_EQ(answer["record_set"].size(), 0u) << family.type << " stride " << stride;
      EXPECT_EQ(answer["record_set_size"], stride) << family.type;
    }
    // A stride far beyond the body: the first record is read, no other.
    body.I32(family.recordLenAt, 2147483647);
    EXPECT_EQ(Parse(family.type, body)["record_set"].size(), 1u) << family.type;
    body.I32(family.recordLenAt, static_cast<int32_t>(family.recordSize)).I32(family.recordLenAt + 4, -5);
    EXPECT_EQ(Parse(family.type, body)["record_set"].size(), 0u) << family.type;
  }
}

// Every answer of these families, cut at every length: each cut is copied
// into a heap block of exactly that size, so a sanitizer build catches any
// read past it. Only whole records are reported, and no text read from the
// body is longer than what arrived.
TEST(FamilyAnswers, EveryTruncationReadsOnlyWhatArrived) {
  for (const Family& family : kFamilies) {
    const size_t first = family.recordLenAt + 8;
    const size_t size = family.recordLenAt != 0 ? first + 2 * family.recordSize : 700;
    Body full(size, 'x');  // no zero anywhere: every text runs to its limit
    full.I32(family.errorNoAt, 0);
    if (family.recordLenAt != 0) {
      full.I32(family.recordLenAt, static_cast<int32_t>(family.recordSize))
          .I32(family.recordLenAt + 4, 2);
    }
    for (size_t cut = 0; cut <= size; ++cut) {
      const std::vector<uint8_t> piece(full.bytes().begin(),
                                       full.bytes().begin() + static_cast<long>(cut));
      const Json::Value answer = ParseJson(ParseRaw(family.type, piece).text);
      ASSERT_TRUE(answer.isObject()) << family.type << " cut " << cut;
      size_t longest = 0;
      for (const std::string& key : answer.getMemberNames()) {
        if (key == "request_no") continue;  // a number written as digits
        if (answer[key].isString()) longest = std::max(longest, answer[key].asString().size());
      }
      EXPECT_LE(longest, cut) << family.type << " cut " << cut;
      if (family.recordLenAt == 0) continue;
      const size_t whole = cut < first ? 0 : std::min<size_t>(2, (cut - first) / family.recordSize);
      ASSERT_EQ(answer["record_set"].size(), whole) << family.type << " cut " << cut;
    }
  }
}

// --- through the inbound dispatch -------------------------------------------------

std::vector<std::string> gAnswers;
void Collect(const char* text, int32_t length, uint64_t) {
  gAnswers.emplace_back(text, static_cast<size_t>(length));
}

TEST(FamilyAnswers, DispatchDeliversThenAsksForARelogin) {
  gAnswers.clear();
  TradeClient client;
  TradeRequestData request;
  request.requestId = 41;
  request.messageType = 112;
  request.callback = &Collect;
  request.acceptedAt = std::chrono::steady_clock::now();
  client.main.pending[41] = request;
  Body body(340);
  body.U64(0, 99).Text(8, "D42").I32(72, -999).Text(76, "login lost").Text(332, "u1");
  const Frame frame = BuildFrame(112, body.bytes().data(),
                                 static_cast<uint32_t>(body.bytes().size()), 41, {});
  int32_t count = static_cast<int32_t>(frame.size());
  client.lastReloginCheck = 0;  // the gate stamps it when asked
  MainDispatch(client, frame.data(), count);
  ASSERT_EQ(gAnswers.size(), 1u);
  const Json::Value answer = ParseJson(gAnswers[0]);
  EXPECT_EQ(answer["error_no"], -999);
  EXPECT_EQ(answer["basket_detail_id"], "D42");
  EXPECT_NE(client.lastReloginCheck.load(), 0);
}

}  // namespace
}  // namespace tessel
