// tessel-soak: one client pipelining against the in-process simulated trade
// server for a number of minutes while links drop, the server falls silent,
// the server kind switches and the client is destroyed and made anew. Every
// minute it prints memory, descriptors, threads, outstanding requests and
// answers a second; at the end the accounting: every accepted request is
// answered exactly once (its answer, the time-out, send-fail or cancellation
// text), and no callback comes after DestroyClient.
//
// The library's log is limited (64 MiB a file unless --log-limit-mb says
// otherwise; 0 for none): each minute the soak prints what the log grew by
// and removes the files the library has moved on from, as a host's log
// rotation would, so a long soak exercises the limit without filling the
// disk.
//
//   tessel-soak [--minutes N] [--seed S] [--library PATH] [--log-limit-mb N]
//   tessel-soak --version
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/system.h"
#include "plugin/host_api.h"
#include "support/server_config.h"
#include "tools/bench/log_folder.h"
#include "tools/standin/standin.h"
#include "tools/version_option.h"

namespace tessel::soak {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using bench::LogFolder;

constexpr int kOutstanding = 64;
// Where the soak reports: the terminal, while the library's console lines
// (the process's standard output) go elsewhere.
std::FILE* gReport = stdout;
constexpr char kCancel[] = R"({"status":1,"describe":"cancel req"})";
constexpr char kTimeout[] = R"({"status":2,"describe":"timeout"})";
constexpr char kSendFail[] = R"({"status":1,"describe":"req send fail"})";
const std::string kLogin =
    R"({"func":"Login","user_name":"soak","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0})";
const std::string kPushLogin =
    R"({"func":"Login_Trade_Push","user_name":"soak","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0})";
const std::string kRequest =
    R"({"func":"ModifyPwd","user_name":"soak","pass_word":"secret","new_pass_word":"secret"})";

// What happened to the requests, by context.
class Ledger {
 public:
  void Accepted(uint64_t context) {
    std::lock_guard<std::mutex> hold(lock_);
    open_[context] = true;
    ++accepted_;
  }
  // A refused request was never accepted: no callback will come for it.
  void Refused(uint64_t context) {
    std::lock_guard<std::mutex> hold(lock_);
    open_.erase(context);
    --accepted_;
  }
  static void OnAnswer(const char* text, int32_t length, uint64_t context) {
    Instance().Answer(std::string(text, static_cast<size_t>(length)), context);
  }
  static void OnNotify(const char*, int32_t) {
    if (!Instance().clientAlive_) ++Instance().late_;
  }
  void Answer(const std::string& text, uint64_t context) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!clientAlive_) ++late_;
    if (open_.erase(context) == 0) {
      ++doubled_;  // never accepted, or answered before
      return;
    }
    ++answeredTotal_;
    if (text == kCancel) {
      ++cancelled_;
    } else if (text == kTimeout) {
      ++timedOut_;
    } else if (text == kSendFail) {
      ++sendFailed_;
    } else {
      ++answered_;
    }
  }
  size_t Outstanding() {
    std::lock_guard<std::mutex> hold(lock_);
    return open_.size();
  }
  uint64_t AnsweredTotal() {
    std::lock_guard<std::mutex> hold(lock_);
    return answeredTotal_;
  }
  void SetClientAlive(bool alive) { clientAlive_ = alive; }

  bool Report() {
    std::lock_guard<std::mutex> hold(lock_);
    const uint64_t sum = answered_ + timedOut_ + sendFailed_ + cancelled_;
    std::fprintf(gReport,
        "accounting: accepted %llu = answered %llu + timed out %llu + send-failed %llu + "
        "cancelled %llu (%llu); missing %zu, doubled %llu, callbacks after DestroyClient %llu\n",
        ull(accepted_), ull(answered_), ull(timedOut_), ull(sendFailed_), ull(cancelled_),
        ull(sum), open_.size(), ull(doubled_), ull(late_.load()));
    return sum == accepted_ && open_.empty() && doubled_ == 0 && late_ == 0;
  }

  static Ledger& Instance() {
    static Ledger ledger;
    return ledger;
  }

 private:
  static unsigned long long ull(uint64_t v) { return static_cast<unsigned long long>(v); }

  std::mutex lock_;
  std::unordered_map<uint64_t, bool> open_;
  uint64_t accepted_ = 0, answered_ = 0, timedOut_ = 0, sendFailed_ = 0, cancelled_ = 0;
  uint64_t doubled_ = 0, answeredTotal_ = 0;
  std::atomic<uint64_t> late_{0};
  std::atomic<bool> clientAlive_{false};
};

