// The host contract under faults: every accepted main-channel request gets
// exactly one answer within the time-out and a second, whatever the server
// or the host does; nothing from a link reaches the host after its loss is
// reported; a host may destroy its client from inside a callback.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "net/frame.h"
#include "session/host_calls.h"
#include "session/pending_requests.h"
#include "session/trade_client.h"

namespace tessel::testing {
namespace {

using Clock = std::chrono::steady_clock;
using standin::FramesOfType;

class Contract : public ::testing::Test {
 protected:
  void SetUp() override {
    HostRecorder::Instance().Clear();
    ASSERT_TRUE(harness_.Start());
    client_.timings.firstBackoff = std::chrono::milliseconds(20);
    client_.timings.maxBackoff = std::chrono::milliseconds(50);
  }

  void LogIn() {
    ASSERT_TRUE(SubmitWhenUp(client_, LoginJson("Login"), 1));
    ASSERT_TRUE(host().WaitForAnswers(1, 1));
  }

  standin::StandIn& server() { return harness_.server(); }
  static HostRecorder& host() { return HostRecorder::Instance(); }

  StandInHarness harness_;
  TradeClient client_;
};

// An OptionalOperation listing one page: a short text that the library
// packs into a body of 122 + 17 x 20,000 bytes, so a few of them fill the
// socket buffers of a server that stopped reading.
const std::string kBulky =
    R"({"func":"OptionalOperation","user_name":"trader01","op_type":48,)"
    R"("max_request_num":10,"position_str":"","record_set_cnt":20000})";

bool IsLostReport(const HostEvent& e, int connectionType) {
  if (e.isAnswer) return false;
  const Json::Value report = ParseJson(e.text);
  return report["connection_status"].asInt() == 2 &&
         report["connection_type"].asInt() == connectionType;
}

TEST_F(Contract, AServerThatStopsReadingLosesItsLinkAndEveryRequestIsAnsweredInTime) {
  client_.timings.requestTimeout = std::chrono::seconds(2);
  client_.timings.writeStallLimit = std::chrono::milliseconds(500);
  client_.timings.connectTimeout = std::chrono::seconds(1);
  client_.timings.maxOutstanding = 64;
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  LogIn();
  server().StopReading(Channel::Main, true);

  // The host keeps sending while the link stalls and ends; every request
  // taken is timed from just before its SendRequest.
  std::map<uint64_t, Clock::time_point> accepted;
  size_t refusedAsTooMany = 0;
  const Clock::time_point until = Clock::now() + std::chrono::seconds(3);
  for (uint64_t context = 100; Clock::now() < until; ++context) {
    const Clock::time_point before = Clock::now();
    if (Submit(client_, kBulky, context)) {
      accepted[context] = before;
    } else if (OutstandingCount(client_.main) >= client_.timings.maxOutstanding) {
      ++refusedAsTooMany;
    }
    EXPECT_LE(OutstandingCount(client_.main), client_.timings.maxOutstanding);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(accepted.empty());
  EXPECT_GT(refusedAsTooMany, 0u);  // the bound was reached and held
  // The stall ended the link like any loss.
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return std::any_of(events.begin(), events.end(),
                       [](const HostEvent& e) { return IsLostReport(e, 2); });
  }));

  // Each request taken has exactly one library-made answer, in time; the
  // first one's frame reached the socket, so it is never called unsent.
  const std::chrono::milliseconds promise = client_.timings.requestTimeout + std::chrono::seconds(1);
  ASSERT_TRUE(host().WaitFor(
      [&](const std::vector<HostEvent>& events) {
        size_t answered = 0;
        for (const HostEvent& e : events) answered += e.isAnswer && accepted.count(e.context) != 0;
        return answered >= accepted.size();
      },
      promise + std::chrono::seconds(5)));
  for (const auto& [context, at] : accepted) {
    const std::vector<HostEvent> answers = host().AnswersFor(context);
    ASSERT_EQ(answers.size(), 1u) << context;
    EXPECT_TRUE(answers[0].text == kTimeoutText || answers[0].text == kSendFailText ||
                answers[0].text == kCancelText)
        << answers[0].text;
    EXPECT_LE(answers[0].at - at, promise + std::chrono::milliseconds(1500)) << context;
  }
  EXPECT_NE(host().AnswersFor(accepted.begin()->first)[0].text, kSendFailText);

  // Once the server reads again, the link comes back and logs in by itself.
  server().StopReading(Channel::Main, false);
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 2), std::chrono::seconds(10)));
}

// ---- A link's loss is its last report --------------------------------------

// The host's general callback blocks on the first injected push until the
// test lets it go, holding the push channel thread.
struct HeldCallback {
  std::mutex lock;
  std::condition_variable changed;
  bool entered = false;
  bool released = false;

