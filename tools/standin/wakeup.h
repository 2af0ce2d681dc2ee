// A descriptor that poll sees readable from Signal until Drain, so a thread
// blocked in poll can be woken from another thread.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tessel::standin {

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

}  // namespace tessel::standin
