#include "tools/standin/control_port.h"

#include <arpa/inet.h>
#include <json/reader.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/standin/control.h"

namespace tessel::standin {
namespace {

// A line longer than this is no command: its client is closed.
constexpr size_t kMaxLine = 64 * 1024;

}  // namespace

struct ControlPort::Client {
  platform::NativeSocket fd;
  std::string pending;  // bytes after the last whole line
};

ControlPort::~ControlPort() {
  if (!thread_.joinable()) return;
  stop_.Signal();
  thread_.join();
  platform::CloseSocket(listener_);
}

bool ControlPort::Open(uint16_t port) {
  if (listener_ != platform::kInvalidSocket || !stop_.Valid()) return false;
  listener_ = platform::ListenLoopback(port);
  if (listener_ == platform::kInvalidSocket) return false;
  platform::SetNonBlocking(listener_, true);
  port_ = port;
  thread_ = std::thread(&ControlPort::Serve, this);
  return true;
}

void ControlPort::Serve() {
  platform::ShieldThreadFromBrokenPipe();
  std::vector<Client> clients;
  for (;;) {
    std::vector<pollfd> waits{{stop_.Fd(), POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const Client& client : clients) waits.push_back({client.fd, POLLIN, 0});
    if (::poll(waits.data(), waits.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (waits[0].revents != 0) break;
    const size_t polled = clients.size();
    if ((waits[1].revents & POLLIN) != 0) {
      const platform::NativeSocket fd = platform::AcceptConnection(listener_);
      if (fd != platform::kInvalidSocket && platform::SetNonBlocking(fd, true)) {
        clients.push_back({fd, {}});
      } else if (fd != platform::kInvalidSocket) {
        platform::CloseSocket(fd);
      }
    }
    for (size_t i = 0; i < polled; ++i) {
      if (waits[i + 2].revents != 0 && !Take(clients[i])) {
        platform::CloseSocket(clients[i].fd);
        clients[i].fd = platform::kInvalidSocket;
      }
    }
    clients.erase(std::remove_if(clients.begin(), clients.end(),
                                 [](const Client& c) { return c.fd == platform::kInvalidSocket; }),
                  clients.end());
  }
  for (const Client& client : clients) platform::CloseSocket(client.fd);
}

// Reads what the client sent and answers each whole line; at its end, a
// last line without a newline too. False when the client is done with.
bool ControlPort::Take(Client& client) {
  char chunk[4096];
  const ssize_t n = ::recv(client.fd, chunk, sizeof chunk, 0);
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  client.pending.append(chunk, static_cast<size_t>(n));
  if (n == 0 && !client.pending.empty()) client.pending += '\n';
  for (size_t end; (end = client.pending.find('\n')) != std::string::npos;) {
    const std::string answer = standIn_.Control(client.pending.substr(0, end)) + "\n";
    client.pending.erase(0, end + 1);
    // An answer is small: a client that cannot take it is not reading.
    if (::send(client.fd, answer.data(), answer.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(answer.size())) {
      return false;
    }
  }
  return n > 0 && client.pending.size() <= kMaxLine;
}

ControlLink::ControlLink(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

ControlLink::~ControlLink() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> ControlLink::Ask(const std::string& line) {
  const std::string text = line + "\n";
  if (::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
    return std::nullopt;
  }
  size_t end;
  while ((end = read_.find('\n')) == std::string::npos) {
    char chunk[4096];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    read_.append(chunk, static_cast<size_t>(n));
  }
  std::string answer = read_.substr(0, end);
  read_.erase(0, end + 1);
  return answer;
}

namespace {

bool IsOk(const std::string& answer) {
  Json::Value value;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  return reader->parse(answer.data(), answer.data() + answer.size(), &value, nullptr) &&
         value["ok"].asBool();
}

void ClientUsage() {
  std::fprintf(stderr,
               "usage: tessel-standin control PORT [COMMAND...]\n"
               "  sends COMMAND, or each line of standard input, to the control port of a\n"
               "  running tessel-standin (--control-port PORT) and prints each answer.\n"
               "  A command is its words, or the same as a JSON object:\n"
               "    drop main reset  =  {\"cmd\":\"drop\",\"channel\":\"main\",\"how\":\"reset\"}\n"
               "commands:\n%s",
               ControlCommands().c_str());
}

}  // namespace

int RunControlClient(int argc, char** argv) {
  char* end = nullptr;
  const unsigned long port = argc >= 2 ? std::strtoul(argv[1], &end, 10) : 0;
  if (argc < 2 || *end != '\0' || port == 0 || port > 65535) {
    ClientUsage();
    return 2;
  }
  ControlLink link(static_cast<uint16_t>(port));
  if (!link.Connected()) {
    std::fprintf(stderr, "tessel-standin control: nothing listens on 127.0.0.1 port %lu\n", port);
    return 3;
  }
  int status = 0;
  const auto ask = [&](const std::string& command) {
    const std::optional<std::string> answer = link.Ask(command);
    if (!answer) {
      std::fprintf(stderr, "tessel-standin control: the port closed\n");
      return false;
    }
    std::printf("%s\n", answer->c_str());
    std::fflush(stdout);
    if (!IsOk(*answer)) status = 1;
    return true;
  };
  if (argc > 2) {
    std::string command;
    for (int i = 2; i < argc; ++i) command += (i > 2 ? " " : "") + std::string(argv[i]);
    return ask(command) ? status : 3;
  }
  for (std::string line; std::getline(std::cin, line);) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (!ask(line)) return 3;
  }
  return status;
}

}  // namespace tessel::standin
