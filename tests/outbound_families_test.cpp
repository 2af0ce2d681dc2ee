// Basket, basket plan, algorithm, condition-order and strategy request
// bodies, byte for byte. Expected bytes come from the documented offsets and
// values, never from the code's tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
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
using testing::ExpectedBody;
using testing::F64;
using testing::I32;
using testing::ParseJson;
using testing::T;
using testing::U64;

struct FamilyCase {
  const char* name;
  uint32_t funcId;
  const char* json;
  uint32_t bodyLength;
  std::vector<Expect> fields;       // besides the request number at 0
  std::vector<std::string> unread = {};  // keys this request may omit or mistype
  size_t orderNoAt = 0;             // the number's text and the fund account here
  const char* orderNoAccount = "";
};

// Shared key sets, as the host writes them.
#define BASKET_USER R"("user_name":"u1","client_id":"c1",)"
#define CONDITION_USER R"("username":"u1","client_id":"c1",)"
#define OPER_COMMON \
  R"("user_name":"u1","client_id":"c1","fund_account":"F01","operator_id":"op1","algorithm_or_order_no":"A9",)"
const std::vector<Expect> kUser = {T(8, "u1"), T(72, "c1")};
std::vector<Expect> With(std::vector<Expect> fields) {
  fields.insert(fields.begin(), kUser.begin(), kUser.end());
  return fields;
}
std::vector<Expect> OperWith(std::vector<Expect> fields) {
  fields.insert(fields.begin(), {T(136, "F01"), T(200, "op1"), T(264, "A9")});
  return With(fields);
}

