// Every answer and push decoded from a body built here at the documented
// offsets: each field gets a value of its own, and the answer must report
// exactly that value under the field's key. The same bodies, cut at every
// length or with their counts and strides changed, must be read only as far
// as they go.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "messages/inbound/answer_layouts.h"
#include "test_support.h"

namespace tessel {
namespace {

using testing::ParseJson;

// How a field is written, and what it must read as.
enum class As : uint8_t {
  Text,     // three letters and a zero
  Rest,     // a 100-byte text that ends the body: longer than any field
  I32,      // negative
  I64,      // negative, beyond 32 bits
  F64,
  U64,      // above the signed range, reported as a number
  U64Text,  // the same, reported as decimal text
  Code,     // a byte reported signed: negative unless a mapped field shares it
  Market,   // 'K', reported as market 2
  Bs,       // '2', reported as direction 0
  Zero,     // the head's error number: 0, so that records are read
};

struct Field {
  const char* key;
  uint32_t offset;
  As as;
};
using Fields = std::vector<Field>;

Fields operator+(Fields head, const Fields& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

struct AnswerRow {
  uint32_t type;
  Fields fields;             // outside the records
  Fields record = {};        // from the start of each record
  uint32_t recordLenAt = 0;  // record_len here, the count after it; 0: no records
  uint32_t recordSize = 0;   // as documented; the server's slots are wider
  const char* listKey = "record_set";
  const char* countKey = "record_set_cnt";
  const char* sizeKey = "record_set_size";
  bool complete = true;      // the fields name every key the answer has
  bool relogin = true;       // -999 in the head asks for a relogin
  bool one = false;          // exactly one record, whatever the count says
};

// The main channel's common head.
const Fields kHead = {{"user_name", 0, As::Text}, {"error_no", 64, As::Zero},
                      {"error_info", 68, As::Text}};
// The per-day counts name the user "username".
const Fields kCountsHead = {{"username", 0, As::Text}, {"error_no", 64, As::Zero},
                            {"error_info", 68, As::Text}};
// Most basket answers: the request number, the error, the user.
const Fields kNumberHead = {{"request_no", 0, As::U64Text}, {"error_no", 8, As::Zero},
                            {"error_info", 12, As::Text}, {"user_name", 268, As::Text}};
// Changing one security: its detail id before the error.
const Fields kDetailIdHead = {{"request_no", 0, As::U64Text}, {"basket_detail_id", 8, As::Text},
                              {"error_no", 72, As::Zero}, {"error_info", 76, As::Text},
                              {"user_name", 332, As::Rest}};
const Fields kPlanHead =
    kNumberHead + Fields{{"basket_no", 332, As::Text}, {"batch_no", 364, As::Text}};
// The algorithm answers name the user "user_name", the condition-order and
// strategy answers "username".
const Fields kAlgorithmHead = {{"request_no", 0, As::U64Text}, {"user_name", 8, As::Text},
                               {"error_no", 72, As::Zero}, {"error_info", 76, As::Text}};
const Fields kConditionHead = {{"request_no", 0, As::U64Text}, {"username", 8, As::Text},
                               {"error_no", 72, As::Zero}, {"error_info", 76, As::Text}};

// A matched security, in the strategy list and in its push: the exchange
// byte twice, as sent and mapped to a market.
const Fields kMatchedRecord = {{"security_code", 0, As::Text}, {"security_exchange", 12, As::Code},
                               {"market", 12, As::Market}, {"trade_status", 13, As::I32},
                               {"matched_time", 17, As::U64Text}};

// Where a row lists only some keys (complete is false), the others are
// left zero and not checked.
const std::vector<AnswerRow>& Rows() {
  static const std::vector<AnswerRow> rows = {
      // --- orders ---
      {4, kHead + Fields{{"request_no", 323, As::Rest}}},
      // The cancel's head: its number before the error.
      {5, {{"user_name", 0, As::Text}, {"request_no", 64, As::Text}, {"error_no", 192, As::Zero},
           {"error_info", 196, As::Rest}}},
      // The sell answer spells its client key "cliend_id", the buy answer does not.
      {13, kHead + Fields{{"cliend_id", 323, As::Text}, {"fund_account", 387, As::Text},
                          {"enable_amount", 451, As::F64}}},
      {14, kHead + Fields{{"client_id", 323, As::Text}, {"fund_account", 387, As::Text},
                          {"enable_amount", 451, As::F64}}},
      // --- queries ---
      {6, kHead + Fields{{"currency", 323, As::Code}, {"market_value", 324, As::F64},
                         {"total_asset", 332, As::F64}, {"local_currency", 420, As::I32},
                         {"margin_call", 432, As::F64}},
       {{"client_id", 0, As::Text}, {"fund_account", 64, As::Text}, {"currency", 128, As::Code},
        {"enable_balance", 129, As::F64}, {"margin", 137, As::F64}, {"interest", 145, As::F64}},
       440, 153, "record_set", "record_set_cnt", nullptr, false},
      {7, kHead,
       {{"client_id", 0, As::Text}, {"exchange_type", 128, As::Code}, {"market", 128, As::Market},
        {"stock_code", 129, As::Text}, {"stock_name", 141, As::Text},
        {"current_vol", 206, As::F64}, {"enable_vol", 214, As::F64},
        {"market_value", 238, As::F64}, {"position_str", 254, As::Text}},
       323, 318, "holders", "record_set_cnt", nullptr, false},
      // "entrust_no" and "request_no" report one field.
      {8, kHead,
       {{"exchange_type", 128, As::Code}, {"market", 128, As::Market},
        {"stock_code", 129, As::Text}, {"entrust_no", 205, As::Text},
        {"request_no", 205, As::Text}, {"entrust_bs", 333, As::Bs},
        {"entrust_date", 336, As::I32}, {"entrust_vol", 344, As::F64},
        {"orig_request_no", 427, As::Text}, {"business_type", 555, As::Code},
        {"text", 557, As::Text}},
       323, 1581, "records", nullptr, nullptr, false},
      {9, kHead,
       {{"stock_code", 129, As::Text}, {"entrust_bs", 205, As::Bs},
        {"entrust_no", 207, As::Text}, {"business_vol", 335, As::F64},
        {"business_no", 359, As::Text}, {"request_no", 467, As::Text},
        {"trade_fee", 595, As::F64}},
       323, 603, "records", nullptr, nullptr, false},
      {11, kHead,
       {{"stock_code", 129, As::Text}, {"request_no", 459, As::Text},
        {"trade_date", 589, As::I32}},
       323, 593, "record_set", "record_set_cnt", nullptr, false},
      {12, kHead,
       {{"entrust_bs", 205, As::Bs}, {"request_no", 207, As::Text},
        {"orig_request_no", 499, As::Text}, {"trade_date", 627, As::I32},
        {"trade_fee", 631, As::F64}},
       323, 639, "record_set", "record_set_cnt", nullptr, false},
      // --- statistics and lists ---
      // Profit and loss: the error after the client.
      {15, {{"username", 0, As::Text}, {"client_id", 64, As::Text}, {"error_no", 128, As::Zero},
            {"error_info", 132, As::Text}, {"currency", 387, As::Code},
            {"profit_loss", 388, As::F64}, {"local_currency", 420, As::I32},
            {"top_fail_back", 432, As::F64}},
       {}, 0, 0, "record_set", nullptr, nullptr, false},
      {16, kCountsHead + Fields{{"business_num_all", 323, As::I32}},
       {{"business_date", 0, As::I32}, {"business_num", 4, As::I32}}, 327, 8, "record_set",
       "record_set_cnt", nullptr},
      {18, kCountsHead + Fields{{"entrust_num_all", 323, As::I32}},
       {{"entrust_date", 0, As::I32}, {"entrust_num", 4, As::I32}}, 327, 8, "record_set",
       "record_set_cnt", nullptr},
      // The password change and the reference lists never ask for a relogin.
      {100, kHead, {}, 0, 0, "record_set", nullptr, nullptr, true, false},
      {101, kHead,
       {{"mark", 0, As::Market}, {"security_exchange", 0, As::Code}, {"code", 1, As::Text},
        {"security_name", 13, As::Text}, {"position_str", 77, As::Text}},
       323, 109, "record_set", nullptr, nullptr},
      // The menu text is checked on its own, below.
      {102, kHead, {}, 0, 0, "record_set", nullptr, nullptr, false, false},
      {103, kHead,
       {{"client_id", 0, As::Text}, {"fund_account", 64, As::Text},
        {"security_exchange", 128, As::Code}, {"mark", 128, As::Market},
        {"code", 129, As::Text}, {"security_name", 141, As::Text}},
       323, 205, "record_set", nullptr, nullptr, true, false},
      {104, kHead,
       {{"user_name", 0, As::Text}, {"client_id", 64, As::Text}, {"operator_id", 96, As::Text},
        {"position_str", 128, As::Text}},
       323, 160, "record_set", nullptr, nullptr, true, false},
      // 32 bytes at 323 are not read.
      {105, kHead + Fields{{"operator_id", 355, As::Text}},
       {{"fund_account", 0, As::Text}, {"client_id", 64, As::Text}, {"busi_type", 128, As::Text},
        {"busi_type_desc", 138, As::Text}},
       387, 202, "record_set", nullptr, nullptr, true, false},
      // --- pushes ---
      {10, {{"user_name", 0, As::Text}, {"security_exchange", 256, As::Code},
            {"market", 256, As::Market}, {"security_code", 257, As::Text},
            {"request_no", 269, As::Text}, {"entrust_bs", 397, As::Bs},
            {"cur_date", 399, As::I32}, {"business_amount", 424, As::F64},
            {"business_price", 432, As::F64}, {"text", 649, As::Text},
            {"entrust_type", 906, As::Code}, {"trade_fee", 907, As::F64}},
       {}, 0, 0, "record_set", nullptr, nullptr, false},
      {17, {{"username", 0, As::Text}, {"request_no", 64, As::Text},
            {"entrust_time", 192, As::I32}, {"security_code", 196, As::Text},
            {"error_no", 208, As::I32}, {"error_info", 212, As::Rest}}},
      // One record is always read, whatever the count says.
      {206, {{"message_id", 0, As::U64}, {"strategy_code", 8, As::Text}},
       kMatchedRecord, 40, 25, "records", "record_set_cnt", "record_set_size", true, true, true},
      {300, {{"update_status", 0, As::Text}, {"security_code", 192, As::Text},
             {"security_exchange", 268, As::Code}, {"market", 268, As::Market}},
       {}, 0, 0, "record_set", nullptr, nullptr, false},
      {301, {{"fund_account", 0, As::Text}, {"currency", 128, As::I32},
             {"purchase_power", 140, As::F64}, {"trigger_time", 172, As::I64},
             {"limit_total", 180, As::F64}},
       {}, 0, 0, "record_set", nullptr, nullptr, false},
      {302, {{"fund_account", 0, As::Text}, {"security_exchange", 128, As::Code},
             {"security_code", 129, As::Text}, {"current_amount", 205, As::F64},
             {"transAmount", 245, As::I64}},
       {}, 0, 0, "record_set", nullptr, nullptr, false},
      {303, {{"fund_account", 0, As::Text}, {"market_value", 132, As::F64},
             {"local_currency", 196, As::I32}, {"margin_add", 248, As::F64}},
       {}, 0, 0, "record_set", nullptr, nullptr, false},
      {304, {{"fund_account", 0, As::Text}, {"limitBalance", 64, As::F64}}},
      {305, {{"currency", 0, As::Code}, {"dma", 1, As::Code}, {"balance", 2, As::F64}}},
      // --- baskets ---
      {106, kNumberHead + Fields{{"basket_no", 332, As::Text}, {"basket_name", 364, As::Text},
                                 {"basket_type", 620, As::Rest}}},
      {107, kNumberHead + Fields{{"basket_no", 332, As::Rest}}},
      {108, kNumberHead + Fields{{"basket_no", 332, As::Rest}}},
      {109, kNumberHead,
       {{"basket_no", 0, As::Text}, {"basket_name", 32, As::Text}, {"type", 288, As::Text}},
       332, 320},
      {110, kNumberHead + Fields{{"basket_detail_id", 332, As::Rest}}},
      {111, kDetailIdHead},
      {112, kDetailIdHead},
      {113, {{"request_no", 0, As::U64Text}, {"error_no", 8, As::Zero},
             {"error_info", 12, As::Text}, {"user_name", 268, As::Rest}}},
      {114, kNumberHead,
       {{"basket_no", 0, As::Text}, {"basket_detail_id", 32, As::Text},
        {"security_code", 96, As::Text}, {"security_name", 108, As::Text},
        {"security_exchange", 172, As::Code}, {"algorithm_type", 173, As::Text},
        {"entrust_bs", 189, As::Code}, {"entrust_price_type", 190, As::Text},
        {"limit_price", 194, As::F64}, {"price", 202, As::F64}, {"amount", 210, As::I32},
        {"smallest_entrust_amount", 214, As::F64}, {"smallest_entrust_balance", 222, As::F64}},
       332, 230},
      // --- basket plans ---
      {115, kNumberHead + Fields{{"basket_no", 332, As::Text}, {"batch_no", 364, As::Rest}}},
      {116, kNumberHead,
       {{"basket_no", 0, As::Text}, {"batch_no", 32, As::Text}, {"basket_name", 64, As::Text},
        {"fund_account", 192, As::Text}, {"basket_type", 256, As::Text},
        {"status", 272, As::Text}, {"start_time", 304, As::U64Text},
        {"business_amount", 312, As::F64}, {"entrust_amount", 320, As::F64}},
       332, 328},
      {117, kPlanHead,
       {{"security_code", 0, As::Text}, {"security_name", 12, As::Text},
        {"security_exchange", 76, As::Code}, {"algorithm_type", 77, As::Text},
        {"entrust_bs", 93, As::Code}, {"entrust_price_type", 94, As::Text},
        {"entrust_price", 98, As::F64}, {"entrust_amount", 106, As::F64},
        {"business_entrust_amount", 114, As::F64}},
       396, 122},
      {118, kPlanHead,
       {{"security_code", 0, As::Text}, {"security_name", 12, As::Text},
        {"security_exchange", 76, As::Code}, {"entrust_bs", 77, As::Code},
        {"entrust_price", 78, As::F64}, {"entrust_amount", 86, As::F64},
        {"entrust_status", 94, As::Code}, {"entrust_time", 95, As::U64Text},
        {"business_amount", 103, As::F64}, {"business_balance", 111, As::F64},
        {"business_price", 119, As::F64}, {"entrust_msg", 127, As::Text},
        {"position_str", 255, As::Text}},
       396, 287},
      {119, kPlanHead,
       {{"security_code", 0, As::Text}, {"security_name", 12, As::Text},
        {"security_exchange", 76, As::Code}, {"entrust_bs", 77, As::Code},
        {"business_amount", 78, As::F64}, {"business_balance", 86, As::F64},
        {"business_price", 94, As::F64}, {"business_time", 102, As::U64Text},
        {"position_str", 110, As::Text}},
       396, 142},
      // --- algorithms and condition orders: times are numbers here ---
      {120, kAlgorithmHead,
       {{"client_id", 0, As::Text}, {"fund_account", 64, As::Text},
        {"algorithm_no", 128, As::Text}, {"basket_no", 160, As::Text},
        {"batch_no", 192, As::Text}, {"algorithm_type", 224, As::Text},
        {"security_code", 240, As::Text}, {"security_name", 252, As::Text},
        {"security_exchange", 316, As::Code}, {"entrust_bs", 317, As::Code},
        {"entrust_amount", 318, As::F64}, {"entrust_amount_remain", 326, As::F64},
        {"business_amount", 334, As::F64}, {"algorithm_status", 342, As::Text},
        {"entrust_time", 358, As::U64}, {"begin_time", 366, As::U64},
        {"end_time", 374, As::U64}, {"limit_price_basic", 382, As::Text},
        {"limit_price_unit", 398, As::Text}, {"limit_price_change", 414, As::F64},
        {"quantity_ratio", 422, As::I32}, {"stop_sell_limit_up", 426, As::I32},
        {"cancel_order_limit_down", 430, As::I32}, {"smallest_entrust_amount", 434, As::F64},
        {"smallest_entrust_balance", 442, As::F64}, {"position_str", 450, As::Text},
        {"price_type", 482, As::Text}},
       332, 490},
      {121, kAlgorithmHead,
       {{"order_no", 0, As::Text}, {"fund_account", 32, As::Text},
        {"security_code", 96, As::Text}, {"security_name", 108, As::Text},
        {"security_exchange", 172, As::Code}, {"entrust_no", 173, As::Text},
        {"entrust_bs", 205, As::Code}, {"entrust_price", 206, As::F64},
        {"entrust_amount", 214, As::F64}, {"entrust_status", 222, As::Code},
        {"business_amount", 223, As::F64}, {"business_balance", 231, As::F64},
        {"business_price", 239, As::F64}, {"entrust_time", 247, As::U64},
        {"entrust_msg", 255, As::Text}, {"position_str", 383, As::Text}},
       332, 415},
      {122, kAlgorithmHead + Fields{{"algorithm_or_order_no", 332, As::Rest}}},
      // Creating and operating a condition order share one answer.
      {200, kConditionHead + Fields{{"condition_no", 332, As::Rest}}},
      {201, kConditionHead,
       {{"condition_no", 0, As::Text}, {"security_code", 32, As::Text},
        {"security_name", 44, As::Text}, {"security_exchange", 108, As::Code},
        {"con_type", 109, As::Text}, {"entrust_bs", 125, As::Code},
        {"con_trigger_date", 126, As::Text}, {"con_trigger_price", 138, As::F64},
        {"entrust_amount", 146, As::F64}, {"remark", 154, As::Text}, {"status", 274, As::Text},
        {"message", 294, As::Text}, {"position_str", 414, As::Text},
        {"fund_account", 446, As::Text}},
       332, 510},
      {202, kConditionHead + Fields{{"order_request_no", 332, As::Rest}}},
      {203, kConditionHead + Fields{{"condition_no", 332, As::Rest}}},
      // --- strategy and statistics ---
      {204, kConditionHead,
       {{"strategy_code", 0, As::Text}, {"strategy_name", 32, As::Text},
        {"strategy_desc", 96, As::Text}, {"strategy_desc_ext", 608, As::Text}},
       332, 1120},
      {205, kConditionHead + Fields{{"strategy_code", 332, As::Text}}, kMatchedRecord, 364, 25},
      {207, kConditionHead + Fields{{"bargain_balance", 332, As::F64},
                                    {"trans_amount", 340, As::I32}}},
      // The entrust configuration alone reports its request number as a number.
      {208, {{"request_no", 0, As::U64}, {"username", 8, As::Text}, {"error_no", 72, As::Zero},
             {"error_info", 76, As::Text}, {"currency", 332, As::Code}, {"dma", 333, As::Code},
             {"balance", 334, As::F64}}},
  };
  return rows;
}

// Two records in slots 7 bytes wider than a record, padded with 'Z'.
uint32_t Stride(const AnswerRow& row) { return row.recordSize + 7; }
size_t FirstRecord(const AnswerRow& row) { return row.recordLenAt + 8; }

template <typename T>
void Put(std::vector<uint8_t>& body, size_t at, T value) {
  std::memcpy(body.data() + at, &value, sizeof value);  // little-endian host
}

// Values follow from where the field sits in the body, so that no two
// fields, and no two records, share one.
std::string Word(size_t at) {
  return {static_cast<char>('a' + at % 26), static_cast<char>('a' + at / 26 % 26),
          static_cast<char>('a' + at / 676 % 26)};
}

Json::Value Expected(const Field& field, const std::vector<uint8_t>& body, size_t base) {
  const size_t at = base + field.offset;
  switch (field.as) {
    case As::Text: return Word(at);
    case As::Rest: return Word(at) + std::string(97, 'r');
    case As::I32: return -100000 - static_cast<int>(at);
    case As::I64: return Json::Int64{-3000000000LL * static_cast<int64_t>(at + 1)};
    case As::F64: return static_cast<double>(at) + 0.25;
    case As::U64: return Json::UInt64{0x8000000000000000ull + at};
    case As::U64Text: return std::to_string(0x8000000000000000ull + at);
    case As::Code: return static_cast<int>(static_cast<int8_t>(body[at]));
    case As::Market: return 2;
    case As::Bs:
    case As::Zero: return 0;
  }
  return Json::Value();
}

void PutFields(std::vector<uint8_t>& body, size_t base, const Fields& fields) {
  for (const Field& field : fields) {
    const size_t at = base + field.offset;
    const Json::Value value = Expected(field, body, base);
    switch (field.as) {
      case As::Text:
      case As::Rest: std::memcpy(&body[at], value.asCString(), value.asString().size()); break;
      case As::I32:
      case As::Zero: Put<int32_t>(body, at, value.asInt()); break;
      case As::I64: Put<int64_t>(body, at, value.asInt64()); break;
      case As::F64: Put<double>(body, at, value.asDouble()); break;
      case As::U64: Put<uint64_t>(body, at, value.asUInt64()); break;
      case As::U64Text: Put<uint64_t>(body, at, std::stoull(value.asString())); break;
      case As::Code:  // unless a mapped code shares the byte and decides it
        if (body[at] == 0) body[at] = static_cast<uint8_t>(0x80 + at % 0x80);
        break;
      case As::Market: body[at] = 'K'; break;
      case As::Bs: body[at] = '2'; break;
    }
  }
}

std::vector<uint8_t> BuildBody(const AnswerRow& row) {
  size_t size = row.recordLenAt == 0 ? 0 : FirstRecord(row) + 2 * Stride(row);
  for (const Field& field : row.fields) {
    size = std::max<size_t>(size, field.offset + (field.as == As::Rest ? 100 : 8));
  }
  std::vector<uint8_t> body(size, 0);
  PutFields(body, 0, row.fields);
  if (row.recordLenAt == 0) return body;
  Put<int32_t>(body, row.recordLenAt, static_cast<int32_t>(Stride(row)));
  Put<int32_t>(body, row.recordLenAt + 4, 2);
  for (size_t slot = FirstRecord(row); slot < size; slot += Stride(row)) {
    PutFields(body, slot, row.record);
    std::fill_n(body.begin() + static_cast<long>(slot + row.recordSize), 7, 'Z');
  }
  return body;
}

const AnswerLayout& LayoutOf(uint32_t type) {
  if (const PushType* push = FindPushType(type)) return *push->layout;
  return *FindAnswerType(type)->layout;
}

// Parsed from a heap block of exactly `size` bytes: a sanitizer build
// catches any read past it.
ParsedAnswer ParseExact(uint32_t type, const std::vector<uint8_t>& body, size_t size) {
  const std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(size, 1)]);
  if (size > 0) std::memcpy(exact.get(), body.data(), size);
  return ParseAnswer(LayoutOf(type), BodyView(exact.get(), size));
}
Json::Value Decode(uint32_t type, const std::vector<uint8_t>& body) {
  return ParseJson(ParseExact(type, body, body.size()).text);
}

void ExpectFields(const Json::Value& object, const Fields& fields,
                  const std::vector<uint8_t>& body, size_t base, bool complete) {
  std::set<std::string> keys;
  for (const Field& field : fields) {
    keys.insert(field.key);
    // Compared with its JSON type: a number written as text is a fault.
    EXPECT_EQ(object[field.key], Expected(field, body, base)) << field.key << " at " << base;
  }
  if (complete) {
    EXPECT_EQ(object.size(), keys.size()) << "keys beyond the listed ones";
  }
}

Json::Value Take(Json::Value& object, const char* key) {
  Json::Value taken;
  object.removeMember(key, &taken);
  return taken;
}

TEST(Answers, EveryFieldIsReadAtItsOffset) {
  for (const AnswerRow& row : Rows()) {
    SCOPED_TRACE("type " + std::to_string(row.type));
    const std::vector<uint8_t> body = BuildBody(row);
    Json::Value answer = Decode(row.type, body);
    if (FindPushType(row.type) != nullptr) {
      EXPECT_EQ(Take(answer, "push_type"), static_cast<int>(row.type));
    } else {
      EXPECT_FALSE(answer.isMember("push_type"));
    }
    if (row.recordLenAt != 0) {
      const Json::Value list = Take(answer, row.listKey);
      ASSERT_EQ(list.size(), row.one ? 1u : 2u);
      for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        ExpectFields(list[i], row.record, body, FirstRecord(row) + i * Stride(row),
                     row.complete);
      }
      if (row.countKey != nullptr) {
        EXPECT_EQ(Take(answer, row.countKey), row.one ? 1 : 2);
      }
      if (row.sizeKey != nullptr) {
        EXPECT_EQ(Take(answer, row.sizeKey), static_cast<int>(Stride(row)));
      }
      EXPECT_FALSE(answer.isMember("record_set_cnt") || answer.isMember("record_set_size"));
    }
    ExpectFields(answer, row.fields, body, 0, row.complete);
  }
}

