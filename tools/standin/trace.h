// The stand-in's trace: one line per frame received or sent,
//
//   HH:MM:SS.mmm recv|send CHANNEL#N TYPE NAME id=ID body=LENGTH [FIELDS]
//
// CHANNEL is main or push and N the connection's ordinal on it (from 1), so
// a reconnect shows as a new N. NAME is the request's function (an answer
// has its request's type and name), the push's log tag, Heartbeat, or ? for
// a type nobody knows. With TraceDetail::Fields, FIELDS is the frame's
// fields by name as one JSON object: what the server read from a request
// (passwords as "***"), what the client will parse from an answer or push.
// Other events are `HH:MM:SS.mmm note CHANNEL#N TEXT` lines: bytes sent
// that are no frame (a test may inject anything), a connection given up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "tools/standin/standin.h"

namespace tessel::standin {

class Tracer {
 public:
  Tracer(TraceDetail detail, std::FILE* file) : detail_(detail), file_(file) {}

  bool On() const { return detail_ != TraceDetail::Off && file_ != nullptr; }
  void Received(Channel channel, size_t connection, const ReceivedFrame& frame);
  // `bytes` as handed to the connection, one line per frame in them.
  void Sent(Channel channel, size_t connection, const uint8_t* bytes, size_t size);
  // Anything else worth a line, such as why a connection was closed.
  void Note(Channel channel, size_t connection, const std::string& text);

 private:
  void Write(const std::string& line);

  const TraceDetail detail_;
  std::FILE* const file_;
  std::mutex lock_;  // one line at a time
};

}  // namespace tessel::standin
