#include "session/inbound_dispatch.h"

#include <chrono>
#include <optional>
#include <string>

#include "messages/inbound/answer_layouts.h"
#include "net/frame.h"
#include "session/host_calls.h"
#include "session/pending_requests.h"
#include "session/status_reports.h"
#include "session/trade_client.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {
namespace {

using Clock = std::chrono::steady_clock;

struct InboundFrame {
  FrameHeader header;
  BodyView body;
  Clock::time_point arrived;  // start of handling, for the handling-time entry
};

using FrameHandler = void (*)(TradeClient& client, const InboundFrame& frame);

// The pending request the frame answers, if any. It stays pending until its
// own callback is due: a host that destroys the client from inside a report
// made on the way (the Login report) gets it cancelled instead.
std::optional<TradeRequestData> PendingAnswered(Channel& channel, uint64_t requestId) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  const auto found = channel.pending.find(requestId);
  if (found == channel.pending.end()) return std::nullopt;
  TradeRequestData entry = found->second;
  entry.frame.reset();  // a copy: the request frame is not needed here
  return entry;
}

// Takes the request out for its callback, traced with its wait; nothing when
// a time-out or a cancellation took it meanwhile.
std::optional<TradeRequestData> TakeAnswered(Channel& channel, uint64_t requestId) {
  std::optional<TradeRequestData> entry = TakePending(channel, requestId);
  if (!entry) return entry;
  const auto waited = std::chrono::duration_cast<std::chrono::seconds>(
      Clock::now() - entry->acceptedAt);
  ConsoleLine("Message type->" + std::to_string(entry->messageType) +
              "->time cost: " + std::to_string(waited.count()) + " seconds");
  return entry;
}

// The answer's entry is in the log file before the host hears of it, so a
// crash of the host never hides what it was told.
void LogAnswer(const TradeRequestData& entry, const std::string& text) {
  CLog::Instance().Write(1, "Response", "Response", "content:%d - %s",
                         static_cast<int32_t>(entry.requestId), text.c_str());
  CLog::Instance().Flush();
}

// A Login answer: a non-zero error number in its head is a refused login and
// is reported as such, without claiming the link is logged in.
std::string LoginStatusOf(TradeClient& client, BodyView body, uint32_t connectionType) {
  const int32_t errorNo = body.Int32(kAnswerHeadErrorNoOffset);
  if (errorNo != 0) {
    return BuildLoginStatus(client, "Login", errorNo, body.Text(kAnswerHeadErrorInfoOffset, 255),
                            connectionType, 0);
  }
  return BuildLoginStatus(client, "Login", 0, "", connectionType, 0);
}

std::string LogoutStatusOf(TradeClient& client, BodyView body, uint32_t connectionType) {
  return BuildLoginStatus(client, "Logout", body.Int32(kAnswerHeadErrorNoOffset),
                          body.Text(kAnswerHeadErrorInfoOffset, 255), connectionType,
                          kLogoutPushType);
}

// What the two channels say and do differently about the answers they match.
struct AnswerRules {
  uint32_t connectionType;
  const char* loginLine;
  const char* loginFailedLine;
  const char* logoutLine;
  const char* heartbeatLine;  // null: a heartbeat answer is not traced
  const char* noCallbackLine;
  bool logsLoginSucceeded;    // the push channel logs its successful login
  bool parsesAnswers;         // main only: other types have parsers
};

const AnswerRules kMainAnswers{kMainConnectionType, "Receive Login Successfully Message!",
                               "Receive Login Failed Message!", "Receive Logout Message!", "Heartbeat Message!",
                               "no callback in data", false, true};
const AnswerRules kPushAnswers{kPushConnectionType, "Receive Push Login Successfully Message!",
                               "Receive Push Login Failed Message!",
                               "Receive Push Logout Message!", nullptr,
                               "no callback(Push) in data", true, false};

// A main-channel answer with a parser: its console line, then its JSON.
ParsedAnswer ParseTypedAnswer(const InboundFrame& frame) {
  const AnswerType* type = FindAnswerType(frame.header.messageType);
  if (type == nullptr) return {};
  ConsoleLine(type->consoleLine);
  if (type->layout == nullptr) return {};
  return ParseAnswer(*type->layout, frame.body);
}

