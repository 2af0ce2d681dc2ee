// End-to-end harness: the trade-server stand-in on loopback, the
// configuration and certificate beside the test executable (where the
// library looks for them), and a recorder for everything the host is told.
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <json/writer.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "messages/reference_notes.h"
#include "platform/system.h"
#include "plugin/host_api.h"
#include "plugin/request_intake.h"
#include "support/server_config.h"
#include "session/trade_client.h"
#include "host_recorder.h"
#include "test_support.h"
#include "tools/standin/book.h"
#include "tools/standin/standin.h"

extern char** environ;

namespace tessel::testing {

using standin::Channel;

constexpr uint32_t kModifyPwdType = 100;

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
    testing::WriteConfig(ModuleDirectory(), ServerEntry(mainPort, pushPort));
  }

  // A configuration naming a live and a simulated server.
  static void WriteConfig(StandInHarness& live, StandInHarness& simulated) {
    testing::WriteConfig(ModuleDirectory(), live.Entry(1) + simulated.Entry(0));
  }

  standin::StandIn& server() { return *server_; }

 private:
  std::string Entry(int real) {
    return ServerEntry(server_->MainPort(), server_->PushPort(), real);
  }

  std::unique_ptr<standin::StandIn> server_;
};

// Runs a control command on the stand-in, as its control port would.
inline ::testing::AssertionResult Commanded(standin::StandIn& server, const std::string& line) {
  const std::string answer = server.Control(line);
  if (answer == R"({"ok":true})") return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << line << " -> " << answer;
}

// The host probe (host_probe.cpp) beside the test executable, run as a
// child with the library and `args`; its standard input and error are pipes
// to the test, its standard output goes nowhere. The probe may die with its
// client's threads running on purpose: leak checking at that end would only
// race with them, so it is turned off. `environment` adds NAME=VALUE settings.
class HostProbe {
 public:
  explicit HostProbe(const std::vector<std::string>& args,
                     const std::vector<std::string>& environment = {}) {
    const std::string probe = ModuleDirectory() + "/tessel_host_probe";
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    std::vector<std::string> words{probe, TESSEL_LIBRARY_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> settings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "ASAN_OPTIONS=", 13) != 0) settings.emplace_back(*entry);
    }
    settings.emplace_back("ASAN_OPTIONS=detect_leaks=0");
    settings.insert(settings.end(), environment.begin(), environment.end());
    if (posix_spawn(&pid_, probe.c_str(), &actions, nullptr, Pointers(words).data(),
                    Pointers(settings).data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    input_ = toChild[1];
    errors_ = fromChild[0];
  }
  ~HostProbe() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (input_ >= 0) close(input_);
    if (errors_ >= 0) close(errors_);
  }
  HostProbe(const HostProbe&) = delete;
  HostProbe& operator=(const HostProbe&) = delete;

  bool Started() const { return pid_ > 0; }
  // Reads what the probe writes to its standard error (blocks until it does).
  std::string ReadErrors() {
    char text[64] = {};
    const ssize_t n = read(errors_, text, sizeof text - 1);
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
  }
  bool WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    return write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  void Kill() { kill(pid_, SIGKILL); }
  // The child's wait status; -1 when it was already collected.
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return status;
  }

 private:
  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
  }

  pid_t pid_ = -1;
  int input_ = -1;
  int errors_ = -1;
};

// A request handed to a client made in-process, as SendRequest hands it.
inline bool Submit(TradeClient& client, const std::string& text, uint64_t context,
                   RequestCallback answer = &HostRecorder::Answer) {
  return SubmitRequest(client, text.data(), static_cast<int32_t>(text.size()), answer, context);
}

