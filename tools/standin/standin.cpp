#include "tools/standin/standin.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "net/wire.h"
#include "platform/sockets.h"
#include "tools/standin/answers.h"
#include "tools/standin/tls_identity.h"

namespace tessel::standin {

size_t ChannelLog::Count(uint32_t messageType) const {
  return static_cast<size_t>(
      std::count_if(frames.begin(), frames.end(),
                    [&](const ReceivedFrame& f) { return f.messageType == messageType; }));
}

Condition FramesOfType(Channel channel, uint32_t messageType, size_t count) {
  return [=](const Observed& o) { return o[channel].Count(messageType) >= count; };
}

Condition AcceptedAtLeast(Channel channel, size_t count) {
  return [=](const Observed& o) { return o[channel].accepted >= count; };
}

namespace {

using platform::kInvalidSocket;
using platform::NativeSocket;

constexpr int kChannels = 2;
constexpr Channel kAllChannels[kChannels] = {Channel::Main, Channel::Push};
constexpr size_t kReadChunk = 16 * 1024;
constexpr size_t kReadBudget = 64 * 1024;  // per turn of a connection's loop

int Index(Channel channel) { return static_cast<int>(channel); }
const char* Name(Channel channel) { return channel == Channel::Main ? "main" : "push"; }

// A descriptor that poll sees readable from Signal until Drain, so a thread
// blocked in poll can be woken from another thread.
class Wakeup {
 public:
  Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Wakeup() {
    if (fd_ >= 0) ::close(fd_);
  }
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Signal() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t rc = ::write(fd_, &one, sizeof one);
  }
  void Drain() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t rc = ::read(fd_, &count, sizeof count);
  }

 private:
  int fd_;
};

// The result of a failed SSL call: keep going (after waiting for the socket)
// or give the connection up.
bool MayRetry(SSL* ssl, int rc, bool& wantWrite) {
  switch (SSL_get_error(ssl, rc)) {
    case SSL_ERROR_WANT_READ:
      return true;
    case SSL_ERROR_WANT_WRITE:
      wantWrite = true;
      return true;
    default:
      return false;
  }
}

// One accepted socket. Its thread alone touches the SSL object and does all
// reads and writes; other threads only queue bytes, set `stop`, shut the
// socket down and signal `wakeup`.
struct Connection {
  Connection(Channel c, NativeSocket s) : channel(c), fd(s) {}

  const Channel channel;
  const NativeSocket fd;
  size_t ordinal = 0;
  Wakeup wakeup;
  std::atomic<bool> stop{false};
  std::thread thread;
  // Guarded by Impl::mutex.
  std::vector<uint8_t> outbox;  // injected bytes not yet taken by the thread
  bool closed = false;          // fd is closed: nobody may use it any more
  std::string user;             // logged in on this connection; "" when none
};

}  // namespace

struct StandIn::Impl {
  explicit Impl(Options o) : options(std::move(o)) { credentials.Set(options.password); }
  ~Impl() {
    Stop();
    SSL_CTX_free(context);
  }

  bool Start();
  void Stop();
  void Accept();
  void AcceptOne(Channel channel, NativeSocket listener);
  void Reap();
  void Serve(Connection* connection);
  void Pump(Connection& connection, SSL* ssl);
  bool TakeFrames(Connection& connection, std::vector<uint8_t>& in, std::vector<uint8_t>& out,
                  AnswerContext& context);
  void TakeInjected(Connection& connection, std::vector<uint8_t>& out);
  void Record(Channel channel, std::vector<ReceivedFrame>& frames);
  void NoteUser(Connection& connection, const std::string& user);
  void Deliver(std::vector<Push>& pushes);
  void Queue(Connection& connection, const Frame& frame);

  const Options options;
  Credentials credentials;
  SharedBook book;
  std::atomic<bool> silent[kChannels]{false, false};
  std::atomic<bool> refuse[kChannels]{false, false};
  std::atomic<bool> resetOdd[kChannels]{false, false};
  std::atomic<bool> stalled[kChannels]{false, false};

