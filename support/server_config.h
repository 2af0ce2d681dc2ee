// The list of trade servers a client may connect to, read from
// <host directory>/config/system.xml.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessel {

struct ServerEntry {
  std::string address;      // main channel host (numeric address)
  std::string name;         // display name
  int32_t port = 0;         // main channel port
  std::string pushaddress;  // push channel host; empty: no push channel here
  int32_t pushport = 0;
  bool real = true;         // true: live trading, false: simulated
};

using ServerConfig = std::vector<ServerEntry>;

// The folder of config/system.xml, ca.pem and Log/, without a trailing
// separator: the one the environment variable TESSEL_HOME names, or else the
// host executable's own. Taken once per process, in UTF-8.
const std::string& ModuleDirectory();
// The same folder in the encoding the log's file calls take.
std::string ModuleDirectoryForFiles();

std::string DefaultConfigPath();

// What <TesselServer> asks for besides its servers; each is off unless
// the file turns it on.
struct ServerOptions {
  // <VerifyServer/>: check the servers' certificates against ca.pem.
  bool verifyServer = false;
  // <LogLimit megabytes="N"/>: the log moves on to a numbered file rather
  // than grow past N MiB; 0 for one file however large.
  uint64_t logSizeLimit = 0;
};

// Fills `out` from the default configuration file; true when at least one
// server was read. `options`, when given, receives the file's options.
bool LoadServerConfig(ServerConfig& out);
bool LoadServerConfigFile(const std::string& path, ServerConfig& out,
                          ServerOptions* options = nullptr);

// Attribute conversions, exposed for tests.
// A port: automatic base ("0x" hexadecimal, a leading 0 octal, otherwise
// decimal), the text starting with a digit; nothing when it does not, or when
// the value lies outside 1-65535.
std::optional<int32_t> ParsePortText(const char* text);
bool ParseRealText(const char* text);

}  // namespace tessel
