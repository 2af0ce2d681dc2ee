#include "session/status_reports.h"

#include <json/value.h>

#include "messages/inbound/answer_conventions.h"
#include "session/host_calls.h"
#include "session/trade_client.h"
#include "support/log.h"

namespace tessel {
namespace {

// Server kind and address of the channel behind a connection type. Both
// belong to the channel thread, which makes every report of its channel.
void SetChannelKeys(TradeClient& client, Json::Value& report, uint32_t connectionType) {
  const bool main = connectionType == kMainConnectionType;
  const Channel& channel = main ? client.main : client.push;
  if (connectionType == kMainConnectionType || connectionType == kPushConnectionType) {
    report["trade_type"] = channel.activeReal ? 2 : 1;
  }
  report["server_ip"] = main ? channel.server.address : channel.server.pushaddress;
  report["port"] = main ? channel.server.port : channel.server.pushport;
}

}  // namespace

void ReportConnectStatus(TradeClient& client, bool loggedIn, uint32_t connectionType) {
  Json::Value report(Json::objectValue);
  report["cmd"] = "ConnectStatus";
  report["connection_type"] = connectionType;
  report["connection_status"] = loggedIn ? 1 : 2;
  if (!loggedIn) report["login_status"] = false;
  SetChannelKeys(client, report, connectionType);
  const std::string text = WriteAnswer(report);
  CLog::Instance().Write(1, "INFO", "Login_Status", "content:%s", text.c_str());
  CLog::Instance().Flush();
  NotifyHost(client, text);
}

std::string BuildLoginStatus(TradeClient& client, const char* objectName, int32_t loginStatus,
                             const std::string& describe, uint32_t connectionType,
                             int32_t pushType) {
  Json::Value report(Json::objectValue);
  report["object"] = objectName;
  report["connection_type"] = connectionType;
  report["login_status"] = loginStatus;
  report["describe"] = describe;
  SetChannelKeys(client, report, connectionType);
  if (pushType != 0) report["push_type"] = pushType;
  return WriteAnswer(report);
}

}  // namespace tessel
