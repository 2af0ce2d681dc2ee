// Answer conventions and the inbound dispatch, fed with frames built here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "messages/inbound/answer_conventions.h"
#include "session/inbound_dispatch.h"
#include "net/frame.h"
#include "session/status_reports.h"
#include "session/trade_client.h"
#include "test_support.h"

namespace tessel {
namespace {

using testing::ParseJson;

TEST(AnswerConventions, CodeMappings) {
  EXPECT_EQ(ToMarketCode('1'), 1);
  EXPECT_EQ(ToMarketCode('3'), 1);
  EXPECT_EQ(ToMarketCode('t'), 1);
  EXPECT_EQ(ToMarketCode('2'), 0);
  EXPECT_EQ(ToMarketCode('4'), 0);
  EXPECT_EQ(ToMarketCode('v'), 0);
  EXPECT_EQ(ToMarketCode('K'), 2);
  EXPECT_EQ(ToMarketCode('A'), 65);
  EXPECT_EQ(ToMarketCode(0xF0), -16);
  EXPECT_EQ(ToBsFlag('1'), 1);
  EXPECT_EQ(ToBsFlag('2'), 0);
  EXPECT_EQ(ToBsFlag('S'), 83);
}

TEST(AnswerConventions, WriterFormat) {
  Json::Value root(Json::objectValue);
  root["zeta"] = 0.1;
  root["alpha"] = 100.0;
  root["mid"] = "\xE4\xB8\xAD";  // one CJK character
  EXPECT_EQ(WriteAnswer(root),
            "{\n\t\"alpha\" : 100.0,\n\t\"mid\" : \"\\u4e2d\",\n\t\"zeta\" : 0.10000000000000001\n}");
}

std::string FieldText(const AnswerField& field, BodyView body) {
  std::string text;
  AppendFieldValue(text, field, body);
  return text;
}

TEST(AnswerConventions, FieldKindsReadWithinTheBody) {
  uint8_t bytes[16] = {'a', 'b', 'c', 'd', 0xFE, 0xFF, 0xFF, 0xFF};
  const BodyView body(bytes, 6);
  EXPECT_EQ(body.Text(0, 4), "abcd");  // fills its width: stops there
  EXPECT_EQ(FieldText({"k", FieldKind::Int32, 4, 4}, body), "0");  // past the end
  EXPECT_EQ(FieldText({"k", FieldKind::Text, 5, 64}, body), "\"\\ufffd\"");  // a cut sequence
}

// --- inbound dispatch -------------------------------------------------------

struct HostCall {
  std::string kind;  // "notify" or "answer"
  std::string text;
  uint64_t context = 0;
};
std::vector<HostCall> gCalls;

void Notify(const char* text, int32_t length) {
  gCalls.push_back({"notify", std::string(text, static_cast<size_t>(length)), 0});
}
void Answer(const char* text, int32_t length, uint64_t context) {
  gCalls.push_back({"answer", std::string(text, static_cast<size_t>(length)), context});
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gCalls.clear();
    client.hostNotify = &Notify;
    client.main.server.address = "127.0.0.1";
    client.main.server.port = 9000;
    client.push.server.pushaddress = "127.0.0.2";
    client.push.server.pushport = 9001;
  }

  void Pend(Channel& channel, uint64_t id, uint32_t type, uint64_t context) {
    TradeRequestData request;
    request.requestId = id;
    request.messageType = type;
    request.callback = &Answer;
    request.context = context;
    request.acceptedAt = std::chrono::steady_clock::now();
    channel.pending[id] = request;
  }

  static Frame AnswerFrame(uint32_t type, uint64_t id, int32_t errorNo, const char* info) {
    std::vector<uint8_t> body(kAnswerHeadSize, 0);
    wire::Store<int32_t>(body.data() + 64, errorNo);
    std::memcpy(body.data() + 68, info, std::strlen(info));
    return BuildFrame(type, body.data(), static_cast<uint32_t>(body.size()), id, {});
  }

  void Feed(bool main, const Frame& frame) {
    int32_t count = static_cast<int32_t>(frame.size());
    if (main) {
      MainDispatch(client, frame.data(), count);
    } else {
      PushDispatch(client, frame.data(), count);
    }
  }

