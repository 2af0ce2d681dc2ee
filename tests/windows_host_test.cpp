// Tessel.dll as a Windows host uses it: loaded with LoadLibrary from the
// host's folder, reached through GetProcAddress("QueryZephCommInterface"),
// driven through the descriptor against the stand-in over TLS.
//
// The stand-in runs natively on Linux (scripts/windows.sh starts it and
// passes its ports in TESSEL_STANDIN_MAIN and TESSEL_STANDIN_PUSH). Between
// the plug-in and the stand-in sits a relay in this process, one per
// channel, which the tests use to hold back requests (the server stays
// silent, even through the TLS handshake) or drop connections.
//
// One flow per test. The flows the Linux end-to-end test runs too are in
// host_flows.h; a flow of this host only is one more TEST_F here.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
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

// --- A loopback relay between the plug-in and the stand-in ------------------

class Relay {
 public:
  explicit Relay(uint16_t upstreamPort) : upstreamPort_(upstreamPort) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  ~Relay() {
    closesocket(listener_);  // ends the accept loop
    if (acceptor_.joinable()) acceptor_.join();
    Drop();
  }

  uint16_t port() const { return port_; }
  size_t accepted() const { return accepted_.load(); }
  size_t bytesFromClient() const { return bytesFromClient_.load(); }

  // While held, what the plug-in sends is kept here: the server never sees
  // it and so never answers. Released bytes go on in order.
  void Hold(bool hold) { held_ = hold; }

  // Closes every current connection at once, without a TLS close; what is
  // held for them is thrown away.
  void Drop() {
    std::list<std::unique_ptr<Link>> links;
    {
      std::lock_guard<std::mutex> hold(lock_);
      links.swap(links_);
    }
    for (auto& link : links) {
      link->closing = true;
      shutdown(link->client, SD_BOTH);
      shutdown(link->server, SD_BOTH);
    }
    for (auto& link : links) {
      for (std::thread& pump : link->pumps) pump.join();
      closesocket(link->client);
      closesocket(link->server);
    }
  }

  // Waits until `condition` holds; false after `timeout`.
  static bool WaitUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = 10s) {
    const auto giveUp = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > giveUp) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

 private:
  struct Link {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    std::atomic<bool> closing{false};
    std::vector<std::thread> pumps;
  };

  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
  }

  void AcceptLoop() {
    for (;;) {
      const SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      auto link = std::make_unique<Link>();
      link->client = client;
      link->server = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in upstream = Loopback(upstreamPort_);
      if (connect(link->server, reinterpret_cast<const sockaddr*>(&upstream), sizeof upstream) !=
          0) {
        closesocket(link->server);
        closesocket(client);
        continue;
      }
      Link* raw = link.get();
      raw->pumps.emplace_back([this, raw] { Pump(*raw, raw->client, raw->server, true); });
      raw->pumps.emplace_back([this, raw] { Pump(*raw, raw->server, raw->client, false); });
      ++accepted_;
      std::lock_guard<std::mutex> hold(lock_);
      links_.push_back(std::move(link));
    }
  }

  void Pump(Link& link, SOCKET from, SOCKET to, bool fromClient) {
    char buffer[16 * 1024];
    for (;;) {
      const int n = recv(from, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      if (fromClient) {
        bytesFromClient_ += static_cast<size_t>(n);
        while (held_ && !link.closing) std::this_thread::sleep_for(5ms);
        if (link.closing) break;
      }
      int sent = 0;
      while (sent < n) {
        const int m = send(to, buffer + sent, n - sent, 0);
        if (m <= 0) break;
        sent += m;
      }
      if (sent < n) break;
    }
    // One side ended: end the other as well, as a real peer's close would.
    shutdown(to, SD_SEND);
  }

  const uint16_t upstreamPort_;
  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::thread acceptor_;
  std::atomic<bool> held_{false};
  std::atomic<size_t> accepted_{0};
  std::atomic<size_t> bytesFromClient_{0};
  std::mutex lock_;
  std::list<std::unique_ptr<Link>> links_;
};

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
    const uint16_t standinMain = PortFromEnvironment("TESSEL_STANDIN_MAIN");
    const uint16_t standinPush = PortFromEnvironment("TESSEL_STANDIN_PUSH");
    ASSERT_NE(standinMain, 0) << "TESSEL_STANDIN_MAIN is not set";
    ASSERT_NE(standinPush, 0) << "TESSEL_STANDIN_PUSH is not set";
    main_ = std::make_unique<Relay>(standinMain);
    push_ = std::make_unique<Relay>(standinPush);
    ASSERT_NE(main_->port(), 0);
    ASSERT_NE(push_->port(), 0);
    host().Clear();
  }

  void TearDown() override {
    DestroyClient();
    main_.reset();
    push_.reset();
  }

  // A client whose configuration points at the relays.
  void CreateClient() {
    WriteConfig(HostFolder(), ServerEntry(main_->port(), push_->port()));
    client_ = plugin_.createClient(&HostRecorder::Notify);
    ASSERT_NE(client_, nullptr);
  }

  uint16_t MainPort() const { return main_->port(); }
  uint16_t PushPort() const { return push_->port(); }

  // Sends a request that the server will not see while the main relay holds,
  // and waits until the plug-in has written to the link since (the request
  // or a heartbeat before it: either way the request is outstanding and its
  // answer cannot come).
  void SendHeld(uint64_t context) {
    main_->Hold(true);
    const size_t before = main_->bytesFromClient();
    ASSERT_EQ(Send(kModifyPwdJson, context), 1);
    ASSERT_TRUE(Relay::WaitUntil([&] { return main_->bytesFromClient() > before; }));
  }

  // Released, the request reaches the server, which answers it.
  void ReleaseHeld() { main_->Hold(false); }

  void DropLinks() {
    main_->Drop();
    push_->Drop();
    main_->Hold(false);
  }

  void ExpectRelinked() {
    ASSERT_TRUE(Relay::WaitUntil([&] { return main_->accepted() >= 2 && push_->accepted() >= 2; }));
  }

  // The relays do not read frames.
  void ExpectLoginAndLogoutFrames() {}

  static HMODULE library_;
  static PluginDescriptor (*query_)();
  std::unique_ptr<Relay> main_;
  std::unique_ptr<Relay> push_;
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
      R"("fund_account":"trader01-01","operator_id":"op","code":"600519","mark":49,)"
      R"("code_name":"","entrust_vol":100,"entrust_price":1800,"entrust_bs":49,)"
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

TEST_F(WindowsHost, DestroyDuringTheHandshakeReturnsPromptly) {
  // Both relays hold from the start: the server takes TCP and never sees,
  // so never answers, the TLS handshake.
  main_->Hold(true);
  push_->Hold(true);
  CreateClient();
  // The client hello has arrived: the channel waits in the handshake.
  ASSERT_TRUE(Relay::WaitUntil([&] { return main_->bytesFromClient() > 0; }));
  const auto started = std::chrono::steady_clock::now();
  DestroyClient();
  // Interrupted, not waited out: the handshake alone would take its full
  // time-out.
  EXPECT_LT(std::chrono::steady_clock::now() - started, kHandshakeTimeout);
  EXPECT_TRUE(host().AnswersFor(1).empty());
}

}  // namespace
}  // namespace tessel::testing

// The flows the Linux end-to-end test runs as well.
#include "host_flows.h"  // NOLINT(build/include_order)
