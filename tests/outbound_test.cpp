// Request bodies, byte for byte. The expected bytes are written here from
// the documented offsets and values, never read back from the code's tables.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "messages/outbound/packing.h"
#include "net/frame.h"
#include "net/wire.h"
#include "session/request_dispatch.h"
#include "session/trade_client.h"
#include "expect_bytes.h"
#include "test_support.h"

namespace tessel {
namespace {

using testing::B;
using testing::Expect;
using testing::F64;
using testing::I32;
using testing::ParseJson;
using testing::T;

struct BodyCase {
  const char* name;
  uint32_t funcId;
  const char* json;           // every key but "func" is required
  uint32_t bodyLength;
  std::vector<Expect> fields;
  size_t numberAt = 0;        // generated request number text at this offset (0: none)
};

const std::vector<BodyCase>& Cases() {
  static const std::vector<BodyCase> cases = {
      {"Login", 1,
       R"({"user_name":"trader01","pass_word":"secret","heart_beat":30,"compress":255,"encrypt":-128})",
       613,
       {T(0, "trader01"), T(64, "secret"), I32(319, 30), B(323, 0xFF), B(324, 0x80),
        T(325, "v3.1.1-20211020-095500"), T(357, "v1.2.2")}},
      {"ModifyPwd", 100, R"({"user_name":"u","pass_word":"old","new_pass_word":"new"})", 574,
       {T(0, "u"), T(64, "old"), T(319, "new")}},
      {"OrderSubmit", 4,
       R"({"user_name":"u1","client_id":"c1","fund_account":"f1","operator_id":"o1",
           "code":"600000","mark":49,"code_name":"PF Bank","entrust_vol":1000,
           "entrust_price":12,"entrust_bs":49,"entrust_prop":48,"business_type":-1,
           "allow_cancel_order":1})",
       735,
       {T(0, "u1"), T(64, "c1"), T(128, "f1"), T(192, "o1"), B(384, 49), T(385, "600000"),
        T(397, "PF Bank"), F64(461, 1000.0), F64(469, 12.0), B(477, 49), B(478, 48),
        B(479, 0xFF), B(480, 1)},
       256},
      {"OrderCancel", 5,
       R"({"user_name":"u1","client_id":"c1","fund_account":"f1","operator_id":"o1",
           "code":"600000","mark":49,"code_name":"PF Bank","entrust_vol":100,
           "entrust_price":9.5,"entrust_type":50,"request_no":"17000000001"})",
       862,
       {T(0, "u1"), T(64, "c1"), T(128, "f1"), T(192, "o1"), B(384, 49), T(385, "600000"),
        T(397, "PF Bank"), F64(461, 100.0), F64(469, 9.5), B(477, 50), T(478, "17000000001")},
       256},
      {"QryMaxSell", 13,
       R"({"user_name":"u","client_id":"c","fund_account":"f","entrust_prop":48,"mark":50,
           "code":"000001"})",
       206, {T(0, "u"), T(64, "c"), T(128, "f"), B(192, 48), B(193, 50), T(194, "000001")}},
      {"QryMaxBuy", 14,
       R"({"user_name":"u","client_id":"c","fund_account":"f","entrust_prop":48,"mark":50,
           "code":"000001","entrust_price":10.5,"trade_unit":100})",
       218,
       {T(0, "u"), T(64, "c"), T(128, "f"), B(192, 48), B(193, 50), T(194, "000001"),
        F64(206, 10.5), I32(214, 100)}},
      {"QryMoney", 6, R"({"user_name":"u","client_id":"c","fund_account":"f"})", 192,
       {T(0, "u"), T(64, "c"), T(128, "f")}},
      {"QryHolder", 7,
       R"({"user_name":"u","client_id":"c","fund_account":"f","mark":50,"max_request_num":100,
           "position_str":"ppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppp"})",
       261,
       {T(0, "u"), T(64, "c"), T(128, "f"), B(192, 50), I32(193, 100), T(197, std::string(63, 'p'))}},
      {"QryCurOrder", 8,
       R"({"user_name":"u","client_id":"c","fund_account":"f","mark":49,"max_request_num":10,
           "position_str":"p1"})",
       233, {T(0, "u"), T(64, "c"), T(128, "f"), B(192, 49), I32(193, 10), T(197, "p1")}},
      {"QryCurTrade", 9,
       R"({"user_name":"u","client_id":"c","fund_account":"f","mark":49,"max_request_num":10,
           "position_str":"p1"})",
       229, {T(0, "u"), T(64, "c"), T(128, "f"), B(192, 49), I32(193, 10), T(197, "p1")}},
      {"QryHisOrder", 11,
       R"({"user_name":"u","client_id":"c","fund_account":"f","max_request_num":5,
           "start_date":20240101,"end_date":20240131,"position_str":"pos"})",
       268,
       {T(0, "u"), T(64, "c"), T(128, "f"), I32(192, 5), I32(196, 20240101), I32(200, 20240131),
        T(204, "pos")}},
      {"QryHisTrade", 12,
       R"({"user_name":"u","client_id":"c","fund_account":"f","max_request_num":5,
           "start_date":20240101,"end_date":20240131,"position_str":"pos"})",
       268,
       {T(0, "u"), T(64, "c"), T(128, "f"), I32(192, 5), I32(196, 20240101), I32(200, 20240131),
        T(204, "pos")}},
      {"QryProfitAndLoss", 15,
       R"({"username":"u","client_id":"c","fund_account":"f","trade_date":20240315})", 196,
       {T(0, "u"), T(64, "c"), T(128, "f"), I32(192, 20240315)}},
      {"QryHisTradeNum", 16,
       R"({"username":"u","client_id":"c","fund_account":"f","max_request_num":7,
           "start_date":1,"end_date":2})",
       204, {T(0, "u"), T(64, "c"), T(128, "f"), I32(192, 7), I32(196, 1), I32(200, 2)}},
      {"QryHisOrderNum", 18,
       R"({"username":"u","client_id":"c","fund_account":"f","max_request_num":7,
           "start_date":1,"end_date":2})",
       204, {T(0, "u"), T(64, "c"), T(128, "f"), I32(192, 7), I32(196, 1), I32(200, 2)}},
      {"OptionalOperation page", 101,
       R"({"user_name":"u","op_type":48,"record_set_cnt":0,"max_request_num":50,
           "position_str":"p"})",
       122, {T(0, "u"), B(64, 48), I32(78, 50), T(82, "p")}},
      {"OptionalOperation add", 101,
       R"({"user_name":"u","op_type":49,"record_set_cnt":4,"mark":49,"code":"600000"})", 190,
       {T(0, "u"), B(64, 49), B(65, 49), T(66, "600000")}},
      {"OptionalOperation replace", 101,
       R"({"user_name":"u","op_type":51,"record_set_cnt":2,"record_set":[
           {"priority":1,"security_exchange":49,"security_code":"600000"},
           {"priority":2,"security_exchange":50,"security_code":"000001"}]})",
       156,
       {T(0, "u"), B(64, 51), I32(114, 17), I32(118, 2), I32(122, 1), B(126, 49),
        T(127, "600000"), I32(139, 2), B(143, 50), T(144, "000001")}},
      {"OptionalOperation other", 101, R"({"user_name":"u","op_type":0,"record_set_cnt":0})",
       122, {T(0, "u"), B(64, 0)}},
      {"UserMenuauth", 102, R"({"user_name":"u"})", 64, {T(0, "u")}},
      {"UserStockList", 103,
       R"({"user_name":"u","client_id":"c","operator_id":"op","fund_account":"fund"})", 256,
       {T(0, "u"), T(64, "c"), T(128, "op"), T(192, "fund")}},
      {"QueryDealList", 104, R"({"user_name":"u","max_request_num":20,"position_str":"p"})", 100,
       {T(0, "u"), I32(64, 20), T(68, "p")}},
      {"QueryCapitalList", 105, R"({"user_name":"u"})", 64, {T(0, "u")}},
  };
  return cases;
}

