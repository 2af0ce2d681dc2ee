#include "tools/standin/trace.h"

#include <json/reader.h>
#include <json/writer.h>
#include <time.h>

#include <chrono>
#include <memory>
#include <optional>

#include "messages/inbound/answer_layouts.h"
#include "messages/outbound/request_layout.h"
#include "tools/standin/answers.h"
#include "tools/standin/error_answers.h"

namespace tessel::standin {
namespace {

std::string TimeOfDay() {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis));
  return text;
}

std::string Where(Channel channel, size_t connection) {
  return std::string(channel == Channel::Main ? "main#" : "push#") + std::to_string(connection);
}

std::string NameOf(uint32_t type) {
  if (type == kHeartbeatType) return "Heartbeat";
  if (const PushType* push = FindPushType(type)) return push->name;
  if (const RequestLayout* layout = FindRequestLayout(type)) return layout->name;
  return "?";
}

std::string Head(const char* direction, Channel channel, size_t connection, uint32_t type,
                 uint64_t id, size_t bodyLength) {
  return TimeOfDay() + " " + direction + " " + Where(channel, connection) + " " +
         std::to_string(type) + " " + NameOf(type) + " id=" + std::to_string(id) +
         " body=" + std::to_string(bodyLength);
}

std::string OneLine(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  builder["precision"] = 15;  // 9.9, not 9.9000000000000004
  return Json::writeString(builder, value);
}

std::optional<Json::Value> RequestFields(const ReceivedFrame& frame) {
  std::optional<Json::Value> fields = ReadRequest(frame);
  if (!fields) return fields;
  for (const std::string& key : fields->getMemberNames()) {
    if (key.find("pass_word") != std::string::npos) (*fields)[key] = "***";
  }
  return fields;
}

// What the client makes of a frame the stand-in sends: its own parse.
std::optional<Json::Value> SentFields(uint32_t type, BodyView body) {
  const PushType* push = FindPushType(type);
  const AnswerLayout* layout = push != nullptr ? push->layout : AnswerLayoutOf(type);
  if (layout == nullptr) return std::nullopt;
  const std::string text = ParseAnswer(*layout, body).text;
  Json::Value fields;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &fields, nullptr)) return std::nullopt;
  return fields;
}

void Append(std::string& line, const std::optional<Json::Value>& fields) {
  if (fields) line += " " + OneLine(*fields);
}

}  // namespace

void Tracer::Received(Channel channel, size_t connection, const ReceivedFrame& frame) {
  if (!On()) return;
  std::string line =
      Head("recv", channel, connection, frame.messageType, frame.requestId, frame.body.size());
  if (detail_ == TraceDetail::Fields) Append(line, RequestFields(frame));
  Write(line);
}

void Tracer::Sent(Channel channel, size_t connection, const uint8_t* bytes, size_t size) {
  if (!On()) return;
  for (size_t at = 0; at < size;) {
    const size_t left = size - at;
    const size_t frameSize =
        bytes[at] == kFrameMagic ? CompleteFrameSize(bytes + at, left) : 0;
    if (frameSize == 0) {
      Note(channel, connection, std::to_string(left) + " bytes sent that are no frame");
      return;
    }
    const FrameHeader header = ReadHeader(bytes + at);
    const BodyView body(bytes + at + kHeaderSize, frameSize - kFrameOverhead);
    std::string line =
        Head("send", channel, connection, header.messageType, header.requestId, body.size());
    if (detail_ == TraceDetail::Fields) Append(line, SentFields(header.messageType, body));
    Write(line);
    at += frameSize;
  }
}

void Tracer::Note(Channel channel, size_t connection, const std::string& text) {
  if (On()) Write(TimeOfDay() + " note " + Where(channel, connection) + " " + text);
}

void Tracer::Write(const std::string& line) {
  std::lock_guard<std::mutex> hold(lock_);
  std::fprintf(file_, "%s\n", line.c_str());
  std::fflush(file_);
}

}  // namespace tessel::standin
