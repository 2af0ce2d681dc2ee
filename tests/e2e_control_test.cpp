// Faults asked of the stand-in by control command, as a host's developer
// asks them, seen through what the library tells its host.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "net/frame.h"
#include "session/host_calls.h"
#include "session/trade_client.h"
#include "tools/standin/control_port.h"

namespace tessel::testing {
namespace {

using standin::FramesOfType;

const std::string kQryMoney =
    R"({"func":"QryMoney","user_name":"trader01","client_id":"trader01","fund_account":"trader01-01"})";

class ControlledServer : public ::testing::Test {
 protected:
  void SetUp() override {
    HostRecorder::Instance().Clear();
    client_.timings.firstBackoff = std::chrono::milliseconds(20);
    client_.timings.maxBackoff = std::chrono::milliseconds(50);
    ASSERT_TRUE(harness_.Start());
  }

  void LogIn() {
    ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
    ASSERT_EQ(Ask(LoginJson("Login"), 1)["login_status"].asInt(), 0);
  }

  // The one answer the host gets to `request`.
  Json::Value Ask(const std::string& request, uint64_t context) {
    EXPECT_TRUE(SubmitWhenUp(client_, request, context));
    EXPECT_TRUE(host().WaitForAnswers(context, 1));
    const std::vector<HostEvent> answers = host().AnswersFor(context);
    return answers.size() == 1 ? ParseJson(answers.front().text) : Json::Value();
  }

  // The main link's connection reports, in order: 1 up, 2 lost.
  static std::vector<int> MainLinkStatus(const std::vector<HostEvent>& events) {
    std::vector<int> status;
    for (const HostEvent& e : events) {
      const Json::Value report = e.isAnswer ? Json::Value() : ParseJson(e.text);
      if (report["cmd"] == "ConnectStatus" && report["connection_type"] == 2) {
        status.push_back(report["connection_status"].asInt());
      }
    }
    return status;
  }

  // The main link's login reports; the push link replays the login too
  // after losing its own.
  static size_t LoginReports(const std::vector<HostEvent>& events) {
    return std::count_if(events.begin(), events.end(), [](const HostEvent& e) {
      const Json::Value report = e.isAnswer ? Json::Value() : ParseJson(e.text);
      return report["object"] == "Login" && report["connection_type"] == 2;
    });
  }

  standin::StandIn& server() { return harness_.server(); }
  static HostRecorder& host() { return HostRecorder::Instance(); }

  StandInHarness harness_;
  TradeClient client_;
};

// Through the control port, as `tessel-standin control PORT ...` sends them.
class LinkLoss : public ControlledServer, public ::testing::WithParamInterface<const char*> {};

TEST_P(LinkLoss, IsReportedAndTheLinkComesBackLoggedInAgain) {
  LogIn();
  standin::ControlPort port(server());
  ASSERT_TRUE(port.Open(0));
  standin::ControlLink link(port.Port());
  EXPECT_EQ(link.Ask(GetParam()), std::optional<std::string>(R"({"ok":true})"));

  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 2)));
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    const std::vector<int> status = MainLinkStatus(events);
    return status.size() >= 3 && status.back() == 1;
  }));
  const std::vector<int> status = MainLinkStatus(host().Events());
  EXPECT_EQ(std::vector<int>(status.begin(), status.begin() + 2), (std::vector<int>{1, 2}));
  EXPECT_EQ(LoginReports(host().Events()), 2u);
  EXPECT_EQ(Ask(kQryMoney, 2)["error_no"].asInt(), 0);
}

INSTANTIATE_TEST_SUITE_P(DropOrRestart, LinkLoss,
                         ::testing::Values("drop main reset", "drop main", "restart"));

struct Hang {
  const char* command;
  bool readsRequests;
};
void PrintTo(const Hang& hang, std::ostream* out) { *out << hang.command; }

class Unanswered : public ControlledServer, public ::testing::WithParamInterface<Hang> {};

TEST_P(Unanswered, RequestsTimeOut) {
  client_.timings.requestTimeout = std::chrono::seconds(2);
  LogIn();
  ASSERT_TRUE(Commanded(server(), GetParam().command));
  ASSERT_TRUE(Submit(client_, kModifyPwdJson, 2));
  ASSERT_TRUE(host().WaitForAnswers(2, 1));
  EXPECT_EQ(host().AnswersFor(2).front().text, kTimeoutText);
  if (GetParam().readsRequests) {
    EXPECT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kModifyPwdType, 1)));
  } else {
    EXPECT_EQ(server().Snapshot()[Channel::Main].Count(kModifyPwdType), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(StallSilenceOrDelay, Unanswered,
                         ::testing::Values(Hang{"stall main 600", false},
                                           Hang{"silent main 600", true},
                                           Hang{"delay 600000", true}));

TEST_F(ControlledServer, ALostLoginAnswerBringsOneReloginPerInterval) {
  LogIn();
  ASSERT_TRUE(Commanded(server(), "error QryMoney -999"));
  ASSERT_TRUE(Commanded(server(), "error QryMoney -999 login lost"));
  EXPECT_EQ(Ask(kQryMoney, 2)["error_no"].asInt(), -999);
  EXPECT_EQ(Ask(kQryMoney, 3)["error_info"].asString(), "login lost");
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 2)));
  // A relogin the second answer asked for would have been queued before the
  // last of these two went out, and so have reached the server before it.
  EXPECT_EQ(Ask(kQryMoney, 4)["error_no"].asInt(), 0);
  EXPECT_EQ(Ask(kQryMoney, 5)["error_no"].asInt(), 0);
  EXPECT_EQ(server().Snapshot()[Channel::Main].Count(kLoginType), 2u);
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return LoginReports(events) == 2;
  }));
}

TEST_F(ControlledServer, RefusedLoginsAreReportedAsFailedUntilAccepted) {
  ASSERT_TRUE(Commanded(server(), "refuse-logins 1001 try later"));
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  const Json::Value refused = Ask(LoginJson("Login"), 1);
  EXPECT_EQ(refused["login_status"].asInt(), 1001);
  EXPECT_EQ(refused["describe"].asString(), "try later");
  ASSERT_TRUE(Commanded(server(), "accept-logins"));
  EXPECT_EQ(Ask(LoginJson("Login"), 2)["login_status"].asInt(), 0);
}

}  // namespace
}  // namespace tessel::testing
