#include "session/channel_session.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "session/inbound_dispatch.h"
#include "net/tls_link.h"
#include "platform/sockets.h"
#include "session/channel_profile.h"
#include "session/send_pump.h"
#include "session/pending_requests.h"
#include "session/status_reports.h"
#include "session/trade_client.h"
#include "support/console.h"
#include "support/log.h"

namespace tessel {

const ChannelProfile& ProfileOf(ChannelKind kind) {
  static const ChannelProfile kMain{ChannelKind::Main,
                                    2,
                                    "Main_Login_IP_port",
                                    "After Socket connect",
                                    "Main SSL_Read Error(Internet)",
                                    "Main SSL_SendPack Error",
                                    "Main SSL_SendPack Error(heartbeat)",
                                    true,
                                    true,
                                    true,
                                    false,
                                    &MainDispatch};
  static const ChannelProfile kPush{ChannelKind::Push,
                                    3,
                                    "Push_Login_IP_port",
                                    "After PushSocket connect",
                                    "Push SSL_Read Error(Internet)",
                                    "Push SSL_SendPack Error",
                                    "Push SSL_SendPack Error(heartbeat)",
                                    false,
                                    false,
                                    false,
                                    true,
                                    &PushDispatch};
  return kind == ChannelKind::Main ? kMain : kPush;
}

namespace {

// The address and port this channel connects to on a server; false when the
// server has none for it (no push address).
bool TargetOf(ChannelKind kind, const ServerEntry& server, std::string& address, int32_t& port) {
  if (kind == ChannelKind::Main) {
    address = server.address;
    port = server.port;
    return true;
  }
  if (server.pushaddress.empty()) return false;
  address = server.pushaddress;
  port = server.pushport;
  return true;
}

// Pause between failed connect cycles: grows from the first pause to the
// ceiling with jitter, so a missing server does not spin a core and many
// clients do not reconnect in step. Stop and a server-kind switch end it.
class Backoff {
 public:
  explicit Backoff(const SessionTimings& timings)
      : first_(timings.firstBackoff), max_(timings.maxBackoff), next_(first_),
        random_(std::random_device{}()) {}

  void Reset() { next_ = first_; }

