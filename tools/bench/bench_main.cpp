// tessel-bench: the library against a bare OpenSSL client, both talking to
// one in-process stand-in over loopback TLS, printed as one table:
//   - idle cost (getrusage over a quiet spell) of one client and of many,
//     each logged in on both channels, beside two quiet bare connections;
//   - how long SendRequest takes before it returns (ModifyPwd, OrderSubmit),
//     beside the bare client's SSL_write of the same frames;
//   - pipelined ModifyPwd throughput with a window of requests outstanding;
//   - sequential ModifyPwd round trips, one in flight;
//   - what each of these adds to the library's log file.
// All of it twice, each run in a forked child: pinned to one CPU with
// sched_setaffinity, then free to use every online CPU.
//
//   tessel-bench [--count N] [--warmup N] [--library PATH] [--idle-seconds N]
//                [--pipeline-seconds N] [--window N] [--clients N] [--orders N]
//   tessel-bench --version
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "messages/inbound/answer_conventions.h"
#include "messages/outbound/session_requests.h"
#include "net/frame.h"
#include "platform/system.h"
#include "tools/bench/bare_client.h"
#include "tools/bench/latency.h"
#include "tools/bench/library_client.h"
#include "tools/bench/log_folder.h"
#include "tools/standin/standin.h"
#include "tools/version_option.h"

namespace tessel::bench {
namespace {

constexpr int kMaxCount = 10'000'000;

struct Options {
  std::string library = TESSEL_LIBRARY_PATH;
  Budget budget;
  int idleSeconds = 10;
  int pipelineSeconds = 5;
  int window = 64;
  int clients = 50;
  int orders = 2000;
};

bool ParseCount(const char* text, int& out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > kMaxCount) return false;
  out = static_cast<int>(value);
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = value != nullptr;
    if (flag == "--count") {
      ok = ok && ParseCount(value, options.budget.count) && options.budget.count > 0;
    } else if (flag == "--warmup") {
      ok = ok && ParseCount(value, options.budget.warmup);
    } else if (flag == "--library") {
      if (ok) options.library = value;
    } else if (flag == "--idle-seconds") {
      ok = ok && ParseCount(value, options.idleSeconds) && options.idleSeconds > 0;
    } else if (flag == "--pipeline-seconds") {
      ok = ok && ParseCount(value, options.pipelineSeconds) && options.pipelineSeconds > 0;
    } else if (flag == "--window") {
      ok = ok && ParseCount(value, options.window) && options.window > 0;
    } else if (flag == "--clients") {
      ok = ok && ParseCount(value, options.clients) && options.clients > 0;
    } else if (flag == "--orders") {
      ok = ok && ParseCount(value, options.orders) && options.orders > 0;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr,
                   "usage: %s [--count N] [--warmup N] [--library PATH] [--idle-seconds N]\n"
                   "       [--pipeline-seconds N] [--window N] [--clients N] [--orders N]\n"
                   "       %s --version\n",
                   argv[0], argv[0]);
      return false;
    }
    ++i;
  }
  return true;
}

// The library reads its configuration beside the running executable.
bool WriteConfig(const std::string& directory, uint16_t mainPort, uint16_t pushPort) {
  if (!platform::EnsureDirectory(directory + "/config")) return false;
  std::ofstream out(directory + "/config/system.xml", std::ios::binary | std::ios::trunc);
  out << "<Root><TesselServer><Server name=\"stand-in\" address=\"127.0.0.1\" port=\""
      << mainPort << "\" pushaddress=\"127.0.0.1\" pushport=\"" << pushPort
      << "\" real=\"1\"/></TesselServer></Root>";
  return static_cast<bool>(out);
}

