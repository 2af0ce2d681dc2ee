// Bodies the stand-in writes. The requests it reads are the client's own
// records (messages/outbound), whose layouts are checked at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "messages/outbound/session_requests.h"
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