  // Start and Stop run one at a time; the members below them are theirs.
  std::mutex lifecycle;
  SSL_CTX* context = nullptr;
  NativeSocket listeners[kChannels] = {kInvalidSocket, kInvalidSocket};
  Wakeup stopAccepting;
  std::thread acceptor;
  bool running = false;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  Observed observed;
  std::list<std::unique_ptr<Connection>> connections;
  uint16_t ports[kChannels] = {0, 0};
  std::string certificatePem;
};

bool StandIn::Impl::Start() {
  std::lock_guard<std::mutex> life(lifecycle);
  if (running || !stopAccepting.Valid()) return false;
  if (context == nullptr) {
    std::string pem;
    context = MakeServerContext(pem, options.certificateNames);
    if (context == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex);
    certificatePem = std::move(pem);
  }

  uint16_t bound[kChannels] = {};
  {
    std::lock_guard<std::mutex> lock(mutex);
    // A restart keeps the ports of the first start, even ones picked freely.
    bound[0] = ports[0] != 0 ? ports[0] : options.mainPort;
    bound[1] = ports[1] != 0 ? ports[1] : options.pushPort;
  }
  bool listening = true;
  for (int i = 0; i < kChannels && listening; ++i) {
    listeners[i] = platform::ListenLoopback(bound[i]);
    // Non-blocking, so a connection reset between poll and accept cannot
    // hang the acceptor.
    listening = listeners[i] != kInvalidSocket && platform::SetNonBlocking(listeners[i], true);
  }
  // Written only once the ports are ours, so a stand-in that failed to
  // start never replaces the certificate of one that is running.
  if (!listening || (!options.certPath.empty() && !WritePem(options.certPath, certificatePem))) {
    for (NativeSocket& listener : listeners) {
      if (listener != kInvalidSocket) platform::CloseSocket(listener);
      listener = kInvalidSocket;
    }
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    std::copy(std::begin(bound), std::end(bound), ports);
  }
  stopAccepting.Drain();
  acceptor = std::thread(&Impl::Accept, this);
  running = true;
  return true;
}

void StandIn::Impl::Stop() {
  std::lock_guard<std::mutex> life(lifecycle);
  if (!running) return;
  stopAccepting.Signal();
  acceptor.join();
  for (NativeSocket& listener : listeners) {
    platform::CloseSocket(listener);
    listener = kInvalidSocket;
  }
  // No connection can be added now; take them all and end each.
  std::list<std::unique_ptr<Connection>> all;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& connection : connections) {
      connection->stop = true;
      if (!connection->closed) platform::ShutdownSocket(connection->fd);
      connection->wakeup.Signal();
    }
    all.swap(connections);
  }
  for (auto& connection : all) connection->thread.join();
  running = false;
}

void StandIn::Impl::Accept() {
  platform::ShieldThreadFromBrokenPipe();
  for (;;) {
    pollfd waits[kChannels + 1] = {};
    for (int i = 0; i < kChannels; ++i) waits[i] = {listeners[i], POLLIN, 0};
    waits[kChannels] = {stopAccepting.Fd(), POLLIN, 0};
    if (::poll(waits, kChannels + 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waits[kChannels].revents != 0) return;
    for (Channel channel : kAllChannels) {
      if ((waits[Index(channel)].revents & POLLIN) != 0) {
        AcceptOne(channel, listeners[Index(channel)]);
      }
    }
    Reap();
  }
}

void StandIn::Impl::AcceptOne(Channel channel, NativeSocket listener) {
  const NativeSocket socket = platform::AcceptConnection(listener);
  if (socket == kInvalidSocket) return;
  ChannelLog& log = observed.channels[Index(channel)];
  if (refuse[Index(channel)]) {
    {
      // Counted before the close, so a client that saw the close finds it counted.
      std::lock_guard<std::mutex> lock(mutex);
      ++log.refused;
      changed.notify_all();
    }
    platform::CloseSocket(socket);
    return;
  }
  platform::SetNonBlocking(socket, true);
  platform::EnableNoDelay(socket);
  auto owned = std::make_unique<Connection>(channel, socket);
  Connection* connection = owned.get();
  if (!connection->wakeup.Valid()) {
    platform::CloseSocket(socket);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex);
  connection->ordinal = log.accepted + 1;
  try {
    connection->thread = std::thread(&Impl::Serve, this, connection);
  } catch (const std::system_error&) {
    platform::CloseSocket(socket);
    return;
  }
  connections.push_back(std::move(owned));
  ++log.accepted;
  ++log.open;
  changed.notify_all();
}

void StandIn::Impl::Reap() {
  std::list<std::unique_ptr<Connection>> done;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = connections.begin(); it != connections.end();) {
      auto next = std::next(it);
      if ((*it)->closed) done.splice(done.end(), connections, it);
      it = next;
    }
  }
  // A closed connection's thread has nothing left but to return.
  for (auto& connection : done) connection->thread.join();
}

