// Native TCP socket calls. The socket wrapper (net/vsocket.h) is the only
// user; a Windows build supplies sockets_win32.cpp with the same functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tessel::platform {

#ifdef _WIN32
// A Winsock SOCKET (UINT_PTR); INVALID_SOCKET has all bits set.
using NativeSocket = uintptr_t;
constexpr NativeSocket kInvalidSocket = ~static_cast<uintptr_t>(0);
#else
using NativeSocket = int;
constexpr NativeSocket kInvalidSocket = -1;
#endif

// Address family numbers as the configuration and callers know them.
enum class AddressFamily : uint16_t { IPv4 = 2, IPv6 = 23 };

// An address ready for connect; opaque outside the platform layer.
struct SocketAddress {
  alignas(8) unsigned char bytes[128] = {};
  uint32_t length = 0;
};

// Builds the address of a numeric host (or "", "*", "localhost") and port.
// Host names are never resolved.
std::optional<SocketAddress> BuildAddress(AddressFamily family, const char* host,
                                          uint16_t port);

// Start and stop the sockets library (a no-op where there is none to start).
void StartSocketLibrary();
void StopSocketLibrary();

// Keeps writes on a peer-closed socket from killing the process: the write
// fails instead. Called at the start of every thread that does socket I/O.
void ShieldThreadFromBrokenPipe();

NativeSocket OpenStreamSocket(AddressFamily family);
bool EnableReuseAddress(NativeSocket s);
bool EnableNoDelay(NativeSocket s);
bool SetNonBlocking(NativeSocket s, bool nonBlocking);

enum class ConnectStart { Connected, Pending, Failed };
ConnectStart StartConnect(NativeSocket s, const SocketAddress& address);

// Readiness bits returned by Poll.
enum PollBits : unsigned {
  kPollReadable = 1,
  kPollWritable = 2,
  kPollError = 4,   // error, hang-up or invalid descriptor
};

// Waits up to timeoutMs (0: just look) for the wanted readiness. Returns the
// PollBits seen, 0 on time-out, or kPollError when the poll itself failed.
unsigned Poll(NativeSocket s, bool wantRead, bool wantWrite, int timeoutMs);

// The socket's pending error (SO_ERROR); -1 when it cannot be read.
int PendingSocketError(NativeSocket s);

// Numeric address text and port of the peer or the local end.
bool PeerName(NativeSocket s, std::string& address, int& port);
bool LocalName(NativeSocket s, std::string& address, int& port);

// Ends both directions: a blocked or later read sees end-of-stream.
void ShutdownSocket(NativeSocket s);
// How long a wait on a connected socket may run before it looks at a
// shut-down flag again: long where ShutdownSocket from another thread wakes
// a Poll on the socket at once, short where that is not certain.
extern const int kShutdownCheckMs;
void CloseSocket(NativeSocket s);

// Error number of the calling thread's last failed socket call.
int LastSocketError();

// Listening socket on a loopback port (0: any free port), for tools and
// tests that play the server. Returns the bound port through `port`.
NativeSocket ListenLoopback(uint16_t& port);
NativeSocket AcceptConnection(NativeSocket listener);

}  // namespace tessel::platform
