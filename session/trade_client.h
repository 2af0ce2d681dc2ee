// TradeClient: everything one account connection needs. One per handle
// returned by CreateClient.
//
// Threads per client: host threads (SendRequest, SetRealTrade,
// DestroyClient); per channel (main, push) a channel thread that owns the
// socket, the TLS link and every piece of the link's state, reads frames and
// reports the link's loss, plus a send thread it starts and joins for each
// established link; and one timekeeper thread that times out what waits too
// long on either channel and never does I/O. A host thread writes a lone
// request itself when the link is idle (see WriteThrough).
//
// Locks: each channel's writeLock is held by whoever writes to its link and
// guards `link` and `unfinished`; its pendingLock guards its pending map and
// may be taken while writeLock is held, never the other way round;
// savedLoginLock guards savedLogin; the timekeeper and the callback gate
// have their own. No other two are ever held together and no callback is
// called while one is held. Flags and counters are atomics.
#pragma once

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <concurrentqueue/concurrentqueue.h>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "net/frame.h"
#include "net/vsocket.h"
#include "session/doorbell.h"
#include "session/host_calls.h"
#include "session/timekeeper.h"
#include "support/server_config.h"

namespace tessel {

class TlsLink;

// One accepted request, from its acceptance until it is answered (by the
// server, a time-out, a cancellation or a send failure).
struct TradeRequestData {
  uint64_t requestId = 0;
  uint32_t messageType = 0;
  RequestCallback callback = nullptr;
  uint64_t context = 0;
  SharedFrame frame;
  // When the library took it: its time-out counts from here, so waiting to
  // be written never stretches the promised answer time.
  std::chrono::steady_clock::time_point acceptedAt{};
  // Its frame was handed to TLS: the server may have it, so it can no
  // longer be answered as unsent.
  bool handedToLink = false;
};

using PendingMap = std::map<uint64_t, TradeRequestData>;

enum class ChannelKind { Main, Push };

// Fixed in production; tests shorten them so they need not wait 30 seconds.
struct SessionTimings {
  std::chrono::seconds requestTimeout{30};
  std::chrono::seconds heartbeatIdle{2};   // a heartbeat goes out after more than this
  std::chrono::seconds connectTimeout{10};  // TCP connect, and the TLS handshake
  // A write that moves no byte for this long ends the link: a server that
  // stopped reading is a lost server.
  std::chrono::milliseconds writeStallLimit{10000};
  std::chrono::milliseconds firstBackoff{1000};  // pause after a failed connect cycle
  std::chrono::milliseconds maxBackoff{4000};
  int64_t reloginGateSeconds = 30;
  // Accepted and unanswered requests a channel holds at most; past it
  // SendRequest refuses, so a stalled server cannot make memory grow.
  size_t maxOutstanding = 4096;
};

// The state of one of the two links (main or push). Everything about the
// link itself (connected, server, kind, relogin mark) is written by the
// channel thread alone.
struct Channel {
  explicit Channel(ChannelKind k) : kind(k), queue(192) {}

  const ChannelKind kind;
  // Ids of accepted requests in the order they were taken, for the send
  // thread; the requests themselves are in `pending`.
  moodycamel::ConcurrentQueue<uint64_t> queue;
  Doorbell doorbell;       // wakes the send thread
  std::thread thread;      // channel thread: connect, TLS, read, reconnect
  std::thread sendThread;  // started and joined by `thread`, once per link
  VSocket socket;
  std::atomic<bool> activeReal{true};  // server kind of the current or next link
  ServerEntry server;                  // the server last connected
  std::mutex pendingLock;
  PendingMap pending;  // accepted requests not yet answered, queued or sent, by id
  std::atomic<bool> connected{false};
  std::atomic<bool> reloginPending{false};  // replay the login after the next connect

  // Held by the send thread for all its writing, and tried (never waited
  // for) by a host thread that writes its request itself.
  std::mutex writeLock;
  TlsLink* link = nullptr;  // the link in service; set and cleared by the channel thread
  // A frame a host thread began but the socket could not take at once;
  // TLS must be given the very same bytes again, so the send thread
  // completes it before anything else.
  SharedFrame unfinished;
  // When a frame last went to the link (steady clock ticks): heartbeats
  // are due after an idle spell, whoever wrote.
  std::atomic<std::chrono::steady_clock::rep> lastWrite{0};
};

class TradeClient {
 public:
  TradeClient();
  ~TradeClient();
  TradeClient(const TradeClient&) = delete;
  TradeClient& operator=(const TradeClient&) = delete;

  // Stores the callback, loads the servers and starts the client's threads.
  bool Init(HostNotifyCallback notify);
  bool Init(HostNotifyCallback notify, const std::string& configPath);
  // Stops the threads and answers what is outstanding on the main channel.
  void Stop();
  // The first half of Stop, for a DestroyClient made inside one of this
  // client's callbacks: ends the links, answers what is outstanding and
  // lets no further callback start. Joining is left to another thread.
  void StopFromCallback();
  // Switches both channels to live (1) or simulated (0) servers.
  void SetRealTrade(uint8_t real);
  // The server kind a channel is to connect to: the last switch's, one
  // value for both channels.
  bool WantsReal(const Channel&) const { return requestedReal.load(); }
  // Answers every outstanding main-channel request with the cancellation
  // text, in ascending request-id order, and forgets them.
  void CancelAll();
  // Asked for by answers saying the server lost our login: at most one
  // main-channel relogin per gate interval.
  void ReloginGate();
  // Replays the saved login on a channel (no-op without a saved login).
  void QueueRelogin(Channel& channel);

  Channel main{ChannelKind::Main};
  Channel push{ChannelKind::Push};
  std::atomic<bool> stopRequested{false};
  ServerConfig servers;  // read-only while the channel threads run
  bool verifyServer = false;  // check the servers' certificates against ca.pem
  std::atomic<uint64_t> requestSeq{0};  // ids of requests and heartbeats, first is 1
  std::mutex savedLoginLock;
  Json::Value savedLogin;  // last funcId-1 request, replayed by relogins
  RequestCallback reloginCallback = nullptr;
  uint64_t reloginContext = 0;
  HostNotifyCallback hostNotify = nullptr;
  CallbackGate callbacks;  // every call into the host passes it

  SessionTimings timings;
  Timekeeper timekeeper{*this};
  // Seconds on a monotonic clock; replaceable so tests need not sleep.
  std::function<int64_t()> clockSeconds;
  std::atomic<int64_t> lastReloginCheck{0};
  std::atomic<int64_t> lastRelogin{kNeverRelogged};

  static constexpr int64_t kNeverRelogged = INT64_MIN / 2;

 private:
  void StartThreads();
  // Ends both links and wakes every thread that waits for them.
  void EndLinks();

  // The kind asked for by the last SetRealTrade; one value for both
  // channels, so two switches at once cannot leave them on different kinds.
  std::atomic<bool> requestedReal{true};
};

}  // namespace tessel
