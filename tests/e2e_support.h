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

}  // namespace tessel::testing
