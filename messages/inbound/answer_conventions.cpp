#include "messages/inbound/answer_conventions.h"

#include <json/writer.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

#include "session/trade_client.h"

namespace tessel {

const AnswerField kAnswerHead[3] = {
    {"user_name", FieldKind::Text, 0, 64},
    {"error_no", FieldKind::Int32, kAnswerHeadErrorNoOffset, 4},
    {"error_info", FieldKind::Text, kAnswerHeadErrorInfoOffset, 255},
};

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

Json::Value ReadField(const AnswerField& field, BodyView body) {
  const uint32_t at = field.offset;
  switch (field.kind) {
    case FieldKind::Text: return Json::Value(body.Text(at, field.width));
    case FieldKind::Int32: return Json::Value(body.Int32(at));
    case FieldKind::Int64: return Json::Value(static_cast<Json::Int64>(body.Number<int64_t>(at)));
    case FieldKind::Code: return Json::Value(static_cast<int>(body.Code(at)));
    case FieldKind::Double: return Json::Value(body.Number<double>(at));
    case FieldKind::U64Text: {
      char digits[128] = {};
      std::snprintf(digits, sizeof digits, "%llu",
                    static_cast<unsigned long long>(body.Number<uint64_t>(at)));
      return Json::Value(digits);
    }
    case FieldKind::U64:
      return Json::Value(static_cast<Json::UInt64>(body.Number<uint64_t>(at)));
    case FieldKind::CountedText: return Json::Value(body.CountedText(at));
    case FieldKind::MarketCode: return Json::Value(ToMarketCode(body.Number<uint8_t>(at)));
    case FieldKind::BsFlag: return Json::Value(ToBsFlag(body.Number<uint8_t>(at)));
  }
  return Json::Value();
}

void SetFields(Json::Value& object, FieldList fields, BodyView body) {
  for (const AnswerField& field : fields) object[field.key] = ReadField(field, body);
}

uint32_t RecordSize(FieldList recordFields) {
  uint32_t size = 0;
  for (const AnswerField& field : recordFields) size = std::max(size, field.offset + field.width);
  return size;
}

Json::Value ReadRecords(const RecordBlock& block, BodyView body, int32_t errorNo) {
  Json::Value list(Json::arrayValue);
  const int32_t recordLen = body.Int32(block.recordLenOffset);
  const int32_t count = body.Int32(block.recordLenOffset + 4);
  if (errorNo != 0 || count <= 0 || recordLen <= 0) return list;
  const size_t recordSize = RecordSize(block.recordFields);
  size_t position = block.recordLenOffset + 8;
  for (int32_t i = 0; i < count && body.Holds(position, recordSize); ++i) {
    Json::Value record(Json::objectValue);
    SetFields(record, block.recordFields, body.Slice(position, recordSize));
    list.append(std::move(record));
    position += static_cast<size_t>(recordLen);
  }
  return list;
}

std::string WriteAnswer(const Json::Value& root) {
  static const Json::StreamWriterBuilder builder;  // default settings, none changed
  const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
  std::ostringstream text;
  writer->write(root, &text);
  return text.str();
}

void ParseAnswer(const AnswerLayout& layout, TradeClient& client, BodyView body,
                 std::string& out) {
  Json::Value root(Json::objectValue);
  SetFields(root, layout.fields, body);
  const int32_t errorNo = body.Int32(layout.errorNoOffset);
  if (layout.records != nullptr) {
    const RecordBlock& block = *layout.records;
    if (block.sizeKey != nullptr) root[block.sizeKey] = body.Int32(block.recordLenOffset);
    if (block.countKey != nullptr) root[block.countKey] = body.Int32(block.recordLenOffset + 4);
    root[block.listKey] = ReadRecords(block, body, errorNo);
  }
  out = WriteAnswer(root);
  if (layout.callsReloginGate && errorNo == kLoginLostErrorNo) client.ReloginGate();
}

}  // namespace tessel
