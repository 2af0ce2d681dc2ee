// A step of the wall clock must neither stop heartbeats nor stretch time-
// outs: every wait the library plans runs on the monotonic clock. (The
// clock as read through clock_gettime is shifted; the C++ runtime's
// system_clock asks the kernel directly and is not.)
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "e2e_support.h"
#include "net/frame.h"
#include "session/trade_client.h"
#include "wall_clock_shift.h"

namespace tessel::testing {
namespace {

using standin::FramesOfType;

constexpr long kAhead = 20;

class WallClockStep : public InProcessTest {
 protected:
  void TearDown() override { ShiftWallClock(0); }
};

TEST_F(WallClockStep, TheInterpositionMovesWhatTheProcessReads) {
  ShiftWallClock(kAhead);
  timespec read{};
  ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &read), 0);
  EXPECT_GE(read.tv_sec - UnshiftedWallSeconds(), kAhead - 1);
}

// The wall clock reads 20 s ahead while the link comes up and a request
// goes out, then steps back to the true time.
TEST_F(WallClockStep, BackwardsKeepsHeartbeatsAndTimeOutsOnTime) {
  client_.timings.requestTimeout = std::chrono::seconds(2);
  client_.timings.heartbeatIdle = std::chrono::seconds(1);
  ShiftWallClock(kAhead);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  ASSERT_TRUE(LogsIn(client_));
  ASSERT_TRUE(SendHeld(2));
  const size_t heartbeats = server().Snapshot()[Channel::Main].Count(kHeartbeatType);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the send thread is asleep

  ShiftWallClock(0);
  // Due within 3 s of its acceptance; a wait planned on the wall clock
  // would last 20 s longer.
  ASSERT_TRUE(host().WaitForAnswers(2, 1, std::chrono::seconds(8)));
  EXPECT_EQ(host().AnswersFor(2).front().text, kTimeoutText);
  // A heartbeat every 2 s goes on.
  EXPECT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kHeartbeatType, heartbeats + 2),
                                        std::chrono::seconds(8)));
}

}  // namespace
}  // namespace tessel::testing
