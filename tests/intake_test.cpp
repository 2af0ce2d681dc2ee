// Request intake, its refusals, cancellation and the relogin gate,
// on a client whose channel threads are not started.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "net/frame.h"
#include "plugin/request_intake.h"
#include "session/pending_requests.h"
#include "session/trade_client.h"
#include "support/log.h"
#include "test_support.h"
#include "tools/host/refusals.h"

namespace tessel {
namespace {

struct Answer {
  std::string text;
  uint64_t context;
};
std::vector<Answer> gAnswers;

void Record(const char* text, int32_t length, uint64_t context) {
  gAnswers.push_back({std::string(text, static_cast<size_t>(length)), context});
}

class IntakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gAnswers.clear();
    client.main.connected = true;
    client.push.connected = true;
  }

  bool Submit(const std::string& text, uint64_t context = 0) {
    return SubmitRequest(client, text.data(), static_cast<int32_t>(text.size()), &Record,
                         context);
  }

  // The requests queued on a channel, in order, taken out of it.
  std::vector<TradeRequestData> Drain(Channel& channel) {
    std::vector<TradeRequestData> out;
    uint64_t id = 0;
    while (channel.queue.try_dequeue(id)) {
      if (std::optional<TradeRequestData> request = TakePending(channel, id)) {
        out.push_back(std::move(*request));
      }
    }
    return out;
  }

  TradeClient client;
};

const std::string kLogin =
    R"({"func":"Login","user_name":"u","pass_word":"p","heart_beat":30,"compress":0,"encrypt":0})";
const std::string kPushLogin =
    R"({"func":"Login_Trade_Push","user_name":"u","pass_word":"p","heart_beat":30,"compress":0,"encrypt":0})";
const std::string kModifyPwd =
    R"({"func":"ModifyPwd","user_name":"u","pass_word":"p","new_pass_word":"q"})";

TEST_F(IntakeTest, RoutesLoginsAndRequestsToTheirChannels) {
  EXPECT_TRUE(Submit(kLogin, 11));
  EXPECT_TRUE(Submit(kPushLogin, 12));
  EXPECT_TRUE(Submit(R"({"func":"Logout"})", 13));
  const auto main = Drain(client.main);
  const auto push = Drain(client.push);
  ASSERT_EQ(main.size(), 2u);
  ASSERT_EQ(push.size(), 1u);
  EXPECT_EQ(main[0].requestId, 1u);
  EXPECT_EQ(main[0].context, 11u);
  EXPECT_EQ(main[0].callback, &Record);
  EXPECT_EQ(push[0].requestId, 2u);
  EXPECT_EQ(push[0].messageType, 1u);
  EXPECT_EQ(main[1].messageType, 2u);
  EXPECT_EQ(main[1].frame->size(), 49u);
  EXPECT_TRUE(gAnswers.empty());  // SendRequest itself never calls back
}

TEST_F(IntakeTest, FuncNameDecidesTheMessageType) {
  // A funcId from the host is replaced by the one its name maps to.
  EXPECT_TRUE(Submit(
      R"({"func":"ModifyPwd","funcId":1,"user_name":"u","pass_word":"p","new_pass_word":"q"})"));
  const auto main = Drain(client.main);
  ASSERT_EQ(main.size(), 1u);
  EXPECT_EQ(main[0].messageType, 100u);
  EXPECT_EQ(ReadHeader(main[0].frame->data()).messageType, 100u);
}

// The reader is jsoncpp's default one; the message reference tells hosts
// what it takes beyond strict JSON, and this holds it to that.
TEST_F(IntakeTest, ReaderTakesWhatTheReferenceSays) {
  const std::string open = R"({"func":"ModifyPwd","user_name":"u","pass_word":"p","new_pass_word":"q")";
  EXPECT_TRUE(Submit(open + ", // a comment, and a comma before the brace\n}"));
  EXPECT_TRUE(Submit("/* a comment first */ " + open + "}"));
  EXPECT_TRUE(Submit("\xEF\xBB\xBF" + open + "}"));  // a byte-order mark
  EXPECT_TRUE(Submit(open + "} and text after it"));
  EXPECT_TRUE(Submit(open + R"(,"user_name":"last"})"));
  EXPECT_TRUE(Submit(
      R"({"func":"OptionalOperation","user_name":"u","op_type":51,"record_set_cnt":1,)"
      R"("record_set":[{"security_code":"600000","security_exchange":49,"priority":1},]})"));
  EXPECT_FALSE(Submit("{'func':'ModifyPwd','user_name':'u','pass_word':'p','new_pass_word':'q'}"));
  EXPECT_FALSE(Submit(R"({"func":"QryMaxBuy","user_name":"u","client_id":"c","fund_account":"f",)"
                      R"("entrust_prop":48,"mark":49,"code":"600000","entrust_price":NaN,"trade_unit":1})"));
  const auto main = Drain(client.main);
  ASSERT_EQ(main.size(), 6u);
  const char* lastUser = reinterpret_cast<const char*>(main[4].frame->data() + kHeaderSize);
  EXPECT_STREQ(lastUser, "last");  // a repeated key keeps its last value
}

