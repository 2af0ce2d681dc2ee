// The message reference's examples, sent in their order through the loaded
// library to a fresh simulator, as a host would send them: a refusal, or an
// answer whose "error_no" the example does not declare, fails. The examples
// and the reference come from the same notes, so the reference cannot show
// an example that no longer works. The reports the client builds itself
// must carry exactly the keys the reference lists for them.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "plugin/function_table.h"
#include "tools/host/placeholders.h"

namespace tessel::testing {
namespace {

using reference::FunctionNote;
using reference::ReportNote;

std::set<std::string> KeysOf(const Json::Value& object) {
  const std::vector<std::string> names = object.getMemberNames();
  return {names.begin(), names.end()};
}

std::set<std::string> KeysOf(const ReportNote& report) {
  return {report.keys.begin(), report.keys.end()};
}

class ReferenceExamples : public LoadedClientTest {
 protected:
  // A login is retried while its channel comes up, as a host retries it;
  // any other example is sent once.
  bool Hand(const FunctionNote& note, const std::string& request, uint64_t context) {
    const std::string func = note.func;
    return func == kMainLoginFunc || func == kPushLoginFunc ? SendWhenUp(request, context)
                                                            : Send(request, context) == 1;
  }
};

TEST_F(ReferenceExamples, RunInOrderAgainstTheSimulator) {
  Json::Value last;
  uint64_t context = 0;
  for (const FunctionNote& note : reference::FunctionNotes()) {
    const std::string request = host::FillPlaceholders(note.example, last);
    ++context;
    ASSERT_TRUE(Hand(note, request, context)) << "refused: " << request;
    ASSERT_TRUE(host().WaitForAnswers(context, 1)) << "no answer: " << request;
    last = ParseJson(host().AnswersFor(context).front().text);
    ASSERT_TRUE(last.isObject()) << request;
    EXPECT_EQ(ErrorOf(last), note.expectedErrorNo) << request << "\n" << last;
    if (note.report != nullptr) {
      EXPECT_EQ(KeysOf(last), KeysOf(*note.report)) << last;
    }
  }
  const ReportNote& link = **reference::StandaloneReports().begin();
  // Link reports, which carry no push type.
  const std::vector<Json::Value> reports =
      HostRecorder::Pushes(host().Events(), 0, "cmd", "ConnectStatus");
  EXPECT_EQ(reports.size(), 2u);  // one per channel logged in
  for (const Json::Value& report : reports) {
    std::set<std::string> keys = KeysOf(report);
    keys.insert("login_status");  // carried only when the link is lost
    EXPECT_EQ(keys, KeysOf(link)) << report;
  }
}

}  // namespace
}  // namespace tessel::testing
