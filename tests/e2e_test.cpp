// The plug-in as a host uses it: libTessel.so loaded with dlopen, driven
// through the descriptor's entry points, against the stand-in over TLS.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

#include "e2e_support.h"
#include "net/frame.h"
#include "plugin/host_api.h"

namespace tessel::testing {
namespace {

using standin::FramesOfType;
using standin::AcceptedAtLeast;

constexpr char kCancelText[] = R"({"status":1,"describe":"cancel req"})";
constexpr char kTimeoutText[] = R"({"status":2,"describe":"timeout"})";

class HostSession : public LoadedClientTest {
 protected:
  bool LogIn(const char* func, uint64_t context) {
    return SendWhenUp(LoginJson(func), context) &&
           HostRecorder::Instance().WaitForAnswers(context, 1);
  }
};

TEST_F(HostSession, LoginOnBothChannelsReportsInOrder) {
  ASSERT_TRUE(LogIn("Login", 1));
  std::vector<HostEvent> events = host().Events();
  ASSERT_EQ(events.size(), 3u);
  const Json::Value login = ParseJson(events[0].text);
  EXPECT_FALSE(events[0].isAnswer);
  EXPECT_EQ(login["object"].asString(), "Login");
  EXPECT_EQ(login["connection_type"].asInt(), 2);
  EXPECT_EQ(login["login_status"].asInt(), 0);
  EXPECT_EQ(login["port"].asInt(), server().MainPort());
  const Json::Value connected = ParseJson(events[1].text);
  EXPECT_EQ(connected["cmd"].asString(), "ConnectStatus");
  EXPECT_EQ(connected["connection_status"].asInt(), 1);
  EXPECT_TRUE(events[2].isAnswer);
  EXPECT_EQ(events[2].text, events[0].text);

  host().Clear();
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  events = host().Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(ParseJson(events[0].text)["connection_type"].asInt(), 3);
  EXPECT_EQ(ParseJson(events[0].text)["port"].asInt(), server().PushPort());
  EXPECT_EQ(ParseJson(events[1].text)["connection_type"].asInt(), 3);
  // The push login went out on the push channel as a Login frame.
  EXPECT_EQ(server().Snapshot()[Channel::Push].Count(kLoginType), 1u);
  EXPECT_EQ(server().Snapshot()[Channel::Main].Count(kLoginType), 1u);
}

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

TEST_F(HostSession, PasswordChangeAndLogoutAreAnswered) {
  ASSERT_TRUE(LogIn("Login", 1));
  ASSERT_EQ(Send(kModifyPwdJson, 2), 1);
  ASSERT_TRUE(host().WaitForAnswers(2, 1));
  ASSERT_EQ(Send(R"({"func":"Logout"})", 3), 1);
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
  const Json::Value logout = ParseJson(host().AnswersFor(3).front().text);
  EXPECT_EQ(logout["object"].asString(), "Logout");
  EXPECT_EQ(logout["push_type"].asInt(), -999);
  EXPECT_EQ(server().Snapshot()[Channel::Main].Count(kLogoutType), 1u);
}

TEST_F(HostSession, SetRealTradeCancelsOutstandingRequests) {
  ASSERT_TRUE(LogIn("Login", 1));
  // Both links up before the switch, so both report their loss.
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  server().SetSilent(Channel::Main, true);
  ASSERT_EQ(Send(kModifyPwdJson, 7), 1);
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 100, 1)));
  plugin_.setRealTrade(client_, 0);
  const std::vector<HostEvent> answers = host().AnswersFor(7);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].text, kCancelText);
  EXPECT_EQ(answers[0].text.size(), 36u);
  // Both links drop and say so, still with the old server kind.
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return HostRecorder::ConnectionReports(events, 2, 2) == 2;
  }));
  // Only live servers are configured: nothing reconnects, requests are refused.
  EXPECT_EQ(Send(kModifyPwdJson, 8), 0);
  server().SetSilent(Channel::Main, false);
  plugin_.setRealTrade(client_, 1);
  ASSERT_TRUE(SendWhenUp(kModifyPwdJson, 9));
  ASSERT_TRUE(host().WaitForAnswers(9, 1));
  EXPECT_EQ(host().AnswersFor(7).size(), 1u);
}

