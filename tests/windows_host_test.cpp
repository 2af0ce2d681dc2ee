// Tessel.dll as a Windows host uses it: loaded with LoadLibrary from the
// host's folder, reached through GetProcAddress("QueryZephCommInterface"),
// driven through the descriptor against the stand-in over TLS.
//
// The stand-in runs natively on Linux (scripts/windows.sh starts it and
// passes its ports in TESSEL_STANDIN_MAIN and TESSEL_STANDIN_PUSH). Between
// the plug-in and the stand-in sits a relay in this process, one per
// channel, which the tests use to hold back requests (the server stays
// silent), drop connections, or accept a connection and never speak TLS.
//
// One flow per test; a new step (an order with its answer and execution
// push, for example) is one more TEST_F on the WindowsHost fixture.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
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

constexpr char kCancelText[] = R"({"status":1,"describe":"cancel req"})";
constexpr char kTimeoutText[] = R"({"status":2,"describe":"timeout"})";
constexpr char kModifyPwdJson[] =
    R"({"func":"ModifyPwd","user_name":"trader01","pass_word":"secret","new_pass_word":"secret"})";
// The channels' connect time-out, which the TLS handshake shares.
constexpr auto kHandshakeTimeout = 10s;

std::string LoginJson(const char* func) {
  return std::string(R"({"func":")") + func +
         R"(","user_name":"trader01","pass_word":"secret",)"
         R"("heart_beat":30,"compress":0,"encrypt":0})";
}

// --- The host's folder ------------------------------------------------------

std::string Narrow(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  }
  return text;
}

std::wstring HostFolderWide() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring full(path, n);
  return full.substr(0, full.find_last_of(L'\\'));
}

