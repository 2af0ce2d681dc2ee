// The session file's "{{last.KEY}}" placeholders.
#include "tools/host/placeholders.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace tessel::host {
namespace {

using testing::ParseJson;

TEST(HostPlaceholders, FillFromThePreviousAnswer) {
  const Json::Value last =
      ParseJson(R"({"request_no":"17965642951","error_no":0,"price":10.5,"records":[1]})");
  EXPECT_EQ(FillPlaceholders(R"({"request_no":"{{last.request_no}}"})", last),
            R"({"request_no":"17965642951"})");
  EXPECT_EQ(FillPlaceholders("{{last.error_no}}-{{last.request_no}}", last), "0-17965642951");
  EXPECT_EQ(FillPlaceholders("[{{last.price}}]", last), "[10.5]");
  // Keys it does not have, or cannot write as text, leave nothing.
  EXPECT_EQ(FillPlaceholders("[{{last.missing}}][{{last.records}}][{{last.}}]", last), "[][][]");
  EXPECT_EQ(FillPlaceholders("[{{last.request_no}}]", Json::Value()), "[]");
  // An unterminated placeholder stays as written.
  EXPECT_EQ(FillPlaceholders("{{last.request_no", last), "{{last.request_no");
}

TEST(HostPlaceholders, InsertedTextIsNotExpandedAgain) {
  const Json::Value last = ParseJson(R"({"a":"{{last.a}}"})");
  EXPECT_EQ(FillPlaceholders("{{last.a}}", last), "{{last.a}}");
}

}  // namespace
}  // namespace tessel::host
