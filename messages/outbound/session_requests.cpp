#include "messages/outbound/session_requests.h"

#include <cstring>

#include "messages/outbound/json_fields.h"

namespace tessel {

using namespace json_fields;

static_assert(sizeof kBuildVersion <= sizeof LoginBody::build_version);
static_assert(sizeof kShortVersion <= sizeof LoginBody::short_version);

bool FillLogin(TradeClient&, const Json::Value& request, LoginBody& body) {
  if (!(ReadText(request, "user_name", body.user_name) &&
        ReadText(request, "pass_word", body.pass_word) &&
        ReadInt(request, "heart_beat", body.heart_beat) &&
        ReadInt(request, "compress", body.compress) &&
        ReadInt(request, "encrypt", body.encrypt))) {
    return false;
  }
  std::memcpy(body.build_version, kBuildVersion, sizeof kBuildVersion);
  std::memcpy(body.short_version, kShortVersion, sizeof kShortVersion);
  return true;
}

bool FillModifyPwd(TradeClient&, const Json::Value& request, ModifyPwdBody& body) {
  return ReadText(request, "user_name", body.user_name) &&
         ReadText(request, "pass_word", body.pass_word) &&
         ReadText(request, "new_pass_word", body.new_pass_word);
}

bool FillLogout(TradeClient&, const Json::Value&, uint8_t*, size_t size) { return size == 0; }

}  // namespace tessel