size_t CountEntries(const char* dir) {
  size_t count = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* entry = readdir(d)) count += entry->d_name[0] != '.';
    closedir(d);
  }
  return count;
}

long RssKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Plugin {
  void* library = nullptr;
  PluginDescriptor d{};
};

class Driver {
 public:
  Driver(standin::StandIn& server, Plugin& plugin, uint32_t seed, uint64_t logLimit)
      : server_(server), plugin_(plugin), random_(seed), log_(logLimit) {}

  bool Run(std::chrono::minutes length) {
    const auto start = Clock::now();
    const auto end = start + length;
    auto nextMinute = start + 1min;
    auto nextEvent = start + 2s;
    uint64_t answeredAtMinute = 0;
    uint64_t loggedAtMinute = 0;
    Create();
    while (Clock::now() < end) {
      Pump();
      const auto now = Clock::now();
      if (now >= nextEvent) {
        Disturb();
        nextEvent = now + std::chrono::milliseconds(std::uniform_int_distribution<int>(1000, 6000)(random_));
      }
      if (now >= nextMinute) {
        const uint64_t answered = Ledger::Instance().AnsweredTotal();
        const uint64_t logged = log_.Written();
        std::fprintf(gReport, "minute %3lld: rss %ld KiB, fds %zu, threads %zu, outstanding %zu, "
                     "%.0f answers/s, log +%.1f MiB (file %u)\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::minutes>(now - start).count()),
                    RssKiB(), CountEntries("/proc/self/fd"), CountEntries("/proc/self/task"),
                    Ledger::Instance().Outstanding(),
                    static_cast<double>(answered - answeredAtMinute) / 60.0,
                    static_cast<double>(logged - loggedAtMinute) / (1 << 20), log_.Newest());
        log_.RemoveClosedFiles();
        answeredAtMinute = answered;
        loggedAtMinute = logged;
        nextMinute += 1min;
      }
    }
    Destroy();
    const bool sound = Ledger::Instance().Report();
    log_.RemoveClosedFiles();
    std::fprintf(gReport,
                 "log: %.1f MiB in all, %.0f bytes per answered request, files up to #%u, %u "
                 "numbered ones over the limit\n",
                 static_cast<double>(log_.Written()) / (1 << 20),
                 static_cast<double>(log_.Written()) /
                     static_cast<double>(std::max<uint64_t>(Ledger::Instance().AnsweredTotal(), 1)),
                 log_.Newest(), log_.Oversized());
    return sound && log_.Oversized() == 0;
  }

 private:
  void Create() {
    client_ = plugin_.d.createClient(&Ledger::OnNotify);
    Ledger::Instance().SetClientAlive(client_ != nullptr);
    loggedIn_ = false;
  }

  void Destroy() {
    if (client_ == nullptr) return;
    plugin_.d.destroyClient(client_);  // cancels everything outstanding
    Ledger::Instance().SetClientAlive(false);
    client_ = nullptr;
  }

  int32_t Send(const std::string& text, uint64_t context) {
    return plugin_.d.sendRequest(client_, text.data(), static_cast<int32_t>(text.size()),
                                 &Ledger::OnAnswer, context);
  }

  // Keeps up to kOutstanding requests in flight; logs in when it may.
  void Pump() {
    if (client_ == nullptr) return;
    if (!loggedIn_) {
      const uint64_t context = ++context_;
      Ledger::Instance().Accepted(context);  // counted first: the answer may race the return
      if (Send(kLogin, context) == 1) {
        plugin_.d.sendRequest(client_, kPushLogin.data(),
                              static_cast<int32_t>(kPushLogin.size()), nullptr, 0);
        loggedIn_ = true;
      } else {
        Ledger::Instance().Refused(context);
        std::this_thread::sleep_for(20ms);
        return;
      }
    }
    if (Ledger::Instance().Outstanding() >= kOutstanding) {
      std::this_thread::sleep_for(200us);
      return;
    }
    const uint64_t context = ++context_;
    Ledger::Instance().Accepted(context);
    if (Send(kRequest, context) != 1) {
      Ledger::Instance().Refused(context);
      std::this_thread::sleep_for(5ms);
    }
  }

