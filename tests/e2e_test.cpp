// The plug-in as a host uses it: libTessel.so loaded with dlopen, driven
// through the descriptor's entry points, against the stand-in over TLS.
#include <gtest/gtest.h>

#include <thread>

#include "e2e_support.h"
#include "net/frame.h"

namespace tessel::testing {
namespace {

using standin::FramesOfType;
using standin::AcceptedAtLeast;

// An answer of `type` to request `requestId` with an all-zero head.
Frame AnswerFrame(uint32_t type, uint64_t requestId) {
  const std::vector<uint8_t> head(323, 0);
  return BuildFrame(type, head.data(), 323, requestId, {});
}

// The stand-in in-process: silence stands for a held request, and its log
// shows the frames.
class HostSession : public LoadedClientTest {
 protected:
  void CreateClient() {}  // SetUp made it
  uint16_t MainPort() { return server().MainPort(); }
  uint16_t PushPort() { return server().PushPort(); }

  void SendHeld(uint64_t context) {
    server().SetSilent(Channel::Main, true);
    const size_t before = server().Snapshot()[Channel::Main].Count(kModifyPwdType);
    ASSERT_EQ(Send(kModifyPwdJson, context), 1);
    ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kModifyPwdType, before + 1)));
  }

  // The silent server dropped the request: its answer is sent by hand.
  void ReleaseHeld() {
    const auto main = server().Snapshot()[Channel::Main];
    for (auto frame = main.frames.rbegin(); frame != main.frames.rend(); ++frame) {
      if (frame->messageType != kModifyPwdType) continue;
      server().SendFrame(Channel::Main, AnswerFrame(kModifyPwdType, frame->requestId));
      break;
    }
    server().SetSilent(Channel::Main, false);
  }

  void DropLinks() {
    server().SetSilent(Channel::Main, false);
    server().DropConnections(Channel::Main);
    server().DropConnections(Channel::Push);
  }

  // Each channel's relogin, the main one on its second connection.
  void ExpectRelinked() {
    ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 2)));
    ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Push, kLoginType, 2)));
    EXPECT_EQ(server().Snapshot()[Channel::Main].frames.back().connection, 2u);
  }

  void ExpectLoginAndLogoutFrames() {
    // The push login went out on the push channel as a Login frame.
    EXPECT_EQ(server().Snapshot()[Channel::Push].Count(kLoginType), 1u);
    EXPECT_EQ(server().Snapshot()[Channel::Main].Count(kLoginType), 1u);
    EXPECT_EQ(server().Snapshot()[Channel::Main].Count(kLogoutType), 1u);
  }
};
using HostFlows = HostSession;

TEST_F(HostSession, WrongPasswordIsReportedAsAFailedLogin) {
  ASSERT_TRUE(SendWhenUp(LoginJson("Login", "wrong"), 3));
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
  const std::vector<HostEvent> events = host().Events();
  ASSERT_EQ(events.size(), 2u);  // no "logged in" connection report
  EXPECT_EQ(ParseJson(events[0].text)["login_status"].asInt(), 1001);
  EXPECT_EQ(ParseJson(events[0].text)["describe"].asString(), "wrong password");
}

TEST_F(HostSession, IdleLinksCarryHeartbeats) {
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kHeartbeatType, 2), std::chrono::seconds(15)));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Push, kHeartbeatType, 2), std::chrono::seconds(15)));
  const auto main = server().Snapshot()[Channel::Main];
  uint64_t previous = 0;
  for (const auto& frame : main.frames) {
    EXPECT_GT(frame.requestId, previous);  // one counter for requests and heartbeats
    previous = frame.requestId;
    EXPECT_TRUE(frame.checksumOk);
  }
  // Heartbeat answers reach nobody.
  EXPECT_TRUE(host().Events().empty());
}

TEST_F(HostSession, DestroyCancelsOutstandingRequests) {
  ASSERT_TRUE(LogIn("Login", 1));
  SendHeld(5);
  SendHeld(6);
  DestroyClient();
  EXPECT_EQ(host().OnlyAnswer(5), kCancelText);
  EXPECT_EQ(host().OnlyAnswer(6), kCancelText);
}

TEST_F(HostSession, UnmatchedAndDuplicateAnswersReachNobody) {
  ASSERT_TRUE(LogIn("Login", 1));
  const auto loginFrame = server().Snapshot()[Channel::Main].frames.front();
  // A second answer to the login, and answers to ids never sent.
  server().SendFrame(Channel::Main, AnswerFrame(kLoginType, loginFrame.requestId));
  server().SendFrame(Channel::Main, AnswerFrame(kModifyPwdType, 999999));
  server().SendFrame(Channel::Push, AnswerFrame(kLoginType, 999998));
  ASSERT_EQ(Send(kModifyPwdJson, 2), 1);  // frames after the strays are still read
  ASSERT_TRUE(host().WaitForAnswers(2, 1));
  EXPECT_EQ(host().Events().size(), 4u);
}

TEST_F(HostSession, PushHeaderWithoutMagicIsSkipped) {
  ASSERT_TRUE(LogIn("Login", 1));
  ASSERT_TRUE(server().WaitFor(AcceptedAtLeast(Channel::Push, 1)));
  Frame garbage(45, 'x');  // a 45-byte "header" that is not one
  server().SendFrame(Channel::Push, garbage);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  EXPECT_EQ(server().Snapshot()[Channel::Push].accepted, 1u);  // the link survived
}

TEST_F(HostSession, OversizedHeaderBreaksTheLinkAndItReconnects) {
  ASSERT_TRUE(LogIn("Login", 1));
  FrameHeader header{};
  header.magic = kFrameMagic;
  header.messageType = kModifyPwdType;
  header.bodyLength = kMaxBodyLength + 1;  // announced, never sent
  Frame bytes(kHeaderSize);
  wire::Store(bytes.data(), header);
  server().SendFrame(Channel::Main, bytes);
  ASSERT_TRUE(server().WaitFor(AcceptedAtLeast(Channel::Main, 2)));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 2)));  // relogin
  EXPECT_EQ(HostRecorder::ConnectionReports(host().Events(), 2), 1u);
}

}  // namespace
}  // namespace tessel::testing

// The flows the Windows host test runs as well.
#include "host_flows.h"  // NOLINT(build/include_order)
