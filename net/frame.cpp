#include "net/frame.h"

#include <algorithm>
#include <cstring>

namespace tessel {

uint32_t FrameChecksum(const uint8_t* data, size_t count) {
  int32_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum += static_cast<int8_t>(data[i]);
  return static_cast<uint32_t>(sum) & 0xFFu;
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
