// What every answer parser shares: field kinds and their JSON form, the
// answer head, the record-block walk, the two code mappings, the writer and
// the relogin rule. Answers are written straight from the body as JSON text,
// without a value tree. A message's parser is a layout declared once — its
// scalar fields, and its record block if it has one — handed to ParseAnswer.
// The same layout encodes answers for the simulated server (EncodeAnswer).
#pragma once

#include <json/value.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "messages/field_tables.h"
#include "messages/inbound/body_view.h"

namespace tessel {

enum class FieldKind : uint8_t {
  Text,         // fixed width, zero-terminated inside the field -> string
  Int32,        // -> integer
  Int64,        // -> integer
  Code,         // one byte read as signed 8-bit -> integer
  Double,       // -> real
  U64Text,      // unsigned 64-bit -> decimal string
  U64,          // unsigned 64-bit -> unsigned integer
  CountedText,  // int32 length then bytes -> string
  RestText,     // from the offset to the end of the body, up to a zero -> string
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
  constexpr const AnswerField* begin() const { return fields; }
  constexpr const AnswerField* end() const { return fields + count; }
};

// The most fields one object of an answer has; its keys are ordered on the
// stack, without an allocation.
inline constexpr size_t kMaxObjectFields = 40;

template <size_t N>
constexpr FieldList Fields(const AnswerField (&fields)[N]) {
  static_assert(N <= kMaxObjectFields);
  return {fields, N};
}
template <size_t N>
constexpr FieldList Fields(const std::array<AnswerField, N>& fields) {
  static_assert(N <= kMaxObjectFields);
  return {fields.data(), N};
}

// Records behind the fixed fields: record_len at `recordLenOffset`, the count
// right after it, the first record right after the count.
struct RecordBlock {
  uint32_t recordLenOffset;
  const char* listKey;      // "record_set", "records" or "holders"
  FieldList recordFields;
  const char* countKey;     // key reporting the count, or null
  const char* sizeKey;      // key reporting record_len, or null
  bool exactlyOne = false;  // one record always read; the count reported is 1
};

struct AnswerLayout {
  FieldList fields;                 // head and scalar keys
  const RecordBlock* records;       // null: no records
  uint32_t errorNoOffset;           // where the head's "error_no" sits
  bool callsReloginGate;            // -999 asks the client for a relogin
  int32_t pushType = 0;             // push messages: the "push_type" they carry
};

// The common head of most main-channel answers.
inline constexpr uint32_t kAnswerHeadSize = 323;
inline constexpr uint32_t kAnswerHeadErrorNoOffset = 64;
inline constexpr uint32_t kAnswerHeadErrorInfoOffset = 68;
inline constexpr int32_t kLoginLostErrorNo = -999;
inline constexpr AnswerField kAnswerHead[3] = {
    {"user_name", FieldKind::Text, 0, 64},
    {"error_no", FieldKind::Int32, kAnswerHeadErrorNoOffset, 4},
    {"error_info", FieldKind::Text, kAnswerHeadErrorInfoOffset, 255},
};

int ToMarketCode(uint8_t code);
int ToBsFlag(uint8_t code);

// Appends the JSON text of one field of `body`.
void AppendFieldValue(std::string& out, const AnswerField& field, BodyView body);

// Size of one record: the end of its last field.
constexpr uint32_t RecordSize(FieldList recordFields) {
  uint32_t size = 0;
  for (const AnswerField& field : recordFields) {
    if (field.offset + field.width > size) size = field.offset + field.width;
  }
  return size;
}
// Tab-indented, keys in ascending order: jsoncpp's default writer, which
// ParseAnswer's text matches byte for byte.
std::string WriteAnswer(const Json::Value& root);

struct ParsedAnswer {
  std::string text;
  bool loginLost = false;  // "error_no" -999 in an answer that asks for a relogin
};

// The whole parse of a layout-described answer. The record list is empty
// unless "error_no" is 0 and the count is positive; only whole records
// inside the body are read, and a record_len below the record's size (slots
// that would overlap) gives none. The caller, which knows the
// client, asks for the relogin when `loginLost` is set, after delivering.
ParsedAnswer ParseAnswer(const AnswerLayout& layout, BodyView body);

// The inverse, for the simulated server: a body holding `values` (keyed as
// the answer reports them) where the layout says. Mapped codes are written
// from their raw key when the layout has one at the same offset; a list under
// the record block's key becomes the records, record_len the record size.
std::vector<uint8_t> EncodeAnswer(const AnswerLayout& layout, const Json::Value& values);

}  // namespace tessel
