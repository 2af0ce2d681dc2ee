// End-to-end harness: the trade-server stand-in on loopback, the
// configuration and certificate beside the test executable (where the
// library looks for them), and a recorder for everything the host is told.
#pragma once

#include <gtest/gtest.h>
#include <json/reader.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/system.h"
#include "support/server_config.h"
#include "test_support.h"
#include "tools/standin/standin.h"

namespace tessel::testing {

using standin::Channel;

struct HostEvent {
  bool isAnswer = false;  // request callback (true) or hostNotify (false)
  std::string text;
  uint64_t context = 0;
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
  // Notifications whose JSON has key == value (as text).
  size_t CountNotices(const std::string& key, const std::string& value) const {
    size_t n = 0;
    for (const HostEvent& e : Events()) {
      if (!e.isAnswer && ParseJson(e.text)[key].asString() == value) ++n;
    }
    return n;
  }

 private:
  void Add(HostEvent event) {
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

// A running stand-in and a configuration that points at it.
class StandInHarness {
 public:
  explicit StandInHarness(const std::string& password = "secret") {
    standin::Options options;
    options.certPath = ModuleDirectory() + "/ca.pem";
    options.password = password;
    server_ = std::make_unique<standin::StandIn>(options);
  }

  bool Start() {
    if (!server_->Start()) return false;
    WriteConfig(server_->MainPort(), server_->PushPort());
    return true;
  }

  static void WriteConfig(uint16_t mainPort, uint16_t pushPort) {
    platform::EnsureDirectory(ModuleDirectory() + "/config");
    WriteFile(ModuleDirectory() + "/config/system.xml",
              "<Root><TesselServer><Server name=\"stand-in\" address=\"127.0.0.1\" port=\"" +
                  std::to_string(mainPort) + "\" pushaddress=\"127.0.0.1\" pushport=\"" +
                  std::to_string(pushPort) + "\" real=\"1\"/></TesselServer></Root>");
  }

  standin::StandIn& server() { return *server_; }

 private:
  std::unique_ptr<standin::StandIn> server_;
};

inline std::string LoginJson(const char* func, const char* password = "secret") {
  return std::string(R"({"func":")") + func +
         R"(","user_name":"trader01","pass_word":")" + password +
         R"(","heart_beat":30,"compress":0,"encrypt":0})";
}

inline const std::string kModifyPwdJson =
    R"({"func":"ModifyPwd","user_name":"trader01","pass_word":"secret","new_pass_word":"secret"})";

}  // namespace tessel::testing