const std::vector<FamilyCase>& Cases() {
  static const std::vector<FamilyCase> cases = {
      // --- baskets ---
      {"CreateBasket", 106, "{" BASKET_USER R"("basket_name":"Blue chips","type":"NORMAL"})", 424,
       With({T(136, "Blue chips"), T(392, "NORMAL")})},
      {"UpdateBasket", 107, "{" BASKET_USER R"("basket_name":"Renamed","basket_no":"B001"})", 424,
       With({T(136, "Renamed"), T(392, "B001")})},
      {"DeleteBasket", 108, "{" BASKET_USER R"("basket_no":"B001"})", 168, With({T(136, "B001")})},
      {"QueryBasket", 109, "{" BASKET_USER R"("basket_no":"B002"})", 168, With({T(136, "B002")})},
      {"AddBasketSecurity", 110,
       "{" BASKET_USER R"("basket_no":"B001","security_code":"600000","security_name":"PF Bank",
           "mark":49,"algorithm_type":"TWAP","entrust_bs":-2,"entrust_price_type":"LMT",
           "limit_price":10,"price":10.5,"amount":2.0,"smallest_entrust_amount":100,
           "smallest_entrust_balance":1000.5})",
       302,
       With({T(136, "B001"), T(168, "600000"), T(180, "PF Bank"), B(244, 49), T(245, "TWAP"),
             B(261, 0xFE), T(262, "LMT"), F64(266, 10.0), F64(274, 10.5), I32(282, 2),
             F64(286, 100.0), F64(294, 1000.5)})},
      {"DelBasketSecurity", 111, "{" BASKET_USER R"("basket_detail_id":"D42"})", 200,
       With({T(136, "D42")})},
      {"UpdateBasketSecurity", 112,
       "{" BASKET_USER R"("basket_detail_id":"D42","security_name":"PF Bank","algorithm_type":"VWAP",
           "entrust_bs":-1,"entrust_price_type":"MKT","limit_price":9.5,"price":9.75,
           "amount":300,"smallest_entrust_amount":100,"smallest_entrust_balance":500})",
       321,
       With({T(136, "D42"), T(200, "PF Bank"), T(264, "VWAP"), B(280, 255), T(281, "MKT"),
             F64(285, 9.5), F64(293, 9.75), I32(301, 300), F64(305, 100.0), F64(313, 500.0)})},
      {"AddBasketSecurityBatch", 113,
       "{" BASKET_USER R"("basket_no":"B001","record_set_cnt":2,"record_set":[
           {"security_code":"600000","security_name":"PF Bank","security_exchange":49,
            "algorithm_type":"TWAP","entrust_bs":49,"entrust_price_type":"LMT","limit_price":10.5,
            "price":10.25,"amount":100,"smallest_entrust_amount":100,
            "smallest_entrust_balance":1000},
           {"security_code":"000001","security_name":"Ping An","security_exchange":50,
            "algorithm_type":"VWAP","entrust_bs":50,"entrust_price_type":"MKT","limit_price":20,
            "price":19.5,"amount":200,"smallest_entrust_amount":200,
            "smallest_entrust_balance":2000},
           {"security_code":"999999","security_name":"Surplus","security_exchange":51,
            "algorithm_type":"X","entrust_bs":51,"entrust_price_type":"X","limit_price":1,
            "price":1,"amount":1,"smallest_entrust_amount":1,"smallest_entrust_balance":1}]})",
       176 + 2 * 134,
       With({T(136, "B001"), I32(168, 134), I32(172, 2),
             // record 0 at 176
             T(176, "600000"), T(188, "PF Bank"), B(252, 49), T(253, "TWAP"), B(269, 49),
             T(270, "LMT"), F64(274, 10.5), F64(282, 10.25), I32(290, 100), F64(294, 100.0),
             F64(302, 1000.0),
             // record 1 at 310; the third element is not sent
             T(310, "000001"), T(322, "Ping An"), B(386, 50), T(387, "VWAP"), B(403, 50),
             T(404, "MKT"), F64(408, 20.0), F64(416, 19.5), I32(424, 200), F64(428, 200.0),
             F64(436, 2000.0)})},
      {"AddBasketSecurityBatch_empty", 113,
       "{" BASKET_USER R"("basket_no":"B001","record_set_cnt":0,"record_set":[]})", 176,
       With({T(136, "B001"), I32(168, 134), I32(172, 0)})},
      {"QueryBasketDetail", 114, "{" BASKET_USER R"("basket_no":"B003"})", 168,
       With({T(136, "B003")})},
      // --- basket plans ---
      {"StartBasketPlan", 115,
       "{" BASKET_USER R"("basket_no":"B001","basket_type":"NORMAL","entrust_amount_type":49,
           "fund_account":"F01","operator_id":"op1","basket_detail_cnt":1,"record_set":[
           {"basket_detail_id":"D42","entrust_price_type":"LMT","algorithm_type":"TWAP",
            "entrust_bs":49,"entrust_price":10.5,"entrust_amount":100,
            "smallest_entrust_amount":100,"smallest_entrust_balance":1000,
            "security_exchange":50}]})",
       511,
       With({T(136, "B001"), T(168, "NORMAL"), B(184, 49), T(185, "F01"), T(249, "op1"),
             I32(385, 118), I32(389, 1),
             // the record at 393
             T(393, "D42"), T(457, "LMT"), T(461, "TWAP"), B(477, 49), F64(478, 10.5),
             F64(486, 100.0), F64(494, 100.0), F64(502, 1000.0), B(510, 50)})},
      {"StartBasketPlan_algorithm", 115,
       "{" BASKET_USER R"("basket_no":"B001","basket_type":"ALGORITHM","entrust_amount_type":50,
           "fund_account":"F01","operator_id":"op1","begin_time":"20240102093000",
           "end_time":"20240102150000","limit_price_basic":"LAST","limit_price_unit":"TICK",
           "limit_price_change":0.5,"quantity_ratio":20,"stop_sell_limit_up":1,
           "cancel_order_limit_down":2,"basket_detail_cnt":0,"record_set":[]})",
       393,
       With({T(136, "B001"), T(168, "ALGORITHM"), B(184, 50), T(185, "F01"), T(249, "op1"),
             I32(313, 68), U64(317, 20240102093000ull), U64(325, 20240102150000ull),
             T(333, "LAST"), T(349, "TICK"), F64(365, 0.5), I32(373, 20), I32(377, 1),
             I32(381, 2), I32(385, 118), I32(389, 0)})},
      // The word must match in case: these algorithm keys are not read.
      {"StartBasketPlan_lower_case", 115,
       "{" BASKET_USER R"("basket_no":"B001","basket_type":"algorithm","entrust_amount_type":50,
           "fund_account":"F01","operator_id":"op1","begin_time":"20240102093000",
           "end_time":"20240102150000","limit_price_basic":"LAST","limit_price_unit":"TICK",
           "limit_price_change":0.5,"quantity_ratio":20,"stop_sell_limit_up":1,
           "cancel_order_limit_down":2,"basket_detail_cnt":0,"record_set":[]})",
       393,
       With({T(136, "B001"), T(168, "algorithm"), B(184, 50), T(185, "F01"), T(249, "op1"),
             I32(385, 118), I32(389, 0)}),
       {"begin_time", "end_time", "limit_price_basic", "limit_price_unit", "limit_price_change",
        "quantity_ratio", "stop_sell_limit_up", "cancel_order_limit_down"}},
      {"QueryBasketPlan", 116, "{" BASKET_USER R"("basket_no":"B001"})", 168,
       With({T(136, "B001")})},
      {"QueryBasketPlanDetail", 117, "{" BASKET_USER R"("basket_no":"B001","batch_no":"P7"})", 200,
       With({T(136, "B001"), T(168, "P7")})},
      {"QueryBasketEntrustOrder", 118,
       "{" BASKET_USER R"("basket_no":"B001","batch_no":"P7","max_request_num":50,
           "position_str":"pos1"})",
       236, With({T(136, "B001"), T(168, "P7"), I32(200, 50), T(204, "pos1")})},
      {"QueryBasketBargainOrder", 119,
       "{" BASKET_USER R"("basket_no":"B001","batch_no":"P8","max_request_num":-5,
           "position_str":"pos2"})",
       236, With({T(136, "B001"), T(168, "P8"), I32(200, -5), T(204, "pos2")})},
      // --- algorithms ---
      {"QueryAlgorithmList", 120,
       "{" BASKET_USER R"("fund_account":"F01","algorithm_no":"A9","basket_no":"B001",
           "batch_no":"P7","algorithm_type":"TWAP","security_exchange":49,
           "security_code":"600000","algorithm_status":"RUN","entrust_begin_time":"20240102",
           "entrust_end_time":"20240103","max_request_num":100,"position_str":"pos",
           "algorithm_kind":"kind1","price_type":"AP"})",
       421,
       With({T(136, "F01"), T(200, "A9"), T(232, "B001"), T(264, "P7"), T(296, "TWAP"),
             B(312, 49), T(313, "600000"), T(325, "RUN"), U64(341, 20240102),
             U64(349, 20240103), I32(357, 100), T(361, "pos"), T(393, "kind1"), T(413, "AP")}),
       {"algorithm_kind"}},
      {"QueryAlgorithmList_numeric_kind", 120,
       "{" BASKET_USER R"("fund_account":"F01","algorithm_no":"","basket_no":"","batch_no":"",
           "algorithm_type":"","security_exchange":0,"security_code":"","algorithm_status":"",
           "entrust_begin_time":"0","entrust_end_time":"x","max_request_num":0,
           "position_str":"","algorithm_kind":7,"price_type":""})",
       421, With({T(136, "F01"), T(393, "7")}), {"algorithm_kind"}},
      {"QueryAlgorithmEntrustOrder", 121,
       "{" BASKET_USER R"("max_request_num":10,"position_str":"p","algorithm_no":"A9"})", 204,
       With({I32(136, 10), T(140, "p"), T(172, "A9")})},
      {"OperAlgorithm_new_AP", 122,
       "{" OPER_COMMON R"("op_type":49,"algorithm_type":"TWAP","security_code":"600000",
           "security_name":"PF Bank","security_exchange":49,"entrust_bs":50,
           "entrust_amount":1000,"begin_time":"20240102093000","end_time":"20240102150000",
           "limit_price_basic":"LAST","limit_price_unit":"TICK","limit_price_change":0.01,
           "quantity_ratio":30,"stop_sell_limit_up":1,"cancel_order_limit_down":2,
           "smallest_entrust_amount":100,"smallest_entrust_balance":5000,"price_type":"AP"})",
       491,
       OperWith({B(296, 49), T(297, "TWAP"), T(313, "600000"), T(325, "PF Bank"), B(389, 49),
                 B(390, 50), F64(391, 1000.0), U64(399, 20240102093000ull),
                 U64(407, 20240102150000ull), T(415, "LAST"), T(431, "TICK"), F64(447, 0.01),
                 I32(455, 30), I32(459, 1), I32(463, 2), F64(467, 100.0), F64(475, 5000.0),
                 T(483, "AP")}),
       {"begin_time", "end_time", "quantity_ratio", "stop_sell_limit_up",
        "cancel_order_limit_down", "smallest_entrust_amount", "smallest_entrust_balance"}},
      // Another price type: no basic or unit, and a missing change is 0.
      {"OperAlgorithm_new_other_price", 122,
       "{" OPER_COMMON R"("op_type":49,"algorithm_type":"TWAP","security_code":"600000",
           "security_name":"PF Bank","security_exchange":49,"entrust_bs":50,
           "entrust_amount":1000.5,"limit_price_basic":"LAST","price_type":"LIMIT"})",
       491,
       OperWith({B(296, 49), T(297, "TWAP"), T(313, "600000"), T(325, "PF Bank"), B(389, 49),
                 B(390, 50), F64(391, 1000.5), T(483, "LIMIT")}),
       {"limit_price_basic"}},
      {"OperAlgorithm_change_AP", 122,
       "{" OPER_COMMON R"("op_type":50,"limit_price_basic":"LAST","limit_price_unit":"TICK",
           "limit_price_change":0.02,"stop_sell_limit_up":1,"cancel_order_limit_down":3,
           "quantity_ratio":25,"smallest_entrust_amount":200,"smallest_entrust_balance":6000,
           "price_type":"AP"})",
       491,
       OperWith({B(296, 50), T(297, "LAST"), T(313, "TICK"), F64(329, 0.02), I32(337, 1),
                 I32(341, 3), I32(345, 25), F64(349, 200.0), F64(357, 6000.0), T(365, "AP")})},
      {"OperAlgorithm_change_other_price", 122,
       "{" OPER_COMMON R"("op_type":50,"limit_price_change":1.5,"stop_sell_limit_up":0,
           "cancel_order_limit_down":1,"quantity_ratio":10,"smallest_entrust_amount":1,
           "smallest_entrust_balance":2,"price_type":"APX"})",
       491,
       OperWith({B(296, 50), F64(329, 1.5), I32(337, 0), I32(341, 1), I32(345, 10),
                 F64(349, 1.0), F64(357, 2.0), T(365, "APX")}),
       {"limit_price_change"}},
      // Neither '1' nor '2': the common part alone.
      {"OperAlgorithm_other_operation", 122,
       "{" OPER_COMMON R"("op_type":1,"algorithm_type":"TWAP","price_type":"AP"})", 491,
       OperWith({B(296, 1)}), {"algorithm_type", "price_type"}},
      // --- condition orders ---
      {"CreateConditionOrder", 200,
       "{" CONDITION_USER R"("fund_account":"F01","operator_id":"op1","security_code":"600000",
           "security_name":"PF Bank","security_exchange":49,"con_type":"PRICE_UP",
           "entrust_bs":49,"con_trigger_date":"20240105","con_trigger_price":11.5,
           "entrust_amount":100})",
       386,
       With({T(136, "F01"), T(200, "op1"), T(264, "600000"), T(276, "PF Bank"), B(340, 49),
             T(341, "PRICE_UP"), B(357, 49), T(358, "20240105"), F64(370, 11.5),
             F64(378, 100.0)})},
      {"QueryConditionOrderList", 201,
       "{" CONDITION_USER R"("security_code":"600000","status":"ALL",
           "con_trigger_start_date":"20240101","con_trigger_end_date":"20240131",
           "max_request_num":20,"position_str":"p","fund_account":"F01"})",
       292,
       With({T(136, "600000"), T(148, "ALL"), T(168, "20240101"), T(180, "20240131"),
             I32(192, 20), T(196, "p"), T(228, "F01")})},
      {"QuickConditionOrder", 202,
       "{" CONDITION_USER R"("fund_account":"F01","operator_id":"op1","security_code":"600000",
           "security_name":"PF Bank","security_exchange":50,"stop_loss_gear":3,
           "take_profit_gear":5,"entrust_bs":49,"entrust_price":10.5,"entrust_amount":200,
           "entrust_prop":48})",
       495,
       With({T(136, "F01"), T(200, "op1"), T(264, "600000"), T(276, "PF Bank"), B(340, 50),
             I32(341, 3), I32(345, 5), B(349, 49), F64(350, 10.5), F64(358, 200.0),
             B(366, 48)}),
       {}, 367, "F01"},
      {"OperConditionOrder_change", 203,
       "{" CONDITION_USER R"("business_type":50,"condition_no":"C77","con_trigger_date":"20240110",
           "con_trigger_price":12.25,"entrust_amount":300})",
       197,
       With({B(136, 50), T(137, "C77"), T(169, "20240110"), F64(181, 12.25), F64(189, 300.0)})},
      {"OperConditionOrder_other", 203,
       "{" CONDITION_USER R"("business_type":49,"condition_no":"C77","con_trigger_date":"20240110"})",
       197, With({B(136, 49), T(137, "C77")}), {"con_trigger_date"}},
      // --- strategy and statistics ---
      {"QueryStrategyInfo", 204, R"({"username":"u1","client_id":"c1"})", 136, kUser},
      {"QueryHistoryMatchedStockList", 205,
       "{" CONDITION_USER R"("strategy_codes":"S1,S2,S3"})", 392, With({T(136, "S1,S2,S3")})},
      {"QueryBargainSummary", 207,
       "{" CONDITION_USER R"("fund_account":"F01","security_exchange":49})", 201,
       With({T(136, "F01"), B(200, 0x31)})},
      {"QueryEntrustConfig", 208, "{" CONDITION_USER R"("fund_account":"F01"})", 200,
       With({T(136, "F01")})},
  };
  return cases;
}

