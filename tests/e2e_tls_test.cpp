// Server verification: off by default (any certificate, logged once as not
// verified), on with <VerifyServer/>: the chain must verify against ca.pem
// and the certificate must name the configured address.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "session/trade_client.h"
#include "support/log.h"

namespace tessel::testing {
namespace {

class ServerCheck : public InProcessTest {
 protected:
  static void Configure(const standin::StandIn& server, bool verify) {
    WriteConfig(ModuleDirectory(), std::string(verify ? "<VerifyServer/>" : "") +
                                       ServerEntry(server.MainPort(), server.PushPort()));
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

  // A client that never reaches `refusing`'s session, and logs why.
  void ExpectRefusedBy(standin::StandIn& refusing) {
    const size_t before = LogCount("Verify_Failed");
    ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
    EXPECT_FALSE(LogsIn(client_));
    client_.Stop();
    EXPECT_TRUE(refusing.Snapshot()[Channel::Main].frames.empty());
    EXPECT_GT(LogCount("Verify_Failed"), before);
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
  Configure(server(), true);
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  EXPECT_TRUE(client_.verifyServer);
  EXPECT_TRUE(LogsIn(client_));
}

TEST_F(ServerCheck, OffAcceptsAnyCertificateAndSaysSoOnce) {
  Configure(server(), false);
  WriteFile(ModuleDirectory() + "/ca.pem", ForeignCertificate());
  const size_t before = LogCount("Not_Verified");
  ASSERT_TRUE(client_.Init(&HostRecorder::Notify));
  EXPECT_TRUE(LogsIn(client_));
  client_.Stop();
  EXPECT_EQ(LogCount("Not_Verified"), before + 1);
}

TEST_F(ServerCheck, OnRefusesACertificateItDoesNotTrust) {
  WriteFile(ModuleDirectory() + "/ca.pem", ForeignCertificate());
  Configure(server(), true);
  ExpectRefusedBy(server());
}

TEST_F(ServerCheck, OnRefusesACertificateForAnotherAddress) {
  standin::Options options;
  options.certPath = ModuleDirectory() + "/ca.pem";
  options.password = "secret";
  options.certificateNames = "IP:10.11.12.13,DNS:elsewhere.example";
  standin::StandIn elsewhere(options);
  ASSERT_TRUE(elsewhere.Start());
  Configure(elsewhere, true);
  ExpectRefusedBy(elsewhere);
  // Off, the same server is accepted.
  Configure(elsewhere, false);
  TradeClient trusting;
  ASSERT_TRUE(trusting.Init(&HostRecorder::Notify));
  EXPECT_TRUE(LogsIn(trusting));
}

}  // namespace
}  // namespace tessel::testing
