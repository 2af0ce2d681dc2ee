// How the host tool tells a request that waits for its channel from one that
// will never go: channel state from the status reports, the reason from the
// library's log.
#include "tools/host/refusals.h"

#include "tools/host/library_log.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace tessel::host {
namespace {

using testing::ParseJson;

// The library goes on in file 0, then in the first numbered file nothing
// wrote: numbered files an earlier run of the day left are passed over, and
// what comes after the mark is read wherever it went.
TEST(HostLibraryLog, ReadsWhatEveryFileGainedSinceTheMark) {
  testing::TempDir dir;
  const std::string folder = dir.path() + "/";
  const std::string day = LibraryLog::Today();
  testing::WriteFile(folder + day + ".tessel.log", "old 0\r\n");
  testing::WriteFile(folder + day + ".1.tessel.log", "old 1\r\n");
  testing::WriteFile(folder + day + ".2.tessel.log", "old 2\r\n");
  LibraryLog log;
  log.Locate(folder, day, day);
  const LibraryLog::Mark mark = log.End();
  testing::WriteFile(folder + day + ".tessel.log", "old 0\r\nnew 0\r\n");
  testing::WriteFile(folder + day + ".3.tessel.log", "new 3\r\n");
  EXPECT_EQ(log.ReadFrom(mark), "new 0\r\nnew 3\r\n");
}

TEST(HostLinks, FollowTheStatusReports) {
  Links links;
  EXPECT_EQ(links.main, Link::ComingUp);
  EXPECT_EQ(links.push, Link::ComingUp);
  // A refused login: connected, not logged in, and no report says otherwise.
  links.Note(ParseJson(R"({"object":"Login","connection_type":2,"login_status":-1,"describe":"x"})"));
  EXPECT_EQ(links.main, Link::ComingUp);
  links.Note(ParseJson(R"({"object":"Login","connection_type":2,"login_status":0,"describe":""})"));
  EXPECT_EQ(links.main, Link::Up);
  EXPECT_EQ(links.push, Link::ComingUp);
  links.Note(ParseJson(R"({"cmd":"ConnectStatus","connection_type":3,"connection_status":1})"));
  EXPECT_EQ(links.push, Link::Up);
  links.Note(ParseJson(
      R"({"cmd":"ConnectStatus","connection_type":2,"connection_status":2,"login_status":false})"));
  EXPECT_EQ(links.main, Link::Down);
  EXPECT_EQ(links.push, Link::Up);
  // A Logout report says nothing of the link; the lost-link report will.
  links.Note(ParseJson(R"({"object":"Logout","connection_type":3,"login_status":0,"push_type":-999})"));
  EXPECT_EQ(links.push, Link::Up);
  // Pushes and texts without a connection type change nothing.
  links.Note(ParseJson(R"({"push_type":10,"connection_status":2})"));
  links.Note(ParseJson(R"({"cmd":"ConnectStatus","connection_type":4,"connection_status":1})"));
  links.Note(Json::Value());
  EXPECT_EQ(links.main, Link::Down);
  EXPECT_EQ(links.push, Link::Up);
  links.Note(ParseJson(R"({"cmd":"ConnectStatus","connection_type":2,"connection_status":1})"));
  EXPECT_EQ(links.main, Link::Up);
}

TEST(HostRefusals, NewestEntryOfTheLogText) {
  EXPECT_FALSE(NewestRefusal("").has_value());
  EXPECT_FALSE(NewestRefusal("2026-12-06 10:00:00:001:Request_Request  content:1 - x\r\n"));
  const std::string text =
      "2026-12-06 10:00:00:001:Request_Refused  content:Logout - main channel down\r\n"
      "2026-12-06 10:00:00:002:INFO_Login_Status  content:{}\r\n"
      "2026-12-06 10:00:00:003:Request_Refused  content:a - b - key \"x\" is missing\r\n";
  const auto newest = NewestRefusal(text);
  ASSERT_TRUE(newest.has_value());
  EXPECT_EQ(newest->func, "a - b");  // any text the host put in "func"
  EXPECT_EQ(newest->reason, "key \"x\" is missing");
  // The file may end before the line does.
  const auto cut = NewestRefusal("x:Request_Refused  content:(no func) - not JSON");
  ASSERT_TRUE(cut.has_value());
  EXPECT_EQ(cut->reason, "not JSON");
}

TEST(HostRefusals, JsonComplaintIsOneLine) {
  std::string complaint;
  EXPECT_TRUE(ParseRequest(R"({"func":"Logout"})", complaint).has_value());
  EXPECT_FALSE(ParseRequest(R"({"func":"Logout")", complaint).has_value());
  EXPECT_FALSE(complaint.empty());
  EXPECT_EQ(complaint.find('\n'), std::string::npos);
  EXPECT_NE(complaint.find("Line 1"), std::string::npos) << complaint;
  EXPECT_NE(complaint.back(), ' ');
}

TEST(HostRefusals, WaitOnlyForAChannelThatIsNotUp) {
  std::string complaint;
  const auto logout = ParseRequest(R"({"func":"Logout"})", complaint);
  const auto pushLogin = ParseRequest(R"({"func":"Login_Trade_Push"})", complaint);
  const auto noFunc = ParseRequest(R"({"user_name":"u"})", complaint);
  const std::optional<Json::Value> notJson;
  Links comingUp;
  Links up;
  up.main = Link::Up;
  up.push = Link::Up;
  Links pushDown = up;
  pushDown.push = Link::Down;

  // The library's reason decides: only a channel it found down is worth a wait,
  // whatever the reports have said so far.
  const LoggedRefusal mainDown{"Logout", "main channel down"};
  const LoggedRefusal missing{"QryMoney", "key \"fund_account\" is missing"};
  const LoggedRefusal notJsonLogged{"(no func)", "not JSON"};
  EXPECT_EQ(Judge(mainDown, logout, comingUp), Verdict::Wait);
  EXPECT_EQ(Judge(mainDown, logout, up), Verdict::Wait);  // the lost-link report is on its way
  EXPECT_EQ(Judge(LoggedRefusal{"Login_Trade_Push", "push channel down"}, pushLogin, up),
            Verdict::Wait);
  EXPECT_EQ(Judge(missing, logout, comingUp), Verdict::Refuse);
  EXPECT_EQ(Judge(notJsonLogged, notJson, comingUp), Verdict::Refuse);

  // Without a log entry: the JSON, then the reports.
  EXPECT_EQ(Judge(std::nullopt, notJson, comingUp), Verdict::Refuse);
  EXPECT_EQ(Judge(std::nullopt, noFunc, comingUp), Verdict::Refuse);
  EXPECT_EQ(Judge(std::nullopt, logout, comingUp), Verdict::Wait);
  EXPECT_EQ(Judge(std::nullopt, logout, up), Verdict::Refuse);
  EXPECT_EQ(Judge(std::nullopt, logout, pushDown), Verdict::Refuse);  // needs main only
  EXPECT_EQ(Judge(std::nullopt, pushLogin, pushDown), Verdict::Wait);
  EXPECT_EQ(Judge(std::nullopt, pushLogin, up), Verdict::Refuse);
}

}  // namespace
}  // namespace tessel::host
