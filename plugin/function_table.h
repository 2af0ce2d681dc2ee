// "func" name -> funcId, the numeric code that is also the message type.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <map>
#include <string>

namespace tessel {

// Exact, case-sensitive names. "Login" and "Login_Trade_Push" share funcId 1
// and differ only in the channel they are sent on.
using FunctionTable = std::map<std::string, uint32_t>;

inline constexpr char kMainLoginFunc[] = "Login";
inline constexpr char kPushLoginFunc[] = "Login_Trade_Push";

// The 47 names, built once for the process and read-only afterwards.
const FunctionTable& Functions();

// Sets request["funcId"] from request["func"] (replacing any funcId the host
// sent); false when the name is not in the table.
bool LookupFunction(const FunctionTable& table, Json::Value& request);

}  // namespace tessel
