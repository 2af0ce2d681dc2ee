#include <gtest/gtest.h>
#include <json/reader.h>

#include <cstring>

#include "messages/outbound/dispatch.h"
#include "messages/outbound/json_fields.h"
#include "messages/outbound/packing.h"
#include "messages/outbound/session_requests.h"
#include "session/trade_client.h"
#include "test_support.h"

namespace tessel {
namespace {

using testing::ParseJson;

Json::Value LoginRequest() {
  return ParseJson(R"({"func":"Login","funcId":1,"user_name":"trader01","pass_word":"secret",
                   "heart_beat":30,"compress":257,"encrypt":0})");
}

std::string FieldText(const uint8_t* body, size_t offset, size_t width) {
  const char* start = reinterpret_cast<const char*>(body + offset);
  return std::string(start, strnlen(start, width));
}

TEST(JsonFields, IntegerRule) {
  const Json::Value r = ParseJson(
      R"({"i":30,"r":30.0,"f":30.5,"s":"30","big":2147483648,"neg":-2147483648,"b":true})");
  wire::I32 value{};
  EXPECT_TRUE(json_fields::ReadInt(r, "i", value));
  EXPECT_TRUE(json_fields::ReadInt(r, "r", value));
  EXPECT_EQ(value, 30);
  EXPECT_TRUE(json_fields::ReadInt(r, "neg", value));
  EXPECT_EQ(value, INT32_MIN);
  for (const char* refused : {"f", "s", "big", "b", "missing"}) {
    EXPECT_FALSE(json_fields::ReadInt(r, refused, value)) << refused;
  }
  uint8_t byte = 0;
  EXPECT_TRUE(json_fields::ReadInt(ParseJson(R"({"c":-1})"), "c", byte));
  EXPECT_EQ(byte, 0xFF);
}

TEST(JsonFields, NumberWholeNumberTimeAndArrayRules) {
  const Json::Value r =
      ParseJson(R"({"p":12,"q":12.25,"v":1000.5,"t":"20240315abc","u":"x1","n":5,"a":[1]})");
  wire::F64 d{};
  EXPECT_TRUE(json_fields::ReadNumber(r, "p", d));
  EXPECT_EQ(d, 12.0);
  EXPECT_TRUE(json_fields::ReadNumber(r, "q", d));
  EXPECT_EQ(d, 12.25);
  EXPECT_FALSE(json_fields::ReadNumber(r, "t", d));
  EXPECT_FALSE(json_fields::ReadWholeNumber(r, "v", d));  // quantities must be whole
  EXPECT_TRUE(json_fields::ReadWholeNumber(r, "p", d));
  wire::U64 time{};
  EXPECT_TRUE(json_fields::ReadTimeText(r, "t", time));
  EXPECT_EQ(time, 20240315u);
  EXPECT_TRUE(json_fields::ReadTimeText(r, "u", time));
  EXPECT_EQ(time, 0u);
  EXPECT_FALSE(json_fields::ReadTimeText(r, "n", time));
  EXPECT_EQ(json_fields::LeadingDecimal("99999999999999999999999"), UINT64_MAX);
  const Json::Value* array = nullptr;
  EXPECT_TRUE(json_fields::ReadArray(r, "a", array));
  EXPECT_FALSE(json_fields::ReadArray(r, "n", array));
}

TEST(JsonFields, TextMustFitItsField) {
  char field[8] = {};
  EXPECT_TRUE(json_fields::ReadText(ParseJson(R"({"k":"1234567"})"), "k", field));
  EXPECT_STREQ(field, "1234567");
  char guarded[9] = {};
  guarded[8] = '#';
  EXPECT_FALSE(json_fields::ReadText(ParseJson(R"({"k":"12345678"})"), "k", guarded, 8));
  EXPECT_EQ(guarded[8], '#');  // nothing written past the field
  EXPECT_FALSE(json_fields::ReadText(ParseJson(R"({"k":5})"), "k", field));
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
  std::atomic<int32_t> counter{9};
  const std::string ninth = NextRequestNo(counter);
  const std::string tenth = NextRequestNo(counter);
  EXPECT_EQ(counter.load(), 11);
  EXPECT_EQ(ninth.back(), '9');
  EXPECT_EQ(tenth.size(), ninth.size() + 1);  // the counter gained a digit
  EXPECT_EQ(NextRequestNumber(counter) % 100, 11u);
}

TEST(SessionRequests, LoginFrameIsByteExact) {
  TradeClient client;
  Json::Value request = LoginRequest();
  TradeRequestData out;
  ASSERT_TRUE(DispatchRequest(client, request, out));
  ASSERT_TRUE(out.frame);
  const Frame& frame = *out.frame;
  ASSERT_EQ(frame.size(), 662u);
  const FrameHeader header = ReadHeader(frame.data());
  EXPECT_EQ(header.magic, '-');
  EXPECT_EQ(header.messageType, 1u);
  EXPECT_EQ(header.bodyLength, 613u);
  EXPECT_EQ(header.secondLength, 0u);
  EXPECT_EQ(header.requestId, 1u);
  EXPECT_EQ(std::string(header.terminalId), TerminalId());
  const uint8_t* body = frame.data() + 45;
  EXPECT_EQ(FieldText(body, 0, 64), "trader01");
  EXPECT_EQ(FieldText(body, 64, 255), "secret");
  EXPECT_EQ(wire::Load<int32_t>(body + 319), 30);
  EXPECT_EQ(body[323], 1);  // 257: low 8 bits
  EXPECT_EQ(body[324], 0);
  EXPECT_EQ(FieldText(body, 325, 32), "v3.1.1-20211020-095500");
  EXPECT_EQ(FieldText(body, 357, 256), "v1.2.2");
  // Everything after each text is zero.
  for (size_t i = 64 + 6; i < 319; ++i) ASSERT_EQ(body[i], 0) << i;
  for (size_t i = 357 + 6; i < 613; ++i) ASSERT_EQ(body[i], 0) << i;
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 658), FrameChecksum(frame.data(), 658));
  EXPECT_EQ(out.requestId, 1u);
  EXPECT_EQ(out.messageType, 1u);
}