Json::Value RequestOf(const BodyCase& c) {
  Json::Value request = ParseJson(c.json);
  request["funcId"] = c.funcId;
  return request;
}

class RequestBodies : public ::testing::TestWithParam<BodyCase> {
 protected:
  bool Dispatch(Json::Value request, TradeRequestData& out) {
    Refusal why;
    return DispatchRequest(client, request, out, why);
  }
  TradeClient client;
};

TEST_P(RequestBodies, AreByteExact) {
  const BodyCase& c = GetParam();
  const uint64_t counter = PeekRequestCounter();
  TradeRequestData out;
  ASSERT_TRUE(Dispatch(RequestOf(c), out));
  const Frame& frame = *out.frame;
  ASSERT_EQ(frame.size(), c.bodyLength + 49u);
  EXPECT_EQ(frame[0], '-');
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 1), c.funcId);
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 5), c.bodyLength);
  // Only the today's-orders query repeats its body length.
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 9), c.funcId == 8 ? c.bodyLength : 0u);
  EXPECT_EQ(wire::Load<uint64_t>(frame.data() + 13), 1u);
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 < frame.size(); ++i) sum += frame[i];
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + frame.size() - 4), sum % 256);

  std::vector<uint8_t> expected(c.bodyLength, 0);
  for (const Expect& field : c.fields) {
    std::copy(field.bytes.begin(), field.bytes.end(), expected.begin() + static_cast<long>(field.offset));
  }
  std::vector<uint8_t> body(frame.begin() + 45, frame.end() - 4);
  if (c.numberAt != 0) {
    // "<seconds><counter>", the counter drawn once.
    const char* number = reinterpret_cast<const char*>(body.data() + c.numberAt);
    const std::string text(number, strnlen(number, 128));
    const std::string digits = std::to_string(counter);
    EXPECT_GE(text.size(), 10 + digits.size());
    EXPECT_EQ(text.substr(text.size() - digits.size()), digits);
    EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(PeekRequestCounter(), counter + 1);
    std::fill(body.begin() + static_cast<long>(c.numberAt),
              body.begin() + static_cast<long>(c.numberAt) + 128, 0);
  }
  for (size_t i = 0; i < body.size(); ++i) ASSERT_EQ(body[i], expected[i]) << c.name << " byte " << i;
}

