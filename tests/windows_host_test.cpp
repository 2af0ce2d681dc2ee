// Tessel.dll as a Windows host uses it: loaded with LoadLibrary from the
// host's folder, reached through GetProcAddress("QueryZephCommInterface"),
// driven through the descriptor against the stand-in over TLS.
//
// The stand-in runs natively on Linux: scripts/windows.sh starts it and
// passes its ports in TESSEL_STANDIN_MAIN, TESSEL_STANDIN_PUSH and
// TESSEL_STANDIN_CONTROL, and its trace file in TESSEL_STANDIN_TRACE. The
// tests hold back answers and drop connections with control commands, and
// read from the trace what the server received.
//
// One flow per test. The flows the Linux end-to-end test runs too are in
// host_flows.h; a flow of this host only is one more TEST_F here.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin/host_api.h"
#include "host_recorder.h"
#include "test_support.h"

namespace tessel::testing {
namespace {

using namespace std::chrono_literals;

// The channels' connect time-out, which the TLS handshake shares.
constexpr auto kHandshakeTimeout = 10s;

// The host's folder, by wide name: it may have any characters, which the
// narrow C runtime calls would read in the ANSI code page.
std::filesystem::path HostFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::wstring(path, n)).parent_path();
}

// Today's log file, relative to the host's folder.
std::filesystem::path TodaysLog() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  char name[32];
  std::strftime(name, sizeof name, "%Y%m%d.tessel.log", &local);
  return std::filesystem::path("Log") / name;
}

uint16_t PortFromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  return text == nullptr ? 0 : static_cast<uint16_t>(std::atoi(text));
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// Sends one control command to the stand-in; true when it answers ok.
bool Control(const std::string& command) {
  const SOCKET link = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = Loopback(PortFromEnvironment("TESSEL_STANDIN_CONTROL"));
  std::string answer;
  if (connect(link, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    const std::string line = command + "\n";
    send(link, line.data(), static_cast<int>(line.size()), 0);
    char byte = 0;
    while (recv(link, &byte, 1, 0) == 1 && byte != '\n') answer += byte;
  }
  closesocket(link);
  return answer == R"({"ok":true})";
}

// How many ModifyPwd requests the stand-in's trace shows it received on
// the main channel.
size_t ModifyPwdsReceived() {
  std::ifstream trace(std::getenv("TESSEL_STANDIN_TRACE"));
  size_t count = 0;
  for (std::string line; std::getline(trace, line);) {
    count += line.find(" recv main#") != std::string::npos &&
             line.find(" 100 ModifyPwd ") != std::string::npos;
  }
  return count;
}

// --- The host ------------------------------------------------------------------

class WindowsHost : public HostTest {
 protected:
  static void SetUpTestSuite() {
    // No client exists yet, so the log is not open: what the file holds
    // afterwards was written by this process.
    std::error_code ignored;
    std::filesystem::remove(HostFolder() / TodaysLog(), ignored);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    library_ = LoadLibraryW((HostFolder() / "Tessel.dll").c_str());
    if (library_ != nullptr) {
      query_ = reinterpret_cast<PluginDescriptor (*)()>(
          reinterpret_cast<void*>(GetProcAddress(library_, "QueryZephCommInterface")));
    }
  }
  static void TearDownTestSuite() {
    if (library_ != nullptr) FreeLibrary(library_);
    library_ = nullptr;
    WSACleanup();
  }

  void SetUp() override {
    ASSERT_NE(library_, nullptr) << "Tessel.dll beside the host: error " << GetLastError();
    ASSERT_NE(query_, nullptr);
    plugin_ = query_();
    ASSERT_NE(PortFromEnvironment("TESSEL_STANDIN_MAIN"), 0) << "TESSEL_STANDIN_MAIN is not set";
    ASSERT_NE(PortFromEnvironment("TESSEL_STANDIN_PUSH"), 0) << "TESSEL_STANDIN_PUSH is not set";
    ASSERT_TRUE(Control("silent main 0")) << "no stand-in on TESSEL_STANDIN_CONTROL";
    ASSERT_NE(std::getenv("TESSEL_STANDIN_TRACE"), nullptr) << "TESSEL_STANDIN_TRACE is not set";
    host().Clear();
  }

  // The stand-in serves every test: a failed one leaves it answering.
  void TearDown() override {
    DestroyClient();
    EXPECT_TRUE(Control("silent main 0"));
  }

  void CreateClient() {
    WriteConfig(HostFolder(), ServerEntry(MainPort(), PushPort()));
    client_ = plugin_.createClient(&HostRecorder::Notify);
    ASSERT_NE(client_, nullptr);
  }

  uint16_t MainPort() const { return PortFromEnvironment("TESSEL_STANDIN_MAIN"); }
  uint16_t PushPort() const { return PortFromEnvironment("TESSEL_STANDIN_PUSH"); }

  // Waits until the silent server has received the request, so that it is
  // on the link (a drop cancels it rather than failing it as unsent).
  void SendHeld(uint64_t context) {
    ASSERT_TRUE(Control("silent main 600"));
    const size_t before = ModifyPwdsReceived();
    ASSERT_EQ(Send(kModifyPwdJson, context), 1);
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (ModifyPwdsReceived() == before) {
      ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "the request never reached the server";
      std::this_thread::sleep_for(10ms);
    }
  }

  // The silent server dropped the held request, which no one answers late:
  // only new requests are answered again.
  void ReleaseHeld() { ASSERT_TRUE(Control("silent main 0")); }

  void DropLinks() {
    ASSERT_TRUE(Control("silent main 0"));
    ASSERT_TRUE(Control("drop main"));
    ASSERT_TRUE(Control("drop push"));
  }

  // The relogin reports the flow waits for show both links anew.
  void ExpectRelinked() {}

  // The frames are in the trace, which the Linux flow's log check covers.
  void ExpectLoginAndLogoutFrames() {}

  static HMODULE library_;
  static PluginDescriptor (*query_)();
};
using HostFlows = WindowsHost;

HMODULE WindowsHost::library_ = nullptr;
PluginDescriptor (*WindowsHost::query_)() = nullptr;

TEST_F(WindowsHost, DescriptorBytesAreStableWithGbkTexts) {
  const PluginDescriptor first = query_();
  const PluginDescriptor second = query_();
  static_assert(sizeof first == 80);
  // Identical but for the padding at offset 44.
  EXPECT_EQ(std::memcmp(&first, &second, 44), 0);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&first) + 48,
                        reinterpret_cast<const char*>(&second) + 48, 32),
            0);
  EXPECT_STREQ(first.identifier, "Ferrule");
  EXPECT_STREQ(first.displayName, "Tessel");
  EXPECT_STREQ(first.englishName, "Stock tessel");
  EXPECT_STREQ(first.extra, "");
  EXPECT_EQ(first.flags, 0);
  // "提供一套依据实盘行情撮合的交易服务" in GBK.
  EXPECT_STREQ(first.description,
               "\xCC\xE1\xB9\xA9\xD2\xBB\xCC\xD7\xD2\xC0\xBE\xDD\xCA\xB5\xC5\xCC\xD0\xD0\xC7\xE9"
               "\xB4\xE9\xBA\xCF\xB5\xC4\xBD\xBB\xD2\xD7\xB7\xFE\xCE\xF1");
  // The entry points live in the DLL's own image.
  HMODULE owner = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(first.createClient), &owner));
  EXPECT_EQ(owner, library_);
  EXPECT_NE(first.destroyClient, nullptr);
  EXPECT_NE(first.sendRequest, nullptr);
  EXPECT_NE(first.setRealTrade, nullptr);
}