TEST_F(HostSession, DestroyCancelsOutstandingRequests) {
  ASSERT_TRUE(LogIn("Login", 1));
  server().SetSilent(Channel::Main, true);
  ASSERT_EQ(Send(kModifyPwdJson, 5), 1);
  ASSERT_EQ(Send(kModifyPwdJson, 6), 1);
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 100, 2)));
  plugin_.destroyClient(client_);
  client_ = nullptr;
  EXPECT_EQ(host().AnswersFor(5).size(), 1u);
  EXPECT_EQ(host().AnswersFor(6).size(), 1u);
  EXPECT_EQ(host().AnswersFor(6).front().text, kCancelText);
}

TEST_F(HostSession, ReconnectReplaysTheSavedLogins) {
  ASSERT_TRUE(LogIn("Login", 1));
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  server().SetSilent(Channel::Main, true);
  ASSERT_EQ(Send(kModifyPwdJson, 3), 1);
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 100, 1)));
  server().SetSilent(Channel::Main, false);
  host().Clear();

  ASSERT_TRUE(Commanded(server(), "drop main"));
  ASSERT_TRUE(Commanded(server(), "drop push"));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 2)));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Push, kLoginType, 2)));
  const auto main = server().Snapshot()[Channel::Main];
  EXPECT_EQ(main.frames.back().connection, 2u);
  // The request sent on the old link is cancelled by the new one.
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
  EXPECT_EQ(host().AnswersFor(3).front().text, kCancelText);
  // The relogin answers come back as login reports on both channels.
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    size_t loggedIn = 0;
    for (const HostEvent& e : events) {
      loggedIn += !e.isAnswer && ParseJson(e.text)["connection_status"].asInt() == 1;
    }
    return loggedIn == 2;
  }));
  EXPECT_EQ(host().CountNotices("connection_status", "2"), 2u);  // both losses reported
}

TEST_F(HostSession, UnmatchedAndDuplicateAnswersReachNobody) {
  ASSERT_TRUE(LogIn("Login", 1));
  const auto loginFrame = server().Snapshot()[Channel::Main].frames.front();
  std::vector<uint8_t> head(323, 0);
  // A second answer to the login, and answers to ids never sent.
  server().SendFrame(Channel::Main, BuildFrame(kLoginType, head.data(), 323, loginFrame.requestId, {}));
  server().SendFrame(Channel::Main, BuildFrame(100, head.data(), 323, 999999, {}));
  server().SendFrame(Channel::Push, BuildFrame(kLoginType, head.data(), 323, 999998, {}));
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
  header.messageType = 100;
  header.bodyLength = kMaxBodyLength + 1;  // announced, never sent
  Frame bytes(kHeaderSize);
  wire::Store(bytes.data(), header);
  server().SendFrame(Channel::Main, bytes);
  ASSERT_TRUE(server().WaitFor(AcceptedAtLeast(Channel::Main, 2)));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 2)));  // relogin
  EXPECT_EQ(host().CountNotices("connection_status", "2"), 1u);
}

// The one test that waits the real 30 seconds.
TEST_F(HostSession, RealTimeUnansweredRequestTimesOut) {
  ASSERT_TRUE(LogIn("Login", 1));
  server().SetSilent(Channel::Main, true);
  ASSERT_EQ(Send(kModifyPwdJson, 4), 1);
  ASSERT_TRUE(host().WaitForAnswers(4, 1, std::chrono::seconds(45)));
  const std::vector<HostEvent> answers = host().AnswersFor(4);
  EXPECT_EQ(answers[0].text, kTimeoutText);
  EXPECT_EQ(answers[0].text.size(), 33u);
  // A late answer with the same id reaches nobody.
  const auto request = server().Snapshot()[Channel::Main].frames.back();
  std::vector<uint8_t> head(323, 0);
  server().SendFrame(Channel::Main, BuildFrame(100, head.data(), 323, request.requestId, {}));
  server().SetSilent(Channel::Main, false);
  ASSERT_EQ(Send(kModifyPwdJson, 5), 1);
  ASSERT_TRUE(host().WaitForAnswers(5, 1));
  EXPECT_EQ(host().AnswersFor(4).size(), 1u);
}

}  // namespace
}  // namespace tessel::testing