Json::Value RequestOf(const FamilyCase& c) {
  Json::Value request = ParseJson(c.json);
  request["funcId"] = c.funcId;
  return request;
}

bool IsUnread(const FamilyCase& c, const std::string& key) {
  return std::find(c.unread.begin(), c.unread.end(), key) != c.unread.end();
}

// Texts read as numbers: their length is not limited by a field.
bool IsTimeText(const std::string& key) {
  return key == "begin_time" || key == "end_time" || key == "entrust_begin_time" ||
         key == "entrust_end_time";
}

Json::Value Mistyped(const Json::Value& value) {
  return value.isString() ? Json::Value(5) : Json::Value("5");
}

class FamilyBodies : public ::testing::TestWithParam<FamilyCase> {
 protected:
  bool Dispatch(const Json::Value& request, TradeRequestData& out) {
    Json::Value copy = request;
    Refusal why;
    return DispatchRequest(client, copy, out, why);
  }
  TradeClient client;
};

TEST_P(FamilyBodies, AreByteExact) {
  const FamilyCase& c = GetParam();
  const uint64_t counter = PeekRequestCounter();
  TradeRequestData out;
  ASSERT_TRUE(Dispatch(RequestOf(c), out));
  const Frame& frame = *out.frame;
  ASSERT_EQ(frame.size(), c.bodyLength + 49u);
  EXPECT_EQ(frame[0], '-');
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 1), c.funcId);
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 5), c.bodyLength);
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 9), 0u);
  EXPECT_EQ(wire::Load<uint64_t>(frame.data() + 13), 1u);
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 < frame.size(); ++i) sum += frame[i];
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + frame.size() - 4), sum % 256);
  EXPECT_EQ(out.messageType, c.funcId);

  std::vector<uint8_t> body(frame.begin() + 45, frame.end() - 4);
  // "<seconds><counter>" as a number, the counter drawn once.
  const std::string number = std::to_string(wire::Load<uint64_t>(body.data()));
  const std::string digits = std::to_string(counter);
  EXPECT_GE(number.size(), 10 + digits.size());
  EXPECT_EQ(number.substr(number.size() - digits.size()), digits);
  EXPECT_EQ(PeekRequestCounter(), counter + 1);
  std::fill(body.begin(), body.begin() + 8, 0);
  if (c.orderNoAt != 0) {
    const char* text = reinterpret_cast<const char*>(body.data() + c.orderNoAt);
    EXPECT_EQ(std::string(text, strnlen(text, 128)), number + c.orderNoAccount);
    std::fill(body.begin() + static_cast<long>(c.orderNoAt),
              body.begin() + static_cast<long>(c.orderNoAt) + 128, 0);
  }
  const std::vector<uint8_t> expected = ExpectedBody(c.bodyLength, c.fields);
  for (size_t i = 0; i < body.size(); ++i) {
    ASSERT_EQ(body[i], expected[i]) << c.name << " byte " << i;
  }
}