// Files below the host's folder, by wide name: the folder may have any
// characters, which the narrow C runtime calls would read in the ANSI code
// page.
void WriteHostFile(const std::wstring& relative, const std::string& text) {
  std::FILE* file = _wfopen((HostFolderWide() + relative).c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

std::string ReadHostFile(const std::wstring& relative) {
  std::string text;
  std::FILE* file = _wfopen((HostFolderWide() + relative).c_str(), L"rb");
  if (file == nullptr) return text;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

void WriteConfig(uint16_t mainPort, uint16_t pushPort) {
  CreateDirectoryW((HostFolderWide() + L"\\config").c_str(), nullptr);
  WriteHostFile(L"\\config\\system.xml",
                "<Root><TesselServer><Server name=\"stand-in\" address=\"127.0.0.1\" port=\"" +
                    std::to_string(mainPort) + "\" pushaddress=\"127.0.0.1\" pushport=\"" +
                    std::to_string(pushPort) + "\" real=\"1\"/></TesselServer></Root>");
}

// Today's log file, relative to the host's folder.
std::wstring TodaysLog() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  wchar_t name[64];
  std::swprintf(name, 64, L"\\Log\\%04d%02d%02d.tessel.log", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday);
  return name;
}

uint16_t PortFromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  return text == nullptr ? 0 : static_cast<uint16_t>(std::atoi(text));
}

// --- A loopback relay between the plug-in and the stand-in ------------------

class Relay {
 public:
  // upstreamPort 0: accept connections and keep them without a word, like a
  // server that takes TCP and never answers the TLS handshake.
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
      if (link->server != INVALID_SOCKET) shutdown(link->server, SD_BOTH);
    }
    for (auto& link : links) {
      for (std::thread& pump : link->pumps) pump.join();
      closesocket(link->client);
      if (link->server != INVALID_SOCKET) closesocket(link->server);
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
      if (upstreamPort_ != 0) {
        link->server = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in upstream = Loopback(upstreamPort_);
        if (connect(link->server, reinterpret_cast<const sockaddr*>(&upstream),
                    sizeof upstream) != 0) {
          closesocket(link->server);
          closesocket(client);
          continue;
        }
        Link* raw = link.get();
        raw->pumps.emplace_back([this, raw] { Pump(*raw, raw->client, raw->server, true); });
        raw->pumps.emplace_back([this, raw] { Pump(*raw, raw->server, raw->client, false); });
      } else {
        Link* raw = link.get();
        raw->pumps.emplace_back([this, raw] { Swallow(*raw); });
      }
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

  // Reads what the client sends and never answers.
  void Swallow(Link& link) {
    char buffer[4096];
    for (;;) {
      const int n = recv(link.client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      bytesFromClient_ += static_cast<size_t>(n);
    }
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

class WindowsHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No client exists yet, so the log is not open: what the file holds
    // afterwards was written by this process.
    DeleteFileW((HostFolderWide() + TodaysLog()).c_str());
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    library_ = LoadLibraryW((HostFolderWide() + L"\\Tessel.dll").c_str());
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
    if (client_ != nullptr) plugin_.destroyClient(client_);
    client_ = nullptr;
    main_.reset();
    push_.reset();
  }

  // A client whose configuration points at the relays.
  void CreateClient() {
    WriteConfig(main_->port(), push_->port());
    client_ = plugin_.createClient(&HostRecorder::Notify);
    ASSERT_NE(client_, nullptr);
  }

  int32_t Send(const std::string& text, uint64_t context) {
    return plugin_.sendRequest(client_, text.data(), static_cast<int32_t>(text.size()),
                               &HostRecorder::Answer, context);
  }

  // Retries while the channel is still coming up.
  bool SendWhenUp(const std::string& text, uint64_t context) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      if (Send(text, context) == 1) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  bool LogIn(const char* func, uint64_t context) {
    return SendWhenUp(LoginJson(func), context) && host().WaitForAnswers(context, 1);
  }

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

  static HostRecorder& host() { return HostRecorder::Instance(); }

  static HMODULE library_;
  static PluginDescriptor (*query_)();
  PluginDescriptor plugin_{};
  ClientHandle* client_ = nullptr;
  std::unique_ptr<Relay> main_;
  std::unique_ptr<Relay> push_;
};

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
  plugin_.destroyClient(client_);
  client_ = nullptr;
  const std::string log = ReadHostFile(TodaysLog());
  // "启动日志" in GBK, an empty second tag, the folder name, CR LF: once,
  // however many clients this process created.
  const std::string startLine = "\xC6\xF4\xB6\xAF\xC8\xD5\xD6\xBE_  Log\r\n";
  const size_t first = log.find(startLine);
  ASSERT_NE(first, std::string::npos) << Narrow(TodaysLog());
  EXPECT_EQ(log.find(startLine, first + 1), std::string::npos);
  // Stamped "YYYY-MM-DD hh:mm:ss:mmm:" and followed by the client's lines.
  ASSERT_GE(first, 24u);
  EXPECT_EQ(log[first - 1], ':');
  EXPECT_EQ(log[first - 24], '2');
  EXPECT_NE(log.find("Main Login", first), std::string::npos);
}

TEST_F(WindowsHost, LoginOnBothChannelsReportsInOrder) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  std::vector<HostEvent> events = host().Events();
  ASSERT_EQ(events.size(), 3u);
  const Json::Value login = ParseJson(events[0].text);
  EXPECT_FALSE(events[0].isAnswer);
  EXPECT_EQ(login["object"].asString(), "Login");
  EXPECT_EQ(login["connection_type"].asInt(), 2);
  EXPECT_EQ(login["login_status"].asInt(), 0);
  EXPECT_EQ(login["port"].asInt(), main_->port());
  const Json::Value connected = ParseJson(events[1].text);
  EXPECT_EQ(connected["cmd"].asString(), "ConnectStatus");
  EXPECT_EQ(connected["connection_status"].asInt(), 1);
  EXPECT_TRUE(events[2].isAnswer);
  EXPECT_EQ(events[2].text, events[0].text);

  host().Clear();
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  events = host().Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(ParseJson(events[0].text)["connection_type"].asInt(), 3);
  EXPECT_EQ(ParseJson(events[0].text)["port"].asInt(), push_->port());
  EXPECT_EQ(ParseJson(events[1].text)["connection_type"].asInt(), 3);
  EXPECT_EQ(ParseJson(events[1].text)["connection_status"].asInt(), 1);

  ASSERT_EQ(Send(kModifyPwdJson, 3), 1);
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
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
  const auto execution = [&requestNo](const std::vector<HostEvent>& events) {
    for (const HostEvent& e : events) {
      const Json::Value v = e.isAnswer ? Json::Value() : ParseJson(e.text);
      if (v["push_type"].asInt() == 10 && v["request_no"].asString() == requestNo) return true;
    }
    return false;
  };
  ASSERT_TRUE(host().WaitFor(execution));
  for (const HostEvent& e : host().Events()) {
    const Json::Value v = e.isAnswer ? Json::Value() : ParseJson(e.text);
    if (v["push_type"].asInt() != 10) continue;
    EXPECT_EQ(v["business_amount"].asDouble(), 100);
    EXPECT_EQ(v["business_price"].asDouble(), 1700);
    EXPECT_EQ(v["market"].asInt(), 1);
  }
}

