// Every answer and push of the orders, queries and lists decoded from a body
// built here byte by byte (offsets and values as documented), and every one
// of those bodies cut at every length.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "messages/inbound/answer_layouts.h"
#include "test_support.h"

namespace tessel {
namespace {

using testing::ParseJson;

class Body {
 public:
  explicit Body(size_t size) : bytes_(size, 0) {}
  Body& Text(size_t at, const std::string& text) {
    std::memcpy(bytes_.data() + at, text.data(), text.size());
    return *this;
  }
  Body& Byte(size_t at, uint8_t value) {
    bytes_[at] = value;
    return *this;
  }
  template <typename T>
  Body& Num(size_t at, T value) {
    std::memcpy(bytes_.data() + at, &value, sizeof value);  // little-endian host
    return *this;
  }
  Body& Head(const std::string& user, int32_t errorNo, const std::string& info = "") {
    return Text(0, user).Num<int32_t>(64, errorNo).Text(68, info);
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

ParsedAnswer ParseBytes(const AnswerLayout& layout, const std::vector<uint8_t>& bytes) {
  return ParseAnswer(layout, BodyView(bytes.data(), bytes.size()));
}
Json::Value Parse(const AnswerLayout& layout, const Body& body) {
  return ParseJson(ParseBytes(layout, body.bytes()).text);
}

// Bodies by message type, for the decoding tests and the truncation test.
std::map<uint32_t, Body>& Bodies() {
  static std::map<uint32_t, Body> bodies = [] {
    std::map<uint32_t, Body> b;
    b.emplace(4, Body(340).Head("u1", 7, "refused").Text(323, "17000000001"));
    b.emplace(5, Body(260).Text(0, "u1").Text(64, "17000000002").Num<int32_t>(192, -999)
                     .Text(196, "login lost"));
    b.emplace(13, Body(459).Head("u", 0).Text(323, "c9").Text(387, "f9").Num(451, 1500.0));
    b.emplace(14, Body(459).Head("u", 0).Text(323, "c9").Text(387, "f9").Num(451, 300.0));
    b.emplace(6, Body(448 + 153).Head("u", 0).Byte(323, '0').Num(324, 1e6).Num(332, 2.5e6)
                     .Num<int32_t>(420, 1).Num(432, 0.1).Num<int32_t>(440, 153)
                     .Num<int32_t>(444, 1).Text(448, "c1").Text(512, "f1").Byte(576, '0')
                     .Num(577, 99.5).Num(585, 1.0).Num(593, 2.0));
    Body holders(331 + 2 * 318);
    holders.Head("u", 0).Num<int32_t>(323, 318).Num<int32_t>(327, 2);
    holders.Text(331, "c1").Byte(331 + 128, '2').Text(331 + 129, "000001").Text(331 + 141, "PAB")
        .Num(331 + 206, 1000.0).Num(331 + 238, 12345.5).Text(331 + 254, "pos1");
    holders.Text(649, "c1").Byte(649 + 128, '1').Text(649 + 129, "600000").Num(649 + 214, 50.0);
    b.emplace(7, holders);
    b.emplace(8, Body(331 + 1581).Head("u", 0).Num<int32_t>(323, 1581).Num<int32_t>(327, 1)
                     .Byte(331 + 128, 'K').Text(331 + 129, "00700").Text(331 + 205, "17000000001")
                     .Byte(331 + 333, '2').Num<int32_t>(331 + 336, 20240315)
                     .Num(331 + 344, 100.0).Byte(331 + 555, '0').Text(331 + 427, "orig")
                     .Text(331 + 557, "note"));
    b.emplace(9, Body(331 + 603).Head("u", 0).Num<int32_t>(323, 603).Num<int32_t>(327, 1)
                     .Byte(331 + 205, '1').Text(331 + 207, "e1").Text(331 + 129, "600000")
                     .Num(331 + 335, 100.0).Text(331 + 359, "b1").Text(331 + 467, "r1")
                     .Num(331 + 595, 5.0));
    Body history(331 + 2 * 600);
    history.Head("u", 0).Num<int32_t>(323, 600).Num<int32_t>(327, 2);
    history.Text(331 + 129, "600000").Text(331 + 459, "r1").Num<int32_t>(331 + 589, 20240314);
    history.Text(931 + 129, "000001").Text(931 + 459, "r2").Num<int32_t>(931 + 589, 20240315);
    b.emplace(11, history);
    b.emplace(12, Body(331 + 639).Head("u", 0).Num<int32_t>(323, 639).Num<int32_t>(327, 1)
                      .Byte(331 + 205, '2').Text(331 + 207, "r1").Text(331 + 499, "o1")
                      .Num<int32_t>(331 + 627, 20240315).Num(331 + 631, 1.5));
    b.emplace(15, Body(440).Text(0, "u").Text(64, "c").Num<int32_t>(128, -999).Text(132, "x")
                      .Byte(387, '0').Num(388, 10.0).Num<int32_t>(420, 1).Num(432, 0.5));
    Body days(335 + 3 * 8);
    days.Head("u", 0).Num<int32_t>(323, 6).Num<int32_t>(327, 8).Num<int32_t>(331, 3);
    for (int i = 0; i < 3; ++i) days.Num<int32_t>(335 + 8 * i, 20240301 + i).Num<int32_t>(339 + 8 * i, i + 1);
    b.emplace(16, days);
    b.emplace(18, days);
    b.emplace(100, Body(323).Head("u", -999, "login lost"));
    b.emplace(101, Body(331 + 109).Head("u", 0).Num<int32_t>(323, 109).Num<int32_t>(327, 1)
                       .Byte(331, 't').Text(332, "600000").Text(344, "PF Bank").Text(408, "p1"));
    b.emplace(102, Body(332).Head("u", 0).Num<int32_t>(323, 5).Text(327, "menus"));
    b.emplace(103, Body(331 + 205).Head("u", 0).Num<int32_t>(323, 205).Num<int32_t>(327, 1)
                       .Text(331, "c").Text(395, "f").Byte(459, '3').Text(460, "600000")
                       .Text(472, "PF Bank"));
    b.emplace(104, Body(331 + 160).Head("u", 0).Num<int32_t>(323, 160).Num<int32_t>(327, 1)
                       .Text(331, "dealer").Text(395, "c").Text(427, "op").Text(459, "p"));
    b.emplace(105, Body(395 + 202).Head("u", 0).Text(323, "unread").Text(355, "op7")
                       .Num<int32_t>(387, 202).Num<int32_t>(391, 1).Text(395, "f1")
                       .Text(459, "c1").Text(523, "A").Text(533, "stocks"));
    b.emplace(10, Body(915).Text(0, "u").Byte(256, 'K').Text(257, "00700").Text(269, "r1")
                      .Byte(397, '1').Num<int32_t>(399, 20240315).Num(424, 100.0)
                      .Num(432, 12.5).Text(649, "filled").Byte(906, '0').Num(907, 3.25));
    b.emplace(17, Body(230).Text(0, "u").Text(64, "r1").Num<int32_t>(192, 93000)
                      .Text(196, "600000").Num<int32_t>(208, 0).Text(212, "accepted"));
    b.emplace(206, Body(48 + 25).Num<uint64_t>(0, 0x8000000000000001ull).Text(8, "S1")
                       .Num<int32_t>(40, 25).Num<int32_t>(44, 3).Text(48, "600000")
                       .Byte(60, '1').Num<int32_t>(61, 2).Num<uint64_t>(65, 20240315093000ull));
    b.emplace(300, Body(269).Text(0, "new").Text(192, "600000").Byte(268, 'v'));
    b.emplace(301, Body(188).Text(0, "f1").Num<int32_t>(128, 1).Num(140, 5000.0)
                       .Num<int64_t>(172, 3000000000LL).Num(180, 1.0));
    b.emplace(302, Body(261).Text(0, "f1").Byte(128, '1').Text(129, "600000")
                       .Num(205, 200.0).Num<int64_t>(245, -5));
    b.emplace(303, Body(256).Text(0, "f1").Num(132, 7.5).Num<int32_t>(196, 2).Num(248, 0.25));
    b.emplace(304, Body(72).Text(0, "f1").Num(64, 88.0));
    b.emplace(305, Body(10).Byte(0, '1').Byte(1, '0').Num(2, 2.5));
    return b;
  }();
  return bodies;
}

const AnswerLayout& LayoutOf(uint32_t type) {
  if (const PushType* push = FindPushType(type)) return *push->layout;
  return *FindAnswerType(type)->layout;
}

Json::Value Decoded(uint32_t type) { return Parse(LayoutOf(type), Bodies().at(type)); }

TEST(OrderAnswers, KeysAndHeads) {
  const Json::Value submit = Decoded(4);
  EXPECT_EQ(submit["error_no"].asInt(), 7);
  EXPECT_EQ(submit["request_no"].asString(), "17000000001");  // an error still carries it
  const ParsedAnswer cancel = ParseBytes(kOrderCancelAnswer, Bodies().at(5).bytes());
  const Json::Value c = ParseJson(cancel.text);
  EXPECT_EQ(c["error_no"].asInt(), -999);
  EXPECT_EQ(c["error_info"].asString(), "login lost");
  EXPECT_EQ(c["request_no"].asString(), "17000000002");
  EXPECT_TRUE(cancel.loginLost);
  const Json::Value sell = Decoded(13);
  EXPECT_EQ(sell["cliend_id"].asString(), "c9");
  EXPECT_FALSE(sell.isMember("client_id"));
  EXPECT_EQ(sell["enable_amount"].asDouble(), 1500.0);
  EXPECT_EQ(Decoded(14)["client_id"].asString(), "c9");
}

TEST(QueryAnswers, FundsAndPositions) {
  const Json::Value money = Decoded(6);
  EXPECT_EQ(money["currency"].asInt(), '0');
  EXPECT_EQ(money["total_asset"].asDouble(), 2.5e6);
  EXPECT_EQ(money["local_currency"].asInt(), 1);
  EXPECT_EQ(money["record_set_cnt"].asInt(), 1);
  ASSERT_EQ(money["record_set"].size(), 1u);
  EXPECT_EQ(money["record_set"][0]["enable_balance"].asDouble(), 99.5);
  EXPECT_EQ(money["record_set"][0]["interest"].asDouble(), 2.0);
  const Json::Value holder = Decoded(7);
  EXPECT_EQ(holder["record_set_cnt"].asInt(), 2);
  ASSERT_EQ(holder["holders"].size(), 2u);
  EXPECT_EQ(holder["holders"][0]["exchange_type"].asInt(), 50);
  EXPECT_EQ(holder["holders"][0]["market"].asInt(), 0);
  EXPECT_EQ(holder["holders"][0]["market_value"].asDouble(), 12345.5);
  EXPECT_EQ(holder["holders"][0]["position_str"].asString(), "pos1");
  EXPECT_EQ(holder["holders"][1]["market"].asInt(), 1);
  EXPECT_EQ(holder["holders"][1]["enable_vol"].asDouble(), 50.0);
}

TEST(QueryAnswers, OrdersAndTrades) {
  const Json::Value orders = Decoded(8);
  EXPECT_FALSE(orders.isMember("record_set_cnt"));
  ASSERT_EQ(orders["records"].size(), 1u);
  const Json::Value& order = orders["records"][0];
  EXPECT_EQ(order["market"].asInt(), 2);
  EXPECT_EQ(order["exchange_type"].asInt(), 'K');
  EXPECT_EQ(order["entrust_no"].asString(), "17000000001");
  EXPECT_EQ(order["request_no"].asString(), "17000000001");
  EXPECT_EQ(order["entrust_bs"].asInt(), 0);
  EXPECT_EQ(order["business_type"].asInt(), '0');
  EXPECT_EQ(order["text"].asString(), "note");
  const Json::Value trades = Decoded(9);
  EXPECT_EQ(trades["records"][0]["entrust_bs"].asInt(), 1);
  EXPECT_EQ(trades["records"][0]["trade_fee"].asDouble(), 5.0);
  EXPECT_EQ(trades["records"][0]["request_no"].asString(), "r1");
  // A wider record_len than the record: each read from the start of its slot.
  const Json::Value history = Decoded(11);
  ASSERT_EQ(history["record_set"].size(), 2u);
  EXPECT_EQ(history["record_set"][1]["stock_code"].asString(), "000001");
  EXPECT_EQ(history["record_set"][1]["request_no"].asString(), "r2");
  EXPECT_EQ(history["record_set"][1]["trade_date"].asInt(), 20240315);
  const Json::Value pastTrades = Decoded(12);
  EXPECT_EQ(pastTrades["record_set"][0]["orig_request_no"].asString(), "o1");
  EXPECT_EQ(pastTrades["record_set"][0]["entrust_bs"].asInt(), 0);
}

TEST(QueryAnswers, AnErrorKeepsTheScalarsAndEmptiesTheList) {
  Body failed = Bodies().at(6);
  failed.Num<int32_t>(64, -999);
  const ParsedAnswer answer = ParseBytes(kQryMoneyAnswer, failed.bytes());
  const Json::Value money = ParseJson(answer.text);
  EXPECT_EQ(money["total_asset"].asDouble(), 2.5e6);
  EXPECT_TRUE(money["record_set"].isArray());
  EXPECT_EQ(money["record_set"].size(), 0u);
  EXPECT_TRUE(answer.loginLost);
}

TEST(ListAnswers, StatisticsAndLists) {
  const ParsedAnswer profit = ParseBytes(kQryProfitAndLossAnswer, Bodies().at(15).bytes());
  EXPECT_TRUE(profit.loginLost);
  EXPECT_EQ(ParseJson(profit.text)["username"].asString(), "u");
  EXPECT_EQ(ParseJson(profit.text)["error_no"].asInt(), -999);
  const Json::Value trades = Decoded(16);
  EXPECT_EQ(trades["record_set_cnt"].asInt(), 3);
  EXPECT_EQ(trades["business_num_all"].asInt(), 6);
  EXPECT_EQ(trades["record_set"][2]["business_date"].asInt(), 20240303);
  EXPECT_EQ(trades["record_set"][2]["business_num"].asInt(), 3);
  const Json::Value orders = Decoded(18);
  EXPECT_EQ(orders["entrust_num_all"].asInt(), 6);
  EXPECT_EQ(orders["record_set"][0]["entrust_date"].asInt(), 20240301);
  // The password change never asks for a relogin.
  EXPECT_FALSE(ParseBytes(kModifyPwdAnswer, Bodies().at(100).bytes()).loginLost);
  const Json::Value watch = Decoded(101);
  EXPECT_FALSE(watch.isMember("record_set_cnt"));
  EXPECT_EQ(watch["record_set"][0]["mark"].asInt(), 1);
  EXPECT_EQ(watch["record_set"][0]["security_exchange"].asInt(), 116);
  EXPECT_EQ(watch["record_set"][0]["code"].asString(), "600000");
  EXPECT_EQ(Decoded(102)["menu_config"].asString(), "menus");
  EXPECT_EQ(Decoded(103)["record_set"][0]["mark"].asInt(), 1);
  EXPECT_EQ(Decoded(103)["record_set"][0]["security_name"].asString(), "PF Bank");
  EXPECT_EQ(Decoded(104)["record_set"][0]["operator_id"].asString(), "op");
  const Json::Value capital = Decoded(105);
  EXPECT_EQ(capital["operator_id"].asString(), "op7");
  EXPECT_EQ(capital["record_set"][0]["busi_type_desc"].asString(), "stocks");
  for (uint32_t never : {102u, 103u, 104u, 105u}) {
    Body lost = Bodies().at(never);
    lost.Num<int32_t>(64, -999);
    EXPECT_FALSE(ParseBytes(LayoutOf(never), lost.bytes()).loginLost) << never;
  }
}

TEST(ListAnswers, MenuTextIsBoundedByItsLengthAndTheBody) {
  Body zero = Bodies().at(102);
  zero.Num<int32_t>(323, 0);
  EXPECT_EQ(Parse(kUserMenuauthAnswer, zero)["menu_config"].asString(), "");
  Body inner = Bodies().at(102);
  inner.Byte(329, 0);
  EXPECT_EQ(Parse(kUserMenuauthAnswer, inner)["menu_config"].asString(), "me");
  Body huge = Bodies().at(102);
  huge.Num<int32_t>(323, 1 << 30);
  EXPECT_EQ(Parse(kUserMenuauthAnswer, huge)["menu_config"].asString(), "menus");
}

TEST(PushMessages, Keys) {
  const Json::Value execution = Decoded(10);
  EXPECT_EQ(execution["push_type"].asInt(), 10);
  EXPECT_EQ(execution["security_exchange"].asInt(), 75);
  EXPECT_EQ(execution["market"].asInt(), 2);
  EXPECT_EQ(execution["entrust_bs"].asInt(), 1);
  EXPECT_EQ(execution["business_price"].asDouble(), 12.5);
  EXPECT_EQ(execution["trade_fee"].asDouble(), 3.25);
  const Json::Value progress = Decoded(17);
  EXPECT_EQ(progress["username"].asString(), "u");
  EXPECT_EQ(progress["error_info"].asString(), "accepted");
  const Json::Value match = Decoded(206);
  EXPECT_EQ(match["message_id"].asUInt64(), 0x8000000000000001ull);
  EXPECT_EQ(match["record_set_size"].asInt(), 25);
  EXPECT_TRUE(match["record_set_cnt"].isUInt());
  EXPECT_EQ(match["record_set_cnt"].asUInt(), 1u);  // whatever the count field says
  ASSERT_EQ(match["records"].size(), 1u);
  EXPECT_EQ(match["records"][0]["market"].asInt(), 1);
  EXPECT_EQ(match["records"][0]["matched_time"].asString(), "20240315093000");
  EXPECT_EQ(Decoded(300)["market"].asInt(), 0);
  EXPECT_EQ(Decoded(301)["trigger_time"].asInt64(), 3000000000LL);
  EXPECT_EQ(Decoded(302)["transAmount"].asInt64(), -5);
  EXPECT_EQ(Decoded(303)["margin_add"].asDouble(), 0.25);
  EXPECT_EQ(Decoded(304)["limitBalance"].asDouble(), 88.0);
  const Json::Value config = Decoded(305);
  EXPECT_EQ(config["currency"].asInt(), 49);
  EXPECT_EQ(config["dma"].asInt(), 48);
  EXPECT_EQ(config["balance"].asDouble(), 2.5);
  EXPECT_EQ(config["push_type"].asInt(), 305);
}

// JSON has no infinity or NaN: a server number that is one reads as null,
// so the text stays JSON a host's reader takes.
TEST(PushMessages, NumbersJsonCannotHoldReadAsNull) {
  for (const double odd : {HUGE_VAL, -HUGE_VAL, std::nan("")}) {
    const std::string text =
        ParseBytes(LayoutOf(304), Body(72).Text(0, "f1").Num(64, odd).bytes()).text;
    const Json::Value push = ParseJson(text);
    EXPECT_TRUE(push["limitBalance"].isNull()) << text;
    EXPECT_EQ(push["fund_account"].asString(), "f1");
  }
}

// Every body above cut at every length, each cut in a heap block of exactly
// that size: an address-sanitizer build catches any read past the end.
TEST(AnswerBounds, EveryCutOfEveryBodyParses) {
  for (const auto& [type, body] : Bodies()) {
    const std::vector<uint8_t>& full = body.bytes();
    for (size_t cut = 0; cut <= full.size(); ++cut) {
      const std::unique_ptr<uint8_t[]> exact(new uint8_t[cut == 0 ? 1 : cut]);
      if (cut > 0) std::memcpy(exact.get(), full.data(), cut);
      const ParsedAnswer answer = ParseAnswer(LayoutOf(type), BodyView(exact.get(), cut));
      Json::Value parsed;
      std::string errors;
      const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
      ASSERT_TRUE(reader->parse(answer.text.data(), answer.text.data() + answer.text.size(),
                                &parsed, &errors))
          << type << " cut at " << cut;
    }
  }
}

TEST(AnswerBounds, CountsFromTheServerNeverSizeTheList) {
  Body lying = Bodies().at(7);
  lying.Num<int32_t>(327, INT32_MAX);
  EXPECT_EQ(Parse(kQryHolderAnswer, lying)["holders"].size(), 2u);
  // A record_len below the record's size makes the slots overlap: no
  // record is read, rather than the same bytes again and again.
  lying.Num<int32_t>(323, 1);
  EXPECT_EQ(Parse(kQryHolderAnswer, lying)["holders"].size(), 0u);
}

}  // namespace
}  // namespace tessel