// Each required key missing once, mistyped once and (for texts) too long
// once: refused, and no request id or counter value is used up.
TEST_P(RequestBodies, RefuseEveryBadKey) {
  const BodyCase& c = GetParam();
  const uint64_t counter = PeekRequestCounter();
  const Json::Value good = RequestOf(c);
  for (const std::string& key : good.getMemberNames()) {
    if (key == "funcId") continue;
    Json::Value missing = good;
    missing.removeMember(key);
    Json::Value mistyped = good;
    mistyped[key] = good[key].isString() ? Json::Value(5) : Json::Value("5");
    TradeRequestData out;
    EXPECT_FALSE(Dispatch(missing, out)) << c.name << " without " << key;
    EXPECT_FALSE(Dispatch(mistyped, out)) << c.name << " with mistyped " << key;
    if (good[key].isString()) {
      Json::Value tooLong = good;
      tooLong[key] = std::string(1024, 'x');
      EXPECT_FALSE(Dispatch(tooLong, out)) << c.name << " with long " << key;
    }
    EXPECT_FALSE(out.frame);
  }
  EXPECT_EQ(client.requestSeq.load(), 0u);
  EXPECT_EQ(PeekRequestCounter(), counter);
}

INSTANTIATE_TEST_SUITE_P(All, RequestBodies, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<BodyCase>& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) {
                             if (ch == ' ') ch = '_';
                           }
                           return name;
                         });

class Dispatch : public ::testing::Test {
 protected:
  bool Send(const std::string& json, TradeRequestData& out) {
    Json::Value request = ParseJson(json);
    Refusal why;
    return DispatchRequest(client, request, out, why);
  }
  // "accepted", or the reason the request was refused.
  std::string Outcome(const std::string& json, TradeRequestData& out) {
    Json::Value request = ParseJson(json);
    Refusal why;
    return DispatchRequest(client, request, out, why) ? "accepted" : DescribeRefusal(why);
  }
  TradeClient client;
};