TEST_F(WindowsHost, SetRealTradeCancelsOutstandingRequests) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  // Both links up before the switch, so both report their loss.
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  SendHeld(7);
  plugin_.setRealTrade(client_, 0);
  const std::vector<HostEvent> answers = host().AnswersFor(7);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].text, kCancelText);
  EXPECT_EQ(answers[0].text.size(), 36u);
  // Both links drop and say so, still with the old server kind.
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return HostRecorder::ConnectionReports(events, 2, 2) == 2;
  }));
  // Only live servers are configured: nothing reconnects, requests are refused.
  EXPECT_EQ(Send(kModifyPwdJson, 8), 0);
  main_->Hold(false);
  plugin_.setRealTrade(client_, 1);
  ASSERT_TRUE(SendWhenUp(kModifyPwdJson, 9));
  ASSERT_TRUE(host().WaitForAnswers(9, 1));
  EXPECT_EQ(host().AnswersFor(7).size(), 1u);
}

TEST_F(WindowsHost, ReconnectReplaysTheSavedLogins) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  ASSERT_TRUE(LogIn("Login_Trade_Push", 2));
  SendHeld(3);
  host().Clear();

  main_->Drop();
  push_->Drop();
  main_->Hold(false);
  ASSERT_TRUE(Relay::WaitUntil([&] { return main_->accepted() >= 2 && push_->accepted() >= 2; }));
  // The request sent on the old link is cancelled by the new one.
  ASSERT_TRUE(host().WaitForAnswers(3, 1));
  EXPECT_EQ(host().AnswersFor(3).front().text, kCancelText);
  // The relogins come back as login reports on both channels.
  ASSERT_TRUE(host().WaitFor([](const std::vector<HostEvent>& events) {
    return HostRecorder::ConnectionReports(events, 1) == 2;
  }));
  EXPECT_EQ(HostRecorder::ConnectionReports(host().Events(), 2), 2u);  // both losses
  ASSERT_EQ(Send(kModifyPwdJson, 4), 1);
  ASSERT_TRUE(host().WaitForAnswers(4, 1));
}

TEST_F(WindowsHost, DestroyDuringTheHandshakeReturnsPromptly) {
  // Both channels reach a server that takes TCP and never answers TLS.
  Relay mute(0);
  Relay mutePush(0);
  WriteConfig(mute.port(), mutePush.port());
  client_ = plugin_.createClient(&HostRecorder::Notify);
  ASSERT_NE(client_, nullptr);
  // The client hello has arrived: the channel waits in the handshake.
  ASSERT_TRUE(Relay::WaitUntil([&] { return mute.bytesFromClient() > 0; }));
  const auto started = std::chrono::steady_clock::now();
  plugin_.destroyClient(client_);
  client_ = nullptr;
  // Interrupted, not waited out: the handshake alone would take its full
  // time-out.
  EXPECT_LT(std::chrono::steady_clock::now() - started, kHandshakeTimeout);
  EXPECT_TRUE(host().AnswersFor(1).empty());
}

// The one test that waits the real 30 seconds.
TEST_F(WindowsHost, UnansweredRequestTimesOut) {
  CreateClient();
  ASSERT_TRUE(LogIn("Login", 1));
  SendHeld(4);
  ASSERT_TRUE(host().WaitForAnswers(4, 1, 45s));
  const std::vector<HostEvent> answers = host().AnswersFor(4);
  EXPECT_EQ(answers[0].text, kTimeoutText);
  EXPECT_EQ(answers[0].text.size(), 33u);
  // Released now, the request reaches the server; its late answer reaches
  // nobody.
  main_->Hold(false);
  ASSERT_EQ(Send(kModifyPwdJson, 5), 1);
  ASSERT_TRUE(host().WaitForAnswers(5, 1));
  EXPECT_EQ(host().AnswersFor(4).size(), 1u);
}

}  // namespace
}  // namespace tessel::testing
