// Server verification: off by default (any certificate, logged once as not
// verified), on with <VerifyServer/>: the chain must verify against ca.pem
// and the certificate must name the configured address.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "session/trade_client.h"
#include "support/log.h"

namespace tessel::testing {
namespace {

class ServerCheck : public ::testing::Test {
 protected:
  void SetUp() override { HostRecorder::Instance().Clear(); }

  void Configure(const standin::StandIn& server, bool verify) {
    WriteFile(ModuleDirectory() + "/config/system.xml",
              std::string("<Root><TesselServer>") + (verify ? "<VerifyServer/>" : "") +
                  "<Server address=\"127.0.0.1\" port=\"" + std::to_string(server.MainPort()) +
                  "\" pushaddress=\"127.0.0.1\" pushport=\"" + std::to_string(server.PushPort()) +
                  "\"/></TesselServer></Root>");
  }

  // Whether a login goes through within a few seconds.
  static bool LogsIn(TradeClient& client) {
    return SubmitWhenUp(client, LoginJson("Login"), 1) &&
           HostRecorder::Instance().WaitForAnswers(1, 1);
  }

  // The log of the clients made in this process (the loaded library keeps
  // a log of its own).
  static size_t LogCount(const std::string& tag) {
    const std::string path = ModuleDirectory() + "/Log/in-process.tessel.log";
    CLog::Instance().Init("Log", ModuleDirectory().c_str(), "in-process.tessel.log");
    const std::string log = ReadFile(path);
    size_t count = 0;
    for (size_t at = log.find(tag); at != std::string::npos; at = log.find(tag, at + 1)) ++count;
    return count;
  }

  // A second stand-in, whose certificate is not the one the first wrote.
  static std::string ForeignCertificate() {
    standin::Options options;
    options.certPath = ModuleDirectory() + "/other.pem";
    standin::StandIn other(options);
    EXPECT_TRUE(other.Start());
    return ReadFile(options.certPath);
  }
};

TEST_F(ServerCheck, OnAcceptsTheRightServer) {
  StandInHarness harness;
  ASSERT_TRUE(harness.Start());
  Configure(harness.server(), true);
  TradeClient client;
  ASSERT_TRUE(client.Init(&HostRecorder::Notify));
  EXPECT_TRUE(client.verifyServer);
  EXPECT_TRUE(LogsIn(client));
}

TEST_F(ServerCheck, OffAcceptsAnyCertificateAndSaysSoOnce) {
  StandInHarness harness;
  ASSERT_TRUE(harness.Start());
  Configure(harness.server(), false);
  WriteFile(ModuleDirectory() + "/ca.pem", ForeignCertificate());
  const size_t before = LogCount("Not_Verified");
  TradeClient client;
  ASSERT_TRUE(client.Init(&HostRecorder::Notify));
  EXPECT_TRUE(LogsIn(client));
  client.Stop();
  EXPECT_EQ(LogCount("Not_Verified"), before + 1);
}

TEST_F(ServerCheck, OnRefusesACertificateItDoesNotTrust) {
  StandInHarness harness;
  ASSERT_TRUE(harness.Start());
  WriteFile(ModuleDirectory() + "/ca.pem", ForeignCertificate());
  Configure(harness.server(), true);
  const size_t before = LogCount("Verify_Failed");
  TradeClient client;
  client.timings.firstBackoff = std::chrono::milliseconds(100);
  ASSERT_TRUE(client.Init(&HostRecorder::Notify));
  EXPECT_FALSE(LogsIn(client));
  client.Stop();
  EXPECT_TRUE(harness.server().Snapshot()[Channel::Main].frames.empty());
  EXPECT_GT(LogCount("Verify_Failed"), before);
}

TEST_F(ServerCheck, OnRefusesACertificateForAnotherAddress) {
  standin::Options options;
  options.certPath = ModuleDirectory() + "/ca.pem";
  options.password = "secret";
  options.certificateNames = "IP:10.11.12.13,DNS:elsewhere.example";
  standin::StandIn server(options);
  ASSERT_TRUE(server.Start());
  Configure(server, true);
  TradeClient client;
  client.timings.firstBackoff = std::chrono::milliseconds(100);
  ASSERT_TRUE(client.Init(&HostRecorder::Notify));
  const size_t before = LogCount("Verify_Failed");
  EXPECT_FALSE(LogsIn(client));
  client.Stop();
  EXPECT_TRUE(server.Snapshot()[Channel::Main].frames.empty());
  EXPECT_GT(LogCount("Verify_Failed"), before);
  // Off, the same server is accepted.
  Configure(server, false);
  TradeClient trusting;
  ASSERT_TRUE(trusting.Init(&HostRecorder::Notify));
  EXPECT_TRUE(LogsIn(trusting));
}

}  // namespace
}  // namespace tessel::testing
