// Request bodies, byte for byte, and the rules every request is held to.
// The expected bytes are written here from the documented offsets and
// values, never read back from the code's tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "messages/outbound/packing.h"
#include "net/frame.h"
#include "net/wire.h"
#include "session/request_dispatch.h"
#include "session/trade_client.h"
#include "test_support.h"

namespace tessel {
namespace {

using testing::ParseJson;

// One expected field: its bytes at an offset of the body, or the generated
// request number there.
struct Expect {
  enum class Number : uint8_t { None, Binary, Text };
  size_t offset;
  std::vector<uint8_t> bytes;  // for a number as text: what follows it
  Number number = Number::None;
};

Expect T(size_t offset, const std::string& text) {
  return {offset, std::vector<uint8_t>(text.begin(), text.end())};
}
Expect B(size_t offset, uint8_t value) { return {offset, {value}}; }
// The `width` little-endian bytes of `value`.
Expect Le(size_t offset, uint64_t value, size_t width) {
  std::vector<uint8_t> bytes(width);
  for (size_t i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return {offset, bytes};
}
Expect I32(size_t offset, int32_t value) { return Le(offset, static_cast<uint32_t>(value), 4); }
Expect U64(size_t offset, uint64_t value) { return Le(offset, value, 8); }
Expect F64(size_t offset, double value) {
  std::vector<uint8_t> bytes(8);
  std::memcpy(bytes.data(), &value, 8);  // IEEE 754, little-endian host
  return {offset, bytes};
}
// The generated number: "<seconds><counter>" as an unsigned 64-bit value, or
// as zero-terminated text in a 128-byte field, `then` right after it.
Expect NumberU64(size_t offset) { return {offset, {}, Expect::Number::Binary}; }
Expect NumberText(size_t offset, const std::string& then = "") {
  return {offset, std::vector<uint8_t>(then.begin(), then.end()), Expect::Number::Text};
}

struct RequestCase {
  const char* name;
  uint32_t funcId;
  const char* json;                      // "funcId" is added
  uint32_t bodyLength;
  std::vector<Expect> fields;            // everything else is zero
  std::vector<std::string> unread = {};  // keys that may be absent or of any type
};

// Shared key sets, as the host writes them.
#define BASKET_USER R"("user_name":"u1","client_id":"c1",)"
#define CONDITION_USER R"("username":"u1","client_id":"c1",)"
#define OPER_COMMON \
  R"("user_name":"u1","client_id":"c1","fund_account":"F01","operator_id":"op1","algorithm_or_order_no":"A9",)"
// The account the queries name; the per-day counts call the user "username".
#define ACCOUNT R"("user_name":"u","client_id":"c","fund_account":"f",)"
#define COUNTS_ACCOUNT R"("username":"u","client_id":"c","fund_account":"f",)"
#define HISTORY R"("max_request_num":5,"start_date":20240101,"end_date":20240131,)"
std::vector<Expect> Account(std::vector<Expect> fields) {
  fields.insert(fields.begin(), {T(0, "u"), T(64, "c"), T(128, "f")});
  return fields;
}
// The request number first, then the user.
const std::vector<Expect> kUser = {NumberU64(0), T(8, "u1"), T(72, "c1")};
std::vector<Expect> With(std::vector<Expect> fields) {
  fields.insert(fields.begin(), kUser.begin(), kUser.end());
  return fields;
}
std::vector<Expect> OperWith(std::vector<Expect> fields) {
  fields.insert(fields.begin(), {T(136, "F01"), T(200, "op1"), T(264, "A9")});
  return With(fields);
}

const std::vector<RequestCase>& Cases() {
  static const std::vector<RequestCase> cases = {
      // --- session, orders, queries and lists ---
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
        B(479, 0xFF), B(480, 1), NumberText(256)}},
      {"OrderCancel", 5,
       R"({"user_name":"u1","client_id":"c1","fund_account":"f1","operator_id":"o1",
           "code":"600000","mark":49,"code_name":"PF Bank","entrust_vol":100,
           "entrust_price":9.5,"entrust_type":50,"request_no":"17000000001"})",
       862,
       {T(0, "u1"), T(64, "c1"), T(128, "f1"), T(192, "o1"), B(384, 49), T(385, "600000"),
        T(397, "PF Bank"), F64(461, 100.0), F64(469, 9.5), B(477, 50), T(478, "17000000001"),
        NumberText(256)}},
      {"QryMaxSell", 13, "{" ACCOUNT R"("entrust_prop":48,"mark":50,"code":"000001"})", 206,
       Account({B(192, 48), B(193, 50), T(194, "000001")})},
      {"QryMaxBuy", 14,
       "{" ACCOUNT R"("entrust_prop":48,"mark":50,"code":"000001","entrust_price":10.5,
           "trade_unit":100})",
       218, Account({B(192, 48), B(193, 50), T(194, "000001"), F64(206, 10.5), I32(214, 100)})},
      {"QryMoney", 6, R"({"user_name":"u","client_id":"c","fund_account":"f"})", 192, Account({})},
      {"QryHolder", 7,
       "{" ACCOUNT R"("mark":50,"max_request_num":100,
           "position_str":"ppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppp"})",
       261, Account({B(192, 50), I32(193, 100), T(197, std::string(63, 'p'))})},
      {"QryCurOrder", 8, "{" ACCOUNT R"("mark":49,"max_request_num":10,"position_str":"p1"})", 233,
       Account({B(192, 49), I32(193, 10), T(197, "p1")})},
      {"QryCurTrade", 9, "{" ACCOUNT R"("mark":49,"max_request_num":10,"position_str":"p1"})", 229,
       Account({B(192, 49), I32(193, 10), T(197, "p1")})},
      {"QryHisOrder", 11, "{" ACCOUNT HISTORY R"("position_str":"pos"})", 268,
       Account({I32(192, 5), I32(196, 20240101), I32(200, 20240131), T(204, "pos")})},
      {"QryHisTrade", 12, "{" ACCOUNT HISTORY R"("position_str":"pos"})", 268,
       Account({I32(192, 5), I32(196, 20240101), I32(200, 20240131), T(204, "pos")})},
      {"QryProfitAndLoss", 15, "{" COUNTS_ACCOUNT R"("trade_date":20240315})", 196,
       Account({I32(192, 20240315)})},
      {"QryHisTradeNum", 16,
       "{" COUNTS_ACCOUNT R"("max_request_num":7,"start_date":1,"end_date":2})", 204,
       Account({I32(192, 7), I32(196, 1), I32(200, 2)})},
      {"QryHisOrderNum", 18,
       "{" COUNTS_ACCOUNT R"("max_request_num":7,"start_date":1,"end_date":2})", 204,
       Account({I32(192, 7), I32(196, 1), I32(200, 2)})},
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
      // The word must match in case: the algorithm keys are neither read nor needed.
      {"StartBasketPlan_lower_case", 115,
       "{" BASKET_USER R"("basket_no":"B001","basket_type":"algorithm","entrust_amount_type":50,
           "fund_account":"F01","operator_id":"op1","basket_detail_cnt":0,"record_set":[]})",
       393,
       With({T(136, "B001"), T(168, "algorithm"), B(184, 50), T(185, "F01"), T(249, "op1"),
             I32(385, 118), I32(389, 0)})},
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
      // Another price type: no basic or unit, and an optional change.
      {"OperAlgorithm_new_other_price", 122,
       "{" OPER_COMMON R"("op_type":49,"algorithm_type":"TWAP","security_code":"600000",
           "security_name":"PF Bank","security_exchange":49,"entrust_bs":50,
           "entrust_amount":1000.5,"limit_price_basic":"LAST","limit_price_unit":"TICK",
           "limit_price_change":2,"price_type":"LIMIT"})",
       491,
       OperWith({B(296, 49), T(297, "TWAP"), T(313, "600000"), T(325, "PF Bank"), B(389, 49),
                 B(390, 50), F64(391, 1000.5), F64(447, 2.0), T(483, "LIMIT")}),
       {"limit_price_basic", "limit_price_unit", "limit_price_change"}},
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
      // The order's own number: the request number, then the longest fund account.
      {"QuickConditionOrder", 202,
       "{" CONDITION_USER R"("operator_id":"op1","security_code":"600000",
           "fund_account":"fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
           "security_name":"PF Bank","security_exchange":50,"stop_loss_gear":3,
           "take_profit_gear":5,"entrust_bs":49,"entrust_price":10.5,"entrust_amount":200,
           "entrust_prop":48})",
       495,
       With({T(136, std::string(63, 'f')), T(200, "op1"), T(264, "600000"), T(276, "PF Bank"),
             B(340, 50), I32(341, 3), I32(345, 5), B(349, 49), F64(350, 10.5), F64(358, 200.0),
             B(366, 48), NumberText(367, std::string(63, 'f'))})},
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

