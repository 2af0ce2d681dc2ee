// TradeClient: everything one account connection needs. One per handle
// returned by CreateClient.
//
// Threads per client: host threads (SendRequest, SetRealTrade,
// DestroyClient), and per channel (main, push) a channel thread that owns the
// socket and the TLS link and reads frames, plus a send thread it starts and
// joins for each established link.
//
// Locks: each channel's pendingLock guards its pending map; savedLoginLock
// guards savedLogin. No two are ever held together and no callback is called
// while one is held. Flags and counters are atomics.
#pragma once

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <concurrentqueue/blockingconcurrentqueue.h>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "net/frame.h"
#include "net/vsocket.h"
#include "session/host_callbacks.h"
#include "support/server_config.h"

namespace tessel {

// One queued or pending request.
struct TradeRequestData {
  uint64_t requestId = 0;
  uint32_t messageType = 0;
  RequestCallback callback = nullptr;
  uint64_t context = 0;
  SharedFrame frame;
  std::chrono::steady_clock::time_point sentAt{};  // set when it enters the pending map
  std::chrono::steady_clock::time_point acceptedAt{};  // when it was packed for sending
  bool wakeUp = false;  // not a request: see IsWakeUp
};

// The send thread sleeps on the queue's semaphore until its next duty; on
// two cores, spinning before each such wait would take the core the host
// and the channel thread need.
struct RequestQueueTraits : moodycamel::ConcurrentQueueDefaultTraits {
  static const int MAX_SEMA_SPINS = 1;
};

// A semaphore-backed queue, so a sleeping send thread wakes the moment a
// request (or a wake-up entry) is queued.
using RequestQueue = moodycamel::BlockingConcurrentQueue<TradeRequestData, RequestQueueTraits>;
using PendingMap = std::map<uint64_t, TradeRequestData>;

enum class ChannelKind { Main, Push };

// Fixed in production; tests shorten them so they need not wait 30 seconds.
struct SessionTimings {
  std::chrono::seconds requestTimeout{30};
  std::chrono::seconds heartbeatIdle{2};   // a heartbeat goes out after more than this
  std::chrono::seconds connectTimeout{10};  // TCP connect, and the TLS handshake
  std::chrono::milliseconds firstBackoff{1000};  // pause after a failed connect cycle
  std::chrono::milliseconds maxBackoff{4000};
  int64_t reloginGateSeconds = 30;
};

// The state of one of the two links (main or push).
struct Channel {
  explicit Channel(ChannelKind k) : kind(k), queue(192) {}

  const ChannelKind kind;
  RequestQueue queue;
  std::thread thread;      // channel thread: connect, TLS, read, reconnect
  std::thread sendThread;  // started and joined by `thread`, once per link
  VSocket socket;
  std::atomic<bool> activeReal{true};     // server kind this channel connects to
  std::atomic<bool> requestedReal{true};  // kind asked for by SetRealTrade
  ServerEntry server;  // written by the channel thread while no send thread runs
  std::mutex pendingLock;
  PendingMap pending;  // sent requests awaiting an answer, by request id
  std::atomic<bool> connected{false};
  std::atomic<bool> reloginPending{false};  // replay the login after the next connect
};

class TradeClient {
 public:
  TradeClient();
  ~TradeClient();
  TradeClient(const TradeClient&) = delete;
  TradeClient& operator=(const TradeClient&) = delete;

  // Stores the callback, loads the servers and starts both channel threads.
  bool Init(HostNotifyCallback notify);
  bool Init(HostNotifyCallback notify, const std::string& configPath);
  // Stops the threads and answers what is outstanding on the main channel.
  void Stop();
  // Switches both channels to live (1) or simulated (0) servers.
  void SetRealTrade(uint8_t real);
  // Answers every queued and pending main-channel request with the
  // cancellation text, in ascending request-id order, and forgets them.
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

  SessionTimings timings;
  // Seconds on a monotonic clock; replaceable so tests need not sleep.
  std::function<int64_t()> clockSeconds;
  std::atomic<int64_t> lastReloginCheck{0};
  std::atomic<int64_t> lastRelogin{kNeverRelogged};

  static constexpr int64_t kNeverRelogged = INT64_MIN / 2;

 private:
  void StartChannelThreads();
};

// The fixed text every cancelled main-channel request receives.
extern const char kCancelText[];

// A wake-up entry in a queue makes the send thread look at its link and the
// stop flag again; it is never sent, pending or answered.
inline bool IsWakeUp(const TradeRequestData& entry) { return entry.wakeUp; }
void WakeSendThread(Channel& channel);

// Removes and returns a channel's pending request, if it is still there.
std::optional<TradeRequestData> TakePending(Channel& channel, uint64_t requestId);

// Calls a request's callback with a text, or writes "NULL call back".
void AnswerRequest(const TradeRequestData& request, std::string_view text);

}  // namespace tessel