  void Hold() {
    std::unique_lock<std::mutex> hold(lock);
    entered = true;
    changed.notify_all();
    changed.wait_for(hold, std::chrono::seconds(10), [this] { return released; });
  }
  void AwaitEntered() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait_for(hold, std::chrono::seconds(10), [this] { return entered; });
  }
  void Release() {
    std::lock_guard<std::mutex> hold(lock);
    released = true;
    changed.notify_all();
  }
};

HeldCallback* gHeld = nullptr;

void NotifyHoldingMarker(const char* text, int32_t length) {
  const std::string body(text, static_cast<size_t>(length));
  HostRecorder::Notify(text, length);
  if (body.find("held-marker") != std::string::npos) gHeld->Hold();
}

TEST_F(Contract, NothingFromALinkReachesTheHostAfterItsLoss) {
  HeldCallback held;
  gHeld = &held;
  ASSERT_TRUE(client_.Init(&NotifyHoldingMarker));
  LogIn();
  ASSERT_TRUE(server().WaitFor(standin::AcceptedAtLeast(Channel::Push, 1)));
  for (int i = 0; i < 400 && !client_.push.connected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Json::Value marker;
  marker["fund_account"] = "held-marker";
  ASSERT_TRUE(server().SendPush(Channel::Push, 304, marker));
  held.AwaitEntered();

  // The push login's answer reaches the socket while the channel thread is
  // held; then the host switches the server kind, which ends both links.
  ASSERT_TRUE(Submit(client_, LoginJson("Login_Trade_Push"), 2));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Push, kLoginType, 1)));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // its answer is written
  client_.SetRealTrade(0);
  held.Release();
  // Only live servers are configured: the push link closes and stays down.
  ASSERT_TRUE(server().WaitFor([](const standin::Observed& seen) {
    return seen[Channel::Push].open == 0;
  }));
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return std::any_of(events.begin(), events.end(),
                       [](const HostEvent& e) { return IsLostReport(e, 3); });
  }));
  client_.Stop();

  const std::vector<HostEvent> events = host().Events();
  const auto lost = std::find_if(events.begin(), events.end(),
                                 [](const HostEvent& e) { return IsLostReport(e, 3); });
  for (auto e = lost + 1; e != events.end(); ++e) {
    const Json::Value report = ParseJson(e->text);
    EXPECT_FALSE(!e->isAnswer && report["connection_type"].asInt() == 3 &&
                 report["connection_status"].asInt() != 2)
        << "after the push link's loss: " << e->text;
  }
  EXPECT_TRUE(host().AnswersFor(2).empty());  // a push request is never answered by the library
  gHeld = nullptr;
}

// ---- Time-outs while the channel thread is busy -----------------------------

// The answer callback of one request blocks until another request has
// been answered (at most 10 s); meanwhile the server drops the link.
std::atomic<bool> gOtherAnsweredWhileHeld{false};
void AnswerWaitingForTheOther(const char* text, int32_t length, uint64_t context) {
  HostRecorder::Answer(text, length, context);
  if (context != 10) return;
  gOtherAnsweredWhileHeld = HostRecorder::Instance().WaitForAnswers(11, 1, std::chrono::seconds(10));
}

TEST_F(Contract, RequestsTimeOutWhileTheChannelThreadIsInASlowCallbackAfterALoss) {
  client_.timings.requestTimeout = std::chrono::seconds(1);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  LogIn();
  server().SetSilent(Channel::Main, true);
  ASSERT_TRUE(SubmitRequest(client_, kModifyPwdJson.data(),
                            static_cast<int32_t>(kModifyPwdJson.size()), &AnswerWaitingForTheOther,
                            10));
  ASSERT_TRUE(Submit(client_, kModifyPwdJson, 11));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 100, 2)));
  uint64_t firstId = 0;
  for (const auto& frame : server().Snapshot()[Channel::Main].frames) {
    if (frame.messageType == 100 && firstId == 0) firstId = frame.requestId;
  }
  std::vector<uint8_t> head(323, 0);
  server().SendFrame(Channel::Main, BuildFrame(100, head.data(), 323, firstId, {}));
  ASSERT_TRUE(host().WaitForAnswers(10, 1));  // the channel thread is now held
  server().DropConnections(Channel::Main);
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return std::any_of(events.begin(), events.end(),
                       [](const HostEvent& e) { return IsLostReport(e, 2); });
  }, std::chrono::seconds(15)));
  EXPECT_TRUE(gOtherAnsweredWhileHeld.load());
  ASSERT_EQ(host().AnswersFor(11).size(), 1u);
  EXPECT_EQ(host().AnswersFor(11)[0].text, kTimeoutText);
}

}  // namespace
}  // namespace tessel::testing