TEST_F(IntakeTest, AMainLoginNeedsOnlyTheMainChannel) {
  client.push.connected = false;
  EXPECT_TRUE(Submit(kLogin));
}

TEST_F(IntakeTest, LengthLimitsTheParsedText) {
  const std::string padded = kModifyPwd + "garbage that is not JSON";
  EXPECT_TRUE(SubmitRequest(client, padded.data(), static_cast<int32_t>(kModifyPwd.size()),
                            &Record, 0));
}

// Intake with the process's log in a folder of the test's own.
class LoggedIntakeTest : public IntakeTest {
 protected:
  void SetUp() override {
    IntakeTest::SetUp();
    CLog::Instance().Close();  // whatever an earlier test in this process opened
    ASSERT_EQ(CLog::Instance().Init("Log", dir.path().c_str(), "refusals.log"), 1);
  }
  void TearDown() override { CLog::Instance().Close(); }

  // Refuses `text` and returns the one entry it logged.
  std::string RefusalOf(const std::string& text) {
    const size_t before = Entries();
    EXPECT_FALSE(Submit(text)) << text;
    EXPECT_EQ(Entries(), before + 1) << text;
    const std::optional<host::LoggedRefusal> entry = host::NewestRefusal(Log());
    return entry ? entry->func + " - " + entry->reason : std::string();
  }

  size_t Entries() {
    const std::string log = Log();
    size_t n = 0;
    for (size_t at = log.find(":Request_Refused"); at != std::string::npos;
         at = log.find(":Request_Refused", at + 1)) {
      ++n;
    }
    return n;
  }

  std::string Log() { return testing::ReadFile(dir.File("Log/refusals.log")); }

  testing::TempDir dir;
};

TEST_F(LoggedIntakeTest, PasswordsNeverReachTheLog) {
  ASSERT_TRUE(Submit(R"({"func":"ModifyPwd","user_name":"u","pass_word":"old-secret","new_pass_word":"new-secret"})"));
  ASSERT_TRUE(Submit(R"({"func":"Login","user_name":"u","pass_word":"login-secret","heart_beat":30,"compress":0,"encrypt":0})"));
  ASSERT_TRUE(Submit(R"({"func":"Logout"})"));
  CLog::Instance().Flush();
  const std::string log = Log();
  EXPECT_EQ(log.find("secret"), std::string::npos) << log;
  EXPECT_NE(log.find("Request_Request  content:1 - ModifyPwd\r\n"), std::string::npos);
  EXPECT_NE(log.find("content:2 - Main Login"), std::string::npos);
  EXPECT_NE(log.find(R"(content:3 - {"func":"Logout"})"), std::string::npos);
}

// Each refusal is logged once, naming its reason, and read back as the host
// tool reads it; SendRequest itself says only 0. Refused requests take no id.