void StandIn::Impl::Serve(Connection* connection) {
  platform::ShieldThreadFromBrokenPipe();
  SSL* ssl = SSL_new(context);
  if (ssl != nullptr && SSL_set_fd(ssl, connection->fd) == 1) {
    SSL_set_accept_state(ssl);
    Pump(*connection, ssl);
  }
  // No close_notify: to the client this is a link failure.
  SSL_free(ssl);
  ERR_clear_error();
  std::lock_guard<std::mutex> lock(mutex);
  platform::CloseSocket(connection->fd);
  connection->closed = true;
  --observed.channels[Index(connection->channel)].open;
  changed.notify_all();
}

void StandIn::Impl::Pump(Connection& connection, SSL* ssl) {
  std::vector<uint8_t> in;
  std::vector<uint8_t> out;
  size_t written = 0;
  std::string lastUser;
  AnswerContext answerContext{credentials, lastUser, book,
                              [this](std::vector<Push>& pushes) { Deliver(pushes); }};
  bool secured = false;
  uint8_t chunk[kReadChunk];

  while (!connection.stop) {
    if (stalled[Index(connection.channel)]) {
      // A hung server: nothing is read or written, so the client's writes
      // fill the socket buffers and then make no progress.
      pollfd wake{connection.wakeup.Fd(), POLLIN, 0};
      if (::poll(&wake, 1, -1) < 0 && errno != EINTR) return;
      connection.wakeup.Drain();
      continue;
    }
    bool wantWrite = false;
    if (!secured) {
      ERR_clear_error();
      const int rc = SSL_accept(ssl);
      if (rc == 1) {
        secured = true;
        if (resetOdd[Index(connection.channel)] && connection.ordinal % 2 == 1) {
          // A reset, not an orderly close: the client's socket fails at once.
          const linger abort{1, 0};
          ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
          return;
        }
      } else if (!MayRetry(ssl, rc, wantWrite)) {
        return;
      }
    }
    bool moreToRead = false;
    if (secured) {
      // Read until the socket is empty, since poll cannot see records
      // already buffered inside the SSL object; but only up to a budget, so
      // a peer that never pauses still gets answers and Stop is still seen.
      for (size_t taken = 0;;) {
        if (taken >= kReadBudget || connection.stop) {
          moreToRead = true;
          break;
        }
        ERR_clear_error();
        const int n = SSL_read(ssl, chunk, sizeof chunk);
        if (n <= 0) {
          if (!MayRetry(ssl, n, wantWrite)) return;
          break;
        }
        in.insert(in.end(), chunk, chunk + n);
        taken += static_cast<size_t>(n);
      }
      // Injected bytes go out before the answers to what was just read: a
      // test that injects and then sends a request sees them in that order.
      TakeInjected(connection, out);
      if (!TakeFrames(connection, in, out, answerContext)) return;
      while (written < out.size()) {
        ERR_clear_error();
        const size_t left = std::min<size_t>(out.size() - written, INT_MAX);
        const int n = SSL_write(ssl, out.data() + written, static_cast<int>(left));
        if (n <= 0) {
          if (!MayRetry(ssl, n, wantWrite)) return;
          break;
        }
        written += static_cast<size_t>(n);
      }
      if (written == out.size()) {
        out.clear();
        written = 0;
      }
    }
    pollfd waits[2] = {
        {connection.fd, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
        {connection.wakeup.Fd(), POLLIN, 0},
    };
    if (::poll(waits, 2, moreToRead ? 0 : -1) < 0 && errno != EINTR) return;
    if ((waits[1].revents & POLLIN) != 0) connection.wakeup.Drain();
  }
}

// Cuts the complete frames off the front of `in`, records them and appends
// their answers to `out`. False when a header announces an oversized body
// (the stream cannot be trusted past it) or the connection is to stop.
bool StandIn::Impl::TakeFrames(Connection& connection, std::vector<uint8_t>& in,
                               std::vector<uint8_t>& out, AnswerContext& answerContext) {
  const int channel = Index(connection.channel);
  std::vector<ReceivedFrame> received;
  size_t at = 0;
  bool healthy = true;
  while (in.size() - at >= kHeaderSize) {
    if (connection.stop) {
      healthy = false;
      break;
    }
    const uint8_t* start = in.data() + at;
    const FrameHeader header = ReadHeader(start);
    const uint32_t bodyLength = header.bodyLength;
    if (bodyLength > kMaxBodyLength) {
      if (options.logRequests) {
        std::fprintf(stderr, "standin: %s: header announces %u body bytes, closing\n",
                     Name(connection.channel), bodyLength);
      }
      healthy = false;
      break;
    }
    const size_t size = FrameSize(bodyLength);
    if (in.size() - at < size) break;
    at += size;

    ReceivedFrame frame;
    frame.messageType = header.messageType;
    frame.requestId = header.requestId;
    frame.secondLength = header.secondLength;
    frame.terminalId.assign(header.terminalId, strnlen(header.terminalId, sizeof header.terminalId));
    frame.body.assign(start + kHeaderSize, start + kHeaderSize + bodyLength);
    const size_t trailerAt = kHeaderSize + bodyLength;
    frame.checksumOk =
        wire::Load<uint32_t>(start + trailerAt) == FrameChecksum(start, trailerAt);
    frame.connection = connection.ordinal;
    frame.arrival = std::chrono::steady_clock::now();
    if (options.logRequests) {
      std::fprintf(stderr, "standin: %s: type %u id %llu body %u\n", Name(connection.channel),
                   frame.messageType, static_cast<unsigned long long>(frame.requestId),
                   bodyLength);
    }
    // A silent server acts on nothing, so a silent ModifyPwd changes nothing.
    if (!silent[channel]) {
      if (const std::optional<Frame> answer = AnswerFor(frame, answerContext)) {
        out.insert(out.end(), answer->begin(), answer->end());
      }
      NoteUser(connection, answerContext.lastUser);
    }
    received.push_back(std::move(frame));
  }
  // Recorded before the caller writes their answers, so a test holding an
  // answer always finds its request in the log.
  Record(connection.channel, received);
  in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(at));
  return healthy;
}