// The library traces every request and answer on stdout; while this lives,
// fd 1 goes to /dev/null and the report goes to the original stdout.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, STDOUT_FILENO);
      ::close(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);  // the library's buffered lines go to /dev/null too
    if (saved_ >= 0) {
      ::dup2(saved_, STDOUT_FILENO);
      ::close(saved_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

// What `nproc` prints: the CPUs this process may run on.
int UsableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
}

// CPU time and context switches of the whole process (every thread,
// the stand-in's included) over a quiet spell.
struct Idle {
  double corePercent = 0;
  double switchesPerSecond = 0;
};

Idle MeasureIdle(int seconds) {
  rusage before{};
  rusage after{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  getrusage(RUSAGE_SELF, &after);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const auto cpu = [](const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  };
  const auto switches = [](const rusage& r) {
    return static_cast<double>(r.ru_nvcsw + r.ru_nivcsw);
  };
  return {100.0 * (cpu(after) - cpu(before)) / wall,
          (switches(after) - switches(before)) / wall};
}

// What the library's log has grown by, once the log's batching has been
// waited out, so lines of what was just done are counted.
uint64_t SettledLogBytes(const LogFolder& log) {
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return log.Written();
}

// Log bytes a phase added, per unit of its work.
double Per(uint64_t before, uint64_t after, double units) {
  return units > 0 ? static_cast<double>(after - before) / units : 0;
}

constexpr double kSecondsPerHour = 3600;
// The orders whose log lines are measured.
constexpr int kLoggedOrders = 200;

// Sparse OrderSubmit calls come this far apart.
constexpr auto kOrderGap = std::chrono::microseconds(100);

struct Results {
  int cpus = 0;  // what nproc printed in the measuring child
  Summary library;
  Summary bare;
  Summary modifyPwdCall;
  Summary orderSubmitCall;        // each right after a ModifyPwd round trip
  Summary sparseOrderSubmitCall;  // kOrderGap apart
  Summary bareModifyPwdWrite;     // SSL_write of the frame, in the round trips
  Summary bareOrderSubmitWrite;   // each right after a round trip
  Idle libraryIdle;
  Idle manyIdle;
  Idle bareIdle;
  double libraryPipelined = 0;  // answers per second
  double barePipelined = 0;
  // Log bytes added:
  double logIdleHour = 0;       // per hour idle, 1 client
  double logManyIdleHour = 0;   // per hour idle, all clients
  double logRoundTrip = 0;      // per ModifyPwd round trip
  double logPipelined = 0;      // per pipelined ModifyPwd
  double logOrderSubmit = 0;    // per OrderSubmit that fills, with its answer and pushes
};

// Everything the library is measured on, then the same for the bare client.
bool Run(const Options& options, standin::StandIn& server, Results& results, std::string& why) {
  const auto pipelineFor = std::chrono::seconds(options.pipelineSeconds);
  {
    LibraryClient library;
    if (!library.Open(options.library, why) || !library.LogIn(why, true)) return false;
    const LogFolder log;
    uint64_t logBefore = SettledLogBytes(log);
    results.libraryIdle = MeasureIdle(options.idleSeconds);
    uint64_t logAfter = SettledLogBytes(log);
    results.logIdleHour = Per(logBefore, logAfter, options.idleSeconds / kSecondsPerHour);
    std::vector<int64_t> calls;
    calls.reserve(static_cast<size_t>(options.budget.count + options.budget.warmup));
    const auto libraryTrip = [&library, &calls](uint64_t n) {
      int64_t callNs = 0;
      const bool ok = library.ModifyPwd(n, callNs);
      calls.push_back(callNs);
      return ok;
    };
    logBefore = SettledLogBytes(log);
    if (!Measure(options.budget, libraryTrip, results.library, why)) {
      why = "library: " + why;
      return false;
    }
    logAfter = SettledLogBytes(log);
    results.logRoundTrip = Per(logBefore, logAfter, options.budget.count + options.budget.warmup);
    calls.erase(calls.begin(), calls.begin() + options.budget.warmup);
    results.modifyPwdCall = Summarize(calls, {});
    logBefore = SettledLogBytes(log);
    const int64_t answered = library.Pipelined(options.window, pipelineFor);
    if (answered < 0) {
      why = "library: a pipelined request failed";
      return false;
    }
    logAfter = SettledLogBytes(log);
    results.logPipelined = Per(logBefore, logAfter, static_cast<double>(answered));
    results.libraryPipelined = static_cast<double>(answered) / options.pipelineSeconds;
    if (!library.AddIdleClients(options.clients - 1, why)) return false;
    logBefore = SettledLogBytes(log);
    results.manyIdle = MeasureIdle(options.idleSeconds);
    logAfter = SettledLogBytes(log);
    results.logManyIdleHour = Per(logBefore, logAfter, options.idleSeconds / kSecondsPerHour);
    // Orders that fill, while the stand-in still takes the account's orders
    // (it refuses them past its daily bound, which the timed calls below
    // reach; their call times do not depend on it).
    logBefore = SettledLogBytes(log);
    if (library.OrderSubmitCalls(kLoggedOrders, kOrderGap, false).empty()) {
      why = "library: an OrderSubmit failed";
      return false;
    }
    logAfter = SettledLogBytes(log);
    results.logOrderSubmit = Per(logBefore, logAfter, kLoggedOrders);
    for (const bool afterRoundTrip : {true, false}) {
      std::vector<int64_t> orders =
          library.OrderSubmitCalls(options.orders, kOrderGap, afterRoundTrip);
      if (orders.empty()) {
        why = "library: an OrderSubmit failed";
        return false;
      }
      (afterRoundTrip ? results.orderSubmitCall : results.sparseOrderSubmitCall) =
          Summarize(orders, {});
    }
    library.Close();  // destroys the clients, then unloads the library
  }
  BareClient bare;
  BareClient barePush;
  if (!bare.Connect(server.MainPort(), why) || !barePush.Connect(server.PushPort(), why)) {
    return false;
  }
  results.bareIdle = MeasureIdle(options.idleSeconds);
  std::vector<int64_t> writes;
  writes.reserve(static_cast<size_t>(options.budget.count + options.budget.warmup));
  const auto bareTrip = [&bare, &writes](uint64_t n) {
    int64_t writeNs = 0;
    const bool ok = bare.ModifyPwd(n, writeNs);
    writes.push_back(writeNs);
    return ok;
  };
  if (!Measure(options.budget, bareTrip, results.bare, why)) {
    why = "bare OpenSSL: " + why;
    return false;
  }
  writes.erase(writes.begin(), writes.begin() + options.budget.warmup);
  results.bareModifyPwdWrite = Summarize(writes, {});
  const int64_t answered = bare.Pipelined(options.window, pipelineFor);
  if (answered < 0) {
    why = "bare OpenSSL: a pipelined request failed";
    return false;
  }
  results.barePipelined = static_cast<double>(answered) / options.pipelineSeconds;
  // Request ids past every round trip's: the pipelined ones are all 1.
  std::vector<int64_t> orders = bare.OrderSubmitWrites(options.orders, 2ull * kMaxCount + 1);
  if (orders.empty()) {
    why = "bare OpenSSL: an OrderSubmit failed";
    return false;
  }
  results.bareOrderSubmitWrite = Summarize(orders, {});
  return true;
}

const char* Verdict(bool met) { return met ? "yes" : "NO"; }

void Report(const Options& options, const Results& results) {
  std::printf("Loopback TLS against the in-process stand-in; nproc %d. ModifyPwd request "
              "%zu bytes, answer %zu bytes.\n",
              results.cpus, FrameSize(kModifyPwdRequest.bodySize), FrameSize(kAnswerHeadSize));
  std::printf("\nRound trips, one in flight, warm-up %d:\n", options.budget.warmup);
  PrintHeading(stdout);
  PrintLine(stdout, "library", results.library);
  PrintLine(stdout, "bare OpenSSL", results.bare);
  std::printf("\nSendRequest, call to return: ModifyPwd in the round trips above; OrderSubmit "
              "(answers not\nawaited) each right after a ModifyPwd round trip, then %d calls %lld us "
              "apart:\n",
              options.orders, static_cast<long long>(kOrderGap.count()));
  PrintHeading(stdout);
  PrintLine(stdout, "ModifyPwd", results.modifyPwdCall);
  PrintLine(stdout, "OrderSubmit", results.orderSubmitCall);
  PrintLine(stdout, "OrderSubmit,gap", results.sparseOrderSubmitCall);
  std::printf("The bare client's SSL_write of the same frames (OrderSubmit each right after "
              "a round trip):\n");
  PrintLine(stdout, "bare ModifyPwd", results.bareModifyPwdWrite);
  PrintLine(stdout, "bare OrderSub", results.bareOrderSubmitWrite);

  const double roundTrip = results.library.medianUs / results.bare.medianUs;
  const double pipelined = results.libraryPipelined / results.barePipelined;
  std::printf("\n%-44s %12s %12s %8s %10s %4s\n", "goal", "library", "bare", "ratio", "target",
              "met");
  std::printf("%-44s %12.3f %12.3f %8s %10s %4s\n", "1 idle, 1 client, % of a core",
              results.libraryIdle.corePercent, results.bareIdle.corePercent, "", "<= 0.1",
              Verdict(results.libraryIdle.corePercent <= 0.1));
  std::printf("%-44s %12.1f %12.1f %8s %10s %4s\n", "  context switches per second",
              results.libraryIdle.switchesPerSecond, results.bareIdle.switchesPerSecond, "", "",
              "");
  char many[64];
  std::snprintf(many, sizeof many, "1 idle, %d clients, %% of a core", options.clients);
  std::printf("%-44s %12.3f %12s %8s %10s %4s\n", many, results.manyIdle.corePercent, "", "",
              "<= 1", Verdict(results.manyIdle.corePercent <= 1.0));
  std::printf("%-44s %12.1f %12s %8s %10s %4s\n", "  context switches per second",
              results.manyIdle.switchesPerSecond, "", "", "", "");
  // SendRequest may cost what writing the frame costs a bare client, and
  // 1.5 us more.
  const auto sendGoal = [](const char* label, const Summary& call, const Summary& bareWrite) {
    const double limit = bareWrite.medianUs + 1.5;
    char target[16];
    std::snprintf(target, sizeof target, "<= %.1f", limit);
    std::printf("%-44s %12.2f %12.2f %8s %10s %4s\n", label, call.medianUs, bareWrite.medianUs,
                "", target, Verdict(call.medianUs <= limit));
  };
  sendGoal("2 SendRequest ModifyPwd, median us", results.modifyPwdCall, results.bareModifyPwdWrite);
  sendGoal("2 SendRequest OrderSubmit, median us", results.orderSubmitCall,
           results.bareOrderSubmitWrite);
  sendGoal("  the same, 100 us apart, median us", results.sparseOrderSubmitCall,
           results.bareOrderSubmitWrite);
  char window[64];
  std::snprintf(window, sizeof window, "3 pipelined answers/s, %d outstanding, %d s",
                options.window, options.pipelineSeconds);
  std::printf("%-44s %12.0f %12.0f %8.3f %10s %4s\n", window, results.libraryPipelined,
              results.barePipelined, pipelined, ">= 0.6", Verdict(pipelined >= 0.6));
  std::printf("%-44s %12.1f %12.1f %8.3f %10s %4s\n", "4 round trip, median us",
              results.library.medianUs, results.bare.medianUs, roundTrip, "<= 1.5",
              Verdict(roundTrip <= 1.5));

  std::printf("\nLog file growth, bytes (idle: over the %d s spells above, scaled to an hour; "
              "the\nstand-in answers each heartbeat):\n",
              options.idleSeconds);
  std::printf("  %-42s %12.0f\n", "per idle hour, 1 client", results.logIdleHour);
  char manyHour[64];
  std::snprintf(manyHour, sizeof manyHour, "per idle hour, %d clients", options.clients);
  std::printf("  %-42s %12.0f\n", manyHour, results.logManyIdleHour);
  std::printf("  %-42s %12.1f\n", "per ModifyPwd round trip", results.logRoundTrip);
  std::printf("  %-42s %12.1f\n", "per pipelined ModifyPwd", results.logPipelined);
  std::printf("  %-42s %12.1f\n", "per OrderSubmit, its answer and pushes", results.logOrderSubmit);
}

// One whole measurement, in this process: the stand-in, then Run.
bool Measurement(const Options& options, Results& results) {
  const std::string directory = platform::ExecutableDirectory();
  standin::Options serverOptions;
  serverOptions.certPath = directory + "/ca.pem";  // where the library looks for it
  serverOptions.password = "secret";
  standin::StandIn server(serverOptions);
  if (!server.Start()) {
    std::fprintf(stderr, "tessel-bench: the stand-in did not start\n");
    return false;
  }
  if (!WriteConfig(directory, server.MainPort(), server.PushPort())) {
    std::fprintf(stderr, "tessel-bench: cannot write %s/config/system.xml\n", directory.c_str());
    return false;
  }
  std::string why;
  bool ok;
  {
    QuietStdout quiet;
    ok = Run(options, server, results, why);
  }
  server.Stop();
  if (!ok) std::fprintf(stderr, "tessel-bench: %s\n", why.c_str());
  return ok;
}

// Runs the measurement in a child with `cpus` as its affinity (every
// thread it starts inherits it) and reads its results back through a pipe.
bool MeasureOn(const cpu_set_t& cpus, const Options& options, Results& results) {
  int ends[2];
  if (::pipe(ends) != 0) return false;
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ends[0]);
    Results measured;
    const bool placed = sched_setaffinity(0, sizeof cpus, &cpus) == 0;
    measured.cpus = UsableCpus();
    const bool ok = placed && Measurement(options, measured) &&
                    ::write(ends[1], &measured, sizeof measured) == sizeof measured;
    std::fflush(nullptr);
    ::_exit(ok ? 0 : 1);
  }
  ::close(ends[1]);
  size_t got = 0;
  while (child > 0 && got < sizeof results) {
    char* into = reinterpret_cast<char*>(&results) + got;
    const ssize_t n = ::read(ends[0], into, sizeof results - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(ends[0]);
  int status = 0;
  if (child > 0) ::waitpid(child, &status, 0);
  return got == sizeof results && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int Main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;

  // Pinned: the lowest CPU this process was started on. Unpinned: every
  // online CPU, whatever mask (taskset) the bench was started under.
  cpu_set_t started;
  CPU_ZERO(&started);
  sched_getaffinity(0, sizeof started, &started);
  int pinnedCpu = 0;
  while (pinnedCpu < CPU_SETSIZE - 1 && !CPU_ISSET(pinnedCpu, &started)) ++pinnedCpu;
  cpu_set_t pinned;
  CPU_ZERO(&pinned);
  CPU_SET(pinnedCpu, &pinned);
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  cpu_set_t unpinned;
  CPU_ZERO(&unpinned);
  for (long cpu = 0; cpu < online && cpu < CPU_SETSIZE; ++cpu) CPU_SET(cpu, &unpinned);

  static_assert(std::is_trivially_copyable_v<Results>);
  Results onOne;
  Results onAll;
  if (!MeasureOn(pinned, options, onOne) || !MeasureOn(unpinned, options, onAll)) return 1;

  std::printf("Every figure is measured twice, each time in a forked child whose affinity is set "
              "with\nsched_setaffinity (no re-execution under taskset): pinned to CPU %d, then "
              "unpinned on\nCPUs 0-%ld. They differ because the library hands work between "
              "threads: waking a\nthread on another CPU of a VM costs tens of us (about 27 us "
              "on the VM this was\nwritten on), which pinned runs never pay. Pinned figures "
              "measure the library's own cost.\n",
              pinnedCpu, online - 1);
  std::printf("\n======== pinned to CPU %d ========\n", pinnedCpu);
  Report(options, onOne);
  std::printf("\n======== unpinned, CPUs 0-%ld ========\n", online - 1);
  Report(options, onAll);
  return 0;
}

}  // namespace
}  // namespace tessel::bench

int main(int argc, char** argv) {
  if (tessel::tools::AnsweredVersion(argc, argv, "tessel-bench")) return 0;
  return tessel::bench::Main(argc, argv);
}
