// Bodies the stand-in reads or writes, each declared once. The frame
// envelope itself lives in net/frame.h. Declared apart from the client's
// own records on purpose: a wrong offset on one side shows up as a failed
// exchange instead of being shared by both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/wire.h"

namespace tessel::standin {

constexpr uint32_t kModifyPwdType = 100;

// error_no values of the answer head. The trade server answers a failed
// check with a nonzero code and a text; these are the stand-in's own codes.
constexpr int32_t kNoError = 0;
constexpr int32_t kWrongPasswordError = 1001;
constexpr int32_t kMalformedRequestError = 1002;  // body size differs from the layout
constexpr char kWrongPasswordText[] = "wrong password";
constexpr char kMalformedRequestText[] = "malformed request";

// Login request (type 1).
struct LoginBody {
  char user_name[64];
  char pass_word[255];
  wire::I32 heart_beat;
  uint8_t compress;
  uint8_t encrypt;
  char build_version[32];
  char short_version[256];
};
TESSEL_WIRE_FIELD(LoginBody, user_name, 0, 64);
TESSEL_WIRE_FIELD(LoginBody, pass_word, 64, 255);
TESSEL_WIRE_FIELD(LoginBody, heart_beat, 319, 4);
TESSEL_WIRE_FIELD(LoginBody, compress, 323, 1);
TESSEL_WIRE_FIELD(LoginBody, encrypt, 324, 1);
TESSEL_WIRE_FIELD(LoginBody, build_version, 325, 32);
TESSEL_WIRE_FIELD(LoginBody, short_version, 357, 256);
static_assert(sizeof(LoginBody) == 613);

// ModifyPwd request (type 100).
struct ModifyPwdBody {
  char user_name[64];
  char pass_word[255];
  char new_pass_word[255];
};
TESSEL_WIRE_FIELD(ModifyPwdBody, user_name, 0, 64);
TESSEL_WIRE_FIELD(ModifyPwdBody, pass_word, 64, 255);
TESSEL_WIRE_FIELD(ModifyPwdBody, new_pass_word, 319, 255);
static_assert(sizeof(ModifyPwdBody) == 574);

// Answer head: the whole answer body of Login, Logout and ModifyPwd.
struct AnswerHead {
  char user_name[64];
  wire::I32 error_no;
  char error_info[255];
};
TESSEL_WIRE_FIELD(AnswerHead, user_name, 0, 64);
TESSEL_WIRE_FIELD(AnswerHead, error_no, 64, 4);
TESSEL_WIRE_FIELD(AnswerHead, error_info, 68, 255);
static_assert(sizeof(AnswerHead) == 323);

}  // namespace tessel::standin