Json::Value RequestNamed(const std::string& name) {
  const RequestCase& c = *std::find_if(Cases().begin(), Cases().end(),
                                       [&](const RequestCase& c) { return c.name == name; });
  Json::Value request = ParseJson(c.json);
  request["funcId"] = c.funcId;
  return request;
}

bool Send(TradeClient& client, Json::Value request, TradeRequestData& out) {
  Refusal why;
  return DispatchRequest(client, request, out, why);
}

class RequestBodies : public ::testing::TestWithParam<RequestCase> {
 protected:
  TradeClient client;
};

TEST_P(RequestBodies, AreByteExact) {
  const RequestCase& c = GetParam();
  const uint64_t counter = PeekRequestCounter();
  TradeRequestData out;
  ASSERT_TRUE(Send(client, RequestNamed(c.name), out));
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
  EXPECT_EQ(out.messageType, c.funcId);

  std::vector<uint8_t> body(frame.begin() + 45, frame.end() - 4);
  std::vector<uint8_t> expected(c.bodyLength, 0);
  std::set<std::string> numbers;  // one number, drawn once, serves every generated field
  for (const Expect& field : c.fields) {
    uint8_t* at = body.data() + field.offset;
    if (field.number == Expect::Number::None) {
      std::copy(field.bytes.begin(), field.bytes.end(), expected.begin() + field.offset);
    } else if (field.number == Expect::Number::Binary) {
      numbers.insert(std::to_string(wire::Load<uint64_t>(at)));
      std::fill(at, at + 8, 0);
    } else {
      const char* chars = reinterpret_cast<const char*>(at);
      const std::string text(chars, strnlen(chars, 128));
      const std::string then(field.bytes.begin(), field.bytes.end());
      ASSERT_GE(text.size(), then.size()) << text;
      EXPECT_EQ(text.substr(text.size() - then.size()), then);
      numbers.insert(text.substr(0, text.size() - then.size()));
      std::fill(at, at + 128, 0);
    }
  }
  EXPECT_LE(numbers.size(), 1u);
  const std::string digits = std::to_string(counter);
  for (const std::string& number : numbers) {
    // "<seconds><counter>": at least ten digits of seconds, then the counter's.
    EXPECT_GE(number.size(), 10 + digits.size()) << number;
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
    EXPECT_EQ(number.substr(number.size() - std::min(number.size(), digits.size())), digits);
  }
  EXPECT_EQ(PeekRequestCounter(), counter + numbers.size());
  for (size_t i = 0; i < body.size(); ++i) ASSERT_EQ(body[i], expected[i]) << "byte " << i;
}