void HandleAnswer(TradeClient& client, Channel& channel, const AnswerRules& rules,
                  const InboundFrame& frame, const TradeRequestData& entry) {
  std::string text;
  bool loginLost = false;
  bool notifies = false;       // the text goes to hostNotify as well
  bool reportsLoggedIn = false;
  const int32_t errorNo = frame.body.Int32(kAnswerHeadErrorNoOffset);
  switch (frame.header.messageType) {
    case kUnknownType:
      ConsoleLine("Unknown Message!");
      break;
    case kLoginType:
      // A refused login must not be announced as a successful one.
      ConsoleLine(errorNo == 0 ? rules.loginLine : rules.loginFailedLine);
      text = LoginStatusOf(client, frame.body, rules.connectionType);
      notifies = true;
      reportsLoggedIn = errorNo == 0;
      if (rules.logsLoginSucceeded && errorNo == 0) {
        CLog::Instance().Write(1, "Response", "kZELMessageTypeLogon", "content:%d - %s",
                               static_cast<int32_t>(entry.requestId), "Push Login Succeed");
      }
      break;
    case kLogoutType:
      ConsoleLine(rules.logoutLine);
      text = LogoutStatusOf(client, frame.body, rules.connectionType);
      notifies = true;
      break;
    case kHeartbeatType:
      if (rules.heartbeatLine != nullptr) ConsoleLine(rules.heartbeatLine);
      break;
    default:
      if (rules.parsesAnswers) {
        ParsedAnswer parsed = ParseTypedAnswer(frame);
        text = std::move(parsed.text);
        loginLost = parsed.loginLost;
      }
      break;
  }
  LogAnswer(entry, text);
  if (notifies) NotifyHost(client, text);
  if (reportsLoggedIn) ReportConnectStatus(client, true, rules.connectionType);
  if (const std::optional<TradeRequestData> taken = TakeAnswered(channel, entry.requestId)) {
    AnswerHost(client, *taken, text, rules.noCallbackLine);
  }
  // After delivery, so the host has the answer that told of the lost login.
  if (loginLost) client.ReloginGate();
}

void ReportLostAnswer(uint32_t messageType) {
  ConsoleLine("Rsp that lost its req:" + std::to_string(messageType));
}

// A push message: parsed, logged as the channel logs that type (in the file
// before the host hears of it), handed to hostNotify, its handling timed.
void DeliverPush(TradeClient& client, const InboundFrame& frame, const PushType& push,
                 bool logResponse) {
  const std::string text = ParseAnswer(*push.layout, frame.body).text;
  if (logResponse) {
    CLog::Instance().Write(1, "Response", push.name, "content:%s", text.c_str());
    CLog::Instance().Flush();
  }
  NotifyHost(client, text);
  if (push.logsHandlingTime) {
    const std::chrono::duration<double, std::milli> took = Clock::now() - frame.arrived;
    CLog::Instance().Write(1, "PushData", "PushData", "content:%d - %lf",
                           static_cast<int32_t>(frame.header.requestId), took.count());
  }
}

void HandleMainUnsolicited(TradeClient& client, const InboundFrame& frame) {
  if (frame.header.messageType == kHeartbeatType) {
    ConsoleLine("HeartBeat!");
    return;
  }
  const PushType* push = FindPushType(frame.header.messageType);
  if (push == nullptr || !push->acceptedOnMain) {
    ReportLostAnswer(frame.header.messageType);
    return;
  }
  DeliverPush(client, frame, *push, true);
}

void HandlePushUnsolicited(TradeClient& client, const InboundFrame& frame) {
  if (frame.header.messageType == kHeartbeatType) {
    ConsoleLine("PushData HeartBeat!");
    CLog::Instance().Write(1, "HeartBeat", "Push HeartBeat", "%s", "");
    return;
  }
  const PushType* push = FindPushType(frame.header.messageType);
  if (push == nullptr) {
    ReportLostAnswer(frame.header.messageType);
    return;
  }
  DeliverPush(client, frame, *push, push->loggedOnPush);
}

bool Walk(TradeClient& client, Channel& channel, const uint8_t* buffer, int32_t& count,
          const AnswerRules& answers, FrameHandler unsolicited) {
  while (buffer != nullptr && count >= 0) {
    const size_t size = CompleteFrameSize(buffer, static_cast<size_t>(count));
    if (size == 0) return false;
    InboundFrame frame{ReadHeader(buffer), BodyView(buffer + kHeaderSize, size - kFrameOverhead),
                       Clock::now()};
    if (const auto entry = PendingAnswered(channel, frame.header.requestId)) {
      HandleAnswer(client, channel, answers, frame, *entry);
    } else {
      unsolicited(client, frame);
    }
    count -= static_cast<int32_t>(size);
    if (count <= 0) return false;
    buffer += size;
  }
  return false;
}

}  // namespace

bool MainDispatch(TradeClient& client, const uint8_t* buffer, int32_t& count) {
  return Walk(client, client.main, buffer, count, kMainAnswers, HandleMainUnsolicited);
}

bool PushDispatch(TradeClient& client, const uint8_t* buffer, int32_t& count) {
  return Walk(client, client.push, buffer, count, kPushAnswers, HandlePushUnsolicited);
}

}  // namespace tessel