// Each key read is refused once missing, once mistyped and, for texts, once
// too long, in the request and in its first record; nothing is used up.
TEST_P(FamilyBodies, RefuseEveryBadKey) {
  const FamilyCase& c = GetParam();
  const uint64_t counter = PeekRequestCounter();
  const Json::Value good = RequestOf(c);
  TradeRequestData out;
  auto refuses = [&](const Json::Value& request, const std::string& what) {
    EXPECT_FALSE(Dispatch(request, out)) << c.name << ": " << what;
  };
  for (const std::string& key : good.getMemberNames()) {
    if (key == "funcId" || IsUnread(c, key)) continue;
    Json::Value bad = good;
    bad.removeMember(key);
    refuses(bad, "without " + key);
    bad[key] = Mistyped(good[key]);
    refuses(bad, "mistyped " + key);
    if (good[key].isString() && !IsTimeText(key)) {
      bad[key] = std::string(1024, 'x');
      refuses(bad, "long " + key);
    }
  }
  if (good.isMember("record_set") && !good["record_set"].empty()) {
    const Json::Value& first = good["record_set"][0];
    for (const std::string& key : first.getMemberNames()) {
      Json::Value bad = good;
      bad["record_set"][0].removeMember(key);
      refuses(bad, "record without " + key);
      bad["record_set"][0][key] = Mistyped(first[key]);
      refuses(bad, "record with mistyped " + key);
      if (first[key].isString()) {
        bad["record_set"][0][key] = std::string(1024, 'x');
        refuses(bad, "record with long " + key);
      }
    }
  }
  EXPECT_FALSE(out.frame);
  EXPECT_EQ(client.requestSeq.load(), 0u);
  EXPECT_EQ(PeekRequestCounter(), counter);
}