// A whole number must fit its field: a code byte takes -128..255 (a
// negative one goes as its byte), a 4-byte integer and a quantity the signed
// 32-bit range. Past that it is refused, never wrapped into another code.
TEST_F(Dispatch, IntegersMustFitTheirField) {
  const std::string order =
      R"({"funcId":4,"user_name":"u","client_id":"c","fund_account":"f","operator_id":"o",
          "code":"1","mark":1,"code_name":"n","entrust_price":1,"entrust_vol":1,
          "entrust_prop":1,"business_type":1,"allow_cancel_order":1,"entrust_bs":)";
  TradeRequestData out;
  for (const char* value : {"305", "306", "256", "-129", "2147483648", "1e30"}) {
    EXPECT_EQ(Outcome(order + value + "}", out),
              R"(key "entrust_bs" is out of range for its field)")
        << value;
  }
  EXPECT_EQ(Outcome(order + "49.5}", out), R"(key "entrust_bs" has the wrong type)");
  const struct {
    const char* value;
    uint8_t byte;
  } bytes[] = {{"255", 0xFF}, {"-128", 0x80}, {"-1", 0xFF}, {"0", 0x00}, {"49.0", 0x31}};
  for (const auto& code : bytes) {
    ASSERT_EQ(Outcome(order + code.value + "}", out), "accepted") << code.value;
    EXPECT_EQ(out.frame->data()[kHeaderSize + 477], code.byte) << code.value;
  }

  const std::string quantity =
      R"({"funcId":4,"user_name":"u","client_id":"c","fund_account":"f","operator_id":"o",
          "code":"1","mark":1,"code_name":"n","entrust_price":1,"entrust_bs":1,
          "entrust_prop":1,"business_type":1,"allow_cancel_order":1,"entrust_vol":)";
  for (const char* value : {"2147483648", "-2147483649", "2147483648.0"}) {
    EXPECT_EQ(Outcome(quantity + value + "}", out),
              R"(key "entrust_vol" is out of range for its field)")
        << value;
  }
  EXPECT_EQ(Outcome(quantity + "1000.5}", out), R"(key "entrust_vol" has the wrong type)");
  ASSERT_EQ(Outcome(quantity + "2147483647}", out), "accepted");
  EXPECT_EQ(wire::Load<double>(out.frame->data() + kHeaderSize + 461), 2147483647.0);

  const std::string login =
      R"({"funcId":1,"user_name":"u","pass_word":"p","compress":0,"encrypt":0,"heart_beat":)";
  EXPECT_EQ(Outcome(login + "2147483648}", out),
            R"(key "heart_beat" is out of range for its field)");
  EXPECT_EQ(Outcome(login + R"("30"})", out), R"(key "heart_beat" has the wrong type)");
  EXPECT_EQ(Outcome(login + "30.0}", out), "accepted");
  ASSERT_EQ(Outcome(login + "-2147483648}", out), "accepted");
  EXPECT_EQ(wire::Load<int32_t>(out.frame->data() + kHeaderSize + 319), INT32_MIN);

  // 307 would otherwise be '3' (51), the whole-list replacement.
  EXPECT_EQ(Outcome(R"({"funcId":101,"user_name":"u","op_type":307,"record_set_cnt":0,
                        "record_set":[]})",
                    out),
            R"(key "op_type" is out of range for its field)");
}

