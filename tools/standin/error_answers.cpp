#include "tools/standin/error_answers.h"

#include <json/value.h>

#include <vector>

#include "messages/inbound/answer_layouts.h"

namespace tessel::standin {

const AnswerLayout* AnswerLayoutOf(uint32_t messageType) {
  static const AnswerLayout kHeadAlone{Fields(kAnswerHead), nullptr, kAnswerHeadErrorNoOffset,
                                       false};
  if (messageType == kLoginType || messageType == kLogoutType) return &kHeadAlone;
  const AnswerType* type = FindAnswerType(messageType);
  return type != nullptr ? type->layout : nullptr;
}

std::optional<Frame> ErrorAnswer(const ReceivedFrame& request, const std::string& user,
                                 const ErrorReply& reply) {
  const AnswerLayout* layout = AnswerLayoutOf(request.messageType);
  if (layout == nullptr) return std::nullopt;
  // Under both spellings of the user key; a layout takes the one it has.
  Json::Value values(Json::objectValue);
  values["user_name"] = user;
  values["username"] = user;
  values["error_no"] = reply.errorNo;
  values["error_info"] = reply.errorInfo;
  const std::vector<uint8_t> body = EncodeAnswer(*layout, values);
  return BuildFrame(request.messageType, body.data(), static_cast<uint32_t>(body.size()),
                    request.requestId, {});
}

}  // namespace tessel::standin