// Keys the request does not read may be left out or be of any type.
TEST_P(FamilyBodies, UnreadKeysMayBeAbsentOrMistyped) {
  const FamilyCase& c = GetParam();
  const Json::Value good = RequestOf(c);
  for (const std::string& key : c.unread) {
    Json::Value request = good;
    request.removeMember(key);
    TradeRequestData out;
    EXPECT_TRUE(Dispatch(request, out)) << c.name << " without " << key;
    request[key] = Json::Value(Json::objectValue);
    EXPECT_TRUE(Dispatch(request, out)) << c.name << " with an object for " << key;
  }
}

INSTANTIATE_TEST_SUITE_P(All, FamilyBodies, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FamilyCase>& info) {
                           return std::string(info.param.name);
                         });

class FamilyDispatch : public ::testing::Test {
 protected:
  bool SendValue(Json::Value request, TradeRequestData& out) {
    why = {};
    return DispatchRequest(client, request, out, why);
  }
  bool Send(const std::string& json, TradeRequestData& out) {
    return SendValue(ParseJson(json), out);
  }
  TradeClient client;
  Refusal why;
};

// Counts that are negative, not whole, or that would pass the 4 MiB body
// ceiling refuse the request before any record is looked at; a list shorter
// than its count refuses it too.
TEST_F(FamilyDispatch, CountsAreBounded) {
  struct Counted {
    const char* json;  // ends where the count goes
    const char* countKey;
    uint32_t fixed;
    uint32_t record;
  };
  const Counted counted[] = {
      {R"({"funcId":113,"user_name":"u","client_id":"c","basket_no":"b","record_set":[],
          "record_set_cnt":)",
       "record_set_cnt", 176, 134},
      {R"({"funcId":115,"user_name":"u","client_id":"c","basket_no":"b","basket_type":"N",
          "entrust_amount_type":1,"fund_account":"f","operator_id":"o","record_set":[],
          "basket_detail_cnt":)",
       "basket_detail_cnt", 393, 118},
  };
  constexpr uint64_t kCeiling = 4u * 1024 * 1024;
  for (const Counted& c : counted) {
    const uint64_t largest = (kCeiling - c.fixed) / c.record;  // the last count that fits
    TradeRequestData out;
    for (const std::string& count :
         {std::string("-1"), std::string("-2147483648"), std::string("2147483647"),
          std::to_string(largest + 1), std::string("1.5"), std::string("\"1\""),
          std::string("null"), std::string("4294967296")}) {
      EXPECT_FALSE(Send(std::string(c.json) + count + "}", out)) << count;
      EXPECT_EQ(why.problem, Refusal::Problem::BadCount) << count;
      EXPECT_EQ(why.key, c.countKey) << count;
    }
    // At the ceiling the count itself is fine: the empty list is what fails.
    EXPECT_FALSE(Send(std::string(c.json) + std::to_string(largest) + "}", out));
    EXPECT_EQ(why.key, "record_set");
    Json::Value noCount = ParseJson(std::string(c.json) + "0}");
    noCount.removeMember(c.countKey);
    EXPECT_FALSE(SendValue(noCount, out));
    EXPECT_EQ(why.key, c.countKey);
    EXPECT_FALSE(out.frame);
    ASSERT_TRUE(Send(std::string(c.json) + "0}", out));
    EXPECT_EQ(out.frame->size(), c.fixed + 49u);
  }
  EXPECT_EQ(client.requestSeq.load(), 2u);
}

