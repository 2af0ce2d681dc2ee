#include "messages/inbound/inbound_dispatch.h"

#include <chrono>
#include <optional>
#include <string>

#include "messages/inbound/answer_conventions.h"
#include "net/frame.h"
#include "session/status_reports.h"
#include "session/trade_client.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {
namespace {

struct InboundFrame {
  FrameHeader header;
  BodyView body;
};

using FrameHandler = void (*)(TradeClient& client, const InboundFrame& frame);

// Removes and returns the pending request the frame answers, if any.
std::optional<TradeRequestData> TakePending(Channel& channel, uint64_t requestId) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  const auto found = channel.pending.find(requestId);
  if (found == channel.pending.end()) return std::nullopt;
  TradeRequestData entry = std::move(found->second);
  channel.pending.erase(found);
  entry.frame.reset();  // the request frame is done with
  const auto waited = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - entry.sentAt);
  ConsoleLine("Message type->" + std::to_string(entry.messageType) +
              "->time cost: " + std::to_string(waited.count()) + " seconds");
  return entry;
}

void DeliverAnswer(const TradeRequestData& entry, const std::string& text,
                   const char* noCallbackLine) {
  if (entry.callback != nullptr) {
    entry.callback(text.c_str(), static_cast<int32_t>(text.size()), entry.context);
  } else {
    ConsoleLine(noCallbackLine);
  }
  CLog::Instance().Write(1, "Response", "Response", "content:%d - %s",
                         static_cast<int32_t>(entry.requestId), text.c_str());
}

// A Login answer: a non-zero error number in its head is a refused login and
// is reported as such, without claiming the link is logged in.
std::string HandleLoginAnswer(TradeClient& client, BodyView body, uint32_t connectionType) {
  const int32_t errorNo = body.Int32(kAnswerHeadErrorNoOffset);
  if (errorNo != 0) {
    const std::string text =
        BuildLoginStatus(client, "Login", errorNo, body.Text(kAnswerHeadErrorInfoOffset, 255),
                         connectionType, 0);
    NotifyHost(client, text);
    return text;
  }
  const std::string text = BuildLoginStatus(client, "Login", 0, "", connectionType, 0);
  NotifyHost(client, text);
  ReportConnectStatus(client, true, connectionType);
  return text;
}

std::string HandleLogoutAnswer(TradeClient& client, BodyView body, uint32_t connectionType) {
  const std::string text = BuildLoginStatus(
      client, "Logout", body.Int32(kAnswerHeadErrorNoOffset),
      body.Text(kAnswerHeadErrorInfoOffset, 255), connectionType, kLogoutPushType);
  NotifyHost(client, text);
  return text;
}

void HandleMainAnswer(TradeClient& client, const InboundFrame& frame,
                      const TradeRequestData& entry) {
  std::string text;
  switch (frame.header.messageType) {
    case kUnknownType:
      ConsoleLine("Unknown Message!");
      break;
    case kLoginType:
      ConsoleLine("Receive Login Successfully Message!");
      text = HandleLoginAnswer(client, frame.body, kMainConnectionType);
      break;
    case kLogoutType:
      ConsoleLine("Receive Logout Message!");
      text = HandleLogoutAnswer(client, frame.body, kMainConnectionType);
      break;
    case kHeartbeatType:
      ConsoleLine("Heartbeat Message!");
      break;
    default:
      break;
  }
  DeliverAnswer(entry, text, "no callback in data");
}

void HandlePushAnswer(TradeClient& client, const InboundFrame& frame,
                      const TradeRequestData& entry) {
  std::string text;
  switch (frame.header.messageType) {
    case kUnknownType:
      ConsoleLine("Unknown Message!");
      break;
    case kLoginType:
      ConsoleLine("Receive Push Login Successfully Message!");
      text = HandleLoginAnswer(client, frame.body, kPushConnectionType);
      if (frame.body.Int32(kAnswerHeadErrorNoOffset) == 0) {
        CLog::Instance().Write(1, "Response", "kZELMessageTypeLogon", "content:%d - %s",
                               static_cast<int32_t>(entry.requestId), "Push Login Succeed");
      }
      break;
    case kLogoutType:
      ConsoleLine("Receive Push Logout Message!");
      text = HandleLogoutAnswer(client, frame.body, kPushConnectionType);
      break;
    default:
      break;
  }
  DeliverAnswer(entry, text, "no callback(Push) in data");
}

void ReportLostAnswer(uint32_t messageType) {
  ConsoleLine("Rsp that lost its req:" + std::to_string(messageType));
}

void HandleMainUnsolicited(TradeClient&, const InboundFrame& frame) {
  if (frame.header.messageType == kHeartbeatType) {
    ConsoleLine("HeartBeat!");
    return;
  }
  ReportLostAnswer(frame.header.messageType);
}

void HandlePushUnsolicited(TradeClient&, const InboundFrame& frame) {
  if (frame.header.messageType == kHeartbeatType) {
    ConsoleLine("PushData HeartBeat!");
    CLog::Instance().Write(1, "HeartBeat", "Push HeartBeat", "%s", "");
    return;
  }
  ReportLostAnswer(frame.header.messageType);
}

using AnswerHandler = void (*)(TradeClient&, const InboundFrame&, const TradeRequestData&);

bool Walk(TradeClient& client, Channel& channel, const uint8_t* buffer, int32_t& count,
          AnswerHandler answer, FrameHandler unsolicited) {
  while (buffer != nullptr && count >= 0) {
    const size_t size = CompleteFrameSize(buffer, static_cast<size_t>(count));
    if (size == 0) return false;
    InboundFrame frame{ReadHeader(buffer), BodyView(buffer + kHeaderSize, size - kFrameOverhead)};
    if (auto entry = TakePending(channel, frame.header.requestId)) {
      answer(client, frame, *entry);
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
  return Walk(client, client.main, buffer, count, HandleMainAnswer, HandleMainUnsolicited);
}

bool PushDispatch(TradeClient& client, const uint8_t* buffer, int32_t& count) {
  return Walk(client, client.push, buffer, count, HandlePushAnswer, HandlePushUnsolicited);
}

}  // namespace tessel
