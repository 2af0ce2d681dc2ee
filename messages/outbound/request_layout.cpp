#include "messages/outbound/request_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "messages/outbound/packing.h"
#include "net/frame.h"
#include "net/wire.h"

namespace tessel {
namespace {

const Json::Value* Member(const Json::Value& source, const char* key) {
  if (!source.isObject()) return nullptr;
  return source.find(key, key + std::strlen(key));
}

bool Refuse(BodyWriter& out, Refusal::Problem problem, const char* key) {
  out.refusal.problem = problem;
  out.refusal.key = key;
  return false;
}

bool StoreText(const RequestField& row, const std::string& text, BodyWriter& out,
               size_t at) {
  if (!wire::StoreText(reinterpret_cast<char*>(out.body + at), row.width, text.data(),
                       text.size())) {
    return Refuse(out, Refusal::Problem::TooLong, row.key);
  }
  return true;
}

// A whole number of any size: an integer, or a double without a fraction.
bool IsWhole(const Json::Value& value) {
  return value.isNumeric() && std::trunc(value.asDouble()) == value.asDouble();
}

// A byte takes -128..255, so that a code is never wrapped into another;
// every wider integer field, and a quantity, the signed 32 bits.
bool FitsField(const RequestField& row, const Json::Value& value) {
  if (!value.isInt()) return false;
  return row.width != 1 || (value.asInt() >= -128 && value.asInt() <= 255);
}

// A negative byte goes as its two's complement: -1 is 0xFF.
void StoreInt(const RequestField& row, int32_t value, uint8_t* at) {
  if (row.width == 1) {
    *at = static_cast<uint8_t>(value & 0xFF);
  } else {
    wire::Store<int32_t>(at, value);
  }
}

// One host-key row: check the JSON value against the rule and store it.
bool FillRow(const RequestField& row, const Json::Value& source, BodyWriter& out, size_t base) {
  const size_t at = base + row.offset;
  uint8_t* field = out.body + at;
  const Json::Value* value = Member(source, row.key);
  const bool present = value != nullptr;
  switch (row.rule) {
    case Rule::Text:
      if (!present) return Refuse(out, Refusal::Problem::Missing, row.key);
      if (!value->isString()) return Refuse(out, Refusal::Problem::WrongType, row.key);
      return StoreText(row, value->asString(), out, at);
    case Rule::Int:
    case Rule::WholeDouble:
      if (!present) return Refuse(out, Refusal::Problem::Missing, row.key);
      if (!IsWhole(*value)) return Refuse(out, Refusal::Problem::WrongType, row.key);
      if (!FitsField(row, *value)) return Refuse(out, Refusal::Problem::OutOfRange, row.key);
      if (row.rule == Rule::Int) {
        StoreInt(row, value->asInt(), field);
      } else {
        wire::Store<double>(field, static_cast<double>(value->asInt()));
      }
      return true;
    case Rule::Number:
      if (!present) return Refuse(out, Refusal::Problem::Missing, row.key);
      if (!value->isNumeric()) return Refuse(out, Refusal::Problem::WrongType, row.key);
      wire::Store<double>(field, value->asDouble());
      return true;
    case Rule::TimeText:
      if (!present) return Refuse(out, Refusal::Problem::Missing, row.key);
      if (!value->isString()) return Refuse(out, Refusal::Problem::WrongType, row.key);
      wire::Store<uint64_t>(field, LeadingDecimal(value->asString()));
      return true;
    case Rule::OptionalText:
      if (present && (value->isString() || value->isNumeric())) {
        return StoreText(row, value->asString(), out, at);
      }
      return true;
    case Rule::OptionalInt:
      if (!present || !IsWhole(*value)) return true;
      if (!FitsField(row, *value)) return Refuse(out, Refusal::Problem::OutOfRange, row.key);
      StoreInt(row, value->asInt(), field);
      return true;
    case Rule::OptionalNumber:
      if (present && value->isNumeric()) wire::Store<double>(field, value->asDouble());
      return true;
    case Rule::OptionalTime:
      if (present && value->isString()) {
        wire::Store<uint64_t>(field, LeadingDecimal(value->asString()));
      }
      return true;
    case Rule::RecordLength:
      wire::Store<uint32_t>(field, out.recordSize);
      return true;
    case Rule::GroupLength:  // written by FillGroup, which knows the group
    case Rule::OrderNumber:
    case Rule::OrderNoText:
    case Rule::Constant:
    case Rule::Reserved:
      return true;  // written by FillGenerated, or left zero
  }
  return true;
}

}  // namespace

std::string DescribeRefusal(const Refusal& refusal) {
  switch (refusal.problem) {
    case Refusal::Problem::None: return "accepted";
    case Refusal::Problem::Missing: return "key \"" + refusal.key + "\" is missing";
    case Refusal::Problem::WrongType: return "key \"" + refusal.key + "\" has the wrong type";
    case Refusal::Problem::TooLong:
      return "key \"" + refusal.key + "\" is too long for its field";
    case Refusal::Problem::OutOfRange:
      return "key \"" + refusal.key + "\" is out of range for its field";
    case Refusal::Problem::BadCount:
      return "count \"" + refusal.key + "\" is not a usable number of records";
    case Refusal::Problem::NoSuchFunction: return "unknown function";
  }
  return "refused";
}

// What a GroupLength row announces: the width of the rest of its group.
static uint32_t GroupBytes(FieldGroup group) {
  uint32_t bytes = 0;
  for (const RequestField& row : group) {
    if (row.rule != Rule::GroupLength) bytes += row.width;
  }
  return bytes;
}

bool FillGroup(FieldGroup group, const Json::Value& source, BodyWriter& out, size_t base) {
  for (const RequestField& row : group) {
    if (row.rule == Rule::GroupLength) {
      wire::Store<uint32_t>(out.body + base + row.offset, GroupBytes(group));
    } else if (!FillRow(row, source, out, base)) {
      return false;
    }
  }
  return true;
}

void FillGenerated(FieldGroup group, BodyWriter& out) {
  std::string number;  // drawn once, on the first generated row
  for (const RequestField& row : group) {
    uint8_t* field = out.body + row.offset;
    if (IsGenerated(row.rule) && number.empty()) number = NextRequestNo();
    switch (row.rule) {
      case Rule::OrderNumber:
        wire::Store<uint64_t>(field, LeadingDecimal(number));
        break;
      case Rule::OrderNoText:
        wire::StoreText(reinterpret_cast<char*>(field), row.width, number.data(),
                        std::min<size_t>(number.size(), row.width - 1));
        break;
      case Rule::Constant:
        wire::StoreText(reinterpret_cast<char*>(field), row.width, row.constant,
                        std::min<size_t>(std::strlen(row.constant), row.width - 1));
        break;
      default:
        break;
    }
  }
}

bool FillRecords(FieldGroup record, uint32_t recordSize, int32_t count,
                 const Json::Value& request, BodyWriter& out, size_t base) {
  const Json::Value* records = Member(request, "record_set");
  if (records == nullptr) return Refuse(out, Refusal::Problem::Missing, "record_set");
  if (!records->isArray()) return Refuse(out, Refusal::Problem::WrongType, "record_set");
  if (records->size() < static_cast<Json::ArrayIndex>(std::max(count, 0))) {
    return Refuse(out, Refusal::Problem::BadCount, "record_set");
  }
  for (int32_t i = 0; i < count; ++i) {
    const Json::Value& element = (*records)[static_cast<Json::ArrayIndex>(i)];
    if (!FillGroup(record, element, out, base + static_cast<size_t>(i) * recordSize)) {
      return false;
    }
  }
  return true;
}

std::optional<uint32_t> CountedBodySize(const RequestLayout& layout, int64_t count) {
  if (count < 0) return std::nullopt;
  const uint64_t size = layout.bodySize + static_cast<uint64_t>(count) * layout.recordSize;
  if (size > kMaxBodyLength) return std::nullopt;
  return static_cast<uint32_t>(size);
}

bool FillRequest(const RequestLayout& layout, const Json::Value& request,
                 std::vector<uint8_t>& body, Refusal& refusal) {
  uint32_t size = layout.bodySize;
  int32_t count = 0;
  if (layout.countKey != nullptr) {
    const Json::Value* countValue = Member(request, layout.countKey);
    const std::optional<uint32_t> counted =
        countValue != nullptr && countValue->isInt()
            ? CountedBodySize(layout, countValue->asInt())
            : std::nullopt;
    if (!counted) {
      refusal = {Refusal::Problem::BadCount, layout.countKey};
      return false;
    }
    size = *counted;
    count = countValue->asInt();
  }
  body.assign(size, 0);
  BodyWriter out{body.data(), body.size(), refusal, layout.recordSize};
  if (layout.custom != nullptr) return layout.custom(request, out);
  for (const GroupNote& note : layout) {
    if (note.when == nullptr && !FillGroup(note.group, request, out)) return false;
  }
  if (layout.recordSize != 0 &&
      !FillRecords(layout.recordFields, layout.recordSize, count, request, out, layout.bodySize)) {
    return false;
  }
  for (const GroupNote& note : layout) {
    if (note.when == nullptr) FillGenerated(note.group, out);
  }
  return true;
}

namespace {

Json::Value DecodeRow(const RequestField& row, const uint8_t* at) {
  switch (row.rule) {
    case Rule::Text:
    case Rule::OptionalText:
    case Rule::OrderNoText:
    case Rule::Constant: {
      const char* text = reinterpret_cast<const char*>(at);
      return Json::Value(std::string(text, strnlen(text, row.width)));
    }
    case Rule::Int:
    case Rule::OptionalInt:
      return row.width == 1 ? Json::Value(static_cast<int>(*at))
                            : Json::Value(wire::Load<int32_t>(at));
    case Rule::WholeDouble:
    case Rule::Number:
    case Rule::OptionalNumber:
      return Json::Value(wire::Load<double>(at));
    case Rule::TimeText:
    case Rule::OptionalTime:
    case Rule::OrderNumber:
      return Json::Value(static_cast<Json::UInt64>(wire::Load<uint64_t>(at)));
    case Rule::RecordLength:
    case Rule::GroupLength:
      return Json::Value(wire::Load<uint32_t>(at));
    case Rule::Reserved:
      break;
  }
  return Json::Value();
}


}  // namespace

void DecodeGroup(FieldGroup group, const uint8_t* body, size_t size, Json::Value& out) {
  for (const RequestField& row : group) {
    if (row.rule == Rule::Reserved || row.offset + row.width > size) continue;
    out[row.name()] = DecodeRow(row, body + row.offset);
  }
}

Json::Value DecodeRequest(const RequestLayout& layout, const uint8_t* body, size_t size) {
  Json::Value out(Json::objectValue);
  for (const GroupNote& note : layout) DecodeGroup(note.group, body, size, out);
  if (layout.recordSize == 0) return out;
  Json::Value records(Json::arrayValue);
  const int64_t count = out[layout.countKey].asInt64();
  for (int64_t i = 0; i < count; ++i) {
    const size_t at = layout.bodySize + static_cast<size_t>(i) * layout.recordSize;
    if (at + layout.recordSize > size) break;
    Json::Value record(Json::objectValue);
    DecodeGroup(layout.recordFields, body + at, layout.recordSize, record);
    records.append(std::move(record));
  }
  out["record_set"] = std::move(records);
  return out;
}

}  // namespace tessel
