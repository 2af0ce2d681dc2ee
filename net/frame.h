// The frame envelope shared by every message on both channels: a 45-byte
// header, the body, and a 4-byte checksum trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "net/wire.h"

namespace tessel {

#pragma pack(push, 1)
struct FrameHeader {
  char magic;              // always '-'
  wire::U32 messageType;   // funcId of a request, or answer/push type
  wire::U32 bodyLength;    // body bytes after the header, trailer not counted
  wire::U32 secondLength;  // 0, except QryCurOrder requests carry bodyLength
  wire::U64 requestId;     // ties an answer to its request
  char terminalId[24];     // NUL-terminated, NUL-padded
};
#pragma pack(pop)

static_assert(offsetof(FrameHeader, magic) == 0);
static_assert(offsetof(FrameHeader, messageType) == 1);
static_assert(offsetof(FrameHeader, bodyLength) == 5);
static_assert(offsetof(FrameHeader, secondLength) == 9);
static_assert(offsetof(FrameHeader, requestId) == 13);
static_assert(offsetof(FrameHeader, terminalId) == 21);
static_assert(sizeof(FrameHeader) == 45);

constexpr char kFrameMagic = '-';
constexpr size_t kHeaderSize = sizeof(FrameHeader);
constexpr size_t kTrailerSize = 4;
constexpr size_t kFrameOverhead = kHeaderSize + kTrailerSize;  // 49

// Message types with a meaning of their own at the envelope level.
constexpr uint32_t kUnknownType = 0;
constexpr uint32_t kLoginType = 1;
constexpr uint32_t kLogoutType = 2;
constexpr uint32_t kHeartbeatType = 3;

// Largest body either side will build or accept. A header announcing more is
// a broken connection; a counted request that would need more is refused.
constexpr uint32_t kMaxBodyLength = 4u * 1024 * 1024;

using Frame = std::vector<uint8_t>;
// A queued or pending request shares its frame between the queue, the
// pending map and the send thread writing it; the last holder frees it.
using SharedFrame = std::shared_ptr<const Frame>;

// Low 8 bits of the signed byte sum (equal to the unsigned sum modulo 256).
uint32_t FrameChecksum(const uint8_t* data, size_t count);

// Builds a complete frame around `body`. The terminal id is cut to 23 bytes.
Frame BuildFrame(uint32_t messageType, const void* body, uint32_t bodyLength,
                 uint64_t requestId, std::string_view terminalId,
                 uint32_t secondLength = 0);

// 49-byte heartbeat: type 3, empty body, all-zero terminal id.
Frame BuildHeartbeat(uint64_t requestId);

inline FrameHeader ReadHeader(const uint8_t* frame) { return wire::Load<FrameHeader>(frame); }

inline size_t FrameSize(uint32_t bodyLength) { return bodyLength + kFrameOverhead; }

// Size of the frame a 45-byte header announces, or 0 when its body would
// pass the ceiling. The reader and the inbound walk both go by it.
size_t AnnouncedFrameSize(const uint8_t* header);

// Size of the complete frame at the start of `data`, or 0 when fewer bytes
// than the header announces are present or the header announces a body over
// the ceiling.
size_t CompleteFrameSize(const uint8_t* data, size_t available);

}  // namespace tessel
