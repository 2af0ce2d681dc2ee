// tessel-standin: runs the simulated trade server until SIGINT, SIGTERM or
// the end of standard input (so it dies with a parent that holds its stdin).
// It makes its own certificate and writes it to the --write-cert file, the
// ca.pem a client checks it by. With --control-port it takes control
// commands on that port; `tessel-standin control PORT ...` sends them.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "platform/sockets.h"
#include "tools/standin/accounts_file.h"
#include "tools/standin/control.h"
#include "tools/standin/control_port.h"
#include "tools/standin/standin.h"
#include "tools/version_option.h"

namespace {

// The options and the control commands: on standard output when asked for
// with --help, else on standard error after a bad command line.
void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: tessel-standin --write-cert PATH [--main-port N] [--push-port N] "
               "[--password P | --accounts FILE] [--walk SEED]\n"
               "                      [--control-port N] [--trace FILE|-]\n"
               "       tessel-standin control PORT [COMMAND...]\n"
               "       tessel-standin --help | --version\n"
               "  --accounts FILE     the securities and the users who may log in, each with\n"
               "                      their password (docs/simulator-accounts.md); without it\n"
               "                      any user logs in with the password and gets the demo\n"
               "                      account\n"
               "  --walk SEED         move one security's price every half second, by a random\n"
               "                      walk drawn from SEED (prices stay put without it)\n"
               "  --control-port N    take control commands (faults, pushes, prices, restart)\n"
               "                      on 127.0.0.1 port N (0: any free port, printed)\n"
               "  --trace FILE|-      one line per frame received and sent with its fields\n"
               "                      decoded, to FILE or (-) standard error; without it,\n"
               "                      the same lines without fields go to standard error\n"
               "  control PORT        send COMMAND, or each line of standard input, to the\n"
               "                      control port, and print each answer line\n"
               "control commands, as words or as a JSON object with \"cmd\" and the\n"
               "arguments by name (drop main reset = "
               "{\"cmd\":\"drop\",\"channel\":\"main\",\"how\":\"reset\"}):\n"
               "%s",
               tessel::standin::ControlCommands().c_str());
}

// What the command line asks for beyond the server's own options.
struct Extras {
  std::optional<uint32_t> walkSeed;
  std::string accounts;
  std::optional<uint16_t> controlPort;
  std::optional<std::string> tracePath;
};

bool ParsePort(const char* text, uint16_t& port) {
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool ParseOptions(int argc, char** argv, tessel::standin::Options& options, Extras& extras) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (name == "--main-port") {
      if (!ParsePort(value, options.mainPort)) return false;
    } else if (name == "--push-port") {
      if (!ParsePort(value, options.pushPort)) return false;
    } else if (name == "--write-cert") {
      options.certPath = value;
    } else if (name == "--password") {
      options.password = value;
    } else if (name == "--accounts") {
      extras.accounts = value;
    } else if (name == "--walk") {
      char* end = nullptr;
      errno = 0;
      const unsigned long seed = std::strtoul(value, &end, 10);
      if (errno != 0 || end == value || *end != '\0' || seed > 0xFFFFFFFFul) return false;
      extras.walkSeed = static_cast<uint32_t>(seed);
    } else if (name == "--control-port") {
      if (!ParsePort(value, extras.controlPort.emplace())) return false;
    } else if (name == "--trace") {
      extras.tracePath = value;
    } else {
      return false;
    }
  }
  // A listed user's password is the file's.
  return !options.certPath.empty() && (extras.accounts.empty() || options.password.empty());
}

// The book of the accounts file, or nothing when it is refused (said on
// standard error).
std::optional<tessel::standin::Seed> ReadAccounts(const std::string& path) {
  tessel::standin::Seed seed;
  std::string error;
  if (tessel::standin::LoadAccounts(path, seed, error)) return seed;
  std::fprintf(stderr, "tessel-standin: %s: %s\n", path.c_str(), error.c_str());
  return std::nullopt;
}

// Blocks until a stop signal arrives or standard input ends; with a walk,
// takes one of its steps whenever half a second passes quietly.
void AwaitStop(int signals, tessel::standin::StandIn& standIn, std::optional<std::mt19937>& walk) {
  constexpr int kWalkStepMillis = 500;
  bool watchInput = true;
  for (;;) {
    pollfd waits[2] = {{signals, POLLIN, 0}, {watchInput ? STDIN_FILENO : -1, POLLIN, 0}};
    const int ready = ::poll(waits, 2, walk ? kWalkStepMillis : -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready == 0) {
      standIn.Walk(static_cast<uint32_t>((*walk)()));
      continue;
    }
    if (waits[0].revents != 0) return;
    if ((waits[1].revents & POLLNVAL) != 0) {
      watchInput = false;  // no standard input at all: only a signal stops us
    } else if (waits[1].revents != 0) {
      char discard[256];
      const ssize_t n = ::read(STDIN_FILENO, discard, sizeof discard);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
    }
  }
}

// The trace's detail and file: brief lines on standard error unless --trace
// names where the full ones go. False when that file cannot be written.
bool SetTrace(const std::optional<std::string>& path, tessel::standin::Options& options) {
  using tessel::standin::TraceDetail;
  options.trace = path ? TraceDetail::Fields : TraceDetail::Brief;
  if (!path || *path == "-") return true;
  options.traceFile = std::fopen(path->c_str(), "w");
  if (options.traceFile != nullptr) return true;
  std::perror(("tessel-standin: " + *path).c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (tessel::tools::AnsweredVersion(argc, argv, "tessel-standin")) return 0;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    Usage(stdout);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "control") == 0) {
    return tessel::standin::RunControlClient(argc - 1, argv + 1);
  }
  tessel::standin::Options options;
  Extras extras;
  if (!ParseOptions(argc, argv, options, extras)) {
    Usage(stderr);
    return 2;
  }
  std::optional<tessel::standin::Seed> seed;
  if (!extras.accounts.empty() && !(seed = ReadAccounts(extras.accounts))) return 2;
  if (!SetTrace(extras.tracePath, options)) return 1;
  options.recordFrames = false;  // nobody reads the log here; it would only grow

  // Blocked before any thread starts, so every thread inherits the mask and
  // the signals reach only the descriptor below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return 1;
  const int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signals < 0) {
    std::perror("tessel-standin: signalfd");
    return 1;
  }
  tessel::platform::ShieldThreadFromBrokenPipe();

  tessel::standin::StandIn standIn(options);
  if (seed) standIn.SetBook(std::move(*seed));
  if (!standIn.Start()) {
    std::fprintf(stderr,
                 "tessel-standin: cannot start: ports %u and %u on 127.0.0.1 must be free and "
                 "%s writable\n",
                 options.mainPort, options.pushPort, options.certPath.c_str());
    ::close(signals);
    return 1;
  }
  std::optional<tessel::standin::ControlPort> control;
  if (extras.controlPort && !control.emplace(standIn).Open(*extras.controlPort)) {
    std::fprintf(stderr, "tessel-standin: cannot listen on 127.0.0.1 port %u for control\n",
                 *extras.controlPort);
    ::close(signals);
    return 1;
  }
  std::printf("standin main=%u push=%u", standIn.MainPort(), standIn.PushPort());
  if (control) std::printf(" control=%u", control->Port());
  std::printf("\n");
  std::fflush(stdout);

  std::optional<std::mt19937> walk;
  if (extras.walkSeed) walk.emplace(*extras.walkSeed);
  AwaitStop(signals, standIn, walk);
  control.reset();  // first, so no restart can come in after the stop
  standIn.Stop();
  ::close(signals);
  return 0;
}
