// The stand-in's control commands: faults and market moves asked for while
// it runs, by a test or by a host's developer. A command is a JSON object
// with "cmd" and its arguments by name, or the same in words with the
// arguments in order:
//
//   drop main reset   =   {"cmd":"drop","channel":"main","how":"reset"}
//
// Every command is answered with one line, {"ok":true} or
// {"ok":false,"error":"..."}. ControlCommands lists them all.
#pragma once

#include <string>

#include "tools/standin/standin.h"

namespace tessel::standin {

// Runs one command line on `standIn`; the answer line, without a newline.
std::string RunControl(StandIn& standIn, const std::string& line);

// One line per command: its words, then what it does.
std::string ControlCommands();

}  // namespace tessel::standin
