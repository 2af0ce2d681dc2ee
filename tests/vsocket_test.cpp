#include "net/vsocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/sockets.h"

namespace tessel {
namespace {

struct Listener {
  Listener() { handle = platform::ListenLoopback(port); }
  ~Listener() { platform::CloseSocket(handle); }
  platform::NativeSocket handle;
  uint16_t port = 0;
};

TEST(VSocket, ConnectsToLocalhostWithoutResolution) {
  Listener listener;
  ASSERT_NE(listener.handle, platform::kInvalidSocket);
  VSocket socket;
  EXPECT_FALSE(socket.isAlive());
  for (const char* host : {"localhost", "LocalHost", "127.0.0.1"}) {
    ASSERT_TRUE(socket.create());
    EXPECT_TRUE(socket.connect(host, listener.port, 5)) << host;
    int port = 0;
    EXPECT_EQ(socket.peerAddress(port), "127.0.0.1");
    EXPECT_EQ(port, listener.port);
    EXPECT_TRUE(socket.isAlive());
    socket.close();
  }
  ASSERT_TRUE(socket.create());
  EXPECT_FALSE(socket.connect("example.invalid", listener.port, 5));  // never resolved
}

TEST(VSocket, RefusedConnectFails) {
  uint16_t port = 0;
  {
    Listener closed;
    port = closed.port;
  }
  VSocket socket;
  ASSERT_TRUE(socket.create());
  EXPECT_FALSE(socket.connect("127.0.0.1", port, 5));
}

TEST(VSocket, CloseIsIdempotentAndKeepsBlockingOfNeverOpened) {
  VSocket socket;
  EXPECT_FALSE(socket.isBlocking());
  EXPECT_TRUE(socket.close());
  EXPECT_FALSE(socket.isBlocking());
  ASSERT_TRUE(socket.create());
  EXPECT_TRUE(socket.close());
  EXPECT_TRUE(socket.close());
  EXPECT_TRUE(socket.isBlocking());
  EXPECT_FALSE(socket.isAlive());
  EXPECT_FALSE(socket.wait(0, 0));
}

// A listener that never accepts, with its backlog filled, leaves further
// connects hanging in the handshake: only the time-out can end them.
class StalledListener {
 public:
  StalledListener() {
    handle_ = platform::ListenLoopback(port_);
    // Fill the backlog until a connect no longer completes.
    while (fillers_.size() < 256) {
      fillers_.push_back(std::make_unique<VSocket>());
      fillers_.back()->create();
      if (!fillers_.back()->connect("127.0.0.1", port_, 1)) break;
    }
  }
  ~StalledListener() { platform::CloseSocket(handle_); }
  uint16_t port() const { return port_; }

 private:
  platform::NativeSocket handle_;
  uint16_t port_ = 0;
  std::vector<std::unique_ptr<VSocket>> fillers_;
};

TEST(VSocket, FirstConnectIsBoundedByTheTimeOut) {
  StalledListener stalled;
  VSocket socket;  // fresh: the first connect must not block without bound
  ASSERT_TRUE(socket.create());
  EXPECT_FALSE(socket.connect("127.0.0.1", stalled.port(), 1));
}

TEST(VSocket, ShutdownLinkCutsAConnectShort) {
  StalledListener stalled;
  VSocket socket;
  ASSERT_TRUE(socket.create());
  std::thread interrupter([&socket] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    socket.shutdownLink();
  });
  EXPECT_FALSE(socket.connect("127.0.0.1", stalled.port(), 600));  // returns long before
  interrupter.join();
  EXPECT_FALSE(socket.isAlive());
  ASSERT_TRUE(socket.create());  // a new socket clears the shutdown
  EXPECT_FALSE(socket.isShutDown());
}

TEST(VSocket, LibraryUseIsCounted) {
  const int before = VSocket::LibraryUsers();
  {
    VSocket a;
    VSocket b;
    EXPECT_EQ(VSocket::LibraryUsers(), before + 2);
  }
  EXPECT_EQ(VSocket::LibraryUsers(), before);
}

}  // namespace
}  // namespace tessel
