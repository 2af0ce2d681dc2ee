// A host of the plug-in as the tests that load it play one (the Linux
// end-to-end tests and the Windows host test): what it sends, where its
// configuration says the server is, and everything the plug-in hands it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plugin/host_api.h"
#include "test_support.h"

namespace tessel::testing {

// The library's fixed answers, spelled out here so that a change to its
// bytes shows.
constexpr char kCancelText[] = R"({"status":1,"describe":"cancel req"})";
constexpr char kTimeoutText[] = R"({"status":2,"describe":"timeout"})";

inline std::string LoginJson(const char* func, const char* password = "secret") {
  return std::string(R"({"func":")") + func +
         R"(","user_name":"trader01","pass_word":")" + password +
         R"(","heart_beat":30,"compress":0,"encrypt":0})";
}

// A request the server answers without changing anything.
inline const std::string kModifyPwdJson =
    R"({"func":"ModifyPwd","user_name":"trader01","pass_word":"secret","new_pass_word":"secret"})";

// A <Server> entry of the configuration, both channels on loopback.
inline std::string ServerEntry(uint16_t mainPort, uint16_t pushPort, int real = 1) {
  return "<Server address=\"127.0.0.1\" port=\"" + std::to_string(mainPort) +
         "\" pushaddress=\"127.0.0.1\" pushport=\"" + std::to_string(pushPort) +
         "\" real=\"" + std::to_string(real) + "\"/>";
}

// config/system.xml under `folder`, where the library looks for it.
inline void WriteConfig(const std::filesystem::path& folder, const std::string& servers) {
  std::filesystem::create_directories(folder / "config");
  WriteFile(folder / "config" / "system.xml",
            "<Root><TesselServer>" + servers + "</TesselServer></Root>");
}

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
  // The text of the one answer to `context`; "" unless there is exactly one.
  std::string OnlyAnswer(uint64_t context) const {
    const std::vector<HostEvent> answers = AnswersFor(context);
    return answers.size() == 1 ? answers.front().text : std::string();
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
  // Pushes of `type` delivered so far whose `key` is `value`.
  static std::vector<Json::Value> Pushes(const std::vector<HostEvent>& events, int type,
                                         const char* key, const Json::Value& value) {
    std::vector<Json::Value> found;
    for (const HostEvent& e : events) {
      if (e.isAnswer) continue;
      const Json::Value v = ParseJson(e.text);
      if (v["push_type"].asInt() == type && v[key] == value) found.push_back(v);
    }
    return found;
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

// The host's side of one client: the descriptor it was handed and the
// client it made with it, whose every call back is recorded.
class HostTest : public ::testing::Test {
 protected:
  int32_t Send(const std::string& text, uint64_t context) {
    return plugin_.sendRequest(client_, text.data(), static_cast<int32_t>(text.size()),
                               answer_, context);
  }

  // Retries while the channel is still coming up.
  bool SendWhenUp(const std::string& text, uint64_t context) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      if (Send(text, context) == 1) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  bool LogIn(const char* func, uint64_t context) {
    return SendWhenUp(LoginJson(func), context) && host().WaitForAnswers(context, 1);
  }

  void DestroyClient() {
    if (client_ != nullptr) plugin_.destroyClient(client_);
    client_ = nullptr;
  }

  static HostRecorder& host() { return HostRecorder::Instance(); }

  PluginDescriptor plugin_{};
  ClientHandle* client_ = nullptr;
  RequestCallback answer_ = &HostRecorder::Answer;  // what Send hands the plug-in
};

}  // namespace tessel::testing