// Each key read is refused once missing, once mistyped and, for texts, once
// too long, in the request and in its first record; no request id or counter
// value is used up.
TEST_P(RequestBodies, RefuseEveryBadKey) {
  const RequestCase& c = GetParam();
  const uint64_t counter = PeekRequestCounter();
  const Json::Value good = RequestNamed(c.name);
  TradeRequestData out;
  for (const bool inRecord : {false, true}) {
    if (inRecord && (!good.isMember("record_set") || good["record_set"].empty())) continue;
    const Json::Value& object = inRecord ? good["record_set"][0] : good;
    for (const std::string& key : object.getMemberNames()) {
      if (key == "funcId" || std::count(c.unread.begin(), c.unread.end(), key) > 0) continue;
      std::vector<std::pair<const char*, Json::Value>> spoiled = {
          {"without ", Json::Value()},
          {"mistyped ", object[key].isString() ? Json::Value(5) : Json::Value("5")}};
      // Texts read as numbers (the times) are not limited by a field.
      if (object[key].isString() && key.find("_time") == std::string::npos) {
        spoiled.emplace_back("too long ", std::string(1024, 'x'));
      }
      for (const auto& [how, value] : spoiled) {
        Json::Value bad = good;
        Json::Value& target = inRecord ? bad["record_set"][0] : bad;
        target.removeMember(key);
        if (!value.isNull()) target[key] = value;
        EXPECT_FALSE(Send(client, bad, out)) << how << key << (inRecord ? " in a record" : "");
      }
    }
  }
  EXPECT_FALSE(out.frame);
  EXPECT_EQ(client.requestSeq.load(), 0u);
  EXPECT_EQ(PeekRequestCounter(), counter);
}

