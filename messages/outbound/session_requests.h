// Login (also sent on the push channel as "Login_Trade_Push"), Logout and
// ModifyPwd.
#pragma once

#include "messages/outbound/request_layout.h"

namespace tessel {

inline constexpr char kBuildVersion[] = "v3.1.1-20211020-095500";
inline constexpr char kShortVersion[] = "v1.2.2";

extern const RequestLayout kLoginRequest;
extern const RequestLayout kLogoutRequest;  // no body: the frame is the 49-byte envelope
extern const RequestLayout kModifyPwdRequest;

}  // namespace tessel
