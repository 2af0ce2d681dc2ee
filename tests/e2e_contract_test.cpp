// The host contract under faults: every accepted main-channel request gets
// exactly one answer within the time-out and a second, whatever the server
// or the host does; nothing from a link reaches the host after its loss is
// reported; a host may destroy its client from inside a callback.
#include <dirent.h>
#include <unistd.h>
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

using Contract = InProcessTest;

// An OptionalOperation listing one page: a short text that the library
// packs into a body of 122 + 17 x 20,000 bytes, so a few of them fill the
// socket buffers of a server that stopped reading.
const std::string kBulky =
    R"({"func":"OptionalOperation","user_name":"trader01","op_type":48,)"
    R"("max_request_num":10,"position_str":"","record_set_cnt":20000})";

TEST_F(Contract, AServerThatStopsReadingLosesItsLinkAndEveryRequestIsAnsweredInTime) {
  client_.timings.requestTimeout = std::chrono::seconds(2);
  client_.timings.writeStallLimit = std::chrono::milliseconds(500);
  client_.timings.connectTimeout = std::chrono::seconds(1);
  client_.timings.maxOutstanding = 64;
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  ASSERT_TRUE(LogsIn(client_));
  server().StopReading(Channel::Main, true);

  // The host keeps sending while the link stalls and ends; every request
  // taken is timed from just before its SendRequest.
  std::map<uint64_t, Clock::time_point> accepted;
  size_t mostOutstanding = 0;
  const Clock::time_point until = Clock::now() + std::chrono::seconds(3);
  for (uint64_t context = 100; Clock::now() < until; ++context) {
    const Clock::time_point before = Clock::now();
    if (Submit(client_, kBulky, context)) accepted[context] = before;
    mostOutstanding = std::max(mostOutstanding, OutstandingCount(client_.main));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_LE(mostOutstanding, client_.timings.maxOutstanding);
  ASSERT_FALSE(accepted.empty());
  // The stall ended the link like any loss.
  ASSERT_TRUE(AwaitLoss(2));

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

bool WrittenToLink(tessel::Channel& channel) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  return std::any_of(channel.pending.begin(), channel.pending.end(),
                     [](const auto& entry) { return entry.second.handedToLink; });
}

void NotifyHoldingMarker(const char* text, int32_t length) {
  const std::string body(text, static_cast<size_t>(length));
  HostRecorder::Notify(text, length);
  if (body.find("held-marker") != std::string::npos) gHeld->Hold();
}

TEST_F(Contract, NothingFromALinkReachesTheHostAfterItsLoss) {
  HeldCallback held;
  gHeld = &held;
  StandInHarness simulated;
  ASSERT_TRUE(simulated.server().Start());
  StandInHarness::WriteConfig(harness_, simulated);
  client_.timings.heartbeatIdle = std::chrono::seconds(0);  // the send threads look often
  ASSERT_TRUE(client_.Init(&NotifyHoldingMarker));
  ASSERT_TRUE(LogsIn(client_));
  Eventually([this] { return client_.push.connected.load(); }, std::chrono::seconds(2));
  // The server writes a push and the push login's answer together, so the
  // channel thread reads both at once and is held in the push's callback
  // with the answer already read.
  server().StopReading(Channel::Push, true);
  Json::Value marker;
  marker["fund_account"] = "held-marker";
  ASSERT_TRUE(server().SendPush(Channel::Push, 304, marker));
  ASSERT_TRUE(Submit(client_, LoginJson("Login_Trade_Push"), 2));
  // Written into the socket before the server reads again.
  Eventually([this] { return WrittenToLink(client_.push); }, std::chrono::seconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  server().StopReading(Channel::Push, false);
  held.AwaitEntered();
  // Now the host switches the server kind, which ends both links.
  client_.SetRealTrade(0);
  // Whoever may report the loss while the channel thread is held has time to.
  AwaitLoss(3, std::chrono::seconds(2));
  held.Release();
  // The push channel comes up on the simulated server once it is done with
  // the old link, whatever it still had to read.
  ASSERT_TRUE(simulated.server().WaitFor(standin::AcceptedAtLeast(Channel::Push, 1)));
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
  ASSERT_TRUE(LogsIn(client_));
  ASSERT_TRUE(SendHeld(10, &AnswerWaitingForTheOther));
  ASSERT_TRUE(Submit(client_, kModifyPwdJson, 11));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 100, 2)));
  uint64_t firstId = 0;
  for (const auto& frame : server().Snapshot()[Channel::Main].frames) {
    if (frame.messageType == 100 && firstId == 0) firstId = frame.requestId;
  }
  std::vector<uint8_t> head(323, 0);
  server().SendFrame(Channel::Main, BuildFrame(100, head.data(), 323, firstId, {}));
  ASSERT_TRUE(host().WaitForAnswers(10, 1));  // the channel thread is now held
  server().ResetConnections(Channel::Main);
  ASSERT_TRUE(AwaitLoss(2, std::chrono::seconds(15)));
  EXPECT_TRUE(gOtherAnsweredWhileHeld.load());
  EXPECT_EQ(host().OnlyAnswer(11), kTimeoutText);
}

