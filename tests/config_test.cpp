#include "support/server_config.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace tessel {
namespace {

using testing::TempDir;
using testing::WriteFile;

ServerConfig LoadFrom(const TempDir& dir, const std::string& xml, bool* ok = nullptr,
                      ServerOptions* options = nullptr) {
  WriteFile(dir.File("system.xml"), xml);
  ServerConfig servers;
  const bool loaded = LoadServerConfigFile(dir.File("system.xml"), servers, options);
  if (ok != nullptr) *ok = loaded;
  return servers;
}

// The options read from `start` on, with `inside` before the one server.
ServerOptions OptionsFrom(const TempDir& dir, const std::string& inside, ServerOptions start) {
  bool ok = false;
  LoadFrom(dir, "<R><TesselServer>" + inside + R"(<Server address="127.0.0.1" port="1"/>)" +
           "</TesselServer></R>", &ok, &start);
  EXPECT_TRUE(ok);
  return start;
}

TEST(ServerConfig, ReadsAttributesWithTheirConversions) {
  TempDir dir;
  bool ok = false;
  const ServerConfig servers = LoadFrom(dir, R"(<?xml version="1.0"?>
<Root>
  <Other/>
  <TesselServer>
    <Server name="live" address="127.0.0.1" port="0x1F90" pushaddress="127.0.0.2" pushport="010" real="1"/>
    <Server name="sim" address="127.0.0.3" port="9001" real="FALSE"/>
    <Server address="127.0.0.7" port="5"/>
    <Server name="no address" port="1"/>
    <Server name="empty address" address="" port="1"/>
  </TesselServer>
  <TesselServer><Server address="9.9.9.9"/></TesselServer>
</Root>)", &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(servers.size(), 3u);  // the entries without an address are skipped
  EXPECT_EQ(servers[0].name, "live");
  EXPECT_EQ(servers[0].port, 0x1F90);
  EXPECT_EQ(servers[0].pushaddress, "127.0.0.2");
  EXPECT_EQ(servers[0].pushport, 8);  // leading zero: octal
  EXPECT_TRUE(servers[0].real);
  EXPECT_FALSE(servers[1].real);  // the spellings: FalseSpellings
  EXPECT_EQ(servers[1].pushaddress, "");
  EXPECT_EQ(servers[1].pushport, 0);
  EXPECT_TRUE(servers[2].real);  // missing "real": live
}

TEST(ServerConfig, UnusablePortsSkipTheirServer) {
  for (const char* bad : {"abc", "", " 80", "+80", "-80", "0", "70000", "4294967376", "0x0"}) {
    EXPECT_FALSE(ParsePortText(bad)) << bad;
  }
  EXPECT_EQ(ParsePortText("65535"), 65535);
  EXPECT_EQ(ParsePortText("0x50"), 80);
  EXPECT_EQ(ParsePortText("0120"), 80);
  TempDir dir;
  bool ok = false;
  const ServerConfig servers = LoadFrom(dir, R"(<R><TesselServer>
    <Server name="wraps" address="127.0.0.1" port="4294967376"/>
    <Server name="too big" address="127.0.0.1" port="70000"/>
    <Server name="no port" address="127.0.0.1"/>
    <Server name="bad push" address="127.0.0.1" port="80" pushaddress="127.0.0.1" pushport=" 81"/>
    <Server name="no push needed" address="127.0.0.1" port="80" pushport="junk"/>
  </TesselServer></R>)", &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].name, "no push needed");
  LoadFrom(dir, R"(<R><TesselServer><Server address="127.0.0.1" port="0"/></TesselServer></R>)",
           &ok);
  EXPECT_FALSE(ok);  // nothing usable is left
}

TEST(ServerConfig, FalseSpellings) {
  for (const char* text : {"", "0", "false", "False", "FALSE", "fAlSe"}) {
    EXPECT_FALSE(ParseRealText(text)) << text;
  }
  for (const char* text : {"1", "true", "no", "00", " false", "falsey"}) {
    EXPECT_TRUE(ParseRealText(text)) << text;
  }
}

TEST(ServerConfig, ServerVerificationIsOptIn) {
  const TempDir dir;
  ServerOptions on;
  on.verifyServer = true;
  const auto verifies = [&](const char* inside) {
    return OptionsFrom(dir, inside, on).verifyServer;
  };
  EXPECT_FALSE(verifies(""));
  EXPECT_TRUE(verifies("<VerifyServer/>"));
  EXPECT_TRUE(verifies(R"(<VerifyServer enabled="1"/>)"));
  EXPECT_FALSE(verifies(R"(<VerifyServer enabled="false"/>)"));
}

TEST(ServerConfig, LogLimitIsOffUnlessAWholeNumberOfMegabytesIsGiven) {
  const TempDir dir;
  ServerOptions seven;
  seven.logSizeLimit = 7;
  const auto limit = [&](const std::string& inside) {
    return OptionsFrom(dir, inside, seven).logSizeLimit;
  };
  EXPECT_EQ(limit(""), 0u);
  EXPECT_EQ(limit(R"(<LogLimit megabytes="0"/>)"), 0u);
  EXPECT_EQ(limit(R"(<LogLimit megabytes="64"/>)"), 64ull << 20);
  EXPECT_EQ(limit(R"(<LogLimit megabytes="1048576"/>)"), 1ull << 40);
  for (const char* bad : {R"(megabytes="-1")", R"(megabytes="1.5")", R"(megabytes=" 2")",
                          R"(megabytes="0x10")", R"(megabytes="")", R"(megabytes="1048577")",
                          R"(megabytes="99999999999999999999")", R"(size="5")"}) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(limit(std::string("<LogLimit ") + bad + "/>"), 0u) << bad;
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("<LogLimit> on line 1 ignored"), std::string::npos) << said;
  }
}

TEST(ServerConfig, LoadFailures) {
  TempDir dir;
  ServerConfig servers{ServerEntry{}};
  EXPECT_FALSE(LoadServerConfigFile(dir.File("missing.xml"), servers));
  bool ok = true;
  LoadFrom(dir, "<Root><TesselServer></TesselServer></Root>", &ok);
  EXPECT_FALSE(ok);
  LoadFrom(dir, "<Root><Servers><Server address=\"1.2.3.4\"/></Servers></Root>", &ok);
  EXPECT_FALSE(ok);
}

TEST(ServerConfig, ModuleDirectoryHasNoTrailingSeparator) {
  const std::string& directory = ModuleDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '/');
  EXPECT_EQ(DefaultConfigPath(), directory + "/config/system.xml");
}

TEST(ServerConfig, MalformedXmlNamesItsLine) {
  TempDir dir;
  ::testing::internal::CaptureStdout();
  bool ok = true;
  LoadFrom(dir, "<R>\n<TesselServer>\n<Server address=\"1\" port=\"2\">\n</R>", &ok);
  const std::string said = ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(ok);
  EXPECT_NE(said.find("not well-formed XML"), std::string::npos) << said;
  EXPECT_NE(said.find("line"), std::string::npos) << said;
}

}  // namespace
}  // namespace tessel
