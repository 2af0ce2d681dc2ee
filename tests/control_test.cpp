// The stand-in's control lines: what is refused, and why, before anything
// reaches the server. The commands' effects are tested end to end.
#include "tools/standin/control.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace tessel::standin {
namespace {

TEST(ControlLine, RefusesWhatIsNoCommandOrDoesNotFitItsSynopsis) {
  StandIn server(Options{});  // never started: a refused line must not need it
  const struct {
    const char* line;
    const char* why;
  } kRefused[] = {
      {"  ", "an empty line is no command"},
      {"stop everything", "no such command; the commands are drop, stall,"},
      {"{\"cmd\":\"stall\"", "not a JSON object with a \"cmd\" text"},
      {"{\"cmd\":3}", "not a JSON object with a \"cmd\" text"},
      {"stall main", "usage: stall main|push SECONDS"},
      {"stall main soon", "usage: stall main|push SECONDS"},
      {"stall main 5 more", "usage: stall main|push SECONDS"},
      {"stall main 99999999999", "usage: stall main|push SECONDS"},
      {R"({"cmd":"stall","channel":"main","seconds":"5"})", "usage: stall main|push SECONDS"},
      {R"({"cmd":"stall","channel":"main","seconds":5,"why":1})", "usage: stall"},
      {"push 304 {\"fund_account\":", "usage: push TYPE [FIELDS]"},
      {"stall both 5", "the channel is main or push"},
      {"silent main -1", "seconds are 0 to 86400"},
      {"drop main gently", "how is close or reset"},
      {"delay 600001", "ms are 0 to 600000"},
      {"error NoSuchFunc -999", "no function is named NoSuchFunc"},
      {"error 10 -999", "10 has no answer to carry an error"},
      {"push 4", "no push has type 4"},
      {"price 49 999999 10", "no security 999999 on market 49"},
  };
  for (const auto& refused : kRefused) {
    const Json::Value answer = testing::ParseJson(server.Control(refused.line));
    EXPECT_FALSE(answer["ok"].asBool()) << refused.line;
    EXPECT_EQ(answer["error"].asString().rfind(refused.why, 0), 0u)
        << refused.line << " -> " << answer.toStyledString();
  }
  // The same synopses taken, in words and as JSON.
  for (const char* line : {"stall main 0", R"({"cmd":"silent","channel":"push","seconds":0})",
                           "error QryMoney -999 login lost", "delay 0"}) {
    EXPECT_EQ(server.Control(line), R"({"ok":true})") << line;
  }
}

}  // namespace
}  // namespace tessel::standin
