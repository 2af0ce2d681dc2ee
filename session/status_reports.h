// Connection and login status reports for the host's general callback.
#pragma once

#include <cstdint>
#include <string>

namespace tessel {

class TradeClient;

inline constexpr uint32_t kMainConnectionType = 2;
inline constexpr uint32_t kPushConnectionType = 3;
inline constexpr int32_t kLogoutPushType = -999;

// A link logged in (true) or lost (false): logged, then sent to hostNotify.
void ReportConnectStatus(TradeClient& client, bool loggedIn, uint32_t connectionType);

// The "Login"/"Logout" report text; neither logged nor delivered here.
std::string BuildLoginStatus(TradeClient& client, const char* objectName, int32_t loginStatus,
                             const std::string& describe, uint32_t connectionType,
                             int32_t pushType);

}  // namespace tessel
