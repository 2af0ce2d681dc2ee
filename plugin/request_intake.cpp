#include "plugin/request_intake.h"

#include <json/reader.h>

#include <memory>
#include <string>

#include "plugin/function_table.h"
#include "session/pending_requests.h"
#include "session/request_dispatch.h"
#include "session/trade_client.h"
#include "support/immortal.h"
#include "support/spare.h"
#include "support/log.h"

namespace tessel {
namespace {

constexpr uint32_t kModifyPwdType = 100;

// Making a reader costs as much as parsing a request; spare ones are kept.
Spares<Json::CharReader>& SpareReaders() {
  static Immortal<Spares<Json::CharReader>> spares;
  return *spares;
}

bool ParseJson(const char* data, int32_t length, Json::Value& out) {
  Spares<Json::CharReader>& spares = SpareReaders();
  std::unique_ptr<Json::CharReader> reader = spares.Take();
  if (!reader) {
    static Immortal<const Json::CharReaderBuilder> builder;
    reader.reset(builder->newCharReader());
  }
  std::string errors;
  const bool parsed = reader->parse(data, data + length, &out, &errors);
  spares.Give(std::move(reader));
  return parsed;
}

void LogRequest(const TradeRequestData& request, const char* content) {
  CLog::Instance().Write(1, "Request", "Request", "content:%d - %s",
                         static_cast<int32_t>(request.requestId), content);
}

// One entry per refused request, naming the reason and never the request's
// text, so no password reaches the log.
bool Refused(const std::string& func, const std::string& reason) {
  CLog::Instance().Write(1, "Request", "Refused", "content:%s - %s",
                         func.empty() ? "(no func)" : func.c_str(), reason.c_str());
  // In the file before SendRequest returns 0, so a host can read why at once.
  CLog::Instance().Flush();
  return false;
}

}  // namespace

bool SubmitRequest(TradeClient& client, const char* data, int32_t length,
                   RequestCallback callback, uint64_t context) {
  if (data == nullptr || length < 0) return Refused("", "no request text");
  Json::Value request;
  if (!ParseJson(data, length, request)) return Refused("", "not JSON");
  if (!request.isObject() || !request["func"].isString()) return Refused("", "no \"func\"");
  const std::string func = request["func"].asString();
  if (!LookupFunction(Functions(), request)) return Refused(func, "unknown function");
  // Destroyed from inside a callback: its links are ending.
  if (client.stopRequested) return Refused(func, "client destroyed");
  if (!client.main.connected) return Refused(func, "main channel down");
  // Checked before the dispatch, so a refused push login takes no request id.
  if (func == kPushLoginFunc && !client.push.connected) {
    return Refused(func, "push channel down");
  }
  Channel& channel = func == kPushLoginFunc ? client.push : client.main;
  // A server that stopped reading must not make memory grow without bound.
  if (OutstandingCount(channel) >= client.timings.maxOutstanding) {
    return Refused(func, "too many requests outstanding");
  }

  TradeRequestData queued;
  Refusal why;
  if (!DispatchRequest(client, request, queued, why)) return Refused(func, DescribeRefusal(why));
  queued.callback = callback;
  queued.context = context;

  // Requests that carry passwords are never logged in full.
  if (queued.messageType == kModifyPwdType) {
    LogRequest(queued, "ModifyPwd");
  } else if (queued.messageType != kLoginType) {
    LogRequest(queued, std::string(data, static_cast<size_t>(length)).c_str());
  }
  if (func == kMainLoginFunc) LogRequest(queued, "Main Login");
  if (func == kPushLoginFunc) LogRequest(queued, "Push Login");
  QueueRequest(client, channel, std::move(queued));
  return true;
}

}  // namespace tessel
