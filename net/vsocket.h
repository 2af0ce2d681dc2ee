// VSocket: owner of one TCP socket handle with connect-with-time-out.
//
// Threads: the channel thread that owns the socket creates, connects and
// closes it; the same channel's send thread polls it (isAlive); host threads
// only call shutdownLink(), which wakes every waiter without closing the
// handle, so a descriptor number is never reused under a running reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/sockets.h"

namespace tessel {

class VSocket {
 public:
  explicit VSocket(platform::AddressFamily family = platform::AddressFamily::IPv4,
                   platform::NativeSocket handle = platform::kInvalidSocket);
  virtual ~VSocket();
  VSocket(const VSocket&) = delete;
  VSocket& operator=(const VSocket&) = delete;

  // Closes any open handle and opens a new stream socket with SO_REUSEADDR
  // and TCP_NODELAY. Clears an earlier shutdownLink().
  bool create();
  // Connects to a numeric host (or "localhost") within timeoutSeconds,
  // whatever the blocking mode; gives up early after shutdownLink().
  bool connect(const char* host, uint32_t port, uint32_t timeoutSeconds);
  // mode 0 read, 1 write, 2 either; true when ready without a socket error.
  bool wait(uint32_t timeoutSeconds, int mode);
  // False once the link is closed, shut down or failed; a socket that is
  // merely not writable right now (full send buffer) is still alive.
  bool isAlive();
  bool close();
  bool setBlocking(bool blocking);
  bool isBlocking() const { return blocking_.load(); }
  std::string peerAddress(int& port) const;
  std::string localAddress(int& port) const;
  platform::NativeSocket handle() const { return handle_.load(); }

  // Any thread: ends both directions so blocked reads, writes, connects and
  // handshakes return; the owner still closes the handle.
  void shutdownLink();
  bool isShutDown() const { return shutDown_.load(); }

  // Process-wide count of sockets-library users (for tests).
  static int LibraryUsers();

 private:
  platform::AddressFamily family_;
  std::atomic<platform::NativeSocket> handle_;
  std::atomic<bool> blocking_{false};
  std::atomic<bool> shutDown_{false};
  std::mutex handleLock_;  // orders create/close against shutdownLink
};

}  // namespace tessel