size_t ErrorNoOffset(const AnswerRow& row) {
  return std::find_if(row.fields.begin(), row.fields.end(),
                      [](const Field& field) { return field.as == As::Zero; })
      ->offset;
}

// -999 where the head keeps its error number asks for a relogin, where the
// answer asks for one at all; -998 never does.
TEST(Answers, LostLoginIsReadAtEachHeadsOwnOffset) {
  for (const AnswerRow& row : Rows()) {
    if (FindAnswerType(row.type) == nullptr) continue;  // pushes have no error head
    SCOPED_TRACE("type " + std::to_string(row.type));
    std::vector<uint8_t> body = BuildBody(row);
    Put<int32_t>(body, ErrorNoOffset(row), -999);
    const ParsedAnswer lost = ParseExact(row.type, body, body.size());
    EXPECT_EQ(lost.loginLost, row.relogin);
    EXPECT_EQ(ParseJson(lost.text)["error_no"], -999);
    Put<int32_t>(body, ErrorNoOffset(row), -998);
    EXPECT_FALSE(ParseExact(row.type, body, body.size()).loginLost);
  }
}

// The count and record_len are the server's word, read only as far as the
// body bears them: records only without an error, only for a positive count,
// only for slots that hold a whole record, and only whole records present.
TEST(Answers, CountsAndStridesAreBoundedByTheBody) {
  for (const AnswerRow& row : Rows()) {
    if (row.recordLenAt == 0 || row.one) continue;
    SCOPED_TRACE("type " + std::to_string(row.type));
    std::vector<uint8_t> body = BuildBody(row);
    const auto records = [&](int32_t recordLen, int32_t count) {
      Put(body, row.recordLenAt, recordLen);
      Put(body, row.recordLenAt + 4, count);
      const Json::Value answer = Decode(row.type, body);
      if (row.sizeKey != nullptr) {
        EXPECT_EQ(answer[row.sizeKey], recordLen);
      }
      if (row.countKey != nullptr) {
        EXPECT_EQ(answer[row.countKey], count);
      }
      EXPECT_TRUE(answer[row.listKey].isArray());  // empty, never null
      return answer[row.listKey].size();
    };
    const auto size = static_cast<int32_t>(row.recordSize);
    const auto slot = static_cast<int32_t>(Stride(row));
    EXPECT_EQ(records(slot, INT_MAX), 2u);
    EXPECT_EQ(records(size, 2), 2u);  // slots exactly a record wide
    EXPECT_EQ(records(slot, 0), 0u);
    EXPECT_EQ(records(slot, -5), 0u);
    // Slots that would overlap read no record, rather than the same bytes again and again.
    for (const int32_t overlapping : {0, -1, INT_MIN, 1, size - 1}) {
      EXPECT_EQ(records(overlapping, 2), 0u) << "record_len " << overlapping;
    }
    EXPECT_EQ(records(INT_MAX, 2), 1u);  // the first slot lies in the body, no other
    Put<int32_t>(body, ErrorNoOffset(row), 5);
    EXPECT_EQ(records(slot, 2), 0u);
  }
}

