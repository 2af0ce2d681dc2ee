#include "net/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessel {
namespace {

// The low byte of the signed byte sum, at every length from 0 past two
// flushes of the word sum, every start offset within a word, and with bytes
// that make each lane as large as it gets.
TEST(FrameChecksum, MatchesTheByteByByteSumAtEveryLengthAndAlignment) {
  const uint8_t sample[] = {0x80, 0xFF, 0x01, 0xFF};  // -128 - 1 + 1 = -128 (0x80); - 1: 0x7F
  EXPECT_EQ(FrameChecksum(sample, 3), 0x80u);
  EXPECT_EQ(FrameChecksum(sample, 4), 0x7Fu);
  std::vector<uint8_t> bytes(2 * 128 * 8 + 40);
  uint32_t state = 12345;
  for (uint8_t& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  std::vector<uint8_t> highs(bytes.size(), 0xFF);
  for (const std::vector<uint8_t>* data : {&bytes, &highs}) {
    for (size_t offset = 0; offset < 8; ++offset) {
      for (size_t length = 0; offset + length <= data->size(); ++length) {
        int32_t sum = 0;
        for (size_t i = 0; i < length; ++i) sum += static_cast<int8_t>((*data)[offset + i]);
        ASSERT_EQ(FrameChecksum(data->data() + offset, length), static_cast<uint32_t>(sum) & 0xFFu)
            << "offset " << offset << " length " << length;
      }
    }
  }
}

TEST(Frame, HeartbeatIsBareEnvelope) {
  const Frame frame = BuildHeartbeat(0x0102030405060708ull);
  ASSERT_EQ(frame.size(), 49u);
  const FrameHeader header = ReadHeader(frame.data());
  EXPECT_EQ(header.magic, '-');
  EXPECT_EQ(header.messageType, 3u);
  EXPECT_EQ(header.bodyLength, 0u);
  EXPECT_EQ(header.secondLength, 0u);
  EXPECT_EQ(header.requestId, 0x0102030405060708ull);
  for (size_t i = 21; i < 45; ++i) EXPECT_EQ(frame[i], 0) << i;
  // The id starts at byte 13, little-endian.
  EXPECT_EQ(frame[13], 0x08);
  EXPECT_EQ(frame[20], 0x01);
  EXPECT_EQ(wire::Load<uint32_t>(frame.data() + 45), FrameChecksum(frame.data(), 45));
}

TEST(Frame, TerminalIdIsCutToItsField) {
  const std::string longId(40, 'A');
  const Frame frame = BuildFrame(7, "xy", 2, 1, longId);
  ASSERT_EQ(frame.size(), 51u);
  EXPECT_EQ(frame[21 + 22], 'A');
  EXPECT_EQ(frame[21 + 23], 0);  // always terminated inside the 24 bytes
  EXPECT_EQ(frame[45], 'x');
}

TEST(Frame, CompleteFrameSizeNeedsWholeFrame) {
  const Frame frame = BuildFrame(9, "abcdef", 6, 5, "ID");
  EXPECT_EQ(CompleteFrameSize(frame.data(), frame.size()), 55u);
  EXPECT_EQ(CompleteFrameSize(frame.data(), frame.size() - 1), 0u);
  EXPECT_EQ(CompleteFrameSize(frame.data(), 44), 0u);
  EXPECT_EQ(CompleteFrameSize(nullptr, 100), 0u);
}

// A header announcing a body over the ceiling is never a frame, however many
// bytes follow it: the reader drops the connection on it and the walk stops.
TEST(Frame, BodyOverTheCeilingIsNoFrame) {
  const std::vector<uint8_t> body(kMaxBodyLength + 1, 'b');
  Frame frame = BuildFrame(9, body.data(), kMaxBodyLength, 5, "ID");
  EXPECT_EQ(AnnouncedFrameSize(frame.data()), kMaxBodyLength + kFrameOverhead);
  EXPECT_EQ(CompleteFrameSize(frame.data(), frame.size()), frame.size());

  frame = BuildFrame(9, body.data(), kMaxBodyLength + 1, 5, "ID");
  EXPECT_EQ(AnnouncedFrameSize(frame.data()), 0u);
  EXPECT_EQ(CompleteFrameSize(frame.data(), frame.size()), 0u);
  wire::Store<uint32_t>(frame.data() + 5, 0xFFFFFFFFu);  // would wrap a 32-bit size
  EXPECT_EQ(AnnouncedFrameSize(frame.data()), 0u);
  EXPECT_EQ(CompleteFrameSize(frame.data(), frame.size()), 0u);
}

}  // namespace
}  // namespace tessel