void StandIn::Impl::TakeInjected(Connection& connection, std::vector<uint8_t>& out) {
  std::lock_guard<std::mutex> lock(mutex);
  // Set under this lock: what was injected after a stall began waits for its end.
  if (connection.outbox.empty() || stalled[Index(connection.channel)]) return;
  out.insert(out.end(), connection.outbox.begin(), connection.outbox.end());
  connection.outbox.clear();
}

void StandIn::Impl::NoteUser(Connection& connection, const std::string& user) {
  std::lock_guard<std::mutex> lock(mutex);
  connection.user = user;
}

void StandIn::Impl::Queue(Connection& connection, const Frame& frame) {
  connection.outbox.insert(connection.outbox.end(), frame.begin(), frame.end());
  connection.wakeup.Signal();
}

// Pushes go to every push connection logged in as their account's user; an
// account without one misses them, as with a real server. Called under the
// book's lock: this lock nests inside it, never the other way.
void StandIn::Impl::Deliver(std::vector<Push>& pushes) {
  if (pushes.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const Push& push : pushes) {
      if (options.logRequests) {
        std::fprintf(stderr, "standin: push: type %u for %s\n",
                     static_cast<uint32_t>(ReadHeader(push.frame.data()).messageType),
                     push.user.c_str());
      }
      for (auto& connection : connections) {
        if (connection->channel == Channel::Push && !connection->closed && !connection->stop &&
            connection->user == push.user) {
          Queue(*connection, push.frame);
        }
      }
    }
  }
  pushes.clear();
}

