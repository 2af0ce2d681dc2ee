#include "net/vsocket.h"

#include <algorithm>
#include <chrono>

namespace tessel {
namespace {

std::atomic<int> gLibraryUsers{0};

// Waits are cut into slices so that shutdownLink() ends them promptly even
// where the platform does not wake a poll on a socket that is connecting.
constexpr int kWaitSliceMs = 50;

}  // namespace

VSocket::VSocket(platform::AddressFamily family, platform::NativeSocket handle)
    : family_(family), handle_(handle) {
  if (gLibraryUsers.load() == 0) platform::StartSocketLibrary();
  ++gLibraryUsers;
  blocking_ = setBlocking(true);
}

VSocket::~VSocket() {
  close();
  if (--gLibraryUsers == 0) platform::StopSocketLibrary();
}

int VSocket::LibraryUsers() { return gLibraryUsers.load(); }

bool VSocket::create() {
  close();
  const platform::NativeSocket s = platform::OpenStreamSocket(family_);
  if (s == platform::kInvalidSocket) return false;
  {
    std::lock_guard<std::mutex> hold(handleLock_);
    handle_ = s;
    shutDown_ = false;
    blocking_ = true;  // what a new socket is, whatever an earlier one was
  }
  return platform::EnableReuseAddress(s) && platform::EnableNoDelay(s);
}

bool VSocket::connect(const char* host, uint32_t port, uint32_t timeoutSeconds) {
  const platform::NativeSocket s = handle_.load();
  if (s == platform::kInvalidSocket) return false;
  const auto address = platform::BuildAddress(family_, host, static_cast<uint16_t>(port));
  if (!address) return false;
  // Always connect non-blocking so the caller's time-out bounds every attempt.
  const bool wasBlocking = blocking_.load();
  if (wasBlocking && !setBlocking(false)) return false;
  bool connected = false;
  switch (platform::StartConnect(s, *address)) {
    case platform::ConnectStart::Connected: connected = true; break;
    case platform::ConnectStart::Pending: connected = wait(timeoutSeconds, 1); break;
    case platform::ConnectStart::Failed: connected = false; break;
  }
  if (wasBlocking) setBlocking(true);
  return connected;
}

bool VSocket::wait(uint32_t timeoutSeconds, int mode) {
  const platform::NativeSocket s = handle_.load();
  if (s == platform::kInvalidSocket || mode < 0 || mode > 2) return false;
  const bool wantRead = mode == 0 || mode == 2;
  const bool wantWrite = mode == 1 || mode == 2;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    if (shutDown_.load()) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int slice = static_cast<int>(std::clamp<int64_t>(left.count(), 0, kWaitSliceMs));
    const unsigned ready = platform::Poll(s, wantRead, wantWrite, slice);
    if (ready != 0) return !shutDown_.load() && platform::PendingSocketError(s) == 0;
    if (left.count() <= kWaitSliceMs) return false;  // this slice reached the deadline
  }
}

bool VSocket::isAlive() {
  const platform::NativeSocket s = handle_.load();
  if (s == platform::kInvalidSocket || shutDown_.load()) return false;
  const unsigned ready = platform::Poll(s, true, true, 0);
  if ((ready & platform::kPollError) != 0) return false;
  return ready == 0 || platform::PendingSocketError(s) == 0;
}

bool VSocket::close() {
  std::lock_guard<std::mutex> hold(handleLock_);
  const platform::NativeSocket s = handle_.exchange(platform::kInvalidSocket);
  if (s != platform::kInvalidSocket) {
    platform::ShutdownSocket(s);
    platform::CloseSocket(s);
    blocking_ = true;
  }
  return true;
}

bool VSocket::setBlocking(bool blocking) {
  const platform::NativeSocket s = handle_.load();
  if (s == platform::kInvalidSocket) return false;
  if (!platform::SetNonBlocking(s, !blocking)) return false;
  blocking_ = blocking;
  return true;
}

std::string VSocket::peerAddress(int& port) const {
  std::string address;
  int found = 0;
  if (!platform::PeerName(handle_.load(), address, found)) return {};
  port = found;
  return address;
}

std::string VSocket::localAddress(int& port) const {
  std::string address;
  int found = 0;
  if (!platform::LocalName(handle_.load(), address, found)) return {};
  port = found;
  return address;
}

void VSocket::shutdownLink() {
  std::lock_guard<std::mutex> hold(handleLock_);
  shutDown_ = true;
  const platform::NativeSocket s = handle_.load();
  if (s != platform::kInvalidSocket) platform::ShutdownSocket(s);
}

}  // namespace tessel
