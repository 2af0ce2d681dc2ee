#include "messages/inbound/answer_conventions.h"

#include <json/writer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "support/immortal.h"
#include "support/spare.h"


namespace tessel {

int ToMarketCode(uint8_t code) {
  switch (code) {
    case '1': case '3': case 't': return 1;
    case '2': case '4': case 'v': return 0;
    case 'K': return 2;
    default: return static_cast<int8_t>(code);
  }
}

int ToBsFlag(uint8_t code) {
  switch (code) {
    case '1': return 1;
    case '2': return 0;
    default: return static_cast<int8_t>(code);
  }
}

// JSON has no infinity or NaN. The writer would put NaN as null but an
// infinity as 1e+9999, which JSON readers (jsoncpp's own among them)
// refuse; a server value that is neither gets null either way.
static Json::Value RealOrNull(double value) {
  return std::isfinite(value) ? Json::Value(value) : Json::Value();
}

Json::Value ReadField(const AnswerField& field, BodyView body) {
  const uint32_t at = field.offset;
  switch (field.kind) {
    case FieldKind::Text: return Json::Value(body.Text(at, field.width));
    case FieldKind::Int32: return Json::Value(body.Int32(at));
    case FieldKind::Int64: return Json::Value(static_cast<Json::Int64>(body.Number<int64_t>(at)));
    case FieldKind::Code: return Json::Value(static_cast<int>(body.Code(at)));
    case FieldKind::Double: return RealOrNull(body.Number<double>(at));
    case FieldKind::U64Text: {
      char digits[128] = {};
      std::snprintf(digits, sizeof digits, "%llu",
                    static_cast<unsigned long long>(body.Number<uint64_t>(at)));
      return Json::Value(digits);
    }
    case FieldKind::U64:
      return Json::Value(static_cast<Json::UInt64>(body.Number<uint64_t>(at)));
    case FieldKind::CountedText: return Json::Value(body.CountedText(at));
    case FieldKind::RestText: return Json::Value(body.Text(at, body.size()));
    case FieldKind::MarketCode: return Json::Value(ToMarketCode(body.Number<uint8_t>(at)));
    case FieldKind::BsFlag: return Json::Value(ToBsFlag(body.Number<uint8_t>(at)));
  }
  return Json::Value();
}

void SetFields(Json::Value& object, FieldList fields, BodyView body) {
  for (const AnswerField& field : fields) object[field.key] = ReadField(field, body);
}

Json::Value ReadRecords(const RecordBlock& block, BodyView body, int32_t errorNo) {
  Json::Value list(Json::arrayValue);
  const size_t recordSize = RecordSize(block.recordFields);
  const size_t first = block.recordLenOffset + 8;
  if (block.exactlyOne) {
    Json::Value record(Json::objectValue);
    SetFields(record, block.recordFields, body.Slice(first, recordSize));
    list.append(std::move(record));
    return list;
  }
  const int32_t recordLen = body.Int32(block.recordLenOffset);
  const int32_t count = body.Int32(block.recordLenOffset + 4);
  // Slots narrower than a record would read the same bytes into several
  // records: a 4 MB body with a record_len of 1 became a 3 GB answer.
  if (errorNo != 0 || count <= 0 || recordLen <= 0 ||
      static_cast<size_t>(recordLen) < recordSize) {
    return list;
  }
  size_t position = first;
  for (int32_t i = 0; i < count && body.Holds(position, recordSize); ++i) {
    Json::Value record(Json::objectValue);
    SetFields(record, block.recordFields, body.Slice(position, recordSize));
    list.append(std::move(record));
    position += static_cast<size_t>(recordLen);
  }
  return list;
}

namespace {

// A writer and its stream cost more to make than an answer costs to write;
// spare ones are kept.
struct AnswerWriter {
  std::unique_ptr<Json::StreamWriter> writer;
  std::ostringstream text;
};

Spares<AnswerWriter>& SpareWriters() {
  static Immortal<Spares<AnswerWriter>> spares;
  return *spares;
}

}  // namespace

std::string WriteAnswer(const Json::Value& root) {
  Spares<AnswerWriter>& spares = SpareWriters();
  std::unique_ptr<AnswerWriter> writer = spares.Take();
  if (!writer) {
    static Immortal<const Json::StreamWriterBuilder> builder;  // default settings, none changed
    writer = std::make_unique<AnswerWriter>();
    writer->writer.reset(builder->newStreamWriter());
  }
  writer->text.str(std::string());
  writer->text.clear();
  writer->writer->write(root, &writer->text);
  std::string text = writer->text.str();
  spares.Give(std::move(writer));
  return text;
}

ParsedAnswer ParseAnswer(const AnswerLayout& layout, BodyView body) {
  Json::Value root(Json::objectValue);
  if (layout.pushType != 0) root["push_type"] = layout.pushType;
  SetFields(root, layout.fields, body);
  const int32_t errorNo = body.Int32(layout.errorNoOffset);
  if (layout.records != nullptr) {
    const RecordBlock& block = *layout.records;
    if (block.sizeKey != nullptr) root[block.sizeKey] = body.Int32(block.recordLenOffset);
    Json::Value list = ReadRecords(block, body, errorNo);
    if (block.countKey != nullptr) {
      root[block.countKey] = block.exactlyOne ? Json::Value(Json::UInt(list.size()))
                                              : Json::Value(body.Int32(block.recordLenOffset + 4));
    }
    root[block.listKey] = std::move(list);
  }
  return {WriteAnswer(root), layout.callsReloginGate && errorNo == kLoginLostErrorNo};
}

namespace {

// A mapped code is written through the raw code byte it shares an offset
// with, when the layout reports that byte too.
bool HasRawCodeAt(FieldList fields, uint32_t offset) {
  for (const AnswerField& field : fields) {
    if (field.kind == FieldKind::Code && field.offset == offset) return true;
  }
  return false;
}

uint8_t FromMarketCode(int value) {
  switch (value) {
    case 1: return '1';
    case 0: return '2';
    case 2: return 'K';
    default: return static_cast<uint8_t>(value);
  }
}

uint8_t FromBsFlag(int value) {
  switch (value) {
    case 1: return '1';
    case 0: return '2';
    default: return static_cast<uint8_t>(value);
  }
}

// Bytes the field needs for `value`.
size_t EncodedEnd(const AnswerField& field, const Json::Value& value) {
  switch (field.kind) {
    case FieldKind::RestText: return field.offset + value.asString().size() + 1;
    case FieldKind::CountedText: return field.offset + 4 + value.asString().size();
    default: return field.offset + field.width;
  }
}

void EncodeField(const AnswerField& field, const Json::Value& value, FieldList all,
                 std::vector<uint8_t>& body, size_t base) {
  uint8_t* at = body.data() + base + field.offset;
  switch (field.kind) {
    case FieldKind::Text: {
      const std::string text = value.asString();
      std::memcpy(at, text.data(), std::min<size_t>(text.size(), field.width - 1));
      break;
    }
    case FieldKind::RestText: {
      const std::string text = value.asString();
      std::memcpy(at, text.data(), text.size());
      break;
    }
    case FieldKind::CountedText: {
      const std::string text = value.asString();
      wire::Store<int32_t>(at, static_cast<int32_t>(text.size()));
      std::memcpy(at + 4, text.data(), text.size());
      break;
    }
    case FieldKind::Int32: wire::Store<int32_t>(at, value.asInt()); break;
    case FieldKind::Int64: wire::Store<int64_t>(at, value.asInt64()); break;
    case FieldKind::Code: *at = static_cast<uint8_t>(value.asInt() & 0xFF); break;
    case FieldKind::Double: wire::Store<double>(at, value.asDouble()); break;
    case FieldKind::U64: wire::Store<uint64_t>(at, value.asUInt64()); break;
    case FieldKind::U64Text:
      wire::Store<uint64_t>(at, std::strtoull(value.asString().c_str(), nullptr, 10));
      break;
    case FieldKind::MarketCode:
      if (!HasRawCodeAt(all, field.offset)) *at = FromMarketCode(value.asInt());
      break;
    case FieldKind::BsFlag:
      if (!HasRawCodeAt(all, field.offset)) *at = FromBsFlag(value.asInt());
      break;
  }
}

void EncodeFields(FieldList fields, const Json::Value& values, std::vector<uint8_t>& body,
                  size_t base) {
  for (const AnswerField& field : fields) {
    const Json::Value* value = values.find(field.key, field.key + std::strlen(field.key));
    if (value != nullptr) EncodeField(field, *value, fields, body, base);
  }
}

}  // namespace

std::vector<uint8_t> EncodeAnswer(const AnswerLayout& layout, const Json::Value& values) {
  size_t size = 0;
  for (const AnswerField& field : layout.fields) {
    const Json::Value* value = values.find(field.key, field.key + std::strlen(field.key));
    size = std::max(size, value != nullptr ? EncodedEnd(field, *value)
                                           : size_t{field.offset} + field.width);
  }
  const RecordBlock* block = layout.records;
  const Json::Value none(Json::arrayValue);
  const Json::Value& list =
      block != nullptr && values.isMember(block->listKey) ? values[block->listKey] : none;
  const uint32_t recordSize = block != nullptr ? RecordSize(block->recordFields) : 0;
  if (block != nullptr) {
    size = std::max<size_t>(size, block->recordLenOffset + 8 + list.size() * recordSize);
  }
  std::vector<uint8_t> body(size, 0);
  EncodeFields(layout.fields, values, body, 0);
  if (block == nullptr) return body;
  wire::Store<int32_t>(body.data() + block->recordLenOffset, static_cast<int32_t>(recordSize));
  wire::Store<int32_t>(body.data() + block->recordLenOffset + 4, static_cast<int32_t>(list.size()));
  for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
    EncodeFields(block->recordFields, list[i], body, block->recordLenOffset + 8 + i * recordSize);
  }
  return body;
}

}  // namespace tessel