// Retries while the channel is still coming up.
inline bool SubmitWhenUp(TradeClient& client, const std::string& text, uint64_t context) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (Submit(client, text, context)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

// A main-channel Login, retried while the channel comes up, and its answer.
inline bool LogsIn(TradeClient& client, uint64_t context = 1) {
  return SubmitWhenUp(client, LoginJson("Login"), context) &&
         HostRecorder::Instance().WaitForAnswers(context, 1);
}

// Polls `condition` until it holds; false after `timeout`.
inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Whether `e` reports the loss of the link of `connectionType`.
inline bool IsLostReport(const HostEvent& e, int connectionType) {
  if (e.isAnswer) return false;
  const Json::Value report = ParseJson(e.text);
  return report["connection_status"].asInt() == 2 &&
         report["connection_type"].asInt() == connectionType;
}

// Waits for the loss of the link of `connectionType` to be reported.
inline bool AwaitLoss(int connectionType,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  return HostRecorder::Instance().WaitFor(
      [connectionType](const std::vector<HostEvent>& events) {
        return std::any_of(events.begin(), events.end(), [connectionType](const HostEvent& e) {
          return IsLostReport(e, connectionType);
        });
      },
      timeout);
}

// What the /proc link at `path` names; "" when it is none.
inline std::string LinkTarget(const std::string& path) {
  char target[4096] = {};
  return readlink(path.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

// Entries of a /proc folder that `counted` takes.
inline size_t CountEntries(const std::string& directory,
                           const std::function<bool(const std::string& path)>& counted) {
  size_t count = 0;
  DIR* dir = opendir(directory.c_str());
  while (dirent* entry = readdir(dir)) {
    count += entry->d_name[0] != '.' && counted(directory + "/" + entry->d_name);
  }
  closedir(dir);
  return count;
}

// A main-channel frame on the server's `connection`th link, of `type` when
// that is not 0.
inline standin::Condition MainFrameOn(size_t connection, uint32_t type = 0) {
  return [connection, type](const standin::Observed& seen) {
    const auto& frames = seen[Channel::Main].frames;
    return std::any_of(frames.begin(), frames.end(), [&](const auto& frame) {
      return frame.connection == connection && (type == 0 || frame.messageType == type);
    });
  };
}

// A client made in-process, quick to reconnect, against a running stand-in.
class InProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostRecorder::Instance().Clear();
    ASSERT_TRUE(harness_.Start());
    client_.timings.firstBackoff = std::chrono::milliseconds(20);
    client_.timings.maxBackoff = std::chrono::milliseconds(50);
  }

  // A ModifyPwd that the server, silenced, has received and leaves unanswered.
  bool SendHeld(uint64_t context, RequestCallback answer = &HostRecorder::Answer) {
    server().SetSilent(Channel::Main, true);
    return Submit(client_, kModifyPwdJson, context, answer) &&
           server().WaitFor(standin::FramesOfType(Channel::Main, 100, 1));
  }

  standin::StandIn& server() { return harness_.server(); }
  static HostRecorder& host() { return HostRecorder::Instance(); }

  StandInHarness harness_;
  TradeClient client_;
};

// The library loaded as a host loads it; null when it cannot be.
inline void* LoadPlugin(PluginDescriptor& plugin) {
  void* library = dlopen(TESSEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(library, nullptr) << dlerror();
  if (library == nullptr) return nullptr;
  auto query = reinterpret_cast<PluginDescriptor (*)()>(dlsym(library, "QueryZephCommInterface"));
  EXPECT_NE(query, nullptr);
  if (query != nullptr) plugin = query();
  return library;
}

// The library loaded as a host loads it, one client created against a
// running stand-in, everything the host is told recorded.
class LoadedClientTest : public HostTest {
 protected:
  void SetUp() override {
    HostRecorder::Instance().Clear();
    ASSERT_TRUE(harness_.Start());
    library_ = LoadPlugin(plugin_);
    ASSERT_NE(plugin_.createClient, nullptr);
    client_ = plugin_.createClient(&HostRecorder::Notify);
    ASSERT_NE(client_, nullptr);
  }

  void TearDown() override {
    DestroyClient();
    if (library_ != nullptr) dlclose(library_);
  }

  standin::StandIn& server() { return harness_.server(); }

  StandInHarness harness_;
  void* library_ = nullptr;
};

// The message reference's example of `func`, written for the demo account.
inline Json::Value Example(const char* func) {
  return ParseJson(reference::FindFunctionNote(func)->example);
}

// The demo account's order, from the example.
inline Json::Value Order(const char* code, int side, int volume, double price,
                         int market = standin::kShanghai) {
  Json::Value request = Example("OrderSubmit");
  request["code"] = code;
  request["mark"] = market;
  request["entrust_vol"] = volume;
  request["entrust_price"] = price;
  request["entrust_bs"] = side;
  return request;
}

// A cancel of the order `requestNo`, as if it were of `code` on `market`.
inline Json::Value Cancel(const std::string& requestNo, const char* code = "600000",
                          int market = standin::kShanghai) {
  Json::Value request = Example("OrderCancel");
  request["request_no"] = requestNo;
  request["code"] = code;
  request["mark"] = market;
  return request;
}

// The example's login, as `user` with `password`.
inline Json::Value Login(const std::string& user, const std::string& password) {
  Json::Value request = Example("Login");
  request["user_name"] = user;
  request["pass_word"] = password;
  return request;
}

// "error_no", or "login_status" in the login and logout reports.
inline int32_t ErrorOf(const Json::Value& answer) {
  return answer.isMember("error_no") ? answer["error_no"].asInt() : answer["login_status"].asInt();
}

// A host trading through the loaded plug-in: requests as JSON, answers and
// pushes awaited. Every error answer must be one the reference lists for
// its function.
class TradingSession : public LoadedClientTest {
 protected:
  // The answer to `request`, sent once the main channel is up; null when
  // none comes.
  Json::Value Ask(const Json::Value& request) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    const uint64_t context = ++lastContext_;
    if (!SendWhenUp(Json::writeString(builder, request), context) ||
        !host().WaitForAnswers(context, 1)) {
      return Json::Value();
    }
    const Json::Value answer = ParseJson(host().AnswersFor(context).front().text);
    const std::string func = request["func"].asString();
    const auto errors = reference::SimulatorErrors(func.c_str());
    EXPECT_TRUE(ErrorOf(answer) == 0 ||
                (errors && std::count(errors->begin(), errors->end(), ErrorOf(answer)) == 1))
        << func << " answered undeclared\n" << answer;
    return answer;
  }
  int32_t ErrorAsking(const Json::Value& request) { return ErrorOf(Ask(request)); }

  // On both channels.
  void LogIn(const std::string& user = "demo", const std::string& password = "secret") {
    Json::Value login = Login(user, password);
    ASSERT_EQ(ErrorAsking(login), 0);
    login["func"] = "Login_Trade_Push";
    ASSERT_EQ(ErrorAsking(login), 0);
  }

  // The latest push of `type` holding every key of `match` with its value,
  // once one has come; null when none does.
  Json::Value AwaitPush(int type, const Json::Value& match) {
    Json::Value found;
    host().WaitFor([&](const std::vector<HostEvent>& events) {
      for (const HostEvent& event : events) {
        const Json::Value push = event.isAnswer ? Json::Value() : ParseJson(event.text);
        const std::vector<std::string> keys = match.getMemberNames();
        if (push["push_type"].asInt() == type &&
            std::all_of(keys.begin(), keys.end(),
                        [&](const std::string& key) { return push[key] == match[key]; })) {
          found = push;
        }
      }
      return !found.isNull();
    });
    return found;
  }
  Json::Value AwaitPush(int type, const char* key, const Json::Value& value) {
    Json::Value match(Json::objectValue);
    match[key] = value;
    return AwaitPush(type, match);
  }

  uint64_t lastContext_ = 0;
};

}  // namespace tessel::testing
