// End-to-end harness: the trade-server stand-in on loopback, the
// configuration and certificate beside the test executable (where the
// library looks for them), and a recorder for everything the host is told.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <json/reader.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "plugin/host_api.h"
#include "plugin/request_intake.h"
#include "support/server_config.h"
#include "host_recorder.h"
#include "test_support.h"
#include "tools/standin/standin.h"

namespace tessel::testing {

using standin::Channel;

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

// A request handed to a client made in-process, as SendRequest hands it.
inline bool Submit(TradeClient& client, const std::string& text, uint64_t context) {
  return SubmitRequest(client, text.data(), static_cast<int32_t>(text.size()),
                       &HostRecorder::Answer, context);
}

// Retries while the channel is still coming up.
inline bool SubmitWhenUp(TradeClient& client, const std::string& text, uint64_t context) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (Submit(client, text, context)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

// The library loaded as a host loads it, one client created against a
// running stand-in, everything the host is told recorded.
class LoadedClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostRecorder::Instance().Clear();
    ASSERT_TRUE(harness_.Start());
    library_ = dlopen(TESSEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    auto query = reinterpret_cast<PluginDescriptor (*)()>(dlsym(library_, "QueryZephCommInterface"));
    ASSERT_NE(query, nullptr);
    plugin_ = query();
    client_ = plugin_.createClient(&HostRecorder::Notify);
    ASSERT_NE(client_, nullptr);
  }

  void TearDown() override {
    if (client_ != nullptr) plugin_.destroyClient(client_);
    if (library_ != nullptr) dlclose(library_);
  }

  int32_t Send(const std::string& text, uint64_t context) {
    return plugin_.sendRequest(client_, text.data(), static_cast<int32_t>(text.size()),
                               &HostRecorder::Answer, context);
  }

  // Retries while the channel is still coming up.
  bool SendWhenUp(const std::string& text, uint64_t context) {
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (Send(text, context) == 1) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  standin::StandIn& server() { return harness_.server(); }
  HostRecorder& host() { return HostRecorder::Instance(); }

  StandInHarness harness_;
  void* library_ = nullptr;
  PluginDescriptor plugin_{};
  TradeClient* client_ = nullptr;
};

}  // namespace tessel::testing
