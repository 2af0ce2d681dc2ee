// End-to-end runs of a TradeClient made in-process, so that intervals can be
// shortened and internals reached, against the stand-in or bare listeners.
#include <gtest/gtest.h>

#include <thread>

#include "e2e_support.h"
#include "net/frame.h"
#include "net/vsocket.h"
#include "platform/sockets.h"
#include "session/trade_client.h"

namespace tessel::testing {
namespace {

using standin::FramesOfType;

using SeamSession = InProcessTest;

// A main-channel request's time-out is answered (RealTimeUnansweredRequestTimesOut);
// a push-channel request's is dropped, never answered.
TEST_F(SeamSession, TimedOutPushRequestIsDroppedUnanswered) {
  client_.timings.requestTimeout = std::chrono::seconds(1);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  server().SetSilent(Channel::Push, true);
  ASSERT_TRUE(SubmitWhenUp(client_, LoginJson("Login_Trade_Push"), 2));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Push, kLoginType, 1)));
  EXPECT_TRUE(Eventually([this] {
    std::lock_guard<std::mutex> hold(client_.push.pendingLock);
    return client_.push.pending.empty();
  }, std::chrono::seconds(5)));
  EXPECT_TRUE(host().AnswersFor(2).empty());
}

// A listener that accepts TCP and then says nothing: the TLS handshake waits.
TEST_F(SeamSession, StopEndsAHandshakeInProgress) {
  uint16_t port = 0;
  const platform::NativeSocket listener = platform::ListenLoopback(port);
  ASSERT_NE(listener, platform::kInvalidSocket);
  StandInHarness::WriteConfig(port, port);
  client_.timings.connectTimeout = std::chrono::seconds(600);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  const platform::NativeSocket accepted = platform::AcceptConnection(listener);
  ASSERT_NE(accepted, platform::kInvalidSocket);
  client_.Stop();  // returns although the server never answers the handshake
  EXPECT_FALSE(client_.main.connected);
  platform::CloseSocket(accepted);
  platform::CloseSocket(listener);
}

TEST_F(SeamSession, StopEndsAConnectInProgress) {
  uint16_t port = 0;
  const platform::NativeSocket listener = platform::ListenLoopback(port);
  std::vector<std::unique_ptr<VSocket>> fillers;  // fill the backlog: connects then hang
  while (fillers.size() < 256) {
    fillers.push_back(std::make_unique<VSocket>());
    fillers.back()->create();
    if (!fillers.back()->connect("127.0.0.1", port, 1)) break;
  }
  StandInHarness::WriteConfig(port, port);
  client_.timings.connectTimeout = std::chrono::seconds(600);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  client_.Stop();
  EXPECT_FALSE(client_.main.connected);
  platform::CloseSocket(listener);
}

// Every handshake fails at once: the channels must pause between cycles
// instead of spinning.
TEST_F(SeamSession, FailingHandshakesBackOff) {
  client_.timings.firstBackoff = std::chrono::milliseconds(200);
  client_.timings.maxBackoff = std::chrono::milliseconds(400);
  server().RefuseConnections(Channel::Main, true);
  server().RefuseConnections(Channel::Push, true);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const auto seen = server().Snapshot();
  EXPECT_GE(seen[Channel::Main].refused, 2u);   // it keeps trying...
  EXPECT_LE(seen[Channel::Main].refused, 12u);  // ...at the back-off's pace
  EXPECT_LE(seen[Channel::Push].refused, 12u);
  server().RefuseConnections(Channel::Main, false);
  EXPECT_TRUE(SubmitWhenUp(client_, LoginJson("Login"), 1));
}

TEST_F(SeamSession, ClientsAfterADestroyedOneStillGetTls) {
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  ASSERT_TRUE(SubmitWhenUp(client_, LoginJson("Login"), 1));
  client_.Stop();
  TradeClient second;
  ASSERT_TRUE(second.Init(&HostRecorder::Notify));
  EXPECT_TRUE(LogsIn(second, 2));
}

}  // namespace
}  // namespace tessel::testing