void StandIn::Impl::Record(Channel channel, std::vector<ReceivedFrame>& frames) {
  if (frames.empty() || !options.recordFrames) return;
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<ReceivedFrame>& log = observed.channels[Index(channel)].frames;
  std::move(frames.begin(), frames.end(), std::back_inserter(log));
  changed.notify_all();
}

StandIn::StandIn(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

StandIn::~StandIn() = default;

bool StandIn::Start() { return impl_->Start(); }

void StandIn::Stop() { impl_->Stop(); }

uint16_t StandIn::MainPort() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->ports[Index(Channel::Main)];
}

uint16_t StandIn::PushPort() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->ports[Index(Channel::Push)];
}

void StandIn::SetPassword(std::string password) { impl_->credentials.Set(std::move(password)); }

void StandIn::SetBook(Seed seed) {
  std::lock_guard<std::mutex> hold(impl_->book.lock);
  impl_->book.book = Book(std::move(seed));
}

void StandIn::SetSilent(Channel channel, bool silent) { impl_->silent[Index(channel)] = silent; }

void StandIn::RefuseConnections(Channel channel, bool refuse) {
  impl_->refuse[Index(channel)] = refuse;
}

void StandIn::ResetEveryOtherAfterHandshake(Channel channel, bool reset) {
  impl_->resetOdd[Index(channel)] = reset;
}

void StandIn::StopReading(Channel channel, bool stop) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->stalled[Index(channel)] = stop;
  for (auto& connection : impl_->connections) {
    if (connection->channel == channel && !connection->closed) connection->wakeup.Signal();
  }
}

void StandIn::DropConnections(Channel channel) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (auto& connection : impl_->connections) {
    if (connection->channel != channel || connection->closed) continue;
    connection->stop = true;
    platform::ShutdownSocket(connection->fd);
    connection->wakeup.Signal();
  }
}

void StandIn::ResetConnections(Channel channel) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (auto& connection : impl_->connections) {
    if (connection->channel != channel || connection->closed) continue;
    // Closed by its own thread, with an abort instead of an orderly close.
    const linger abort{1, 0};
    ::setsockopt(connection->fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    connection->stop = true;
    connection->wakeup.Signal();
  }
}

void StandIn::SendFrame(Channel channel, const Frame& frame) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (auto& connection : impl_->connections) {
    if (connection->channel != channel || connection->closed || connection->stop) continue;
    impl_->Queue(*connection, frame);
  }
}

bool StandIn::SendPush(Channel channel, uint32_t type, const Json::Value& values) {
  const std::optional<Frame> frame = EncodePush(type, values);
  if (!frame) return false;
  SendFrame(channel, *frame);
  return true;
}

bool StandIn::SetPrice(uint8_t market, const std::string& code, double price) {
  std::lock_guard<std::mutex> hold(impl_->book.lock);
  const Outcome outcome = impl_->book.book.SetPrice(market, code, price);
  if (outcome.error != kNoError) return false;
  std::vector<Push> pushes = PushesFor(impl_->book.book, outcome.changes);
  impl_->Deliver(pushes);
  return true;
}

void StandIn::Walk(uint32_t draw) {
  std::lock_guard<std::mutex> hold(impl_->book.lock);
  const Outcome outcome = impl_->book.book.Walk(draw);
  std::vector<Push> pushes = PushesFor(impl_->book.book, outcome.changes);
  impl_->Deliver(pushes);
}

Observed StandIn::Snapshot() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->observed;
}

bool StandIn::WaitFor(const Condition& condition, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return condition(impl_->observed); });
}

}  // namespace tessel::standin