TEST_F(FamilyDispatch, ShortListsAreRefusedAndLongOnesCut) {
  const std::string record =
      R"({"basket_detail_id":"d","entrust_price_type":"L","algorithm_type":"a","entrust_bs":1,
          "entrust_price":1,"entrust_amount":1,"smallest_entrust_amount":1,
          "smallest_entrust_balance":1,"security_exchange":1})";
  const std::string head =
      R"({"funcId":115,"user_name":"u","client_id":"c","basket_no":"b","basket_type":"N",
          "entrust_amount_type":1,"fund_account":"f","operator_id":"o",)";
  TradeRequestData out;
  EXPECT_FALSE(Send(head + R"("basket_detail_cnt":2,"record_set":[)" + record + "]}", out));
  EXPECT_EQ(why.problem, Refusal::Problem::BadCount);
  EXPECT_EQ(why.key, "record_set");
  EXPECT_FALSE(Send(head + R"("basket_detail_cnt":1,"record_set":{"0":)" + record + "}}", out));
  EXPECT_EQ(why.problem, Refusal::Problem::WrongType);
  ASSERT_TRUE(Send(head + R"("basket_detail_cnt":1,"record_set":[)" + record + "," + record +
                       "," + record + "]}",
                   out));
  EXPECT_EQ(out.frame->size(), 393u + 118 + 49);
  EXPECT_EQ(wire::Load<int32_t>(out.frame->data() + 45 + 389), 1);
  // A surplus element is not read at all, even when it would be refused.
  ASSERT_TRUE(Send(head + R"("basket_detail_cnt":1,"record_set":[)" + record + R"(,{"x":1}]})",
                   out));
}

// Time texts: leading digits as a number, after any white space; no digit
// first gives 0; too many digits give the largest value. A number is refused.
TEST_F(FamilyDispatch, TimeTextsReadTheirLeadingDigits) {
  const std::string head =
      R"({"funcId":115,"user_name":"u","client_id":"c","basket_no":"b","basket_type":"ALGORITHM",
          "entrust_amount_type":1,"fund_account":"f","operator_id":"o","end_time":"7",
          "limit_price_basic":"b","limit_price_unit":"u","limit_price_change":0,
          "quantity_ratio":0,"stop_sell_limit_up":0,"cancel_order_limit_down":0,
          "basket_detail_cnt":0,"record_set":[],"begin_time":)";
  const struct {
    const char* text;
    uint64_t value;
  } times[] = {
      {R"("20240102093000")", 20240102093000ull},
      {R"("  42")", 42},
      {R"("12:30")", 12},
      {R"("abc")", 0},
      {R"("")", 0},
      {R"("-5")", 0},
      {R"("99999999999999999999999")", UINT64_MAX},
  };
  for (const auto& time : times) {
    TradeRequestData out;
    ASSERT_TRUE(Send(head + time.text + "}", out)) << time.text;
    EXPECT_EQ(wire::Load<uint64_t>(out.frame->data() + 45 + 317), time.value) << time.text;
    EXPECT_EQ(wire::Load<uint64_t>(out.frame->data() + 45 + 325), 7u);
  }
  TradeRequestData out;
  EXPECT_FALSE(Send(head + "20240102093000}", out));
  EXPECT_EQ(why.key, "begin_time");
}