TEST(SessionRequests, ModifyPwdFrame) {
  TradeClient client;
  Json::Value request = ParseJson(
      R"({"funcId":100,"user_name":"u","pass_word":"old","new_pass_word":"new"})");
  TradeRequestData out;
  ASSERT_TRUE(DispatchRequest(client, request, out));
  const Frame& frame = *out.frame;
  ASSERT_EQ(frame.size(), 623u);
  EXPECT_EQ(ReadHeader(frame.data()).bodyLength, 574u);
  EXPECT_EQ(FieldText(frame.data() + 45, 319, 255), "new");
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 619), FrameChecksum(frame.data(), 619));

  Json::Value missing = ParseJson(R"({"funcId":100,"user_name":"u","pass_word":"old"})");
  EXPECT_FALSE(DispatchRequest(client, missing, out));
}

TEST(SessionRequests, LoginRefusals) {
  TradeClient client;
  for (const char* key : {"user_name", "pass_word", "heart_beat", "compress", "encrypt"}) {
    Json::Value request = LoginRequest();
    request.removeMember(key);
    TradeRequestData out;
    EXPECT_FALSE(DispatchRequest(client, request, out)) << key;
    EXPECT_FALSE(out.frame);
  }
  Json::Value stringBeat = LoginRequest();
  stringBeat["heart_beat"] = "30";
  TradeRequestData out;
  EXPECT_FALSE(DispatchRequest(client, stringBeat, out));
  Json::Value longName = LoginRequest();
  longName["user_name"] = std::string(64, 'u');
  EXPECT_FALSE(DispatchRequest(client, longName, out));
  EXPECT_EQ(client.requestSeq.load(), 0u);  // refused requests take no id
  // ...but the last login attempt is still what a relogin would replay.
  EXPECT_EQ(client.savedLogin["user_name"].asString(), std::string(64, 'u'));

  Json::Value ok = LoginRequest();
  ok["heart_beat"] = 30.0;
  ASSERT_TRUE(DispatchRequest(client, ok, out));
  EXPECT_EQ(out.requestId, 1u);
}

TEST(Dispatch, LogoutCarriesARealFrame) {
  TradeClient client;
  Json::Value request = ParseJson(R"({"func":"Logout","funcId":2})");
  TradeRequestData out;
  ASSERT_TRUE(DispatchRequest(client, request, out));
  ASSERT_TRUE(out.frame);
  EXPECT_EQ(out.frame->size(), 49u);
  EXPECT_EQ(ReadHeader(out.frame->data()).messageType, 2u);
  EXPECT_EQ(ReadHeader(out.frame->data()).requestId, out.requestId);
  EXPECT_EQ(out.messageType, 2u);
  EXPECT_EQ(out.requestId, 1u);
}

TEST(Dispatch, RefusesUnknownAndMalformedFuncIds) {
  TradeClient client;
  TradeRequestData out;
  for (const char* text : {R"({"funcId":206})", R"({"funcId":209})", R"({"funcId":0})",
                           R"({"funcId":-1})", R"({"funcId":"1"})", R"({})",
                           R"({"funcId":4,"user_name":"u"})"}) {
    Json::Value request = ParseJson(text);
    EXPECT_FALSE(DispatchRequest(client, request, out)) << text;
  }
  EXPECT_EQ(client.requestSeq.load(), 0u);
}

TEST(Dispatch, CountedBodiesHaveACeiling) {
  const OutboundRoute* optional = FindOutboundRoute(101);
  ASSERT_NE(optional, nullptr);
  EXPECT_EQ(CountedBodySize(*optional, 2), 156u);
  EXPECT_EQ(CountedBodySize(*optional, 0), 122u);
  EXPECT_FALSE(CountedBodySize(*optional, -1));
  EXPECT_FALSE(CountedBodySize(*optional, INT32_MAX));
  const OutboundRoute* plan = FindOutboundRoute(115);
  ASSERT_NE(plan, nullptr);
  EXPECT_EQ(plan->bodySize, 393u);
  EXPECT_EQ(plan->recordSize, 118u);
  EXPECT_EQ(FindOutboundRoute(3), nullptr);
  EXPECT_EQ(FindOutboundRoute(206), nullptr);
}

}  // namespace
}  // namespace tessel