// ---- The log is the audit trail, whatever becomes of the host ---------------

// Every log file the library wrote in a folder (by default the one beside
// the test executable), joined.
std::string AllLogs(const std::string& folder = ModuleDirectory() + "/Log") {
  std::string all;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return all;
  while (dirent* entry = readdir(dir)) {
    if (std::string(entry->d_name).find(".tessel.log") != std::string::npos) {
      all += ReadFile(folder + "/" + entry->d_name);
    }
  }
  closedir(dir);
  return all;
}

// The id in the request entry that carries `marker`; "" when there is none.
std::string RequestIdCarrying(const std::string& log, const std::string& marker) {
  const size_t at = log.find(marker);
  if (at == std::string::npos) return {};
  const std::string kEntry = "Request_Request  content:";
  const size_t entry = log.rfind(kEntry, at);
  if (entry == std::string::npos) return {};
  const size_t id = entry + kEntry.size();
  return log.substr(id, log.find(" - ", id) - id);
}

std::string UniqueMarker(const char* what) {
  return std::string(what) + "-" + std::to_string(getpid()) + "-" +
         std::to_string(Clock::now().time_since_epoch().count());
}

// The host dies the moment its request reaches the server: the request's
// entry is in the file already.
TEST_F(Contract, ARequestThatWentOutIsInTheLogWhenTheHostIsKilled) {
  const std::string marker = UniqueMarker("killed");
  HostProbe probe({"kill", marker});
  ASSERT_TRUE(probe.Started());
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 6, 1), std::chrono::seconds(15)));
  probe.Kill();
  probe.Wait();
  EXPECT_FALSE(RequestIdCarrying(AllLogs(), marker).empty());
}

// The host crashes inside the answer's callback: the answer's entry is in
// the file already.
TEST_F(Contract, AnAnswerDeliveredIsInTheLogWhenTheHostCrashesInItsCallback) {
  const std::string marker = UniqueMarker("crashed");
  HostProbe probe({"crash", marker});
  ASSERT_TRUE(probe.Started());
  const int status = probe.Wait();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  const std::string log = AllLogs();
  const std::string id = RequestIdCarrying(log, marker);
  ASSERT_FALSE(id.empty());
  EXPECT_NE(log.find("Response_Response  content:" + id + " - ", log.find(marker)),
            std::string::npos);
}

// A host whose executable is elsewhere (an interpreter, say) names the
// library's folder in TESSEL_HOME: configuration, certificate and log.
TEST_F(Contract, TesselHomeNamesTheFolderOfConfigurationCertificateAndLog) {
  TempDir home;
  ASSERT_TRUE(platform::EnsureDirectory(home.File("config")));
  WriteFile(home.File("config/system.xml"),
            ReadFile(ModuleDirectory() + "/config/system.xml"));
  WriteFile(home.File("ca.pem"), ReadFile(ModuleDirectory() + "/ca.pem"));
  const std::string marker = UniqueMarker("home");
  HostProbe probe({"kill", marker}, {"TESSEL_HOME=" + home.path() + "/"});
  ASSERT_TRUE(probe.Started());
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 6, 1), std::chrono::seconds(15)));
  probe.Kill();
  probe.Wait();
  EXPECT_EQ(AllLogs().find(marker), std::string::npos);  // not beside the executable
  EXPECT_NE(AllLogs(home.File("Log")).find(marker), std::string::npos);
}

// ---- DestroyClient from inside a callback -----------------------------------

size_t Threads() {
  return CountEntries("/proc/self/task", [](const std::string&) { return true; });
}
// The stand-in keeps a closed connection's wake-up until its next accept.
size_t Descriptors() {
  return CountEntries("/proc/self/fd", [](const std::string& path) {
    return LinkTarget(path) != "anon_inode:[eventfd]";
  });
}

// The host's side of a client destroyed by the callback that meets the
// trigger, which records what reaches the host after it.
struct DestroyingHost {
  std::function<void()> destroyClient;
  std::atomic<bool> destroyed{false};  // DestroyClient returned, the callback returns next
  std::atomic<int> late{0};            // callbacks that started after that

