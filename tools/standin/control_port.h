// Both ends of the control port, where control commands (control.h) reach
// a running stand-in: a TCP listener on 127.0.0.1 that takes one command
// per line from any number of clients and answers each with one line, in
// order; and the command-line client, `tessel-standin control`.
//
// A port rather than the stand-in's standard input: that input is its
// lifeline (it stops when the input closes, so it dies with the script or
// test that started it), and a port lets any script, test or terminal
// reach the server at any time without owning it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "platform/sockets.h"
#include "tools/standin/standin.h"
#include "tools/standin/wakeup.h"

namespace tessel::standin {

class ControlPort {
 public:
  explicit ControlPort(StandIn& standIn) : standIn_(standIn) {}
  ~ControlPort();  // closes the listener and every client, joins the thread
  ControlPort(const ControlPort&) = delete;
  ControlPort& operator=(const ControlPort&) = delete;

  // Listens on 127.0.0.1 at `port` (0: any free port) and starts serving;
  // false when it cannot. Once only.
  bool Open(uint16_t port);
  uint16_t Port() const { return port_; }

 private:
  struct Client;
  void Serve();
  bool Take(Client& client);

  StandIn& standIn_;
  platform::NativeSocket listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  Wakeup stop_;
  std::thread thread_;
};

// A client's connection to the control port, one command at a time.
class ControlLink {
 public:
  explicit ControlLink(uint16_t port);
  ~ControlLink();
  ControlLink(const ControlLink&) = delete;
  ControlLink& operator=(const ControlLink&) = delete;

  bool Connected() const { return fd_ >= 0; }
  // Sends the command line and returns its answer line; nothing when the
  // port closed first.
  std::optional<std::string> Ask(const std::string& line);

 private:
  int fd_;
  std::string read_;  // received beyond the last answer
};

// `tessel-standin control PORT [COMMAND...]`, argv[0] being "control":
// sends COMMAND (its words joined by spaces), or else each line of standard
// input, to the control port and prints each answer line. Returns 0 when
// every answer was ok, 1 when one was not, 2 for bad arguments and 3 when
// the port cannot be reached or closes.
int RunControlClient(int argc, char** argv);

}  // namespace tessel::standin
