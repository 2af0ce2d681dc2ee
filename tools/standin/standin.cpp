#include "tools/standin/standin.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <list>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "net/wire.h"
#include "platform/sockets.h"
#include "tools/standin/answers.h"
#include "tools/standin/control.h"
#include "tools/standin/error_answers.h"
#include "tools/standin/tls_identity.h"
#include "tools/standin/trace.h"
#include "tools/standin/wakeup.h"

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
using Clock = std::chrono::steady_clock;

constexpr int kChannels = 2;
constexpr Channel kAllChannels[kChannels] = {Channel::Main, Channel::Push};
constexpr size_t kReadChunk = 16 * 1024;
constexpr size_t kReadBudget = 64 * 1024;  // per turn of a connection's loop

int Index(Channel channel) { return static_cast<int>(channel); }

// Milliseconds from `now` to `then`, rounded up, as poll takes them.
int MillisUntil(Clock::time_point then, Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(then - now).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

// The end of a fault that holds for `duration` from now; a past one for zero.
Clock::time_point EndAfter(std::chrono::milliseconds duration) {
  return duration.count() > 0 ? Clock::now() + duration : Clock::time_point::min();
}
// The end of a fault switched on for good, or off.
Clock::time_point EndOf(bool holds) {
  return holds ? Clock::time_point::max() : Clock::time_point::min();
}

// When a fault that lasts a while ends: it holds before that moment. It
// starts ended.
class Deadline {
 public:
  void Set(Clock::time_point end) { end_ = end.time_since_epoch().count(); }
  bool Holds(Clock::time_point now) const { return now.time_since_epoch().count() < end_; }
  // For poll: the milliseconds left, or -1 while it holds for good.
  int MillisLeft(Clock::time_point now) const {
    const Clock::time_point end{Clock::duration(end_.load())};
    return end == Clock::time_point::max() ? -1 : MillisUntil(end, now);
  }

 private:
  std::atomic<Clock::rep> end_{Clock::time_point::min().time_since_epoch().count()};
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

// What a connection's thread has yet to write: bytes due now, and answers a
// delay holds back, in the order they were made.
struct Outgoing {
  std::vector<uint8_t> bytes;
  size_t written = 0;
  std::deque<std::pair<Clock::time_point, Frame>> held;
};

}  // namespace

struct StandIn::Impl {
  explicit Impl(Options o)
      : options(std::move(o)), tracer(options.trace, options.traceFile) {
    credentials.Set(options.password);
  }
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
  bool TakeFrames(Connection& connection, std::vector<uint8_t>& in, Outgoing& out,
                  AnswerContext& context);
  std::optional<Frame> FaultFor(const Connection& connection, const ReceivedFrame& frame,
                                const std::string& user);
  void Answer(const Connection& connection, Frame answer, Outgoing& out);
  void Release(const Connection& connection, Outgoing& out, Clock::time_point now);
  void Emit(const Connection& connection, const Frame& frame, Outgoing& out);
  void TakeInjected(Connection& connection, Outgoing& out);
  void SetStall(Channel channel, Clock::time_point end);
  void Record(Channel channel, std::vector<ReceivedFrame>& frames);
  void NoteUser(Connection& connection, const std::string& user);
  void Deliver(std::vector<Push>& pushes);
  void Queue(Connection& connection, const Frame& frame);

  const Options options;
  Tracer tracer;
  Credentials credentials;
  SharedBook book;
  Deadline silent[kChannels];
  std::atomic<bool> refuse[kChannels]{false, false};
  std::atomic<bool> resetOdd[kChannels]{false, false};
  Deadline stalled[kChannels];  // set under `mutex`
  std::atomic<int64_t> answerDelayMillis{0};

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
  // Error replies asked for, by channel and message type, oldest first.
  std::map<std::pair<int, uint32_t>, std::deque<ErrorReply>> failures;
  std::optional<ErrorReply> loginRefusal;
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
  Outgoing out;
  std::string lastUser;
  AnswerContext answerContext{credentials, lastUser, book,
                              [this](std::vector<Push>& pushes) { Deliver(pushes); }};
  bool secured = false;
  uint8_t chunk[kReadChunk];

  while (!connection.stop) {
    const Deadline& stall = stalled[Index(connection.channel)];
    if (Clock::time_point now = Clock::now(); stall.Holds(now)) {
      // A hung server: nothing is read or written, so the client's writes
      // fill the socket buffers and then make no progress.
      pollfd wake{connection.wakeup.Fd(), POLLIN, 0};
      if (::poll(&wake, 1, stall.MillisLeft(now)) < 0 && errno != EINTR) return;
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
      Release(connection, out, Clock::now());
      while (out.written < out.bytes.size()) {
        ERR_clear_error();
        const size_t left = std::min<size_t>(out.bytes.size() - out.written, INT_MAX);
        const int n = SSL_write(ssl, out.bytes.data() + out.written, static_cast<int>(left));
        if (n <= 0) {
          if (!MayRetry(ssl, n, wantWrite)) return;
          break;
        }
        out.written += static_cast<size_t>(n);
      }
      if (out.written == out.bytes.size()) {
        out.bytes.clear();
        out.written = 0;
      }
    }
    pollfd waits[2] = {
        {connection.fd, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
        {connection.wakeup.Fd(), POLLIN, 0},
    };
    const int wait = moreToRead        ? 0
                     : out.held.empty() ? -1
                                        : MillisUntil(out.held.front().first, Clock::now());
    if (::poll(waits, 2, wait) < 0 && errno != EINTR) return;
    if ((waits[1].revents & POLLIN) != 0) connection.wakeup.Drain();
  }
}

// Cuts the complete frames off the front of `in`, records them and appends
// their answers to `out`. False when a header announces an oversized body
// (the stream cannot be trusted past it) or the connection is to stop.
bool StandIn::Impl::TakeFrames(Connection& connection, std::vector<uint8_t>& in, Outgoing& out,
                               AnswerContext& answerContext) {
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
      tracer.Note(connection.channel, connection.ordinal,
                  "header announces " + std::to_string(bodyLength) + " body bytes, closing");
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
    frame.arrival = Clock::now();
    tracer.Received(connection.channel, connection.ordinal, frame);
    // A silent server acts on nothing, so a silent ModifyPwd changes nothing;
    // nor does a request failed on purpose.
    if (!silent[channel].Holds(frame.arrival)) {
      std::optional<Frame> answer = FaultFor(connection, frame, answerContext.lastUser);
      if (!answer) {
        answer = AnswerFor(frame, answerContext);
        NoteUser(connection, answerContext.lastUser);
      }
      if (answer) Answer(connection, std::move(*answer), out);
    }
    received.push_back(std::move(frame));
  }
  // Recorded before the caller writes their answers, so a test holding an
  // answer always finds its request in the log.
  Record(connection.channel, received);
  in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(at));
  return healthy;
}