// Every generated number of the process comes from one counter, whatever
// the message or the client: none repeats within a second.
class GeneratedNumbers : public ::testing::Test {
 protected:
  static constexpr const char* kOrder =
      R"({"funcId":4,"user_name":"u","client_id":"c","fund_account":"f","operator_id":"o",
          "code":"1","mark":1,"code_name":"n","entrust_vol":1,"entrust_price":1,"entrust_bs":1,
          "entrust_prop":1,"business_type":1,"allow_cancel_order":1})";
  static constexpr const char* kCancel =
      R"({"funcId":5,"user_name":"u","client_id":"c","fund_account":"f","operator_id":"o",
          "code":"1","mark":1,"code_name":"n","entrust_vol":1,"entrust_price":1,
          "entrust_type":1,"request_no":"42"})";
  static constexpr const char* kStrategyQuery =
      R"({"funcId":204,"username":"u","client_id":"c"})";

  // The number an order or a cancel carries as text at body offset 256.
  static std::string TextNumber(TradeClient& client, const char* json) {
    const TradeRequestData out = Accepted(client, json);
    if (!out.frame) return {};
    const char* text = reinterpret_cast<const char*>(out.frame->data() + kHeaderSize + 256);
    return std::string(text, strnlen(text, 128));
  }
  // The number a query carries as an unsigned 64-bit value at body offset 0.
  static std::string BinaryNumber(TradeClient& client, const char* json) {
    const TradeRequestData out = Accepted(client, json);
    if (!out.frame) return {};
    return std::to_string(wire::Load<uint64_t>(out.frame->data() + kHeaderSize));
  }
  static TradeRequestData Accepted(TradeClient& client, const char* json) {
    Json::Value request = ParseJson(json);
    TradeRequestData out;
    Refusal why;
    EXPECT_TRUE(DispatchRequest(client, request, out, why)) << DescribeRefusal(why);
    return out;
  }
  static int64_t Seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  // Whether `number` is the seconds of a moment from `since` on, followed by
  // the digits of `counter`.
  static bool IsNumber(const std::string& number, uint64_t counter, int64_t since) {
    for (int64_t second = since; second <= Seconds(); ++second) {
      if (number == std::to_string(second) + std::to_string(counter)) return true;
    }
    return false;
  }
};

TEST_F(GeneratedNumbers, AnOrderAndItsCancelNeverShareOne) {
  TradeClient client;
  const int64_t since = Seconds();
  const uint64_t counter = PeekRequestCounter();
  const std::string order = TextNumber(client, kOrder);
  const std::string cancel = TextNumber(client, kCancel);
  const std::string query = BinaryNumber(client, kStrategyQuery);
  const std::string next = TextNumber(client, kOrder);
  const std::set<std::string> distinct{order, cancel, query, next};
  EXPECT_EQ(distinct.size(), 4u) << order << " " << cancel << " " << query << " " << next;
  EXPECT_TRUE(IsNumber(order, counter, since)) << order;
  EXPECT_TRUE(IsNumber(cancel, counter + 1, since)) << cancel;
  EXPECT_TRUE(IsNumber(query, counter + 2, since)) << query;
  EXPECT_TRUE(IsNumber(next, counter + 3, since)) << next;
}

// The next accepted request carries the value a refused one would have had.
TEST_F(GeneratedNumbers, ARefusedRequestDrawsNone) {
  TradeClient client;
  const int64_t since = Seconds();
  const uint64_t counter = PeekRequestCounter();
  TradeRequestData out;
  Refusal why;
  Json::Value withoutCode = ParseJson(kOrder);
  withoutCode.removeMember("code");
  EXPECT_FALSE(DispatchRequest(client, withoutCode, out, why));
  // The order to withdraw is named by its number's text.
  Json::Value cancelByNumber = ParseJson(kCancel);
  cancelByNumber["request_no"] = 42;
  EXPECT_FALSE(DispatchRequest(client, cancelByNumber, out, why));
  EXPECT_EQ(why.problem, Refusal::Problem::WrongType);
  EXPECT_EQ(why.key, "request_no");
  EXPECT_EQ(PeekRequestCounter(), counter);
  const std::string order = TextNumber(client, kOrder);
  EXPECT_TRUE(IsNumber(order, counter, since)) << order;
}

// Two clients sending at once: every number they draw is its own.
TEST_F(GeneratedNumbers, TwoClientsNeverShareOne) {
  constexpr size_t kEach = 300;
  TradeClient clients[2];
  std::vector<std::string> numbers[2];
  auto send = [&](size_t which) {
    for (size_t i = 0; i < kEach; ++i) {
      numbers[which].push_back(TextNumber(clients[which], i % 2 == 0 ? kOrder : kCancel));
    }
  };
  std::thread first(send, 0);
  std::thread second(send, 1);
  first.join();
  second.join();
  std::set<std::string> distinct(numbers[0].begin(), numbers[0].end());
  distinct.insert(numbers[1].begin(), numbers[1].end());
  EXPECT_EQ(distinct.size(), 2 * kEach);
}