  void Wait(const TradeClient& client, const Channel& channel) {
    const auto jitter = std::uniform_int_distribution<int64_t>(0, next_.count() / 4)(random_);
    const auto until = std::chrono::steady_clock::now() + next_ + std::chrono::milliseconds(jitter);
    next_ = std::min(next_ * 2, max_);
    while (std::chrono::steady_clock::now() < until && !client.stopRequested &&
           client.WantsReal(channel) == channel.activeReal) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

 private:
  std::chrono::milliseconds first_;
  std::chrono::milliseconds max_;
  std::chrono::milliseconds next_;
  std::mt19937 random_;
};

bool ConnectChannel(TradeClient& client, Channel& channel, const ChannelProfile& profile) {
  for (const ServerEntry& server : client.servers) {
    std::string address;
    int32_t port = 0;
    if (server.real != channel.activeReal || !TargetOf(channel.kind, server, address, port)) {
      continue;
    }
    if (!channel.socket.create()) return false;
    // Checked after create(), which clears an earlier shutdownLink(): a stop
    // or kind switch that came before it is seen here, one after it sticks.
    if (client.stopRequested || client.WantsReal(channel) != channel.activeReal) {
      channel.socket.close();
      return false;
    }
    const std::string target = address + ":" + std::to_string(port);
    ConsoleLine("Start connecting->" + target);
    CLog::Instance().Write(1, "Connect", profile.connectLogTag, "content:%s:%d", address.c_str(),
                           port);
    const auto timeout = static_cast<uint32_t>(client.timings.connectTimeout.count());
    if (channel.socket.connect(address.c_str(), static_cast<uint32_t>(port), timeout)) {
      channel.server = server;
      return true;
    }
    ConsoleLine(target + "->connection Failed");
    channel.socket.close();
  }
  return false;
}

void PrintPorts(const VSocket& socket) {
  int peerPort = 0;
  int localPort = 0;
  socket.peerAddress(peerPort);
  socket.localAddress(localPort);
  ConsoleLine("GetPeerName->" + std::to_string(peerPort) + " " + "GetSockName->" +
              std::to_string(localPort));
}

// Reads and dispatches frames until the link fails, is ended or the client
// stops. A frame read after the link was ended (by a switch, a stop or a
// failed write) is dropped: once the loss is reported nothing from the link
// may reach the host, and the loss is reported right after this returns.
void ReadFrames(TradeClient& client, Channel& channel, const ChannelProfile& profile,
                TlsLink& link) {
  while (!client.stopRequested) {
    const uint8_t* frame = nullptr;
    const size_t size = link.NextFrame(frame, profile.skipsBadMagic, profile.readErrorLogTag);
    if (size == 0 || channel.socket.isShutDown()) return;
    int32_t count = static_cast<int32_t>(size);
    profile.dispatch(client, frame, count);
  }
}

// Lets host threads write to `link` (null: to none). A write a host thread
// left unfinished on the old link stays pending, as one the server may have.
void Publish(Channel& channel, TlsLink* link) {
  std::lock_guard<std::mutex> hold(channel.writeLock);
  channel.link = link;
  channel.unfinished.reset();
  channel.lastWrite = 0;  // the epoch: a fresh link starts with a heartbeat
}

// Brings a link into service: what the previous link left unsent is failed,
// the main channel cancels what is outstanding, the login is replayed.
void OpenLink(TradeClient& client, Channel& channel, const ChannelProfile& profile) {
  FailUnsent(client, channel);
  if (profile.cancelsOnConnect) client.CancelAll();
  // The previous link was torn down by this thread, so nothing else can
  // set the mark between this read and the clear.
  if (channel.reloginPending) {
    client.QueueRelogin(channel);
    channel.reloginPending = false;
  }
  // Requests are taken from here on: after the cancellation (one accepted
  // during the handshake would be cancelled by the very link it was meant
  // for).
  channel.connected = true;
}

// Ends a link that was in service, in this order: no request is taken any
// more, the send thread ends, what it never wrote is answered as unsent,
// the host hears of the loss (with the kind the link had), and only then
// does the channel take over a requested kind and owe a relogin.
void CloseLink(TradeClient& client, Channel& channel, const ChannelProfile& profile) {
  channel.connected = false;
  channel.socket.shutdownLink();
  channel.doorbell.Ring();
  channel.sendThread.join();
  Publish(channel, nullptr);
  FailUnsent(client, channel);
  ReportConnectStatus(client, false, profile.connectionType);
  channel.reloginPending = true;
  channel.activeReal = client.WantsReal(channel);
}

// One established TCP connection: TLS, send thread, relogin, reading, and
// tear-down. Returns whether the link came up (TLS succeeded).
bool RunLink(TradeClient& client, Channel& channel, const ChannelProfile& profile,
             SSL_CTX* context) {
  ConsoleLine(profile.afterConnectLine);
  PrintPorts(channel.socket);
  std::string address;
  int32_t port = 0;
  TargetOf(channel.kind, channel.server, address, port);
  std::string verifyError;
  std::unique_ptr<TlsLink> link =
      TlsLink::Connect(context, channel.socket, client.timings.connectTimeout,
                       client.verifyServer ? &address : nullptr, &verifyError);
  if (!link) {
    if (!verifyError.empty()) {
      CLog::Instance().Write(1, "Connect", "Verify_Failed", "content:%s:%d - %s",
                             address.c_str(), port, verifyError.c_str());
    }
    channel.socket.close();
    return false;
  }
  ConsoleLine("After SSL_connect connect");
  PrintPorts(channel.socket);
  OpenLink(client, channel, profile);
  Publish(channel, link.get());
  channel.sendThread = std::thread(RunSendPump, std::ref(client), std::ref(channel),
                                   std::ref(*link));
  ReadFrames(client, channel, profile, *link);
  CloseLink(client, channel, profile);
  // What this thread owns goes last, TLS first and the socket after it.
  link.reset();
  channel.socket.close();
  return true;
}

}  // namespace

void RunChannel(TradeClient& client, Channel& channel) {
  platform::ShieldThreadFromBrokenPipe();
  const ChannelProfile& profile = ProfileOf(channel.kind);
  const std::string certificatePath = ModuleDirectory() + "/ca.pem";
  const TlsContext context =
      CreateClientContext(profile.loadsCertificate ? &certificatePath : nullptr,
                          client.verifyServer ? &certificatePath : nullptr);
  if (!context) return;

  Backoff backoff(client.timings);
  while (!client.stopRequested) {
    // A kind switch made while no link was up is taken over here.
    channel.activeReal = client.WantsReal(channel);
    const bool wasOnline =
        ConnectChannel(client, channel, profile) && RunLink(client, channel, profile, context.get());
    if (wasOnline) {
      backoff.Reset();
    } else if (!client.stopRequested) {
      backoff.Wait(client, channel);
    }
  }
}

}  // namespace tessel