TEST_F(LoggedIntakeTest, EachReasonIsLoggedOnce) {
  EXPECT_EQ(RefusalOf(R"({"func":"Logout")"), "(no func) - not JSON");
  EXPECT_EQ(RefusalOf(R"({"user_name":"u"})"), "(no func) - no \"func\"");
  EXPECT_EQ(RefusalOf(R"(["Logout"])"), "(no func) - no \"func\"");
  EXPECT_EQ(RefusalOf(R"({"func":"login"})"), "login - unknown function");
  EXPECT_EQ(RefusalOf(R"({"func":"QryMoney","user_name":"u","client_id":"c"})"),
            "QryMoney - key \"fund_account\" is missing");
  EXPECT_EQ(RefusalOf(R"({"func":"QryMoney","user_name":"u","client_id":7,"fund_account":"f"})"),
            "QryMoney - key \"client_id\" has the wrong type");
  EXPECT_EQ(RefusalOf(R"({"func":"QryMoney","user_name":")" + std::string(1000, 'u') +
                      R"(","client_id":"c","fund_account":"f"})"),
            "QryMoney - key \"user_name\" is too long for its field");
  EXPECT_EQ(RefusalOf(R"({"func":"QryMaxSell","user_name":"u","client_id":"c","fund_account":"f",
                          "entrust_prop":48,"mark":305,"code":"600000"})"),
            "QryMaxSell - key \"mark\" is out of range for its field");
  EXPECT_EQ(RefusalOf(R"({"func":"OptionalOperation","user_name":"u","record_set_cnt":-1})"),
            "OptionalOperation - count \"record_set_cnt\" is not a usable number of records");
  client.push.connected = false;
  EXPECT_EQ(RefusalOf(kPushLogin), "Login_Trade_Push - push channel down");
  client.main.connected = false;
  EXPECT_EQ(RefusalOf(R"({"func":"Logout"})"), "Logout - main channel down");
  client.push.connected = true;
  EXPECT_EQ(RefusalOf(kPushLogin), "Login_Trade_Push - main channel down");
  // Nothing the host sent is in a refusal entry beyond its "func".
  EXPECT_EQ(Log().find("fund_account\":"), std::string::npos);
  EXPECT_EQ(client.requestSeq.load(), 0u);
}

// What waits for an answer is bounded per channel, so a server that stops
// reading cannot make memory grow; an answer frees a place.
TEST_F(LoggedIntakeTest, AChannelHoldsABoundedNumberOfRequests) {
  client.timings.maxOutstanding = 3;
  for (uint64_t context = 1; context <= 3; ++context) ASSERT_TRUE(Submit(kModifyPwd, context));
  EXPECT_EQ(RefusalOf(kModifyPwd), "ModifyPwd - too many requests outstanding");
  EXPECT_TRUE(Submit(kPushLogin));  // the push channel has its own
  uint64_t id = 0;
  ASSERT_TRUE(client.main.queue.try_dequeue(id));
  ASSERT_TRUE(TakePending(client.main, id).has_value());
  EXPECT_TRUE(Submit(kModifyPwd, 4));
}

// A request answered while it waited (timed out, cancelled) is never sent
// afterwards, and none is handed to the link twice.
TEST_F(IntakeTest, OnlyUnansweredRequestsAreHandedToTheLinkAndOnlyOnce) {
  for (uint64_t context = 1; context <= 3; ++context) ASSERT_TRUE(Submit(kModifyPwd, context));
  uint64_t ids[3] = {};
  ASSERT_EQ(client.main.queue.try_dequeue_bulk(ids, 3), 3u);
  ASSERT_TRUE(TakePending(client.main, ids[1]).has_value());
  std::vector<Outgoing> out;
  TakeForSending(client.main, ids, 3, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].requestId, ids[0]);
  EXPECT_EQ(out[1].requestId, ids[2]);
  out.clear();
  TakeForSending(client.main, ids, 3, out);
  EXPECT_TRUE(out.empty());
}

TEST_F(LoggedIntakeTest, NoTextIsARefusalToo) {
  EXPECT_FALSE(SubmitRequest(client, nullptr, 5, &Record, 0));
  EXPECT_FALSE(SubmitRequest(client, kLogin.data(), -1, &Record, 0));
  EXPECT_EQ(Entries(), 2u);
  EXPECT_EQ(host::NewestRefusal(Log())->reason, "no request text");
}

TEST_F(LoggedIntakeTest, RefusedLoginsLeaveNoPasswordInTheLog) {
  const std::string login =
      R"({"func":"Login","user_name":"u","pass_word":"login-secret","heart_beat":"30","compress":0,"encrypt":0})";
  EXPECT_EQ(RefusalOf(login), "Login - key \"heart_beat\" has the wrong type");
  EXPECT_EQ(RefusalOf(login.substr(0, 60)), "(no func) - not JSON");  // cut after the password
  const std::string pushLogin =
      R"({"func":"Login_Trade_Push","user_name":"u","pass_word":"push-secret","heart_beat":30,"compress":0,"encrypt":0})";
  client.push.connected = false;
  EXPECT_EQ(RefusalOf(pushLogin), "Login_Trade_Push - push channel down");
  const std::string log = Log();
  EXPECT_EQ(log.find("secret"), std::string::npos) << log;
  EXPECT_TRUE(gAnswers.empty());  // refusals call nothing back
}

