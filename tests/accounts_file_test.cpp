// The accounts file's refusals: each names the place in the file and what
// is wrong there. What a good file gives is shown end to end, with the
// example file (e2e_book_test.cpp).
#include "tools/standin/accounts_file.h"

#include <gtest/gtest.h>

#include <string>

namespace tessel::standin {
namespace {

const std::string kSecurity =
    R"({"market":"SH","code":"600000","name":"SPD Bank","price":10.50,"depth":1000})";
const std::string kUser =
    R"({"user_name":"u","password":"p","operator_ids":["o"],)"
    R"("fund_accounts":[{"fund_account":"F","client_id":"C"}],"cash":1})";

std::string File(const std::string& securities, const std::string& users) {
  return R"({"securities":[)" + securities + R"(],"users":[)" + users + "]}";
}

// The object with one more member.
std::string Plus(const std::string& object, const std::string& member) {
  return object.substr(0, object.size() - 1) + "," + member + "}";
}

TEST(AccountsFile, RefusesAFileItCannotUseNamingWhereAndWhy) {
  const struct {
    std::string text;
    const char* says;
  } cases[] = {
      {"{\"securities\":", "not JSON"},
      {R"({"securities":[)" + kSecurity + "]}", "the file: \"users\" is missing"},
      {File(kSecurity, Plus(kUser, R"("positions":[{"market":"SH","code":"600001",)"
                                   R"("volume":100,"cost":1}])")),
       "users[0].positions[0].code: no security 600001"},
      {File(Plus(kSecurity, R"("sell_next_days":true)"), kUser),
       "securities[0]: unknown key \"sell_next_days\""},
      {File(Plus(kSecurity, R"("tick":0.2)"), kUser),
       "securities[0].price: 10.5: price is not a multiple of the price tick"},
      {File(Plus(kSecurity, R"("previous_close":9.00)"), kUser),
       "securities[0].price: 10.5: price is outside the day's limits (tick 0.01, limits 8.1 "
       "to 9.9)"},
      {File(Plus(kSecurity, R"("lot":0.5)"), kUser), "securities[0].lot: must be a whole number"},
      {File(kSecurity + "," + kSecurity, kUser), "securities[1]: security 600000 is listed twice"},
      {File(kSecurity, kUser + "," + kUser), "users[1]: user u is listed twice"},
      {File(kSecurity, R"({"user_name":"u","operator_ids":[]})"),
       "users[0]: \"password\" is missing"},
      {File(kSecurity, R"({"user_name":"u","password":"p","operator_ids":[]})"),
       "users[0].operator_ids: must hold at least one entry"},
  };
  for (const auto& bad : cases) {
    Seed seed;
    std::string error;
    EXPECT_FALSE(ParseAccounts(bad.text, seed, error)) << bad.text;
    EXPECT_NE(error.find(bad.says), std::string::npos) << error;
  }
  Seed seed;
  std::string error;
  EXPECT_FALSE(LoadAccounts("/nonexistent/accounts.json", seed, error));
  EXPECT_EQ(error, "cannot be opened");
}

}  // namespace
}  // namespace tessel::standin
