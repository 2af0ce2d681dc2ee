#include "plugin/request_intake.h"

#include <json/reader.h>

#include <memory>
#include <string>

#include "messages/outbound/dispatch.h"
#include "session/trade_client.h"
#include "support/log.h"

namespace tessel {
namespace {

constexpr uint32_t kModifyPwdType = 100;

bool ParseJson(const char* data, int32_t length, Json::Value& out) {
  static const Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(data, data + length, &out, &errors);
}

void LogRequest(const TradeRequestData& request, const char* content) {
  CLog::Instance().Write(1, "Request", "Request", "content:%d - %s",
                         static_cast<int32_t>(request.requestId), content);
}

}  // namespace

bool SubmitRequest(TradeClient& client, const char* data, int32_t length,
                   RequestCallback callback, uint64_t context) {
  if (data == nullptr || length < 0) return false;
  Json::Value request;
  if (!ParseJson(data, length, request)) return false;
  if (!LookupFunction(client.functionTable, request)) return false;
  if (!client.main.connected) return false;

  TradeRequestData queued;
  if (!DispatchRequest(client, request, queued)) return false;
  queued.callback = callback;
  queued.context = context;

  // Requests that carry passwords are never logged in full.
  if (queued.messageType == kModifyPwdType) {
    LogRequest(queued, "ModifyPwd");
  } else if (queued.messageType != kLoginType) {
    LogRequest(queued, std::string(data, static_cast<size_t>(length)).c_str());
  }
  const std::string func = request["func"].asString();
  if (func == kMainLoginFunc) {
    LogRequest(queued, "Main Login");
    return client.main.queue.enqueue(std::move(queued));
  }
  if (func != kPushLoginFunc) return client.main.queue.enqueue(std::move(queued));
  if (!client.push.connected) return false;
  LogRequest(queued, "Push Login");
  return client.push.queue.enqueue(std::move(queued));
}

}  // namespace tessel
