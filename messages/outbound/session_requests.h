// Login (also sent on the push channel as "Login_Trade_Push"), Logout and
// ModifyPwd request bodies.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <cstdint>

#include "net/wire.h"

namespace tessel {

class TradeClient;

inline constexpr char kBuildVersion[] = "v3.1.1-20211020-095500";
inline constexpr char kShortVersion[] = "v1.2.2";

#pragma pack(push, 1)
struct LoginBody {
  char user_name[64];
  char pass_word[255];
  wire::I32 heart_beat;
  uint8_t compress;
  uint8_t encrypt;
  char build_version[32];  // always kBuildVersion
  char short_version[256];  // always kShortVersion
};

struct ModifyPwdBody {
  char user_name[64];
  char pass_word[255];  // current password
  char new_pass_word[255];
};
#pragma pack(pop)

TESSEL_WIRE_FIELD(LoginBody, user_name, 0, 64);
TESSEL_WIRE_FIELD(LoginBody, pass_word, 64, 255);
TESSEL_WIRE_FIELD(LoginBody, heart_beat, 319, 4);
TESSEL_WIRE_FIELD(LoginBody, compress, 323, 1);
TESSEL_WIRE_FIELD(LoginBody, encrypt, 324, 1);
TESSEL_WIRE_FIELD(LoginBody, build_version, 325, 32);
TESSEL_WIRE_FIELD(LoginBody, short_version, 357, 256);
static_assert(sizeof(LoginBody) == 613);

TESSEL_WIRE_FIELD(ModifyPwdBody, user_name, 0, 64);
TESSEL_WIRE_FIELD(ModifyPwdBody, pass_word, 64, 255);
TESSEL_WIRE_FIELD(ModifyPwdBody, new_pass_word, 319, 255);
static_assert(sizeof(ModifyPwdBody) == 574);

bool FillLogin(TradeClient& client, const Json::Value& request, LoginBody& body);
bool FillModifyPwd(TradeClient& client, const Json::Value& request, ModifyPwdBody& body);
// Logout has no body: its frame is the 49-byte envelope of type 2.
bool FillLogout(TradeClient& client, const Json::Value& request, uint8_t* body, size_t size);

}  // namespace tessel