TEST_F(Dispatch, CountedBodiesAreBounded) {
  TradeRequestData out;
  const std::string head = R"({"funcId":101,"user_name":"u","op_type":51,"record_set":[],)";
  for (const char* count : {"-1", "2147483647", "300000", "\"2\"", "1.5"}) {
    EXPECT_FALSE(Send(head + R"("record_set_cnt":)" + count + "}", out)) << count;
  }
  EXPECT_TRUE(Send(head + R"("record_set_cnt":0})", out));
  // A list shorter than its count refuses the request; a longer one sends
  // only the counted records.
  const std::string one = R"({"priority":1,"security_exchange":49,"security_code":"600000"})";
  EXPECT_FALSE(Send(R"({"funcId":101,"user_name":"u","op_type":51,"record_set_cnt":2,"record_set":[)" +
                        one + "]}",
                    out));
  ASSERT_TRUE(Send(R"({"funcId":101,"user_name":"u","op_type":51,"record_set_cnt":1,"record_set":[)" +
                       one + "," + one + "]}",
                   out));
  EXPECT_EQ(out.frame->size(), 122u + 17 + 49);
  EXPECT_FALSE(Send(R"({"funcId":101,"user_name":"u","op_type":51,"record_set_cnt":1,"record_set":[{"priority":1,"security_code":"600000"}]})",
                    out));
}

TEST_F(Dispatch, RefusesUnknownAndMalformedFuncIds) {
  TradeRequestData out;
  for (const char* text : {R"({"funcId":206})", R"({"funcId":209})", R"({"funcId":0})",
                           R"({"funcId":-1})", R"({"funcId":"1"})", R"({})", R"({"funcId":3})"}) {
    EXPECT_FALSE(Send(text, out)) << text;
  }
  EXPECT_EQ(client.requestSeq.load(), 0u);
}

TEST_F(Dispatch, LogoutCarriesARealFrame) {
  TradeRequestData out;
  ASSERT_TRUE(Send(R"({"func":"Logout","funcId":2})", out));
  ASSERT_TRUE(out.frame);
  EXPECT_EQ(out.frame->size(), 49u);
  EXPECT_EQ(ReadHeader(out.frame->data()).messageType, 2u);
  EXPECT_EQ(out.messageType, 2u);
  EXPECT_EQ(out.requestId, 1u);
}

TEST_F(Dispatch, ARefusedLoginIsStillTheSavedLogin) {
  TradeRequestData out;
  EXPECT_FALSE(Send(R"({"funcId":1,"user_name":"someone"})", out));
  EXPECT_EQ(client.savedLogin["user_name"].asString(), "someone");
  EXPECT_EQ(client.requestSeq.load(), 0u);
}

TEST(Packing, TerminalIdPrefersEthernet) {
  using platform::NetworkAdapter;
  const NetworkAdapter wireless{false, {0xAA, 0xBB, 0x00, 0x01, 0x02, 0x03}};
  const NetworkAdapter ethernet{true, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
  EXPECT_EQ(TerminalIdFrom({wireless, ethernet}), "001A2B3C4D5E");
  EXPECT_EQ(TerminalIdFrom({wireless}), "AABB00010203");
  EXPECT_EQ(TerminalIdFrom({}), "");
}

TEST(Packing, RequestNumbersJoinDigits) {
  EXPECT_EQ(RequestNoText(99, 12), "9912");
  EXPECT_EQ(RequestNoText(1796583214, 1), "17965832141");
  // Past the signed 32-bit range the counter still prints as it counts.
  EXPECT_EQ(RequestNoText(1796583214, 2147483648u), "17965832142147483648");
  EXPECT_EQ(RequestNoText(1796583214, UINT64_MAX), "179658321418446744073709551615");
  EXPECT_EQ(LeadingDecimal("20240315abc"), 20240315u);
  EXPECT_EQ(LeadingDecimal("x1"), 0u);
  EXPECT_EQ(LeadingDecimal("99999999999999999999999"), UINT64_MAX);
}

}  // namespace
}  // namespace tessel
