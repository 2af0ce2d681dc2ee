#include "net/frame.h"

#include <algorithm>
#include <cstring>

namespace tessel {

uint32_t FrameChecksum(const uint8_t* data, size_t count) {
  // The low byte of the signed sum is that of the unsigned sum. Eight bytes
  // are added at a time into four 16-bit lanes, which are emptied before
  // one could overflow (128 words add at most 128 * 2 * 255 to a lane).
  constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
  uint32_t sum = 0;
  size_t i = 0;
  while (count - i >= 8) {
    const size_t words = std::min<size_t>((count - i) / 8, 128);
    uint64_t lanes = 0;
    for (size_t w = 0; w < words; ++w, i += 8) {
      uint64_t word;
      std::memcpy(&word, data + i, sizeof word);
      lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
    }
    for (int lane = 0; lane < 4; ++lane) {
      sum += static_cast<uint32_t>((lanes >> (16 * lane)) & 0xFFFFu);
    }
  }
  for (; i < count; ++i) sum += data[i];
  return sum & 0xFFu;
}

Frame BuildFrame(uint32_t messageType, const void* body, uint32_t bodyLength,
                 uint64_t requestId, std::string_view terminalId, uint32_t secondLength) {
  Frame frame(FrameSize(bodyLength), 0);
  FrameHeader header{};
  header.magic = kFrameMagic;
  header.messageType = messageType;
  header.bodyLength = bodyLength;
  header.secondLength = secondLength;
  header.requestId = requestId;
  const size_t idLength = std::min(terminalId.size(), sizeof header.terminalId - 1);
  if (idLength > 0) std::memcpy(header.terminalId, terminalId.data(), idLength);
  wire::Store(frame.data(), header);
  if (bodyLength > 0) std::memcpy(frame.data() + kHeaderSize, body, bodyLength);
  const size_t trailerAt = frame.size() - kTrailerSize;
  wire::Store<uint32_t>(frame.data() + trailerAt, FrameChecksum(frame.data(), trailerAt));
  return frame;
}

Frame BuildHeartbeat(uint64_t requestId) {
  return BuildFrame(kHeartbeatType, nullptr, 0, requestId, {});
}

size_t AnnouncedFrameSize(const uint8_t* header) {
  const uint32_t bodyLength = ReadHeader(header).bodyLength;
  return bodyLength > kMaxBodyLength ? 0 : FrameSize(bodyLength);
}

size_t CompleteFrameSize(const uint8_t* data, size_t available) {
  if (data == nullptr || available < kHeaderSize) return 0;
  const size_t size = AnnouncedFrameSize(data);
  return available < size ? 0 : size;
}

}  // namespace tessel