  TradeClient client;
};

TEST_F(DispatchTest, MainLoginMakesThreeHostCallsInOrder) {
  Pend(client.main, 4, 1, 44);
  Feed(true, AnswerFrame(1, 4, 0, ""));
  ASSERT_EQ(gCalls.size(), 3u);
  EXPECT_EQ(gCalls[0].kind, "notify");
  EXPECT_EQ(gCalls[0].text,
            "{\n\t\"connection_type\" : 2,\n\t\"describe\" : \"\",\n\t\"login_status\" : 0,"
            "\n\t\"object\" : \"Login\",\n\t\"port\" : 9000,\n\t\"server_ip\" : \"127.0.0.1\","
            "\n\t\"trade_type\" : 2\n}");
  EXPECT_EQ(gCalls[1].kind, "notify");
  EXPECT_EQ(ParseJson(gCalls[1].text)["cmd"].asString(), "ConnectStatus");
  EXPECT_EQ(ParseJson(gCalls[1].text)["connection_status"].asInt(), 1);
  EXPECT_FALSE(ParseJson(gCalls[1].text).isMember("login_status"));
  EXPECT_EQ(gCalls[2].kind, "answer");
  EXPECT_EQ(gCalls[2].text, gCalls[0].text);
  EXPECT_EQ(gCalls[2].context, 44u);
  EXPECT_TRUE(client.main.pending.empty());
}

TEST_F(DispatchTest, RefusedLoginIsNotReportedAsLoggedIn) {
  Pend(client.push, 6, 1, 66);
  Feed(false, AnswerFrame(1, 6, 1001, "wrong password"));
  ASSERT_EQ(gCalls.size(), 2u);  // no connection report
  const Json::Value report = ParseJson(gCalls[0].text);
  EXPECT_EQ(report["login_status"].asInt(), 1001);
  EXPECT_EQ(report["describe"].asString(), "wrong password");
  EXPECT_EQ(report["connection_type"].asInt(), 3);
  EXPECT_EQ(report["server_ip"].asString(), "127.0.0.2");
  EXPECT_EQ(gCalls[1].kind, "answer");
}

TEST_F(DispatchTest, LogoutCarriesErrorAndPushType) {
  Pend(client.main, 2, 2, 0);
  Feed(true, AnswerFrame(2, 2, 0, ""));
  ASSERT_EQ(gCalls.size(), 2u);
  const Json::Value report = ParseJson(gCalls[0].text);
  EXPECT_EQ(report["object"].asString(), "Logout");
  EXPECT_EQ(report["login_status"].asInt(), 0);
  EXPECT_EQ(report["push_type"].asInt(), -999);
}

TEST_F(DispatchTest, DuplicatesAndStraysReachNobody) {
  Pend(client.main, 9, 100, 99);
  const Frame answer = AnswerFrame(100, 9, 0, "");
  Frame twice = answer;
  twice.insert(twice.end(), answer.begin(), answer.end());
  Feed(true, twice);  // two frames in one buffer: the walk sees both
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(ParseJson(gCalls[0].text)["error_no"].asInt(), 0);
  EXPECT_EQ(gCalls[0].context, 99u);
  Feed(true, BuildHeartbeat(12345));
  Feed(false, BuildHeartbeat(12346));
  Feed(true, AnswerFrame(304, 1, 0, ""));   // a push type the main channel does not know
  Feed(false, AnswerFrame(999, 1, 0, ""));  // a type nobody knows
  EXPECT_EQ(gCalls.size(), 1u);
}

// An answer telling of a lost login (at the error offset of its own head)
// still reaches the host, and the relogin gate is asked.
TEST_F(DispatchTest, ALostLoginAnswerIsDeliveredThenAsksForARelogin) {
  Pend(client.main, 41, 112, 4);
  std::vector<uint8_t> body(340, 0);
  wire::Store<int32_t>(body.data() + 72, -999);
  client.lastReloginCheck = 0;  // the gate stamps it when asked
  Feed(true, BuildFrame(112, body.data(), static_cast<uint32_t>(body.size()), 41, {}));
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(ParseJson(gCalls[0].text)["error_no"], -999);
  EXPECT_EQ(gCalls[0].context, 4u);
  EXPECT_NE(client.lastReloginCheck.load(), 0);
}

TEST_F(DispatchTest, IncompleteFramesAreLeftAlone) {
  Pend(client.main, 3, 1, 0);
  const Frame frame = AnswerFrame(1, 3, 0, "");
  int32_t count = static_cast<int32_t>(frame.size() - 1);
  MainDispatch(client, frame.data(), count);
  EXPECT_TRUE(gCalls.empty());
  EXPECT_EQ(client.main.pending.size(), 1u);
}

TEST_F(DispatchTest, LostLinkReport) {
  client.main.activeReal = false;
  ReportConnectStatus(client, false, kMainConnectionType);
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].text,
            "{\n\t\"cmd\" : \"ConnectStatus\",\n\t\"connection_status\" : 2,"
            "\n\t\"connection_type\" : 2,\n\t\"login_status\" : false,\n\t\"port\" : 9000,"
            "\n\t\"server_ip\" : \"127.0.0.1\",\n\t\"trade_type\" : 1\n}");
}

}  // namespace
}  // namespace tessel
