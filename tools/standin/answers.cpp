#include "tools/standin/answers.h"

#include <algorithm>
#include <cstring>  // strnlen
#include <utility>

#include "net/wire.h"
#include "tools/standin/layouts.h"

namespace tessel::standin {

void Credentials::Set(std::string password) {
  std::lock_guard<std::mutex> lock(mutex_);
  password_ = std::move(password);
}

bool Credentials::Accepts(std::string_view given) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return password_.empty() || given == password_;
}

bool Credentials::Change(std::string_view current, std::string_view next) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!password_.empty() && current != password_) return false;
  password_ = std::string(next);
  return true;
}

namespace {

// Copies as much of `text` as fits with a terminating zero into a zeroed
// field. An empty view may carry a null pointer, which memcpy must not see.
template <size_t N>
void PutText(char (&field)[N], std::string_view text) {
  if (text.empty()) return;
  wire::StoreText(field, N, text.data(), std::min(text.size(), N - 1));
}

// The request's fields by key, when its body has exactly the layout's size.
std::optional<Json::Value> BodyAs(const RequestLayout& layout, const ReceivedFrame& request) {
  if (request.body.size() != layout.bodySize) return std::nullopt;
  return DecodeRequest(layout, request.body.data(), request.body.size());
}

Frame AnswerHeadFrame(const ReceivedFrame& request, std::string_view user, int32_t errorNo,
                      std::string_view errorInfo) {
  AnswerHead head{};
  PutText(head.user_name, user);
  head.error_no = errorNo;
  PutText(head.error_info, errorInfo);
  return BuildFrame(request.messageType, &head, sizeof head, request.requestId, {});
}

Frame Malformed(const ReceivedFrame& request) {
  return AnswerHeadFrame(request, {}, kMalformedRequestError, kMalformedRequestText);
}

std::optional<Frame> AnswerLogin(const ReceivedFrame& request, AnswerContext& context) {
  const auto body = BodyAs(kLoginRequest, request);
  if (!body) return Malformed(request);
  const std::string user = (*body)["user_name"].asString();
  if (!context.credentials.Accepts((*body)["pass_word"].asString())) {
    return AnswerHeadFrame(request, user, kWrongPasswordError, kWrongPasswordText);
  }
  context.lastUser = user;
  return AnswerHeadFrame(request, user, kNoError, {});
}

std::optional<Frame> AnswerLogout(const ReceivedFrame& request, AnswerContext& context) {
  if (!request.body.empty()) return Malformed(request);
  return AnswerHeadFrame(request, context.lastUser, kNoError, {});
}

std::optional<Frame> AnswerModifyPwd(const ReceivedFrame& request, AnswerContext& context) {
  const auto body = BodyAs(kModifyPwdRequest, request);
  if (!body) return Malformed(request);
  const std::string user = (*body)["user_name"].asString();
  if (!context.credentials.Change((*body)["pass_word"].asString(),
                                  (*body)["new_pass_word"].asString())) {
    return AnswerHeadFrame(request, user, kWrongPasswordError, kWrongPasswordText);
  }
  return AnswerHeadFrame(request, user, kNoError, {});
}

std::optional<Frame> AnswerHeartbeat(const ReceivedFrame& request, AnswerContext&) {
  return BuildHeartbeat(request.requestId);
}

using AnswerFunction = std::optional<Frame> (*)(const ReceivedFrame&, AnswerContext&);

struct AnswerRow {
  uint32_t messageType;
  AnswerFunction answer;
};

constexpr AnswerRow kAnswers[] = {
    {kLoginType, AnswerLogin},
    {kLogoutType, AnswerLogout},
    {kHeartbeatType, AnswerHeartbeat},
    {kModifyPwdType, AnswerModifyPwd},
};

}  // namespace

std::optional<Frame> AnswerFor(const ReceivedFrame& request, AnswerContext& context) {
  for (const AnswerRow& row : kAnswers) {
    if (row.messageType == request.messageType) return row.answer(request, context);
  }
  return std::nullopt;
}

}  // namespace tessel::standin
