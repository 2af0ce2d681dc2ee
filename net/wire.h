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

// A number stored as its little-endian bytes. Its alignment is 1, so wire
// records built from these need no packing tricks and their fields may be
// bound to references safely; reads and writes go through memcpy.
template <typename T>
class Le {
  static_assert(std::is_arithmetic_v<T>);

 public:
  Le& operator=(T value) {
    std::memcpy(bytes_, &value, sizeof value);
    return *this;
  }
  operator T() const {
    T value;
    std::memcpy(&value, bytes_, sizeof value);
    return value;
  }
  T get() const { return *this; }

 private:
  unsigned char bytes_[sizeof(T)];
};

using I32 = Le<int32_t>;
using U32 = Le<uint32_t>;
using I64 = Le<int64_t>;
using U64 = Le<uint64_t>;
using F64 = Le<double>;
static_assert(alignof(I32) == 1 && sizeof(I32) == 4);
static_assert(alignof(F64) == 1 && sizeof(F64) == 8);

// Copies text into a fixed field of `width` bytes: at most width - 1 bytes
// and a terminating zero; the caller has zeroed the field.
inline bool StoreText(char* field, size_t width, const char* text, size_t length) {
  if (width == 0 || length > width - 1) return false;
  if (length > 0) std::memcpy(field, text, length);
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
