// Request bodies as tables: each wire field is one row (JSON key, offset,
// width, rule), checked at compile time to tile its body, and read by the
// fill engine, the simulated server and the generated message reference.
// A message that only reads its keys in table order needs nothing but its
// table; conditional layouts and counted records add a small fill function.
#pragma once

#include <json/value.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "messages/field_tables.h"

namespace tessel {

// How a row takes its value. Required rules refuse the request when the key
// is missing or of the wrong JSON type; optional ones leave the field zero.
// A whole number that does not fit its field refuses the request, optional
// or not: a 1-byte field takes -128..255, a wider one the signed 32 bits.
enum class Rule : uint8_t {
  Text,          // JSON string of at most width - 1 bytes
  Int,           // whole number that fits the field (1 or 4 bytes)
  WholeDouble,   // whole number within 32 bits, sent as a double (quantities)
  Number,        // any JSON number, as a double
  TimeText,      // JSON string whose leading decimal digits are a u64
  OptionalText,  // a string, or a number written as text; missing: empty
  OptionalInt,   // taken only when a whole number; refused when it does not fit
  OptionalNumber,  // taken only when a number
  OptionalTime,  // taken only when a string
  OrderNumber,   // generated: the request number as a u64
  OrderNoText,   // generated: the request number as "<seconds><counter>" text
  Constant,      // a fixed text the client always sends
  RecordLength,  // u32: the size of one counted record, written by the client
  GroupLength,   // u32: the bytes of the other rows of its group, when the group is filled
  Reserved,      // always zero
};

struct RequestField {
  const char* key;  // JSON key; for generated, constant and reserved rows the wire name
  uint32_t offset;
  uint32_t width;
  Rule rule;
  const char* constant = nullptr;  // Rule::Constant only
  const char* wireName = nullptr;  // the field's own name where it differs from the key

  constexpr const char* name() const { return wireName != nullptr ? wireName : key; }
};

// A run of rows filled together, in the order the keys are read.
struct FieldGroup {
  const RequestField* fields = nullptr;
  size_t count = 0;
  const RequestField* begin() const { return fields; }
  const RequestField* end() const { return fields + count; }
};

template <size_t N>
constexpr FieldGroup Group(const RequestField (&fields)[N]) {
  return {fields, N};
}
template <size_t N>
constexpr FieldGroup Group(const std::array<RequestField, N>& fields) {
  return {fields.data(), N};
}



constexpr bool IsGenerated(Rule rule) {
  return rule == Rule::OrderNumber || rule == Rule::OrderNoText;
}

// Whether the groups' rows together cover [0, size) exactly: every row inside
// the body, no two rows sharing a byte, and no byte left without a row (gaps
// must be declared as Reserved rows).
constexpr bool Tiles(std::initializer_list<FieldGroup> groups, uint32_t size) {
  uint64_t covered = 0;
  for (const FieldGroup& group : groups) {
    for (size_t i = 0; i < group.count; ++i) {
      const RequestField& a = group.fields[i];
      if (a.width == 0 || a.offset + a.width > size) return false;
      covered += a.width;
      for (const FieldGroup& other : groups) {
        for (size_t j = 0; j < other.count; ++j) {
          const RequestField& b = other.fields[j];
          if (&a == &b) continue;
          if (a.offset < b.offset + b.width && b.offset < a.offset + a.width) return false;
        }
      }
    }
  }
  return covered == size;
}

// Why a request was refused, for the log: never the value, only the key.
struct Refusal {
  enum class Problem : uint8_t {
    None,
    Missing,
    WrongType,
    TooLong,
    OutOfRange,
    BadCount,
    NoSuchFunction,
  };
  Problem problem = Problem::None;
  std::string key;  // the key at fault ("" when none applies)
};

std::string DescribeRefusal(const Refusal& refusal);

// The body being filled: the zeroed bytes, and where refusals are noted.
struct BodyWriter {
  uint8_t* body;
  size_t size;
  Refusal& refusal;
  uint32_t recordSize = 0;  // what RecordLength rows write
};

// Fills the group's host-key rows from `source` into the body at `base`; the
// first failing key ends it with false. Generated rows are left alone.
bool FillGroup(FieldGroup group, const Json::Value& source, BodyWriter& out, size_t base = 0);

// Writes the generated rows of the group (one number, drawn once, serves
// every generated row) and the constants. Call after every key has passed.
void FillGenerated(FieldGroup group, BodyWriter& out);

// Counted records: "record_set" must be an array with at least `count`
// elements; element i fills the record at base + i * recordSize.
bool FillRecords(FieldGroup record, uint32_t recordSize, int32_t count,
                 const Json::Value& request, BodyWriter& out, size_t base);

// One optional documentation note per group of a layout.
struct GroupNote {
  const char* when;  // null: always; otherwise when the group applies
  FieldGroup group;
};

// Fill for a message whose table alone does not say what to read.
using CustomFill = bool (*)(const Json::Value& request, BodyWriter& out);

inline constexpr size_t kMaxGroups = 6;

// Everything the dispatch, the simulated server and the reference need to
// know of one request message.
struct RequestLayout {
  uint32_t funcId = 0;
  const char* name = nullptr;
  uint32_t bodySize = 0;        // whole body, or the fixed part of a counted one
  GroupNote groups[kMaxGroups] = {};  // rows of the body, with their conditions
  size_t groupCount = 0;
  const char* countKey = nullptr;  // counted: key holding the record count
  uint32_t recordSize = 0;
  FieldGroup recordFields{};
  CustomFill custom = nullptr;  // null: fill the unconditional groups, then generate
  bool secondLengthIsBody = false;  // the header's second length repeats the body length
  const char* note = nullptr;   // a sentence for the reference, if needed

  const GroupNote* begin() const { return groups; }
  const GroupNote* end() const { return groups + groupCount; }
};

// `size` when the groups tile it; otherwise the build stops here.
constexpr uint32_t Tiled(std::initializer_list<FieldGroup> groups, uint32_t size) {
  return Tiles(groups, size) ? size : throw "fields do not tile the body";
}

// A message whose one table is read in order and then numbered.
template <typename Fields>
constexpr RequestLayout Plain(uint32_t funcId, const char* name, uint32_t size,
                              const Fields& fields) {
  RequestLayout layout{};
  layout.funcId = funcId;
  layout.name = name;
  layout.bodySize = Tiled({Group(fields)}, size);
  layout.groups[0] = {nullptr, Group(fields)};
  layout.groupCount = 1;
  return layout;
}

// The layout of a funcId; null for numbers no function bears.
const RequestLayout* FindRequestLayout(uint32_t funcId);
// Every request layout, ascending by funcId.
const RequestLayout* const* AllRequestLayouts(size_t& count);

// Body size of a counted message; nothing for a negative count or a body
// over the ceiling.
std::optional<uint32_t> CountedBodySize(const RequestLayout& layout, int64_t count);

// Checks and converts the request into `body` (sized and zeroed here). False
// with a reason when a key is missing, mistyped, too long or out of range,
// or the count is unusable; no counter value is drawn then.
bool FillRequest(const RequestLayout& layout, const Json::Value& request,
                 std::vector<uint8_t>& body, Refusal& refusal);

// The inverse, for the simulated server and tests of it: every row of every
// group (and the counted records) read back into JSON under its key. Where
// conditional groups overlap (two layouts chosen by a byte), decode the
// common group and then the chosen one with DecodeGroup.
Json::Value DecodeRequest(const RequestLayout& layout, const uint8_t* body, size_t size);
void DecodeGroup(FieldGroup group, const uint8_t* body, size_t size, Json::Value& out);

}  // namespace tessel