  void Disturb() {
    using standin::Channel;
    switch (std::uniform_int_distribution<int>(0, 4)(random_)) {
      case 0:
        server_.DropConnections(Channel::Main);
        break;
      case 1:
        server_.DropConnections(Channel::Push);
        break;
      case 2: {  // silence long enough, now and then, for time-outs
        const bool longSilence = std::uniform_int_distribution<int>(0, 3)(random_) == 0;
        server_.SetSilent(Channel::Main, true);
        std::this_thread::sleep_for(longSilence ? 33s : 2s);
        server_.SetSilent(Channel::Main, false);
        break;
      }
      case 3:  // to the simulated kind (none configured) and back: log in anew
        plugin_.d.setRealTrade(client_, 0);
        std::this_thread::sleep_for(300ms);
        plugin_.d.setRealTrade(client_, 1);
        loggedIn_ = false;
        break;
      case 4:
        Destroy();
        Create();
        break;
    }
  }

  standin::StandIn& server_;
  Plugin& plugin_;
  std::mt19937 random_;
  ClientHandle* client_ = nullptr;
  uint64_t context_ = 0;
  bool loggedIn_ = false;
  LogFolder log_;
};

bool WriteConfiguration(const standin::StandIn& server, long logLimitMegabytes) {
  const std::string dir = ModuleDirectory();
  if (!platform::EnsureDirectory(dir + "/config")) return false;
  std::ofstream config(dir + "/config/system.xml", std::ios::trunc);
  config << "<Tessel><TesselServer><VerifyServer/><LogLimit megabytes=\"" << logLimitMegabytes
         << "\"/><Server name=\"simulator\" address=\"127.0.0.1\" port=\""
         << server.MainPort() << "\" pushaddress=\"127.0.0.1\" pushport=\"" << server.PushPort()
         << "\" real=\"1\"/></TesselServer></Tessel>\n";
  return static_cast<bool>(config);
}

int Main(int argc, char** argv) {
  long minutes = 1;
  long logLimitMegabytes = 64;
  uint32_t seed = 1;
  std::string library = TESSEL_LIBRARY_PATH;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--minutes") {
      minutes = std::strtol(argv[i + 1], nullptr, 10);
    } else if (option == "--seed") {
      seed = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
    } else if (option == "--library") {
      library = argv[i + 1];
    } else if (option == "--log-limit-mb") {
      logLimitMegabytes = std::strtol(argv[i + 1], nullptr, 10);
    } else {
      minutes = 0;  // unknown: the usage below
    }
  }
  if (minutes < 1 || logLimitMegabytes < 0 || argc % 2 == 0) {
    std::fprintf(stderr,
                 "usage: tessel-soak [--minutes N] [--seed S] [--library PATH] "
                 "[--log-limit-mb N]\n"
                 "       tessel-soak --version\n");
    return 2;
  }
  standin::Options options;
  options.certPath = ModuleDirectory() + "/ca.pem";
  options.password = "secret";
  options.recordFrames = false;  // the soak reads no frame log; it must not grow
  standin::StandIn server(options);
  if (!server.Start() || !WriteConfiguration(server, logLimitMegabytes)) {
    std::fprintf(stderr, "tessel-soak: cannot start the simulator or write its configuration\n");
    return 1;
  }
  Plugin plugin;
  plugin.library = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto query = plugin.library != nullptr
                   ? reinterpret_cast<PluginDescriptor (*)()>(dlsym(plugin.library, "QueryZephCommInterface"))
                   : nullptr;
  if (query == nullptr) {
    std::fprintf(stderr, "tessel-soak: cannot load %s\n", library.c_str());
    return 1;
  }
  plugin.d = query();
  // The library's console lines are not what a soak reads: its standard
  // output goes to /dev/null, the report to the terminal it had.
  std::fflush(stdout);
  const int terminal = dup(STDOUT_FILENO);
  std::FILE* console = std::fopen("/dev/null", "w");
  if (terminal < 0 || console == nullptr) return 1;
  dup2(fileno(console), STDOUT_FILENO);
  gReport = fdopen(terminal, "w");
  setvbuf(gReport, nullptr, _IOLBF, 0);
  std::fprintf(gReport,
               "soak: %ld minute(s), seed %u, up to %d requests outstanding, log files of at most "
               "%ld MiB\n",
               minutes, seed, kOutstanding, logLimitMegabytes);
  Driver driver(server, plugin, seed, static_cast<uint64_t>(logLimitMegabytes) << 20);
  const bool sound = driver.Run(std::chrono::minutes(minutes));
  dlclose(plugin.library);
  server.Stop();
  return sound ? 0 : 1;
}

}  // namespace
}  // namespace tessel::soak

int main(int argc, char** argv) {
  if (tessel::tools::AnsweredVersion(argc, argv, "tessel-soak")) return 0;
  return tessel::soak::Main(argc, argv);
}
