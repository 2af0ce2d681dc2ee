#include "messages/inbound/answer_conventions.h"

#include <json/writer.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "messages/inbound/json_text.h"
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

void AppendFieldValue(std::string& out, const AnswerField& field, BodyView body) {
  const uint32_t at = field.offset;
  switch (field.kind) {
    case FieldKind::Text: return json_text::AppendQuoted(out, body.TextView(at, field.width));
    case FieldKind::Int32: return json_text::AppendInt(out, body.Int32(at));
    case FieldKind::Int64: return json_text::AppendInt(out, body.Number<int64_t>(at));
    case FieldKind::Code: return json_text::AppendInt(out, body.Code(at));
    // JSON has no infinity or NaN: a server value that is neither is null.
    case FieldKind::Double: return json_text::AppendReal(out, body.Number<double>(at));
    case FieldKind::U64Text:
      out += '"';
      json_text::AppendUInt(out, body.Number<uint64_t>(at));
      out += '"';
      return;
    case FieldKind::U64: return json_text::AppendUInt(out, body.Number<uint64_t>(at));
    case FieldKind::CountedText: return json_text::AppendQuoted(out, body.CountedTextView(at));
    case FieldKind::RestText: return json_text::AppendQuoted(out, body.TextView(at, body.size()));
    case FieldKind::MarketCode:
      return json_text::AppendInt(out, ToMarketCode(body.Number<uint8_t>(at)));
    case FieldKind::BsFlag: return json_text::AppendInt(out, ToBsFlag(body.Number<uint8_t>(at)));
  }
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

namespace {

// Where a member's value comes from: a field of the body, or what the
// layout adds around the fields.
enum class Source : uint8_t { Field, PushType, RecordSize, RecordCount, Records };

struct Member {
  const char* key;
  Source source;
  const AnswerField* field;  // for Source::Field
};

// The members of one object in the order jsoncpp keeps them: by key, bytes
// compared unsigned; of two equal keys the one added last stands, as a
// second assignment would replace the first.
class SortedMembers {
 public:
  void Add(const char* key, Source source, const AnswerField* field = nullptr) {
    items_[count_++] = {key, source, field};
  }
  void AddFields(FieldList fields) {
    for (const AnswerField& field : fields) Add(field.key, Source::Field, &field);
  }
  // Insertion sort: a stable one on the stack, for a few dozen keys.
  void Sort() {
    for (size_t i = 1; i < count_; ++i) {
      const Member moving = items_[i];
      size_t j = i;
      for (; j > 0 && std::strcmp(items_[j - 1].key, moving.key) > 0; --j) {
        items_[j] = items_[j - 1];
      }
      items_[j] = moving;
    }
    size_t kept = 0;
    for (size_t i = 0; i < count_; ++i) {
      const bool replaced = i + 1 < count_ && std::strcmp(items_[i].key, items_[i + 1].key) == 0;
      if (!replaced) items_[kept++] = items_[i];
    }
    count_ = kept;
  }
  const Member* begin() const { return items_.data(); }
  const Member* end() const { return items_.data() + count_; }

 private:
  std::array<Member, kMaxObjectFields + 4> items_;
  size_t count_ = 0;
};

// Writes one answer as jsoncpp's default writer would print its tree:
// members on their own lines, one tab deeper than their braces.
class AnswerText {
 public:
  AnswerText(const AnswerLayout& layout, BodyView body, std::string& out)
      : layout_(layout), body_(body), errorNo_(body.Int32(layout.errorNoOffset)), out_(out) {}

  int32_t ErrorNo() const { return errorNo_; }

  void Root() {
    SortedMembers members;
    if (layout_.pushType != 0) members.Add("push_type", Source::PushType);
    members.AddFields(layout_.fields);
    if (const RecordBlock* block = layout_.records) {
      if (block->sizeKey != nullptr) members.Add(block->sizeKey, Source::RecordSize);
      if (block->countKey != nullptr) members.Add(block->countKey, Source::RecordCount);
      members.Add(block->listKey, Source::Records);
    }
    members.Sort();
    Object(members, 0, body_);
  }

 private:
  void Object(const SortedMembers& members, int depth, BodyView from) {
    out_ += '{';
    bool first = true;
    for (const Member& member : members) {
      if (!first) out_ += ',';
      first = false;
      json_text::AppendBreak(out_, depth + 1);
      out_ += '"';
      out_ += member.key;
      out_ += "\" : ";
      Value(member, depth + 1, from);
    }
    json_text::AppendBreak(out_, depth);
    out_ += '}';
  }

  void Value(const Member& member, int depth, BodyView from) {
    const RecordBlock* block = layout_.records;
    switch (member.source) {
      case Source::Field: return AppendFieldValue(out_, *member.field, from);
      case Source::PushType: return json_text::AppendInt(out_, layout_.pushType);
      case Source::RecordSize:
        return json_text::AppendInt(out_, body_.Int32(block->recordLenOffset));
      case Source::RecordCount:
        return json_text::AppendInt(
            out_, block->exactlyOne ? 1 : body_.Int32(block->recordLenOffset + 4));
      case Source::Records: return Records(*block, depth);
    }
  }

  void Records(const RecordBlock& block, int depth) {
    SortedMembers members;
    members.AddFields(block.recordFields);
    members.Sort();
    bool first = true;
    ForEachRecord(block, [&](BodyView record) {
      if (first) json_text::AppendBreak(out_, depth);
      out_ += first ? "[" : ",";
      first = false;
      json_text::AppendBreak(out_, depth + 1);
      Object(members, depth + 1, record);
    });
    if (first) {
      out_ += "[]";
    } else {
      json_text::AppendBreak(out_, depth);
      out_ += ']';
    }
  }

  template <typename Visit>
  void ForEachRecord(const RecordBlock& block, Visit&& visit) const {
    const size_t recordSize = RecordSize(block.recordFields);
    const size_t first = block.recordLenOffset + 8;
    if (block.exactlyOne) return visit(body_.Slice(first, recordSize));
    const int32_t recordLen = body_.Int32(block.recordLenOffset);
    const int32_t count = body_.Int32(block.recordLenOffset + 4);
    // Slots narrower than a record would read the same bytes into several
    // records: a 4 MB body with a record_len of 1 became a 3 GB answer.
    if (errorNo_ != 0 || count <= 0 || recordLen <= 0 ||
        static_cast<size_t>(recordLen) < recordSize) {
      return;
    }
    size_t position = first;
    for (int32_t i = 0; i < count && body_.Holds(position, recordSize); ++i) {
      visit(body_.Slice(position, recordSize));
      position += static_cast<size_t>(recordLen);
    }
  }

  const AnswerLayout& layout_;
  const BodyView body_;
  const int32_t errorNo_;
  std::string& out_;
};

}  // namespace

ParsedAnswer ParseAnswer(const AnswerLayout& layout, BodyView body) {
  ParsedAnswer parsed;
  AnswerText text(layout, body, parsed.text);
  text.Root();
  parsed.loginLost = layout.callsReloginGate && text.ErrorNo() == kLoginLostErrorNo;
  return parsed;
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