  void Destroy() {
    destroyClient();
    destroyed = true;
  }
  void Enter() { late += destroyed.load() ? 1 : 0; }
};

DestroyingHost* gHost = nullptr;

void NotifyDestroyingOnMarker(const char* text, int32_t length) {
  gHost->Enter();
  HostRecorder::Notify(text, length);
  if (std::string(text, static_cast<size_t>(length)).find("destroy-marker") == std::string::npos) {
    return;
  }
  gHost->Destroy();
}

void AnswerDestroyingOnContext9(const char* text, int32_t length, uint64_t context) {
  gHost->Enter();
  HostRecorder::Answer(text, length, context);
  if (context != 9) return;
  gHost->Destroy();
}

// Destroys the client on the main link's Login report, which comes before
// the Login's own answer.
void NotifyDestroyingOnLogin(const char* text, int32_t length) {
  gHost->Enter();
  HostRecorder::Notify(text, length);
  const Json::Value report = ParseJson(std::string(text, static_cast<size_t>(length)));
  if (report["object"].asString() != "Login" || gHost->destroyed) return;
  gHost->Destroy();
}

void NotifyRecording(const char* text, int32_t length) {
  gHost->Enter();
  HostRecorder::Notify(text, length);
}

class DestroyFromCallback : public LoadedClientTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    // What the process keeps for every client (the log and its writer) is
    // made by a first client, destroyed as usual.
    LoadedClientTest::SetUp();
    if (HasFatalFailure()) return;
    DestroyClient();
    answer_ = &AnswerDestroyingOnContext9;
    host_.destroyClient = [this] { DestroyClient(); };
    gHost = &host_;
    // The stand-in's side of its links is gone too before counting.
    ASSERT_TRUE(server().WaitFor([](const standin::Observed& seen) {
      return seen[Channel::Main].open == 0 && seen[Channel::Push].open == 0;
    }));
    threads_ = Threads();
    descriptors_ = Descriptors();
  }
  void TearDown() override {
    LoadedClientTest::TearDown();
    gHost = nullptr;
  }

  bool Destroyed() {
    return Eventually([this] { return host_.destroyed.load(); }, std::chrono::seconds(5));
  }

  DestroyingHost host_;
  size_t threads_ = 0;
  size_t descriptors_ = 0;
};

// Param: the destroying callback is a push (true) or an answer (false).
TEST_P(DestroyFromCallback, ReturnsAndReleasesEverythingOnceTheCallbackHasReturned) {
  const bool fromPush = GetParam();
  client_ = plugin_.createClient(fromPush ? &NotifyDestroyingOnMarker : &NotifyRecording);
  ASSERT_NE(client_, nullptr);
  ASSERT_TRUE(LogIn("Login", 1));
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  // One request the server never answers: DestroyClient cancels it.
  server().SetSilent(Channel::Main, true);
  ASSERT_EQ(Send(kModifyPwdJson, 5), 1);
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, 100, 1)));
  if (fromPush) {
    Json::Value marker;
    marker["fund_account"] = "destroy-marker";
    ASSERT_TRUE(server().SendPush(Channel::Push, 304, marker));
  } else {
    server().SetSilent(Channel::Main, false);
    ASSERT_EQ(Send(kModifyPwdJson, 9), 1);
  }
  ASSERT_TRUE(Destroyed());
  EXPECT_EQ(host().OnlyAnswer(5), kCancelText);  // cancelled, once
  // The client's threads and sockets go once the callback has returned.
  Eventually([this] { return Threads() == threads_ && Descriptors() == descriptors_; });
  EXPECT_EQ(Threads(), threads_);
  EXPECT_EQ(Descriptors(), descriptors_);
  EXPECT_EQ(host_.late.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(PushOrAnswer, DestroyFromCallback, ::testing::Bool());

// The Login is still owed its answer while its report is being made: it
// gets the cancellation, once, before the destroying report returns.
TEST_F(DestroyFromCallback, ALoginWhoseReportDestroysTheClientIsStillAnsweredOnce) {
  client_ = plugin_.createClient(&NotifyDestroyingOnLogin);
  ASSERT_NE(client_, nullptr);
  ASSERT_TRUE(SendWhenUp(LoginJson("Login"), 1));
  ASSERT_TRUE(Destroyed());
  EXPECT_EQ(host().OnlyAnswer(1), kCancelText);
  EXPECT_EQ(host_.late.load(), 0);
}

}  // namespace
}  // namespace tessel::testing
