#include "session/trade_client.h"

#include <openssl/ssl.h>

#include <vector>

#include "session/request_dispatch.h"
#include "session/channel_session.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {

const char kCancelText[] = "{\"status\":1,\"describe\":\"cancel req\"}";

namespace {

int64_t MonotonicSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// OpenSSL keeps process-wide state; it is set up once and never torn down
// per client, so clients created after another was destroyed still get TLS.
void InitOpenSslOnce() {
  static const bool initialised = [] {
    // No clean-up at exit either: a client the host never destroyed still
    // runs its TLS links while the exit handlers run.
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS |
                         OPENSSL_INIT_NO_ATEXIT,
                     nullptr);
    OPENSSL_init_crypto(OPENSSL_INIT_ENGINE_ALL_BUILTIN | OPENSSL_INIT_NO_ATEXIT, nullptr);
    return true;
  }();
  (void)initialised;
}

}  // namespace

std::optional<TradeRequestData> TakePending(Channel& channel, uint64_t requestId) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  const auto found = channel.pending.find(requestId);
  if (found == channel.pending.end()) return std::nullopt;
  TradeRequestData entry = std::move(found->second);
  channel.pending.erase(found);
  return entry;
}

void WakeSendThread(Channel& channel) {
  TradeRequestData wakeUp;
  wakeUp.wakeUp = true;
  channel.queue.enqueue(std::move(wakeUp));
}

void AnswerRequest(const TradeRequestData& request, std::string_view text) {
  if (request.callback == nullptr) {
    ConsoleLine("NULL call back");
    return;
  }
  request.callback(text.data(), static_cast<int32_t>(text.size()), request.context);
}

TradeClient::TradeClient() : clockSeconds(MonotonicSeconds) {
  InitOpenSslOnce();
  lastReloginCheck = clockSeconds();
  main.reloginPending = false;
  push.reloginPending = false;
}

TradeClient::~TradeClient() { Stop(); }

bool TradeClient::Init(HostNotifyCallback notify) { return Init(notify, DefaultConfigPath()); }

bool TradeClient::Init(HostNotifyCallback notify, const std::string& configPath) {
  hostNotify = notify;
  ServerOptions options;
  if (!LoadServerConfigFile(configPath, servers, &options)) return false;
  verifyServer = options.verifyServer;
  // The log is the process's: every client reads the same file, so the
  // last reading holds for all.
  CLog::Instance().SetSizeLimit(options.logSizeLimit);
  if (!verifyServer) {
    CLog::Instance().Write(1, "Connect", "Not_Verified", "content:%s",
                           "the servers' certificates are not checked; a <VerifyServer/> "
                           "element in config/system.xml turns the check on");
  }
  main.connected = false;
  requestSeq = 0;
  StartChannelThreads();
  return true;
}

void TradeClient::StartChannelThreads() {
  for (Channel* channel : {&main, &push}) {
    if (!channel->thread.joinable()) {
      channel->thread = std::thread(RunChannel, std::ref(*this), std::ref(*channel));
    }
  }
}

void TradeClient::Stop() {
  stopRequested = true;
  for (Channel* channel : {&main, &push}) {
    channel->socket.shutdownLink();
    WakeSendThread(*channel);
  }
  // Each channel thread joins its own send thread before it ends.
  for (Channel* channel : {&main, &push}) {
    if (channel->thread.joinable()) channel->thread.join();
  }
  CancelAll();
  servers.clear();
}

void TradeClient::SetRealTrade(uint8_t real) {
  const bool wanted = real != 0;
  // Compared with what was last asked for, not with what the channels have
  // taken over yet, so the host's last choice wins.
  if (main.requestedReal == wanted && push.requestedReal == wanted) return;
  // Forgotten before any channel can see the new kind: a channel that was
  // down reconnects at once and must find no login to replay.
  {
    std::lock_guard<std::mutex> hold(savedLoginLock);
    savedLogin = Json::Value();
  }
  main.requestedReal = wanted;
  push.requestedReal = wanted;
  CancelAll();
  // The channel threads' tear-downs wake the send threads. Nothing more is
  // done here: a switch must take as little time as it can, since a channel
  // that looks at the kind in between connects to that kind.
  main.socket.shutdownLink();
  push.socket.shutdownLink();
}

void TradeClient::CancelAll() {
  TradeRequestData queued;
  // A wake-up taken here is put back for the send thread it was meant for.
  size_t wakeUps = 0;
  while (main.queue.try_dequeue(queued)) {
    if (IsWakeUp(queued)) {
      ++wakeUps;
    } else {
      AnswerRequest(queued, kCancelText);
    }
  }
  for (; wakeUps > 0; --wakeUps) WakeSendThread(main);

  PendingMap pending;
  {
    std::lock_guard<std::mutex> hold(main.pendingLock);
    pending.swap(main.pending);
  }
  for (const auto& entry : pending) AnswerRequest(entry.second, kCancelText);
}

void TradeClient::ReloginGate() {
  const int64_t now = clockSeconds();
  lastReloginCheck = now;
  int64_t last = lastRelogin.load();
  while (now > last + timings.reloginGateSeconds) {
    if (lastRelogin.compare_exchange_weak(last, now)) {
      QueueRelogin(main);
      return;
    }
  }
}

void TradeClient::QueueRelogin(Channel& channel) {
  Json::Value login;
  {
    std::lock_guard<std::mutex> hold(savedLoginLock);
    login = savedLogin;
  }
  TradeRequestData request;
  Refusal refusal;
  if (login.isNull() || !DispatchRequest(*this, login, request, refusal, SavesLogin::No)) {
    return;
  }
  request.callback = reloginCallback;
  request.context = reloginContext;
  CLog::Instance().Write(1, "Request", "Request", "content:%d - %s",
                         static_cast<int32_t>(request.requestId),
                         channel.kind == ChannelKind::Main ? "Main ReLogin" : "Push ReLogin");
  channel.queue.enqueue(std::move(request));
}

}  // namespace tessel