// Every cut of every body: a JSON object, no text longer than what arrived,
// only the whole records that arrived.
TEST(Answers, EveryTruncationReadsOnlyWhatArrived) {
  for (const AnswerRow& row : Rows()) {
    SCOPED_TRACE("type " + std::to_string(row.type));
    const std::vector<uint8_t> full = BuildBody(row);
    for (size_t cut = 0; cut <= full.size(); ++cut) {
      const Json::Value answer = ParseJson(ParseExact(row.type, full, cut).text);
      ASSERT_TRUE(answer.isObject()) << "cut " << cut;
      for (const Field& field : row.fields) {
        if (answer[field.key].isString() && field.as != As::U64Text) {
          EXPECT_LE(answer[field.key].asString().size(), cut) << field.key << " cut " << cut;
        }
      }
      if (row.recordLenAt == 0) continue;
      size_t whole = 0;
      while (whole < 2 && FirstRecord(row) + whole * Stride(row) + row.recordSize <= cut) {
        ++whole;
      }
      ASSERT_EQ(answer[row.listKey].size(), row.one ? 1u : whole) << "cut " << cut;
    }
  }
}

// The menu text is as long as its length says, ends at a zero, and never
// runs past the body.
TEST(Answers, MenuTextIsBoundedByItsLengthAndTheBody) {
  std::vector<uint8_t> body(332, 0);
  std::memcpy(&body[327], "menus", 5);
  for (const auto& [length, text] :
       {std::pair{5, "menus"}, {3, "men"}, {0, ""}, {-4, ""}, {1 << 30, "menus"}}) {
    Put<int32_t>(body, 323, length);
    EXPECT_EQ(Decode(102, body)["menu_config"], text) << length;
  }
  body[329] = 0;
  Put<int32_t>(body, 323, 5);
  EXPECT_EQ(Decode(102, body)["menu_config"], "me");
}

// JSON has no infinity or NaN: a server number that is one reads as null,
// so the text stays JSON a host's reader takes.
TEST(Answers, NumbersJsonCannotHoldReadAsNull) {
  for (const double odd : {HUGE_VAL, -HUGE_VAL, std::nan("")}) {
    std::vector<uint8_t> body(72, 0);
    std::memcpy(&body[0], "f1", 2);
    Put(body, 64, odd);
    const std::string text = ParseExact(304, body, body.size()).text;
    const Json::Value push = ParseJson(text);
    EXPECT_TRUE(push["limitBalance"].isNull()) << text;
    EXPECT_EQ(push["fund_account"], "f1");
  }
}

}  // namespace
}  // namespace tessel
