// The host's flows that both platforms run: the Linux end-to-end test (the
// library dlopen'ed, the stand-in in-process) and the Windows host test
// (Tessel.dll loaded with LoadLibrary, the stand-in driven through its
// control port).
//
// The including source declares, in tessel::testing's unnamed namespace, a
// fixture HostFlows derived from HostTest that also provides:
//   CreateClient()    a client whose configuration names the server;
//   MainPort(), PushPort()  the ports that configuration names;
//   SendHeld(context) a ModifyPwd the server has received (or is about to)
//                     and does not answer;
//   ReleaseHeld()     the server answers again, and the held request late
//                     where the fixture can send that answer;
//   DropLinks()       both links closed at once, without a TLS close; what
//                     was held dies with them and the new links are answered;
//   ExpectRelinked()  waits for each channel's second link;
//   ExpectLoginAndLogoutFrames()  one login on each channel and one logout
//                     went out, where the server's log can tell.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_recorder.h"

namespace tessel::testing {
namespace {

TEST_F(HostFlows, LoginOnBothChannelsReportsInOrderAndLogoutIsAnswered) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  std::vector<HostEvent> events = host().Events();
  ASSERT_EQ(events.size(), 3u);
  const Json::Value login = ParseJson(events[0].text);
  EXPECT_FALSE(events[0].isAnswer);
  EXPECT_EQ(login["object"].asString(), "Login");
  EXPECT_EQ(login["connection_type"].asInt(), 2);
  EXPECT_EQ(login["login_status"].asInt(), 0);
  EXPECT_EQ(login["port"].asInt(), MainPort());
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
  EXPECT_EQ(ParseJson(events[0].text)["port"].asInt(), PushPort());
  EXPECT_EQ(ParseJson(events[1].text)["connection_type"].asInt(), 3);
  EXPECT_EQ(ParseJson(events[1].text)["connection_status"].asInt(), 1);

  ASSERT_EQ(Send(kModifyPwdJson, 3), 1);
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
  ASSERT_EQ(Send(R"({"func":"Logout"})", 4), 1);
  ASSERT_TRUE(host().WaitForAnswers(4, 1));
  const Json::Value logout = ParseJson(host().AnswersFor(4).front().text);
  EXPECT_EQ(logout["object"].asString(), "Logout");
  EXPECT_EQ(logout["push_type"].asInt(), -999);
  ExpectLoginAndLogoutFrames();
}

TEST_F(HostFlows, SetRealTradeCancelsOutstandingRequests) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  // Both links up before the switch, so both report their loss.
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  SendHeld(7);
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
  ReleaseHeld();
  plugin_.setRealTrade(client_, 1);
  ASSERT_TRUE(SendWhenUp(kModifyPwdJson, 9));
  ASSERT_TRUE(host().WaitForAnswers(9, 1));
  EXPECT_EQ(host().AnswersFor(7).size(), 1u);
}

TEST_F(HostFlows, ReconnectReplaysTheSavedLogins) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  SendHeld(3);
  host().Clear();

  DropLinks();
  ExpectRelinked();
  // The request sent on the old link is cancelled by the new one.
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
  EXPECT_EQ(host().AnswersFor(3).front().text, kCancelText);
  // The relogin answers come back as login reports on both channels.
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return HostRecorder::ConnectionReports(events, 1) == 2;
  }));
  EXPECT_EQ(HostRecorder::ConnectionReports(host().Events(), 2), 2u);  // both losses reported
  ASSERT_EQ(Send(kModifyPwdJson, 4), 1);
  ASSERT_TRUE(host().WaitForAnswers(4, 1));
}

// The one test that waits the real 30 seconds.
TEST_F(HostFlows, RealTimeUnansweredRequestTimesOut) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  SendHeld(4);
  ASSERT_TRUE(host().WaitForAnswers(4, 1, std::chrono::seconds(45)));
  const std::vector<HostEvent> answers = host().AnswersFor(4);
  EXPECT_EQ(answers[0].text, kTimeoutText);
  EXPECT_EQ(answers[0].text.size(), 33u);
  // A late answer with the same id reaches nobody.
  ReleaseHeld();
  ASSERT_EQ(Send(kModifyPwdJson, 5), 1);
  ASSERT_TRUE(host().WaitForAnswers(5, 1));
  EXPECT_EQ(host().AnswersFor(4).size(), 1u);
}

}  // namespace
}  // namespace tessel::testing
