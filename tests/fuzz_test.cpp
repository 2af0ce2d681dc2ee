// Seeded random inputs through the two paths that eat outside bytes: frames
// from the server into the inbound dispatch, and host text into the intake.
// Run under the sanitizer builds, they catch reads past a body and
// answers delivered twice.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "session/inbound_dispatch.h"
#include "net/frame.h"
#include "plugin/request_intake.h"
#include "session/trade_client.h"

namespace tessel {
namespace {

std::map<uint64_t, int> gAnswersByContext;

void CountAnswer(const char*, int32_t, uint64_t context) { ++gAnswersByContext[context]; }
void IgnoreNotice(const char*, int32_t) {}

TEST(Fuzz, RandomFramesAnswerEachPendingRequestAtMostOnce) {
  std::mt19937 random(20261206);
  const uint32_t types[] = {0, 1, 2, 3, 10, 100, 206, 304, 999};
  for (int round = 0; round < 200; ++round) {
    gAnswersByContext.clear();
    TradeClient client;
    client.hostNotify = &IgnoreNotice;
    for (uint64_t id = 1; id <= 8; ++id) {
      TradeRequestData request;
      request.requestId = id;
      request.callback = &CountAnswer;
      request.context = id;
      (id % 2 ? client.main : client.push).pending[id] = request;
    }
    std::vector<uint8_t> stream;
    for (int n = 0; n < 12; ++n) {
      std::vector<uint8_t> body(random() % 400);
      for (uint8_t& byte : body) byte = static_cast<uint8_t>(random());
      const Frame frame = BuildFrame(types[random() % 9], body.data(),
                                     static_cast<uint32_t>(body.size()), random() % 10, {});
      stream.insert(stream.end(), frame.begin(), frame.end());
    }
    // Cut the stream anywhere: the walk must stop at the incomplete frame.
    const size_t cut = random() % (stream.size() + 1);
    const std::vector<uint8_t> piece(stream.begin(), stream.begin() + static_cast<long>(cut));
    int32_t count = static_cast<int32_t>(piece.size());
    MainDispatch(client, piece.data(), count);
    count = static_cast<int32_t>(piece.size());
    PushDispatch(client, piece.data(), count);
    for (const auto& [context, answers] : gAnswersByContext) {
      EXPECT_EQ(answers, 1) << "request " << context << " in round " << round;
    }
  }
}

TEST(Fuzz, MangledRequestsAreRefusedOrPackedWhole) {
  std::mt19937 random(61202026);
  const std::string seeds[] = {
      R"({"func":"Login","user_name":"u","pass_word":"p","heart_beat":30,"compress":1,"encrypt":0})",
      R"({"func":"ModifyPwd","user_name":"u","pass_word":"p","new_pass_word":"q"})",
      R"({"func":"Logout"})",
      R"({"func":"OptionalOperation","record_set_cnt":2})",
  };
  TradeClient client;
  client.main.connected = true;
  client.push.connected = true;
  for (int round = 0; round < 3000; ++round) {
    std::string text = seeds[random() % 4];
    for (int edits = random() % 4; edits > 0; --edits) {
      const size_t at = random() % text.size();
      switch (random() % 3) {
        case 0: text[at] = static_cast<char>(random()); break;
        case 1: text.erase(at, 1 + random() % 5); break;
        default: text.insert(at, 1, "\"{}[]0-9.e,:\\"[random() % 13]); break;
      }
      if (text.empty()) text = "{";
    }
    const int32_t length = static_cast<int32_t>(random() % (text.size() + 1));
    if (!SubmitRequest(client, text.data(), length, &CountAnswer, 0)) continue;
    TradeRequestData queued;
    ASSERT_TRUE(client.main.queue.try_dequeue(queued) || client.push.queue.try_dequeue(queued));
    const Frame& frame = *queued.frame;
    ASSERT_GE(frame.size(), kFrameOverhead);
    EXPECT_EQ(frame.size(), FrameSize(ReadHeader(frame.data()).bodyLength));
    EXPECT_EQ(wire::Load<uint32_t>(frame.data() + frame.size() - 4),
              FrameChecksum(frame.data(), frame.size() - 4));
  }
}

}  // namespace
}  // namespace tessel
