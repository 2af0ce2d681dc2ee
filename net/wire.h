// Little-endian wire access. Records are packed structs copied byte for
// byte, which is only correct on a little-endian host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "wire records are copied as they stand; a big-endian build needs byte swaps");

namespace tessel::wire {

template <typename T>
T Load(const uint8_t* at) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void Store(uint8_t* at, T value) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(at, &value, sizeof value);
}

// Copies text into a fixed field of `width` bytes: at most width - 1 bytes
// and a terminating zero; the caller has zeroed the field.
inline bool StoreText(char* field, size_t width, const char* text, size_t length) {
  if (width == 0 || length > width - 1) return false;
  std::memcpy(field, text, length);
  field[length] = '\0';
  return true;
}

}  // namespace tessel::wire

// Checks one field of a packed wire record against its documented offset and
// width at compile time.
#define TESSEL_WIRE_FIELD(Record, field, offset, width)                   \
  static_assert(offsetof(Record, field) == (offset) &&                    \
                    sizeof(Record::field) == (width),                     \
                #Record "::" #field " must sit at " #offset ", " #width " bytes wide")
