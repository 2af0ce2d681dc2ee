// tessel-bench: sequential ModifyPwd round trips through libTessel.so and
// through a bare OpenSSL client, against one in-process stand-in, so the
// library's own share of the latency can be read off the ratio.
//
//   tessel-bench [--count N] [--warmup N] [--library PATH]
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "messages/inbound/answer_conventions.h"
#include "messages/outbound/session_requests.h"
#include "net/frame.h"
#include "platform/system.h"
#include "tools/bench/bare_client.h"
#include "tools/bench/latency.h"
#include "tools/bench/library_client.h"
#include "tools/standin/standin.h"

namespace tessel::bench {
namespace {

constexpr int kMaxCount = 10'000'000;

struct Options {
  std::string library = TESSEL_LIBRARY_PATH;
  Budget budget;
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
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "usage: %s [--count N] [--warmup N] [--library PATH]\n", argv[0]);
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

struct Results {
  Summary library;
  Summary bare;
};

// Both measurements, library first; `why` names the step that failed.
bool Run(const Options& options, standin::StandIn& server, Results& results, std::string& why) {
  LibraryClient library;
  if (!library.Open(options.library, why) || !library.LogIn(why)) return false;
  const auto libraryTrip = [&library](uint64_t n) { return library.ModifyPwd(n); };
  if (!Measure(options.budget, libraryTrip, results.library, why)) {
    why = "library: " + why;
    return false;
  }
  BareClient bare;
  if (!bare.Connect(server.MainPort(), why)) return false;
  const auto bareTrip = [&bare](uint64_t n) { return bare.ModifyPwd(n); };
  if (!Measure(options.budget, bareTrip, results.bare, why)) {
    why = "bare OpenSSL: " + why;
    return false;
  }
  bare.Close();
  library.Close();  // destroys the client, then unloads the library
  return true;
}

void Report(const Options& options, const Results& results) {
  std::printf("ModifyPwd round trips, one in flight: request %zu bytes, answer %zu bytes, "
              "warm-up %d, loopback TLS\n",
              FrameSize(kModifyPwdRequest.bodySize), FrameSize(kAnswerHeadSize),
              options.budget.warmup);
  std::printf("nproc: %d\n", UsableCpus());
  PrintHeading(stdout);
  PrintLine(stdout, "library", results.library);
  PrintLine(stdout, "bare OpenSSL", results.bare);
  std::printf("library/bare: median %.2fx, p99 %.2fx\n",
              results.library.medianUs / results.bare.medianUs,
              results.library.p99Us / results.bare.p99Us);
}

int Main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;

  const std::string directory = platform::ExecutableDirectory();
  standin::Options serverOptions;
  serverOptions.certPath = directory + "/ca.pem";  // where the library looks for it
  serverOptions.password = "secret";
  standin::StandIn server(serverOptions);
  if (!server.Start()) {
    std::fprintf(stderr, "tessel-bench: the stand-in did not start\n");
    return 1;
  }
  if (!WriteConfig(directory, server.MainPort(), server.PushPort())) {
    std::fprintf(stderr, "tessel-bench: cannot write %s/config/system.xml\n", directory.c_str());
    return 1;
  }

  Results results;
  std::string why;
  bool ok;
  {
    QuietStdout quiet;
    ok = Run(options, server, results, why);
  }
  server.Stop();
  if (!ok) {
    std::fprintf(stderr, "tessel-bench: %s\n", why.c_str());
    return 1;
  }
  Report(options, results);
  return 0;
}

}  // namespace
}  // namespace tessel::bench

int main(int argc, char** argv) { return tessel::bench::Main(argc, argv); }