std::optional<Frame> StandIn::Impl::FaultFor(const Connection& connection,
                                             const ReceivedFrame& frame, const std::string& user) {
  std::optional<ErrorReply> reply;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const auto queued = failures.find({Index(connection.channel), frame.messageType});
    if (queued != failures.end()) {
      reply = std::move(queued->second.front());
      queued->second.pop_front();
      if (queued->second.empty()) failures.erase(queued);
    } else if (frame.messageType == kLoginType) {
      reply = loginRefusal;
    }
  }
  if (!reply) return std::nullopt;
  return ErrorAnswer(frame, user, *reply);
}

// Written at once, unless a delay holds it or answers held before it.
void StandIn::Impl::Answer(const Connection& connection, Frame answer, Outgoing& out) {
  const std::chrono::milliseconds delay(answerDelayMillis.load());
  if (delay.count() == 0 && out.held.empty()) {
    Emit(connection, answer, out);
    return;
  }
  Clock::time_point due = Clock::now() + delay;
  if (!out.held.empty()) due = std::max(due, out.held.back().first);
  out.held.emplace_back(due, std::move(answer));
}

void StandIn::Impl::Release(const Connection& connection, Outgoing& out, Clock::time_point now) {
  while (!out.held.empty() && out.held.front().first <= now) {
    Emit(connection, out.held.front().second, out);
    out.held.pop_front();
  }
}

void StandIn::Impl::Emit(const Connection& connection, const Frame& frame, Outgoing& out) {
  tracer.Sent(connection.channel, connection.ordinal, frame.data(), frame.size());
  out.bytes.insert(out.bytes.end(), frame.begin(), frame.end());
}

void StandIn::Impl::TakeInjected(Connection& connection, Outgoing& out) {
  Frame injected;
  {
    std::lock_guard<std::mutex> lock(mutex);
    // Set under this lock: what was injected after a stall began waits for its end.
    if (stalled[Index(connection.channel)].Holds(Clock::now())) return;
    injected.swap(connection.outbox);
  }
  if (!injected.empty()) Emit(connection, injected, out);
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

void StandIn::SetSilent(Channel channel, bool silent) {
  impl_->silent[Index(channel)].Set(EndOf(silent));
}

void StandIn::SilentFor(Channel channel, std::chrono::milliseconds duration) {
  impl_->silent[Index(channel)].Set(EndAfter(duration));
}

void StandIn::RefuseConnections(Channel channel, bool refuse) {
  impl_->refuse[Index(channel)] = refuse;
}

void StandIn::ResetEveryOtherAfterHandshake(Channel channel, bool reset) {
  impl_->resetOdd[Index(channel)] = reset;
}

void StandIn::Impl::SetStall(Channel channel, Clock::time_point end) {
  std::lock_guard<std::mutex> lock(mutex);
  stalled[Index(channel)].Set(end);
  for (auto& connection : connections) {
    if (connection->channel == channel && !connection->closed) connection->wakeup.Signal();
  }
}

void StandIn::StopReading(Channel channel, bool stop) {
  impl_->SetStall(channel, EndOf(stop));
}

void StandIn::StopReadingFor(Channel channel, std::chrono::milliseconds duration) {
  impl_->SetStall(channel, EndAfter(duration));
}

void StandIn::DelayAnswers(std::chrono::milliseconds delay) {
  impl_->answerDelayMillis = delay.count();
}

bool StandIn::FailNext(Channel channel, uint32_t messageType, ErrorReply reply) {
  if (AnswerLayoutOf(messageType) == nullptr) return false;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->failures[{Index(channel), messageType}].push_back(std::move(reply));
  return true;
}

void StandIn::RefuseLogins(std::optional<ErrorReply> reply) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->loginRefusal = std::move(reply);
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

std::string StandIn::Control(const std::string& line) { return RunControl(*this, line); }

Observed StandIn::Snapshot() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->observed;
}

bool StandIn::WaitFor(const Condition& condition, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return condition(impl_->observed); });
}

}  // namespace tessel::standin
