#include "messages/outbound/session_requests.h"

namespace tessel {
namespace {

constexpr RequestField kLoginFields[] = {
    {"user_name", 0, 64, Rule::Text},
    {"pass_word", 64, 255, Rule::Text},
    {"heart_beat", 319, 4, Rule::Int},
    {"compress", 323, 1, Rule::Int},
    {"encrypt", 324, 1, Rule::Int},
    {"build_version", 325, 32, Rule::Constant, kBuildVersion},
    {"short_version", 357, 256, Rule::Constant, kShortVersion},
};

constexpr RequestField kModifyPwdFields[] = {
    {"user_name", 0, 64, Rule::Text},
    {"pass_word", 64, 255, Rule::Text},  // the current password
    {"new_pass_word", 319, 255, Rule::Text},
};

constexpr RequestLayout LogoutLayout() {
  RequestLayout layout{};
  layout.funcId = 2;
  layout.name = "Logout";
  return layout;
}

}  // namespace

constexpr RequestLayout kLoginRequest = Plain(1, "Login", 613, kLoginFields);
constexpr RequestLayout kLogoutRequest = LogoutLayout();
constexpr RequestLayout kModifyPwdRequest = Plain(100, "ModifyPwd", 574, kModifyPwdFields);

}  // namespace tessel