// The operation byte chooses the layout, whose keys are then required.
TEST_F(FamilyDispatch, OperationBytesChooseTheLayout) {
  const std::string common =
      R"({"funcId":122,"user_name":"u","client_id":"c","fund_account":"f","operator_id":"o",
          "algorithm_or_order_no":"a","op_type":49)";
  TradeRequestData out;
  EXPECT_FALSE(Send(common + "}", out));
  EXPECT_EQ(why.key, "algorithm_type");
  ASSERT_TRUE(Send(common + R"(,"algorithm_type":"t","security_code":"s","security_name":"n",
      "security_exchange":1,"entrust_bs":1,"entrust_amount":1,"price_type":"AP ",
      "limit_price_basic":"b","limit_price_unit":"u","limit_price_change":2})",
                   out));
  // "AP " is not "AP": the basic and unit are not read, the change is.
  const uint8_t* body = out.frame->data() + 45;
  EXPECT_EQ(body[296], 49);
  EXPECT_EQ(body[415], 0);
  EXPECT_EQ(body[431], 0);
  EXPECT_EQ(wire::Load<double>(body + 447), 2.0);
  // OperConditionOrder: 50, the trigger change.
  EXPECT_FALSE(Send(R"({"funcId":203,"username":"u","client_id":"c","business_type":50,
                        "condition_no":"n"})",
                    out));
  EXPECT_EQ(why.key, "con_trigger_date");
}

// A whole number that does not fit its field is refused wherever it is read:
// in a byte that chooses a layout (305 would be '1', 306 '2'), in an optional
// row, in a counted record.
TEST_F(FamilyDispatch, IntegersOutsideTheirFieldAreRefused) {
  const std::string newAlgorithm =
      R"({"funcId":122,"user_name":"u","client_id":"c","fund_account":"f","operator_id":"o",
          "algorithm_or_order_no":"a","op_type":49,"algorithm_type":"t","security_code":"s",
          "security_name":"n","security_exchange":1,"entrust_bs":1,"entrust_amount":1,
          "price_type":"P","quantity_ratio":)";
  const std::string batch =
      R"({"funcId":113,)" BASKET_USER R"("basket_no":"b","record_set_cnt":1,"record_set":[
          {"security_code":"s","security_name":"n","algorithm_type":"t","entrust_bs":1,
           "entrust_price_type":"L","limit_price":1,"price":1,"amount":1,
           "smallest_entrust_amount":1,"smallest_entrust_balance":1,"security_exchange":)";
  const std::string plan =
      R"({"funcId":115,)" BASKET_USER R"("basket_no":"b","basket_type":"N","entrust_amount_type":1,
          "fund_account":"f","operator_id":"o","basket_detail_cnt":1,"record_set":[
          {"basket_detail_id":"d","entrust_price_type":"L","algorithm_type":"a",
           "entrust_price":1,"entrust_amount":1,"smallest_entrust_amount":1,
           "smallest_entrust_balance":1,"security_exchange":1,"entrust_bs":)";
  const struct {
    std::string json;
    const char* key;
  } refused[] = {
      {R"({"funcId":122,"user_name":"u","client_id":"c","fund_account":"f","operator_id":"o",
           "algorithm_or_order_no":"a","op_type":305})",
       "op_type"},
      {R"({"funcId":203,"username":"u","client_id":"c","business_type":306,
           "condition_no":"n"})",
       "business_type"},
      {newAlgorithm + "2147483648}", "quantity_ratio"},
      {newAlgorithm + "-1e20}", "quantity_ratio"},
      {batch + "-129}]}", "security_exchange"},
      {plan + "300}]}", "entrust_bs"},
  };
  TradeRequestData out;
  for (const auto& request : refused) {
    EXPECT_FALSE(Send(request.json, out)) << request.key;
    EXPECT_EQ(DescribeRefusal(why),
              "key \"" + std::string(request.key) + "\" is out of range for its field");
  }
  EXPECT_FALSE(out.frame);
  // An optional integer that is not a whole number is still left zero.
  for (const char* ignored : {"1.5", R"("7")", "null"}) {
    ASSERT_TRUE(Send(newAlgorithm + ignored + "}", out)) << ignored;
    EXPECT_EQ(wire::Load<int32_t>(out.frame->data() + 45 + 455), 0) << ignored;
  }
  ASSERT_TRUE(Send(newAlgorithm + "-2147483648}", out));
  EXPECT_EQ(wire::Load<int32_t>(out.frame->data() + 45 + 455), INT32_MIN);
  ASSERT_TRUE(Send(batch + "-128}]}", out));
  EXPECT_EQ(out.frame->data()[45 + 176 + 76], 0x80);
  ASSERT_TRUE(Send(plan + "255}]}", out));
  EXPECT_EQ(out.frame->data()[45 + 393 + 84], 0xFF);
}

