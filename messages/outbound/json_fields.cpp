#include "messages/outbound/json_fields.h"

#include "net/wire.h"

namespace tessel::json_fields {
namespace {

const Json::Value* Member(const Json::Value& request, const char* key) {
  if (!request.isObject()) return nullptr;
  return request.find(key, key + std::char_traits<char>::length(key));
}

}  // namespace

uint64_t LeadingDecimal(std::string_view text) {
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;  // saturates like strtoull
    value = value * 10 + digit;
  }
  return value;
}

bool ReadText(const Json::Value& request, const char* key, char* field, size_t width) {
  const Json::Value* value = Member(request, key);
  if (value == nullptr || !value->isString()) return false;
  const char* begin = nullptr;
  const char* end = nullptr;
  value->getString(&begin, &end);
  return wire::StoreText(field, width, begin, static_cast<size_t>(end - begin));
}

const Json::Value* WholeNumber(const Json::Value& request, const char* key) {
  const Json::Value* value = Member(request, key);
  return (value != nullptr && value->isInt()) ? value : nullptr;
}

bool ReadInt(const Json::Value& request, const char* key, wire::I32& field) {
  const Json::Value* value = WholeNumber(request, key);
  if (value == nullptr) return false;
  field = value->asInt();
  return true;
}

bool ReadInt(const Json::Value& request, const char* key, uint8_t& field) {
  const Json::Value* value = WholeNumber(request, key);
  if (value == nullptr) return false;
  field = static_cast<uint8_t>(value->asInt() & 0xFF);
  return true;
}

bool ReadWholeNumber(const Json::Value& request, const char* key, wire::F64& field) {
  const Json::Value* value = WholeNumber(request, key);
  if (value == nullptr) return false;
  field = static_cast<double>(value->asInt());
  return true;
}

bool ReadNumber(const Json::Value& request, const char* key, wire::F64& field) {
  const Json::Value* value = Member(request, key);
  if (value == nullptr || !value->isNumeric()) return false;
  field = value->asDouble();
  return true;
}

bool ReadTimeText(const Json::Value& request, const char* key, wire::U64& field) {
  const Json::Value* value = Member(request, key);
  if (value == nullptr || !value->isString()) return false;
  field = LeadingDecimal(value->asString());
  return true;
}

bool ReadArray(const Json::Value& request, const char* key, const Json::Value*& array) {
  const Json::Value* value = Member(request, key);
  if (value == nullptr || !value->isArray()) return false;
  array = value;
  return true;
}

}  // namespace tessel::json_fields
