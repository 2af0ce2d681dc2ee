// Bodies the stand-in reads or writes, each declared once. The frame
// envelope itself lives in net/frame.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessel::standin {

constexpr uint32_t kModifyPwdType = 100;

// error_no values of the answer head. The trade server answers a failed
// check with a nonzero code and a text; these are the stand-in's own codes.
constexpr int32_t kNoError = 0;
constexpr int32_t kWrongPasswordError = 1001;
constexpr int32_t kMalformedRequestError = 1002;  // body size differs from the layout
constexpr char kWrongPasswordText[] = "wrong password";
constexpr char kMalformedRequestText[] = "malformed request";

#pragma pack(push, 1)

// Login request (type 1).
struct LoginBody {
  char user_name[64];
  char pass_word[255];
  int32_t heart_beat;
  uint8_t compress;
  uint8_t encrypt;
  char build_version[32];
  char short_version[256];
};

// ModifyPwd request (type 100).
struct ModifyPwdBody {
  char user_name[64];
  char pass_word[255];
  char new_pass_word[255];
};

// Answer head: the whole answer body of Login, Logout and ModifyPwd.
struct AnswerHead {
  char user_name[64];
  int32_t error_no;
  char error_info[255];
};

#pragma pack(pop)

static_assert(offsetof(LoginBody, user_name) == 0);
static_assert(offsetof(LoginBody, pass_word) == 64);
static_assert(offsetof(LoginBody, heart_beat) == 319);
static_assert(offsetof(LoginBody, compress) == 323);
static_assert(offsetof(LoginBody, encrypt) == 324);
static_assert(offsetof(LoginBody, build_version) == 325);
static_assert(offsetof(LoginBody, short_version) == 357);
static_assert(sizeof(LoginBody) == 613);

static_assert(offsetof(ModifyPwdBody, user_name) == 0);
static_assert(offsetof(ModifyPwdBody, pass_word) == 64);
static_assert(offsetof(ModifyPwdBody, new_pass_word) == 319);
static_assert(sizeof(ModifyPwdBody) == 574);

static_assert(offsetof(AnswerHead, user_name) == 0);
static_assert(offsetof(AnswerHead, error_no) == 64);
static_assert(offsetof(AnswerHead, error_info) == 68);
static_assert(sizeof(AnswerHead) == 323);

}  // namespace tessel::standin