TEST_F(FamilyDispatch, EachFamilyHasItsOwnUserKey) {
  TradeRequestData out;
  EXPECT_FALSE(Send(R"({"funcId":200,"user_name":"u","client_id":"c","fund_account":"f",
      "operator_id":"o","security_code":"s","security_name":"n","security_exchange":1,
      "con_type":"t","entrust_bs":1,"con_trigger_date":"d","con_trigger_price":1,
      "entrust_amount":1})",
                    out));
  EXPECT_EQ(why.key, "username");
  EXPECT_FALSE(Send(R"({"funcId":204,"user_name":"u","client_id":"c"})", out));
  EXPECT_EQ(why.key, "username");
  EXPECT_FALSE(Send(R"({"funcId":109,"username":"u","client_id":"c","basket_no":"b"})", out));
  EXPECT_EQ(why.key, "user_name");
  EXPECT_FALSE(Send(R"({"funcId":120,"username":"u","client_id":"c"})", out));
  EXPECT_EQ(why.key, "user_name");
}

// A text fills its field less one byte, which stays zero.
TEST_F(FamilyDispatch, TextsFitTheirFieldsWithAZero) {
  const struct {
    uint32_t funcId;
    const char* key;
    size_t offset;
    size_t width;
  } texts[] = {
      {106, "basket_name", 136, 256},
      {106, "type", 392, 32},
      {205, "strategy_codes", 136, 256},
      {202, "fund_account", 136, 64},
  };
  const Json::Value base = ParseJson(
      R"({"user_name":"u","username":"u","client_id":"c","basket_name":"n","type":"t",
          "strategy_codes":"s","fund_account":"f","operator_id":"o","security_code":"s",
          "security_name":"n","security_exchange":1,"stop_loss_gear":1,"take_profit_gear":1,
          "entrust_bs":1,"entrust_price":1,"entrust_amount":1,"entrust_prop":1})");
  for (const auto& text : texts) {
    Json::Value request = base;
    request["funcId"] = text.funcId;
    request[text.key] = std::string(text.width, 'x');
    TradeRequestData out;
    EXPECT_FALSE(SendValue(request, out)) << text.key;
    EXPECT_EQ(why.problem, Refusal::Problem::TooLong);
    request[text.key] = std::string(text.width - 1, 'x');
    ASSERT_TRUE(SendValue(request, out)) << text.key;
    const uint8_t* field = out.frame->data() + 45 + text.offset;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(field), text.width - 1),
              std::string(text.width - 1, 'x'));
    EXPECT_EQ(field[text.width - 1], 0);
  }
  // The longest account still leaves room for the order number before it.
  Json::Value quick = base;
  quick["funcId"] = 202;
  quick["fund_account"] = std::string(63, 'f');
  TradeRequestData out;
  ASSERT_TRUE(SendValue(quick, out));
  const char* orderNo = reinterpret_cast<const char*>(out.frame->data() + 45 + 367);
  const std::string number = std::to_string(wire::Load<uint64_t>(out.frame->data() + 45));
  EXPECT_EQ(std::string(orderNo, strnlen(orderNo, 128)), number + std::string(63, 'f'));
}

// Numbers are drawn after every key passed: a refused request between two
// accepted ones leaves no gap in the counter.
TEST_F(FamilyDispatch, RefusedRequestsDrawNoNumber) {
  const std::string good = R"({"funcId":204,"username":"u","client_id":"c"})";
  const uint64_t counter = PeekRequestCounter();
  TradeRequestData first;
  TradeRequestData second;
  ASSERT_TRUE(Send(good, first));
  EXPECT_FALSE(Send(R"({"funcId":204,"username":"u"})", second));
  ASSERT_TRUE(Send(good, second));
  auto endsWith = [](const TradeRequestData& out, uint64_t value) {
    const std::string number = std::to_string(wire::Load<uint64_t>(out.frame->data() + 45));
    const std::string digits = std::to_string(value);
    return number.size() > digits.size() &&
           number.compare(number.size() - digits.size(), digits.size(), digits) == 0;
  };
  EXPECT_TRUE(endsWith(first, counter));
  EXPECT_TRUE(endsWith(second, counter + 1));
  EXPECT_EQ(second.requestId, 2u);
}

}  // namespace
}  // namespace tessel