// Keys the request does not read may be left out or be of any type.
TEST_P(RequestBodies, UnreadKeysMayBeAbsentOrMistyped) {
  for (const std::string& key : GetParam().unread) {
    for (const Json::Value& value : {Json::Value(), Json::Value(Json::objectValue)}) {
      Json::Value request = RequestNamed(GetParam().name);
      request.removeMember(key);
      if (!value.isNull()) request[key] = value;
      TradeRequestData out;
      EXPECT_TRUE(Send(client, request, out)) << key;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, RequestBodies, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RequestCase>& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

// Requests varied from a named case: `key` (of its first record when
// `inRecord`) set to each JSON text of `values`, which is then refused for
// `refusal`, or accepted (when `refusal` is null) with the bytes `expect`.
struct Variation {
  const char* name;
  const char* key;
  std::vector<std::string> values;
  const char* refusal;
  Expect expect = {0, {}};
  bool inRecord = false;
};
constexpr const char* kOutOfRange = "is out of range for its field";
constexpr const char* kWrongType = "has the wrong type";
constexpr const char* kTooLong = "is too long for its field";

void ExpectVariations(const std::vector<Variation>& variations) {
  TradeClient client;
  for (const Variation& v : variations) {
    for (const std::string& value : v.values) {
      Json::Value request = RequestNamed(v.name);
      (v.inRecord ? request["record_set"][0] : request)[v.key] = ParseJson(value);
      TradeRequestData out;
      Refusal why;
      const bool accepted = DispatchRequest(client, request, out, why);
      const std::string what = std::string(v.name) + " " + v.key + " " + value.substr(0, 20);
      if (v.refusal != nullptr) {
        EXPECT_EQ(DescribeRefusal(why), "key \"" + std::string(v.key) + "\" " + v.refusal) << what;
        EXPECT_FALSE(out.frame) << what;
        continue;
      }
      ASSERT_TRUE(accepted) << what << ": " << DescribeRefusal(why);
      const uint8_t* at = out.frame->data() + kHeaderSize + v.expect.offset;
      EXPECT_EQ(std::vector<uint8_t>(at, at + v.expect.bytes.size()), v.expect.bytes) << what;
    }
  }
}

// A whole number must fit its field wherever it is read: a code byte takes
// -128..255 (a negative one goes as its byte), a 4-byte integer and a
// quantity the signed 32-bit range. Past that it is refused, never wrapped
// into another code: in a byte that chooses a layout (305 would be '1', 306
// '2', 307 '3'), in an optional row, in a counted record. An optional one
// that is not whole is left zero.
TEST(Variations, IntegersMustFitTheirField) {
  ExpectVariations({
      {"OrderSubmit", "entrust_bs", {"305", "306", "256", "-129", "2147483648", "1e30"},
       kOutOfRange},
      {"OrderSubmit", "entrust_bs", {"49.5"}, kWrongType},
      {"OrderSubmit", "entrust_bs", {"255", "-1"}, nullptr, B(477, 0xFF)},
      {"OrderSubmit", "entrust_bs", {"-128"}, nullptr, B(477, 0x80)},
      {"OrderSubmit", "entrust_bs", {"0"}, nullptr, B(477, 0x00)},
      {"OrderSubmit", "entrust_bs", {"49.0"}, nullptr, B(477, 0x31)},
      {"OrderSubmit", "entrust_vol", {"2147483648", "-2147483649", "2147483648.0"}, kOutOfRange},
      {"OrderSubmit", "entrust_vol", {"1000.5"}, kWrongType},
      {"OrderSubmit", "entrust_vol", {"2147483647"}, nullptr, F64(461, 2147483647.0)},
      {"Login", "heart_beat", {"2147483648"}, kOutOfRange},
      {"Login", "heart_beat", {R"("30")"}, kWrongType},
      {"Login", "heart_beat", {"30.0"}, nullptr, I32(319, 30)},
      {"Login", "heart_beat", {"-2147483648"}, nullptr, I32(319, INT32_MIN)},
      {"OptionalOperation other", "op_type", {"307"}, kOutOfRange},
      {"OperAlgorithm_other_operation", "op_type", {"305"}, kOutOfRange},
      {"OperConditionOrder_other", "business_type", {"306"}, kOutOfRange},
      {"OperAlgorithm_new_AP", "quantity_ratio", {"2147483648", "-1e20"}, kOutOfRange},
      {"OperAlgorithm_new_AP", "quantity_ratio", {"1.5", R"("7")", "null"}, nullptr, I32(455, 0)},
      {"OperAlgorithm_new_AP", "quantity_ratio", {"-2147483648"}, nullptr, I32(455, INT32_MIN)},
      {"AddBasketSecurityBatch", "security_exchange", {"-129"}, kOutOfRange, {}, true},
      {"AddBasketSecurityBatch", "security_exchange", {"-128"}, nullptr, B(176 + 76, 0x80), true},
      {"StartBasketPlan", "entrust_bs", {"300"}, kOutOfRange, {}, true},
      {"StartBasketPlan", "entrust_bs", {"255"}, nullptr, B(393 + 84, 0xFF), true},
  });
}

std::string Quoted(size_t length) { return '"' + std::string(length, 'x') + '"'; }
std::string Filled(size_t width) { return std::string(width - 1, 'x') + '\0'; }

// A text fills its field less one byte, which stays zero.
TEST(Variations, TextsFitTheirFieldsWithAZero) {
  ExpectVariations({
      {"CreateBasket", "basket_name", {Quoted(256)}, kTooLong},
      {"CreateBasket", "basket_name", {Quoted(255)}, nullptr, T(136, Filled(256))},
      {"CreateBasket", "type", {Quoted(32)}, kTooLong},
      {"CreateBasket", "type", {Quoted(31)}, nullptr, T(392, Filled(32))},
      {"QueryHistoryMatchedStockList", "strategy_codes", {Quoted(256)}, kTooLong},
      {"QueryHistoryMatchedStockList", "strategy_codes", {Quoted(255)}, nullptr,
       T(136, Filled(256))},
      {"QuickConditionOrder", "fund_account", {Quoted(64)}, kTooLong},
  });
}

class Dispatch : public ::testing::Test {
 protected:
  bool SendValue(Json::Value request, TradeRequestData& out) {
    why = {};
    return DispatchRequest(client, request, out, why);
  }
  TradeClient client;
  Refusal why;
};

// Counts that are negative, not whole, or that would pass the 4 MiB body
// ceiling refuse the request before any record is looked at; a list shorter
// than its count refuses it too.
TEST_F(Dispatch, CountsAreBounded) {
  const struct {
    const char* name;
    const char* countKey;
    uint32_t fixed;
    uint32_t record;
  } counted[] = {
      {"AddBasketSecurityBatch", "record_set_cnt", 176, 134},
      {"StartBasketPlan", "basket_detail_cnt", 393, 118},
      {"OptionalOperation replace", "record_set_cnt", 122, 17},
  };
  constexpr uint64_t kCeiling = 4u * 1024 * 1024;
  for (const auto& c : counted) {
    Json::Value request = RequestNamed(c.name);
    request["record_set"] = Json::Value(Json::arrayValue);
    const uint64_t largest = (kCeiling - c.fixed) / c.record;  // the last count that fits
    TradeRequestData out;
    for (const std::string& count :
         std::vector<std::string>{"-1", "-2147483648", "2147483647", std::to_string(largest + 1),
                                  "1.5", R"("1")", "null", "4294967296"}) {
      request[c.countKey] = ParseJson(count);
      EXPECT_FALSE(SendValue(request, out)) << count;
      EXPECT_EQ(why.problem, Refusal::Problem::BadCount) << count;
      EXPECT_EQ(why.key, c.countKey) << count;
    }
    // At the ceiling the count itself is fine: the empty list is what fails.
    request[c.countKey] = static_cast<int>(largest);
    EXPECT_FALSE(SendValue(request, out));
    EXPECT_EQ(why.key, "record_set");
    request.removeMember(c.countKey);
    EXPECT_FALSE(SendValue(request, out));
    EXPECT_EQ(why.key, c.countKey);
    EXPECT_FALSE(out.frame);
    request[c.countKey] = 0;
    ASSERT_TRUE(SendValue(request, out)) << DescribeRefusal(why);
    EXPECT_EQ(out.frame->size(), c.fixed + 49u);
  }
  EXPECT_EQ(client.requestSeq.load(), 3u);
}

TEST_F(Dispatch, ShortListsAreRefusedAndLongOnesCut) {
  Json::Value plan = RequestNamed("StartBasketPlan");
  const Json::Value record = plan["record_set"][0];
  TradeRequestData out;
  plan["basket_detail_cnt"] = 2;
  EXPECT_FALSE(SendValue(plan, out));
  EXPECT_EQ(why.problem, Refusal::Problem::BadCount);
  EXPECT_EQ(why.key, "record_set");
  plan["basket_detail_cnt"] = 1;
  plan["record_set"] = Json::Value(Json::objectValue);
  plan["record_set"]["0"] = record;
  EXPECT_FALSE(SendValue(plan, out));
  EXPECT_EQ(why.problem, Refusal::Problem::WrongType);
  plan["record_set"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < 3; ++i) plan["record_set"].append(record);
  ASSERT_TRUE(SendValue(plan, out));
  EXPECT_EQ(out.frame->size(), 393u + 118 + 49);
  EXPECT_EQ(wire::Load<int32_t>(out.frame->data() + 45 + 389), 1);
  // A surplus element is not read at all, even when it would be refused.
  plan["record_set"][1] = ParseJson(R"({"x":1})");
  ASSERT_TRUE(SendValue(plan, out));
}

// Two clients drawing request numbers at once, from the one counter of the
// process.
class GeneratedNumbers : public ::testing::Test {
 protected:
  const Json::Value orderRequest = RequestNamed("OrderSubmit");
  const Json::Value cancelRequest = RequestNamed("OrderCancel");

  // The number an accepted order or cancel carries, as text at body offset 256.
  static std::string NumberOf(TradeClient& client, const Json::Value& request) {
    TradeRequestData out;
    EXPECT_TRUE(Send(client, request, out));
    if (!out.frame) return {};
    const char* text = reinterpret_cast<const char*>(out.frame->data() + kHeaderSize + 256);
    return std::string(text, strnlen(text, 128));
  }
};

// Every number they draw is its own.
TEST_F(GeneratedNumbers, TwoClientsNeverShareOne) {
  constexpr size_t kEach = 300;
  TradeClient clients[2];
  std::vector<std::string> numbers[2];
  auto send = [&](size_t which) {
    for (size_t i = 0; i < kEach; ++i) {
      const Json::Value& request = i % 2 == 0 ? orderRequest : cancelRequest;
      numbers[which].push_back(NumberOf(clients[which], request));
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

TEST_F(Dispatch, RefusesUnknownAndMalformedFuncIds) {
  TradeRequestData out;
  for (const char* text : {R"({"funcId":206})", R"({"funcId":209})", R"({"funcId":0})",
                           R"({"funcId":-1})", R"({"funcId":"1"})", R"({})", R"({"funcId":3})"}) {
    EXPECT_FALSE(SendValue(ParseJson(text), out)) << text;
  }
  EXPECT_EQ(client.requestSeq.load(), 0u);
}

TEST_F(Dispatch, ARefusedLoginIsStillTheSavedLogin) {
  TradeRequestData out;
  EXPECT_FALSE(SendValue(ParseJson(R"({"funcId":1,"user_name":"someone"})"), out));
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
  // Time texts: the leading digits, after any white space.
  EXPECT_EQ(LeadingDecimal("20240315abc"), 20240315u);
  EXPECT_EQ(LeadingDecimal(" \t42"), 42u);
  EXPECT_EQ(LeadingDecimal("x1"), 0u);
  EXPECT_EQ(LeadingDecimal("-5"), 0u);
  EXPECT_EQ(LeadingDecimal(""), 0u);
  EXPECT_EQ(LeadingDecimal("99999999999999999999999"), UINT64_MAX);
  // The largest values still fit: saturation starts only past them.
  EXPECT_EQ(LeadingDecimal("18446744073709551614"), UINT64_MAX - 1);
  EXPECT_EQ(LeadingDecimal("18446744073709551616"), UINT64_MAX);
}

}  // namespace
}  // namespace tessel
