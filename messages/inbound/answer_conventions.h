// What every answer parser shares: field kinds and their JSON form, the
// answer head, the record-block walk, the two code mappings, the writer and
// the relogin rule. A message's parser is a layout declared once — its
// scalar fields, and its record block if it has one — handed to ParseAnswer.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "messages/inbound/body_view.h"

namespace tessel {

class TradeClient;

enum class FieldKind : uint8_t {
  Text,         // fixed width, zero-terminated inside the field -> string
  Int32,        // -> integer
  Int64,        // -> integer
  Code,         // one byte read as signed 8-bit -> integer
  Double,       // -> real
  U64Text,      // unsigned 64-bit -> decimal string
  U64,          // unsigned 64-bit -> unsigned integer
  CountedText,  // int32 length then bytes -> string
  MarketCode,   // one byte through ToMarketCode -> integer
  BsFlag,       // one byte through ToBsFlag -> integer
};

struct AnswerField {
  const char* key;
  FieldKind kind;
  uint32_t offset;
  uint32_t width;  // bytes the field occupies on the wire
};

struct FieldList {
  const AnswerField* fields = nullptr;
  size_t count = 0;
  const AnswerField* begin() const { return fields; }
  const AnswerField* end() const { return fields + count; }
};

template <size_t N>
constexpr FieldList Fields(const AnswerField (&fields)[N]) {
  return {fields, N};
}

// Records behind the fixed fields: record_len at `recordLenOffset`, the count
// right after it, the first record right after the count.
struct RecordBlock {
  uint32_t recordLenOffset;
  const char* listKey;      // "record_set", "records" or "holders"
  FieldList recordFields;
  const char* countKey;     // key reporting the count, or null
  const char* sizeKey;      // key reporting record_len, or null
};

struct AnswerLayout {
  FieldList fields;                 // head and scalar keys
  const RecordBlock* records;       // null: no records
  uint32_t errorNoOffset;           // where the head's "error_no" sits
  bool callsReloginGate;            // -999 asks the client for a relogin
};

// The common head of most main-channel answers.
inline constexpr uint32_t kAnswerHeadSize = 323;
inline constexpr uint32_t kAnswerHeadErrorNoOffset = 64;
inline constexpr uint32_t kAnswerHeadErrorInfoOffset = 68;
inline constexpr int32_t kLoginLostErrorNo = -999;
extern const AnswerField kAnswerHead[3];

int ToMarketCode(uint8_t code);
int ToBsFlag(uint8_t code);

// The JSON value of one field of `body`.
Json::Value ReadField(const AnswerField& field, BodyView body);
void SetFields(Json::Value& object, FieldList fields, BodyView body);

// Size of one record: the end of its last field.
uint32_t RecordSize(FieldList recordFields);
// The record list: empty unless errorNo is 0 and the count is positive; only
// whole records inside the body are read, and a record_len below 1 gives none.
Json::Value ReadRecords(const RecordBlock& block, BodyView body, int32_t errorNo);

// Tab-indented, keys in ascending order: jsoncpp's default writer.
std::string WriteAnswer(const Json::Value& root);

// The whole parse of a layout-described answer into `out`; afterwards an
// error number of -999 calls the relogin gate when the layout says so.
void ParseAnswer(const AnswerLayout& layout, TradeClient& client, BodyView body,
                 std::string& out);

}  // namespace tessel