TEST_F(WindowsHost, LogFileBesideTheHostStartsWithAGbkLine) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  // The log writes in batches; DestroyClient returns once the client's
  // lines are in the file.
  DestroyClient();
  const std::string log = ReadFile(HostFolder() / TodaysLog());
  // "启动日志" in GBK, an empty second tag, the folder name, CR LF: once,
  // however many clients this process created.
  const std::string startLine = "\xC6\xF4\xB6\xAF\xC8\xD5\xD6\xBE_  Log\r\n";
  const size_t first = log.find(startLine);
  ASSERT_NE(first, std::string::npos) << TodaysLog().string();
  EXPECT_EQ(log.find(startLine, first + 1), std::string::npos);
  // Stamped "YYYY-MM-DD hh:mm:ss:mmm:" and followed by the client's lines.
  ASSERT_GE(first, 24u);
  EXPECT_EQ(log[first - 1], ':');
  EXPECT_EQ(log[first - 24], '2');
  EXPECT_NE(log.find("Main Login", first), std::string::npos);
}

// A buy that crosses the simulator's price (600519 at 1700) fills: its answer
// through the request's callback, its execution report through hostNotify.
TEST_F(WindowsHost, AnOrderIsAnsweredAndItsExecutionPushed) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  const std::string order =
      R"({"func":"OrderSubmit","user_name":"trader01","client_id":"trader01",)"
      R"("fund_account":"trader01-01","operator_id":"trader01-op","code":"600519",)"
      R"("mark":49,"code_name":"","entrust_vol":100,"entrust_price":1800,"entrust_bs":49,)"
      R"("entrust_prop":48,"business_type":48,"allow_cancel_order":49})";
  ASSERT_EQ(Send(order, 3), 1);
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
  const std::string answerText = host().AnswersFor(3).front().text;
  const Json::Value answer = ParseJson(answerText);
  ASSERT_EQ(answer["error_no"].asInt(), 0) << answerText;
  const std::string requestNo = answer["request_no"].asString();
  ASSERT_FALSE(requestNo.empty());
  ASSERT_TRUE(host().WaitFor([&requestNo](const std::vector<HostEvent>& events) {
    return !HostRecorder::Pushes(events, 10, "request_no", requestNo).empty();
  }));
  for (const Json::Value& v : HostRecorder::Pushes(host().Events(), 10, "request_no", requestNo)) {
    EXPECT_EQ(v["business_amount"].asDouble(), 100);
    EXPECT_EQ(v["business_price"].asDouble(), 1700);
    EXPECT_EQ(v["market"].asInt(), 1);
  }
}

// No control command shows that the client hello has arrived, so a
// listener of its own accepts both channels and never speaks TLS.
TEST_F(WindowsHost, DestroyDuringTheHandshakeReturnsPromptly) {
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  int length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  WriteConfig(HostFolder(), ServerEntry(ntohs(address.sin_port), ntohs(address.sin_port)));
  client_ = plugin_.createClient(&HostRecorder::Notify);
  ASSERT_NE(client_, nullptr);
  // The client hello has arrived: the channel waits in the handshake.
  const SOCKET link = accept(listener, nullptr, nullptr);
  char byte = 0;
  ASSERT_EQ(recv(link, &byte, 1, MSG_PEEK), 1);
  const auto started = std::chrono::steady_clock::now();
  DestroyClient();
  // Interrupted, not waited out: the handshake alone would take its full
  // time-out.
  EXPECT_LT(std::chrono::steady_clock::now() - started, kHandshakeTimeout);
  EXPECT_TRUE(host().AnswersFor(1).empty());
  closesocket(link);
  closesocket(listener);
}

}  // namespace
}  // namespace tessel::testing

// The flows the Linux end-to-end test runs as well.
#include "host_flows.h"  // NOLINT(build/include_order)
