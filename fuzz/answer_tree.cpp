#include "fuzz/answer_tree.h"

#include <json/value.h>
#include <json/writer.h>

#include <cmath>
#include <cstdio>

namespace tessel::fuzz {
namespace {

Json::Value RealOrNull(double value) {
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
      char digits[32] = {};
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

}  // namespace

std::string AnswerTextThroughTree(const AnswerLayout& layout, BodyView body) {
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
  return Json::writeString(Json::StreamWriterBuilder(), root);  // default settings
}

}  // namespace tessel::fuzz
