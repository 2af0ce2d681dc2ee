#include "platform/sockets.h"

#include "platform/socket_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fcntl.h>

namespace tessel::platform {
namespace {

int NativeFamily(AddressFamily family) {
  return family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
}

bool NameOf(NativeSocket s, bool peer, std::string& address, int& port) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  auto* raw = reinterpret_cast<sockaddr*>(&storage);
  const int rc = peer ? ::getpeername(s, raw, &length) : ::getsockname(s, raw, &length);
  if (rc != 0) return false;
  return DescribeAddress(storage, address, port);
}

}  // namespace

void StartSocketLibrary() {}
void StopSocketLibrary() {}

void ShieldThreadFromBrokenPipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

NativeSocket OpenStreamSocket(AddressFamily family) {
  const int s = ::socket(NativeFamily(family), SOCK_STREAM | SOCK_CLOEXEC, 0);
  return s < 0 ? kInvalidSocket : s;
}

bool EnableReuseAddress(NativeSocket s) {
  const int on = 1;
  return ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool EnableNoDelay(NativeSocket s) {
  const int on = 1;
  return ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool SetNonBlocking(NativeSocket s, bool nonBlocking) {
  const int flags = ::fcntl(s, F_GETFL, 0);
  if (flags < 0) return false;
  const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(s, F_SETFL, wanted) == 0;
}

ConnectStart StartConnect(NativeSocket s, const SocketAddress& address) {
  const int rc = ::connect(s, reinterpret_cast<const sockaddr*>(address.bytes),
                           static_cast<socklen_t>(address.length));
  if (rc == 0) return ConnectStart::Connected;
  return (errno == EINPROGRESS || errno == EINTR) ? ConnectStart::Pending
                                                  : ConnectStart::Failed;
}

unsigned Poll(NativeSocket s, bool wantRead, bool wantWrite, int timeoutMs) {
  pollfd entry{};
  entry.fd = s;
  entry.events = static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
  const int rc = ::poll(&entry, 1, timeoutMs);
  if (rc < 0) return errno == EINTR ? 0u : static_cast<unsigned>(kPollError);
  if (rc == 0) return 0;
  unsigned bits = 0;
  if ((entry.revents & POLLIN) != 0) bits |= kPollReadable;
  if ((entry.revents & POLLOUT) != 0) bits |= kPollWritable;
  if ((entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) bits |= kPollError;
  return bits;
}

int PendingSocketError(NativeSocket s) {
  int value = -1;
  socklen_t length = sizeof value;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &value, &length) != 0) return -1;
  return value;
}

bool PeerName(NativeSocket s, std::string& address, int& port) {
  return NameOf(s, true, address, port);
}

bool LocalName(NativeSocket s, std::string& address, int& port) {
  return NameOf(s, false, address, port);
}

void ShutdownSocket(NativeSocket s) { ::shutdown(s, SHUT_RDWR); }

// shutdown() wakes every poll on the socket with POLLHUP.
const int kShutdownCheckMs = 10000;

void CloseSocket(NativeSocket s) { ::close(s); }

int LastSocketError() { return errno; }

NativeSocket ListenLoopback(uint16_t& port) {
  const NativeSocket s = OpenStreamSocket(AddressFamily::IPv4);
  if (s == kInvalidSocket) return s;
  EnableReuseAddress(s);
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  v4.sin_port = htons(port);
  socklen_t length = sizeof v4;
  if (::bind(s, reinterpret_cast<sockaddr*>(&v4), sizeof v4) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&v4), &length) != 0) {
    ::close(s);
    return kInvalidSocket;
  }
  port = ntohs(v4.sin_port);
  return s;
}

NativeSocket AcceptConnection(NativeSocket listener) {
  const int s = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  return s < 0 ? kInvalidSocket : s;
}

}  // namespace tessel::platform
