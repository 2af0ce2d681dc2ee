// Bounded reads of a received message body. Every read stays inside the
// bytes that arrived: a field that lies (partly) past the end reads as zero
// or as the empty text, a text without a terminating zero stops at its width.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "net/wire.h"

namespace tessel {

class BodyView {
 public:
  BodyView() = default;
  BodyView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool Holds(size_t offset, size_t width) const {
    return offset <= size_ && width <= size_ - offset;
  }

  template <typename T>
  T Number(size_t offset) const {
    return Holds(offset, sizeof(T)) ? wire::Load<T>(data_ + offset) : T{};
  }
  int32_t Int32(size_t offset) const { return Number<int32_t>(offset); }
  int8_t Code(size_t offset) const { return Number<int8_t>(offset); }

  // Bytes before the first zero inside the field's width, cut at the body end.
  std::string_view TextView(size_t offset, size_t width) const {
    if (offset >= size_) return {};
    const size_t available = std::min(width, size_ - offset);
    const char* start = reinterpret_cast<const char*>(data_ + offset);
    return std::string_view(start, strnlen(start, available));
  }
  std::string Text(size_t offset, size_t width) const {
    return std::string(TextView(offset, width));
  }

  // An int32 length followed by that many bytes, up to the first zero.
  std::string_view CountedTextView(size_t offset) const {
    const int32_t length = Int32(offset);
    if (length <= 0 || !Holds(offset, 4)) return {};
    return TextView(offset + 4, static_cast<size_t>(length));
  }
  std::string CountedText(size_t offset) const { return std::string(CountedTextView(offset)); }

  // The part of the body from offset on, at most `width` bytes.
  BodyView Slice(size_t offset, size_t width) const {
    if (offset >= size_) return {};
    return BodyView(data_ + offset, std::min(width, size_ - offset));
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace tessel
