// A simulated trade server: two TLS listeners on 127.0.0.1 (main and push)
// that answer the session, order, query, list, basket, algorithm, condition-
// order and strategy requests from an in-memory book (book.h), report what changes on the push connections of the account
// concerned, record every frame they receive, and can be scripted from a
// test thread to fall silent, stop reading, drop or refuse connections, delay
// or fail answers, refuse logins, inject arbitrary bytes or pushes, or move a
// security's price. Control (control.h) runs the same faults from text
// commands, for the control port and the command line.
//
// Every public member is safe to call from any thread.
#pragma once

#include <json/value.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/frame.h"

namespace tessel::standin {

struct Seed;

enum class Channel { Main = 0, Push = 1 };

enum class TraceDetail { Off, Brief, Fields };

// What a request is answered with instead of being acted on.
struct ErrorReply {
  int32_t errorNo = 0;
  std::string errorInfo;
};

struct Options {
  uint16_t mainPort = 0;  // 0: any free port
  uint16_t pushPort = 0;
  std::string certPath;   // the self-signed certificate is written here in PEM; empty: not written
  std::string password;   // empty: any password is accepted
  std::string certificateNames = "IP:127.0.0.1,DNS:localhost";  // subjectAltName
  // One line per frame received and sent (trace.h) to traceFile: Brief
  // names each frame, Fields adds its fields decoded.
  TraceDetail trace = TraceDetail::Off;
  std::FILE* traceFile = stderr;
  // Keep every received frame for Snapshot and WaitFor. A server that runs
  // for long without a test to read the log turns this off.
  bool recordFrames = true;
};

struct ReceivedFrame {
  uint32_t messageType = 0;
  uint64_t requestId = 0;
  uint32_t secondLength = 0;
  std::string terminalId;
  std::vector<uint8_t> body;
  bool checksumOk = false;  // the trailer matched; recorded, never enforced
  size_t connection = 0;    // ordinal of the channel's accepted connection, from 1
  std::chrono::steady_clock::time_point arrival;
};

struct ChannelLog {
  std::vector<ReceivedFrame> frames;  // in arrival order
  size_t accepted = 0;  // connections taken into service
  size_t refused = 0;   // connections closed at once while refusing
  size_t open = 0;      // connections being served now

  size_t Count(uint32_t messageType) const;
};

struct Observed {
  ChannelLog channels[2];
  const ChannelLog& operator[](Channel channel) const& {
    return channels[static_cast<int>(channel)];
  }
  // On a temporary (`Snapshot()[channel]`) a copy, never a dangling reference.
  ChannelLog operator[](Channel channel) && {
    return std::move(channels[static_cast<int>(channel)]);
  }
};

// Evaluated under the stand-in's lock: it must not call back into it.
using Condition = std::function<bool(const Observed&)>;

// At least `count` frames of `messageType` have arrived on `channel`.
Condition FramesOfType(Channel channel, uint32_t messageType, size_t count);
// At least `count` connections have been accepted on `channel`.
Condition AcceptedAtLeast(Channel channel, size_t count);

class StandIn {
 public:
  explicit StandIn(Options options);
  ~StandIn();  // stops
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // Binds both listeners, writes the certificate and starts serving. After
  // a Stop, starts again on the same ports with the same certificate, so a
  // client can ride through a server restart. The log is kept.
  bool Start();
  // Closes every connection and listener and joins every thread.
  void Stop();

  uint16_t MainPort() const;
  uint16_t PushPort() const;

  void SetPassword(std::string password);
  // Replaces the book by one of the seed's securities and accounts (an
  // accounts file's): from then on only its users log in, each with their
  // own password. Meant for before anyone logs in.
  void SetBook(Seed seed);
  // While silent, requests are read and recorded but not answered.
  // Injected frames are still written. SilentFor ends it by itself once
  // `duration` has passed (at once for zero).
  void SetSilent(Channel channel, bool silent);
  void SilentFor(Channel channel, std::chrono::milliseconds duration);
  // While set, the channel's connections (new ones too, before their
  // handshake) read and write nothing, as a hung server process: the
  // client's writes fill the socket buffers and stall. StopReadingFor ends
  // it by itself once `duration` has passed.
  void StopReading(Channel channel, bool stop);
  void StopReadingFor(Channel channel, std::chrono::milliseconds duration);
  // Holds every answer on both channels for `delay` before writing it (a
  // slow server); zero ends it. Answers leave in order: one given after a
  // change of delay never overtakes one still held. Pushes are not held.
  void DelayAnswers(std::chrono::milliseconds delay);
  // The next request of `messageType` on `channel` (Login only on the push
  // channel) is answered with `reply` and not acted on; each call fails one
  // more request. False for a type that has no answer to carry an error.
  bool FailNext(Channel channel, uint32_t messageType, ErrorReply reply);
  // While set, every Login on either channel is answered with the reply
  // instead of logging in; nothing ends it.
  void RefuseLogins(std::optional<ErrorReply> reply);
  // Closes every current connection of the channel without a TLS close.
  // On return their sockets are shut down; the log's `open` drops shortly.
  void DropConnections(Channel channel);
  // Resets every current connection of the channel (a TCP reset, as a
  // crashed server or a broken path gives): the client's socket fails at
  // once, for its reader and its writer alike.
  void ResetConnections(Channel channel);
  // While set, new connections are accepted and closed at once, before the
  // TLS handshake: the client's connect succeeds and its handshake fails.
  void RefuseConnections(Channel channel, bool refuse);
  // While set, every other new connection (the first, third, ...) is closed
  // right after its TLS handshake: the client's link comes up and dies at
  // once, and the next one is stable.
  void ResetEveryOtherAfterHandshake(Channel channel, bool reset);
  // Queues `frame` (any bytes) for every current connection of the channel,
  // including ones still in the handshake; each writes it once it can.
  void SendFrame(Channel channel, const Frame& frame);
  // Encodes a push of `type` (10, 17, 206, 300-305) from `values`, keyed as
  // the client reports them, and sends it as SendFrame does. False for a
  // type that is not a push.
  bool SendPush(Channel channel, uint32_t type, const Json::Value& values);
  // Sets the price of a security (market byte '1' or '2' and code) and fills
  // the open orders it crosses, reporting them like any fill. False for an
  // unknown security or a price that is not positive.
  bool SetPrice(uint8_t market, const std::string& code, double price);
  // One step of the seeded price walk (Book::Walk), reported like SetPrice.
  void Walk(uint32_t draw);

  // Runs one control command (control.h): a JSON object, or the command in
  // words. Returns the answer line, {"ok":true} or {"ok":false,"error":...}.
  std::string Control(const std::string& line);

  Observed Snapshot() const;
  // True when `condition` holds, false when it still does not after `timeout`.
  bool WaitFor(const Condition& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tessel::standin
