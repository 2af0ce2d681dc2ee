// Everything the plug-in hands the host, recorded for the tests that load
// it (the Linux end-to-end tests and the Windows host test).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "test_support.h"

namespace tessel::testing {

struct HostEvent {
  bool isAnswer = false;  // request callback (true) or hostNotify (false)
  std::string text;
  uint64_t context = 0;
  std::chrono::steady_clock::time_point at{};  // when it reached the host
};

// Everything the plug-in hands the host, in arrival order.
class HostRecorder {
 public:
  static HostRecorder& Instance() {
    static HostRecorder recorder;
    return recorder;
  }
  static void Notify(const char* text, int32_t length) {
    Instance().Add({false, std::string(text, static_cast<size_t>(length)), 0});
  }
  static void Answer(const char* text, int32_t length, uint64_t context) {
    Instance().Add({true, std::string(text, static_cast<size_t>(length)), context});
  }

  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    events_.clear();
  }
  std::vector<HostEvent> Events() const {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }
  // Waits until `predicate` holds over the events; false after `timeout`.
  bool WaitFor(const std::function<bool(const std::vector<HostEvent>&)>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, timeout, [&] { return predicate(events_); });
  }
  bool WaitForAnswers(uint64_t context, size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return WaitFor([&](const std::vector<HostEvent>& events) { return Answers(events, context) >= count; },
                   timeout);
  }
  static size_t Answers(const std::vector<HostEvent>& events, uint64_t context) {
    size_t n = 0;
    for (const HostEvent& e : events) n += e.isAnswer && e.context == context;
    return n;
  }
  std::vector<HostEvent> AnswersFor(uint64_t context) const {
    std::vector<HostEvent> out;
    for (const HostEvent& e : Events()) {
      if (e.isAnswer && e.context == context) out.push_back(e);
    }
    return out;
  }
  // Reports whose "connection_status" is `status` (and, when given, whose
  // "trade_type" is `tradeType`).
  static size_t ConnectionReports(const std::vector<HostEvent>& events, int status,
                                  int tradeType = -1) {
    size_t n = 0;
    for (const HostEvent& e : events) {
      if (e.isAnswer) continue;
      const Json::Value report = ParseJson(e.text);
      n += report["connection_status"].asInt() == status &&
           (tradeType < 0 || report["trade_type"].asInt() == tradeType);
    }
    return n;
  }

 private:
  void Add(HostEvent event) {
    event.at = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::mutex> hold(lock_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<HostEvent> events_;
};

}  // namespace tessel::testing
