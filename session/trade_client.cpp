#include "session/trade_client.h"

#include <openssl/ssl.h>

#include "session/channel_session.h"
#include "session/pending_requests.h"
#include "session/request_dispatch.h"
#include "support/log.h"

namespace tessel {

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
  StartThreads();
  return true;
}

void TradeClient::StartThreads() {
  timekeeper.Start();
  for (Channel* channel : {&main, &push}) {
    if (!channel->thread.joinable()) {
      channel->thread = std::thread(RunChannel, std::ref(*this), std::ref(*channel));
    }
  }
}

void TradeClient::EndLinks() {
  for (Channel* channel : {&main, &push}) {
    channel->socket.shutdownLink();
    channel->doorbell.Ring();
  }
}

void TradeClient::Stop() {
  stopRequested = true;
  EndLinks();
  // Each channel thread joins its own send thread before it ends.
  for (Channel* channel : {&main, &push}) {
    if (channel->thread.joinable()) channel->thread.join();
  }
  timekeeper.Stop();
  CancelAll();
  callbacks.Close(this);
  servers.clear();
}

void TradeClient::StopFromCallback() {
  stopRequested = true;
  EndLinks();
  CancelAll();
  callbacks.Close(this);
}

void TradeClient::SetRealTrade(uint8_t real) {
  // Its cancellations call back; a host that destroys the client from one
  // of them must not have it freed under this call.
  CallbackGate::Use inUse(callbacks, this);
  const bool wanted = real != 0;
  // Compared with what was last asked for, not with what the channels have
  // taken over yet, so the host's last choice wins.
  if (requestedReal == wanted) return;
  // Forgotten before any channel can see the new kind: a channel that was
  // down reconnects at once and must find no login to replay.
  {
    std::lock_guard<std::mutex> hold(savedLoginLock);
    savedLogin = Json::Value();
  }
  // A switch made at the same moment to the same kind has done the rest.
  if (requestedReal.exchange(wanted) == wanted) return;
  CancelAll();
  // The links end at once; each channel thread reports its loss, takes the
  // new kind over and reconnects. A switch must take as little time as it
  // can, since a channel that looks at the kind in between connects to it.
  main.socket.shutdownLink();
  push.socket.shutdownLink();
}

void TradeClient::CancelAll() {
  const PendingMap cancelled = TakeAll(main);
  if (cancelled.empty()) return;
  for (const auto& entry : cancelled) LogLibraryAnswer("Cancel Response", entry.first);
  CLog::Instance().Flush();
  for (const auto& entry : cancelled) AnswerHost(*this, entry.second, kCancelText);
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
  QueueRequest(*this, channel, std::move(request));
}

}  // namespace tessel
