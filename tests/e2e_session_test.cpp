// Session races and lifecycle faults, each provoked on purpose: server-kind
// switches, the order of "link up" and "link lost" against the intake, the
// time-out promise while offline, exiting and unloading without clean-up.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>
#include <thread>

#include "e2e_support.h"
#include "net/frame.h"
#include "plugin/host_api.h"
#include "session/pending_requests.h"
#include "session/trade_client.h"

namespace tessel::testing {
namespace {

using standin::FramesOfType;

// One live and one simulated stand-in, both in the configuration.
class TwoKinds : public InProcessTest {
 protected:
  void SetUp() override {
    InProcessTest::SetUp();
    ASSERT_TRUE(simulated_.server().Start());
    StandInHarness::WriteConfig(harness_, simulated_);
  }

  StandInHarness simulated_;
};

TEST_F(TwoKinds, TheLastChoiceOfServerKindWins) {
  client_.timings.firstBackoff = std::chrono::milliseconds(500);
  client_.timings.maxBackoff = std::chrono::milliseconds(500);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  ASSERT_TRUE(SubmitWhenUp(client_, LoginJson("Login"), 1));
  // Both channels down and pausing between attempts: they take a switch
  // over only at their next look, so two quick calls both find the old kind.
  for (Channel channel : {Channel::Main, Channel::Push}) {
    server().RefuseConnections(channel, true);
    server().DropConnections(channel);
  }
  ASSERT_TRUE(server().WaitFor([](const standin::Observed& seen) {
    return seen[Channel::Main].refused >= 1 && seen[Channel::Push].refused >= 1;
  }));
  client_.SetRealTrade(0);
  client_.SetRealTrade(1);
  for (Channel channel : {Channel::Main, Channel::Push}) {
    server().RefuseConnections(channel, false);
  }
  // A channel that looked between the two calls may touch the simulated
  // server for a moment; what counts is where the client ends up.
  Eventually([this] { return client_.main.connected && client_.main.activeReal; },
             std::chrono::seconds(2));
  ASSERT_TRUE(LogsIn(client_, 2));
  EXPECT_TRUE(client_.main.activeReal);
  EXPECT_TRUE(client_.WantsReal(client_.main));
  EXPECT_TRUE(client_.WantsReal(client_.push));
  // The login was answered by the live server.
  EXPECT_EQ(ParseJson(host().AnswersFor(2).front().text)["port"].asInt(), server().MainPort());
}

std::atomic<int> gSlowCancels{0};
void SlowCancel(const char*, int32_t, uint64_t) {
  ++gSlowCancels;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

TEST_F(TwoKinds, ASwitchNeverReplaysTheOldLoginOnTheOtherKind) {
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  ASSERT_TRUE(LogsIn(client_));
  ASSERT_TRUE(SendHeld(2, &SlowCancel));
  // The live link goes down and stays down, the request still pending.
  server().RefuseConnections(Channel::Main, true);
  server().DropConnections(Channel::Main);
  Eventually([this] { return !client_.main.connected; }, std::chrono::seconds(2));
  client_.SetRealTrade(0);  // its cancellation takes 100 ms in the host
  EXPECT_EQ(gSlowCancels.load(), 1);
  ASSERT_TRUE(simulated_.server().WaitFor(standin::AcceptedAtLeast(Channel::Main, 1)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // The host must log in again: no login it did not send reaches the new kind.
  EXPECT_EQ(simulated_.server().Snapshot()[Channel::Main].Count(kLoginType), 0u);
}

// The host reacts to "link lost" by sending at once: the channel must
// already refuse.
TradeClient* gReactingClient = nullptr;
std::atomic<int> gAcceptedAfterLoss{0};
std::atomic<int> gLossReports{0};
void SendOnLoss(const char* text, int32_t length) {
  const Json::Value report = ParseJson(std::string(text, static_cast<size_t>(length)));
  if (report["connection_status"].asInt() != 2 || report["connection_type"].asInt() != 2) return;
  ++gLossReports;
  gAcceptedAfterLoss += Submit(*gReactingClient, kModifyPwdJson, 9) ? 1 : 0;
}

using OneServer = InProcessTest;

TEST_F(OneServer, NoRequestIsAcceptedForALinkReportedLost) {
  gReactingClient = &client_;
  ASSERT_TRUE(client_.Init(&SendOnLoss));
  for (int round = 1; round <= 5; ++round) {
    ASSERT_TRUE(SubmitWhenUp(client_, LoginJson("Login"), 1));
    server().DropConnections(Channel::Main);
    Eventually([round] { return gLossReports.load() >= round; }, std::chrono::seconds(5));
    ASSERT_EQ(gLossReports.load(), round);
  }
  client_.Stop();
  EXPECT_EQ(gAcceptedAfterLoss.load(), 0);
}

// Fresh clients that log in the moment the server hears their first frame.
TEST_F(OneServer, AFreshLinkTakesALoginAsSoonAsItSpeaks) {
  for (size_t n = 1; n <= 25; ++n) {
    TradeClient fresh;
    ASSERT_TRUE(fresh.Init(&HostRecorder::Notify));
    ASSERT_TRUE(server().WaitFor(MainFrameOn(n))) << n;
    EXPECT_TRUE(Submit(fresh, LoginJson("Login"), n)) << "client " << n;
  }
}

TEST_F(OneServer, APendingRequestTimesOutWhileNoLinkIsUp) {
  client_.timings.requestTimeout = std::chrono::seconds(1);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  ASSERT_TRUE(SubmitWhenUp(client_, LoginJson("Login"), 1));
  ASSERT_TRUE(SendHeld(2));
  server().RefuseConnections(Channel::Main, true);
  server().DropConnections(Channel::Main);
  ASSERT_TRUE(host().WaitForAnswers(2, 1, std::chrono::seconds(5)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(host().OnlyAnswer(2), kTimeoutText);  // and never again
}

// What was accepted long ago is timed out from its acceptance, whether or
// not it was ever written; and each request made while the timekeeper has
// nothing to watch wakes it, however the two meet.
TEST(Timekeeper, TimesOutFromAcceptanceAndWakesForEachRequest) {
  HostRecorder::Instance().Clear();
  TradeClient client;
  client.timings.requestTimeout = std::chrono::seconds(1);
  client.timekeeper.Start();
  for (uint64_t id = 1; id <= 2000; ++id) {
    TradeRequestData queued;
    queued.requestId = id;
    queued.callback = &HostRecorder::Answer;
    queued.context = id;
    queued.acceptedAt = std::chrono::steady_clock::now() - std::chrono::seconds(5);
    QueueRequest(client, client.main, queued);
    ASSERT_TRUE(HostRecorder::Instance().WaitForAnswers(id, 1, std::chrono::seconds(3))) << id;
    EXPECT_EQ(HostRecorder::Instance().AnswersFor(id).front().text, kTimeoutText);
  }
  client.timekeeper.Stop();
  EXPECT_EQ(OutstandingCount(client.main), 0u);
}

// Descriptors of this process open on a log file. Only those are counted:
// the in-process stand-in opens and closes sockets on its own schedule.
size_t OpenLogFiles() {
  return CountEntries("/proc/self/fd", [](const std::string& path) {
    return LinkTarget(path).find(".tessel.log") != std::string::npos;
  });
}

TEST_F(OneServer, UnloadingTheLibraryClosesItsLog) {
  const auto cycle = [] {
    PluginDescriptor plugin{};
    void* library = LoadPlugin(plugin);
    ASSERT_NE(plugin.createClient, nullptr);
    ClientHandle* client = plugin.createClient(&HostRecorder::Notify);
    ASSERT_NE(client, nullptr);
    plugin.destroyClient(client);
    dlclose(library);
  };
  const size_t before = OpenLogFiles();
  for (int i = 0; i < 5; ++i) cycle();
  EXPECT_EQ(OpenLogFiles(), before);
}

// A link that dies right after its handshake must not swallow the relogin
// the next link owes: every stable link gets its Login. Confined to one core,
// where the dying link's send thread and the channel thread interleave most.
TEST_F(OneServer, EveryStableLinkAfterADeadOneLogsInAgain) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(0, &one);
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  ASSERT_TRUE(SubmitWhenUp(client_, LoginJson("Login"), 1));
  ASSERT_TRUE(server().WaitFor(FramesOfType(Channel::Main, kLoginType, 1)));
  server().ResetEveryOtherAfterHandshake(Channel::Main, true);
  constexpr size_t kTrials = 100;
  for (size_t trial = 1; trial <= kTrials; ++trial) {
    // From here odd connections die at their handshake, even ones stay:
    // each drop of stable link 2k-2 brings a dead 2k-1 and a stable 2k.
    const size_t stable = 2 * trial;
    server().DropConnections(Channel::Main);
    ASSERT_TRUE(server().WaitFor(MainFrameOn(stable, kLoginType), std::chrono::seconds(10)))
        << "stable link " << stable << " got no Login";
  }
  client_.Stop();
  sched_setaffinity(0, sizeof before, &before);
}

// A host process that exits without DestroyClient while its links drop.
TEST_F(OneServer, AHostMayExitWithoutDestroyingItsClient) {
  for (int run = 0; run < 3; ++run) {
    HostProbe probe({"exit"});
    ASSERT_TRUE(probe.Started());
    ASSERT_FALSE(probe.ReadErrors().empty());  // "ready"
    // Links drop again and again while the child runs its exit handlers.
    ASSERT_TRUE(probe.WriteLine("go"));
    for (int i = 0; i < 80; ++i) {
      server().DropConnections(Channel::Main);
      server().DropConnections(Channel::Push);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int status = probe.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "run " << run << ": status " << status;
  }
}

// A host process that exits while another of its threads creates a client:
// what the client's threads use is not released under them.
TEST_F(OneServer, AHostMayExitWhileAClientIsBeingCreated) {
  for (int delay = 0; delay < 12; ++delay) {
    HostProbe probe({"race", std::to_string(delay)});
    ASSERT_TRUE(probe.Started());
    const int status = probe.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "after " << delay << " ms: status " << status;
  }
}

}  // namespace
}  // namespace tessel::testing
