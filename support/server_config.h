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

// The host executable's directory without a trailing separator, taken once
// per process.
const std::string& ModuleDirectory();

std::string DefaultConfigPath();

// Fills `out` from the default configuration file; true when at least one
// server was read.
// `verifyServer`, when given, tells whether the file asks for the servers'
// certificates to be checked (a <VerifyServer/> element in <TesselServer>).
bool LoadServerConfig(ServerConfig& out);
bool LoadServerConfigFile(const std::string& path, ServerConfig& out,
                          bool* verifyServer = nullptr);

// Attribute conversions, exposed for tests.
// A port: automatic base ("0x" hexadecimal, a leading 0 octal, otherwise
// decimal), the text starting with a digit; nothing when it does not, or when
// the value lies outside 1-65535.
std::optional<int32_t> ParsePortText(const char* text);
bool ParseRealText(const char* text);

}  // namespace tessel
