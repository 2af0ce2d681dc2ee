// Expected body bytes, written from documented offsets and values.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tessel::testing {

// One expected field: its bytes at an offset of the body.
struct Expect {
  size_t offset;
  std::vector<uint8_t> bytes;
};

inline Expect T(size_t offset, const std::string& text) {
  return {offset, std::vector<uint8_t>(text.begin(), text.end())};
}
inline Expect B(size_t offset, uint8_t value) { return {offset, {value}}; }
inline Expect I32(size_t offset, int32_t value) {
  std::vector<uint8_t> bytes(4);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
  return {offset, bytes};
}
inline Expect U64(size_t offset, uint64_t value) {
  std::vector<uint8_t> bytes(8);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return {offset, bytes};
}
inline Expect F64(size_t offset, double value) {
  std::vector<uint8_t> bytes(8);
  std::memcpy(bytes.data(), &value, 8);  // IEEE 754, little-endian host
  return {offset, bytes};
}

// A zeroed body of `size` bytes with the expected fields laid in.
inline std::vector<uint8_t> ExpectedBody(size_t size, const std::vector<Expect>& fields) {
  std::vector<uint8_t> body(size, 0);
  for (const Expect& field : fields) {
    std::copy(field.bytes.begin(), field.bytes.end(), body.begin() + static_cast<long>(field.offset));
  }
  return body;
}

}  // namespace tessel::testing
