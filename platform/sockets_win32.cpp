#include "platform/sockets.h"

#include "platform/socket_address.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

namespace tessel::platform {
namespace {

SOCKET Native(NativeSocket s) { return static_cast<SOCKET>(s); }

int NativeFamily(AddressFamily family) {
  return family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
}

bool NameOf(NativeSocket s, bool peer, std::string& address, int& port) {
  sockaddr_storage storage{};
  int length = sizeof storage;
  auto* raw = reinterpret_cast<sockaddr*>(&storage);
  const int rc = peer ? ::getpeername(Native(s), raw, &length)
                      : ::getsockname(Native(s), raw, &length);
  if (rc != 0) return false;
  return DescribeAddress(storage, address, port);
}

bool SetFlag(NativeSocket s, int level, int name) {
  const BOOL on = TRUE;
  return ::setsockopt(Native(s), level, name, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

}  // namespace

void StartSocketLibrary() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 0), &data);
}

void StopSocketLibrary() { ::WSACleanup(); }

// Winsock raises no signal on a peer-closed socket: nothing to shield.
void ShieldThreadFromBrokenPipe() {}

NativeSocket OpenStreamSocket(AddressFamily family) {
  const SOCKET s = ::socket(NativeFamily(family), SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  // Kept from processes the host starts, like SOCK_CLOEXEC on POSIX.
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<NativeSocket>(s);
}

bool EnableReuseAddress(NativeSocket s) { return SetFlag(s, SOL_SOCKET, SO_REUSEADDR); }

bool EnableNoDelay(NativeSocket s) { return SetFlag(s, IPPROTO_TCP, TCP_NODELAY); }

bool SetNonBlocking(NativeSocket s, bool nonBlocking) {
  u_long mode = nonBlocking ? 1 : 0;
  return ::ioctlsocket(Native(s), FIONBIO, &mode) == 0;
}

ConnectStart StartConnect(NativeSocket s, const SocketAddress& address) {
  const int rc = ::connect(Native(s), reinterpret_cast<const sockaddr*>(address.bytes),
                           static_cast<int>(address.length));
  if (rc == 0) return ConnectStart::Connected;
  const int error = ::WSAGetLastError();
  return (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR)
             ? ConnectStart::Pending
             : ConnectStart::Failed;
}

unsigned Poll(NativeSocket s, bool wantRead, bool wantWrite, int timeoutMs) {
  fd_set readSet;
  fd_set writeSet;
  fd_set errorSet;
  FD_ZERO(&readSet);
  FD_ZERO(&writeSet);
  FD_ZERO(&errorSet);
  if (wantRead) FD_SET(Native(s), &readSet);
  if (wantWrite) FD_SET(Native(s), &writeSet);
  // A failed non-blocking connect shows only in the exception set on
  // Windows; watching it reports the failure as POSIX poll does (an error)
  // instead of running into the time-out.
  FD_SET(Native(s), &errorSet);
  timeval timeout{};
  timeout.tv_sec = timeoutMs / 1000;
  timeout.tv_usec = (timeoutMs % 1000) * 1000;
  // The first argument is ignored by Winsock.
  const int rc = ::select(0, &readSet, &writeSet, &errorSet, &timeout);
  if (rc == SOCKET_ERROR) return kPollError;
  if (rc == 0) return 0;
  unsigned bits = 0;
  if (FD_ISSET(Native(s), &readSet)) bits |= kPollReadable;
  if (FD_ISSET(Native(s), &writeSet)) bits |= kPollWritable;
  if (FD_ISSET(Native(s), &errorSet)) bits |= kPollError;
  return bits;
}

int PendingSocketError(NativeSocket s) {
  int value = -1;
  int length = sizeof value;
  if (::getsockopt(Native(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&value), &length) !=
      0) {
    return -1;
  }
  return value;
}

bool PeerName(NativeSocket s, std::string& address, int& port) {
  return NameOf(s, true, address, port);
}

bool LocalName(NativeSocket s, std::string& address, int& port) {
  return NameOf(s, false, address, port);
}

void ShutdownSocket(NativeSocket s) { ::shutdown(Native(s), SD_BOTH); }

// Not relied on to wake a select() on the socket from another thread.
const int kShutdownCheckMs = 100;

void CloseSocket(NativeSocket s) { ::closesocket(Native(s)); }

int LastSocketError() { return ::WSAGetLastError(); }

NativeSocket ListenLoopback(uint16_t& port) {
  // Tools and tests listen before any socket wrapper exists; the library
  // stays started for them (WSAStartup counts its own users).
  StartSocketLibrary();
  const NativeSocket s = OpenStreamSocket(AddressFamily::IPv4);
  if (s == kInvalidSocket) return s;
  // SO_EXCLUSIVEADDRUSE, not SO_REUSEADDR: on Windows the latter would let
  // another socket bind the same port.
  SetFlag(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE);
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  v4.sin_port = htons(port);
  int length = sizeof v4;
  if (::bind(Native(s), reinterpret_cast<sockaddr*>(&v4), sizeof v4) != 0 ||
      ::listen(Native(s), 16) != 0 ||
      ::getsockname(Native(s), reinterpret_cast<sockaddr*>(&v4), &length) != 0) {
    ::closesocket(Native(s));
    return kInvalidSocket;
  }
  port = ntohs(v4.sin_port);
  return s;
}

NativeSocket AcceptConnection(NativeSocket listener) {
  const SOCKET s = ::accept(Native(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<NativeSocket>(s);
}

}  // namespace tessel::platform
