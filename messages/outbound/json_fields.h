// The JSON rules every request fill step applies to its keys. Each reader
// checks one required key and writes its field, returning false on a missing
// key or a wrong type so that fills chain with &&: the first failure refuses
// the whole request and nothing is sent.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/wire.h"

namespace tessel::json_fields {

// The value of the decimal digits at the start of `text`; 0 when it does
// not start with a digit, the largest value when the digits overflow.
uint64_t LeadingDecimal(std::string_view text);

// *text*: a JSON string of at most width - 1 bytes. A longer text refuses the
// request rather than being cut, so an account or code is never altered.
bool ReadText(const Json::Value& request, const char* key, char* field, size_t width);

template <size_t N>
bool ReadText(const Json::Value& request, const char* key, char (&field)[N]) {
  return ReadText(request, key, field, N);
}

// *int*: a whole number within the signed 32-bit range (15.0 counts).
bool ReadInt(const Json::Value& request, const char* key, wire::I32& field);
// *int* into a one-byte field: the low 8 bits are kept.
bool ReadInt(const Json::Value& request, const char* key, uint8_t& field);
// *int*, sent as a double (order quantities).
bool ReadWholeNumber(const Json::Value& request, const char* key, wire::F64& field);
// *number*: any JSON number, as a double.
bool ReadNumber(const Json::Value& request, const char* key, wire::F64& field);
// *time text*: a JSON string whose leading decimal digits are the value
// (no leading digit reads as 0).
bool ReadTimeText(const Json::Value& request, const char* key, wire::U64& field);
// *array*: the key holds a JSON array.
bool ReadArray(const Json::Value& request, const char* key, const Json::Value*& array);

}  // namespace tessel::json_fields