TEST_F(IntakeTest, CancelAllAnswersQueuedAndPendingOnceInIdOrder) {
  for (uint64_t id : {7u, 3u, 5u}) {
    TradeRequestData pending;
    pending.requestId = id;
    pending.callback = &Record;
    pending.context = id * 10;
    client.main.pending[id] = pending;
  }
  ASSERT_TRUE(Submit(kModifyPwd, 1));
  ASSERT_TRUE(Submit(kModifyPwd, 2));
  TradeRequestData silent;
  silent.requestId = 4;
  client.main.pending[4] = silent;  // no callback: skipped
  TradeRequestData pushed;
  pushed.requestId = 9;
  pushed.callback = &Record;
  client.push.pending[9] = pushed;  // the push channel is left alone

  client.CancelAll();
  ASSERT_EQ(gAnswers.size(), 5u);
  const std::vector<uint64_t> contexts = {1, 2, 30, 50, 70};
  for (size_t i = 0; i < gAnswers.size(); ++i) {
    EXPECT_EQ(gAnswers[i].text, R"({"status":1,"describe":"cancel req"})");
    EXPECT_EQ(gAnswers[i].text.size(), 36u);
    EXPECT_EQ(gAnswers[i].context, contexts[i]);
  }
  EXPECT_TRUE(client.main.pending.empty());
  EXPECT_EQ(client.push.pending.size(), 1u);
  client.CancelAll();
  EXPECT_EQ(gAnswers.size(), 5u);  // nothing is answered twice
}

TEST_F(IntakeTest, SetRealTradeCancelsAndForgetsTheLogin) {
  ASSERT_TRUE(Submit(kLogin));
  ASSERT_TRUE(Submit(kModifyPwd, 5));
  client.SetRealTrade(1);  // already live: nothing happens
  EXPECT_TRUE(gAnswers.empty());
  EXPECT_FALSE(client.savedLogin.isNull());
  client.SetRealTrade(0);
  EXPECT_EQ(gAnswers.size(), 2u);  // the login and the password change
  EXPECT_TRUE(client.savedLogin.isNull());
  EXPECT_FALSE(client.WantsReal(client.main));
  EXPECT_FALSE(client.WantsReal(client.push));
}

// Waits for `ready`, spinning first: two threads that start a round at the
// same instant are what lets two switches overlap.
template <typename Ready>
void SpinUntil(Ready ready) {
  for (int spins = 0; !ready(); ++spins) {
    if (spins > 1000) std::this_thread::yield();
  }
}

// Two switches at once, in both orders, many times over: once both have
// returned, both channels are on one kind. Up to 100,000 rounds, or two
// seconds on a busy machine.
TEST_F(IntakeTest, ConcurrentSwitchesLeaveBothChannelsOnOneKind) {
  constexpr int kRounds = 100000;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  std::atomic<int> started{-1};  // the round the other switcher may run
  std::atomic<int> finished{-1};  // the round it has run
  std::thread other([&] {
    for (int round = 0; round < kRounds; ++round) {
      SpinUntil([&] { return started.load() >= round; });
      if (started.load() == kRounds) return;
      client.SetRealTrade(round % 2 == 0 ? 1 : 0);
      finished = round;
    }
  });
  size_t split = 0;
  int round = 0;
  for (; round < kRounds && std::chrono::steady_clock::now() < until; ++round) {
    started = round;
    client.SetRealTrade(round % 2 == 0 ? 0 : 1);
    SpinUntil([&] { return finished.load() == round; });
    split += client.WantsReal(client.main) != client.WantsReal(client.push);
  }
  started = kRounds;  // ends the other switcher
  other.join();
  EXPECT_EQ(split, 0u) << "in " << round << " rounds";
}

TEST_F(IntakeTest, ReloginGateLetsOnePerInterval) {
  int64_t now = 1000;
  client.clockSeconds = [&now] { return now; };
  ASSERT_TRUE(Submit(kLogin));
  Drain(client.main);

  client.ReloginGate();
  now += 30;
  client.ReloginGate();  // exactly 30 s later: not yet
  now += 1;
  client.ReloginGate();  // 31 s after the first: lets another through
  const auto relogins = Drain(client.main);
  ASSERT_EQ(relogins.size(), 2u);
  EXPECT_EQ(relogins[0].messageType, 1u);
  EXPECT_EQ(relogins[0].callback, nullptr);
  EXPECT_EQ(client.lastReloginCheck.load(), 1031);
  EXPECT_EQ(client.lastRelogin.load(), 1031);

  client.SetRealTrade(0);  // forgets the login: a relogin then sends nothing
  now += 100;
  client.ReloginGate();
  EXPECT_TRUE(Drain(client.main).empty());
}

}  // namespace
}  // namespace tessel
