#include "support/server_config.h"

#include <tinyxml.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system.h"
#include "support/console.h"
#include "support/immortal.h"
#include "support/log.h"

namespace tessel {

namespace {

constexpr char kHomeVariable[] = "TESSEL_HOME";

// A folder named by the environment, without a trailing separator (a lone
// "/" stays); the executable's own folder when none is named.
std::string HomeOr(std::string named, std::string executable) {
  if (named.empty()) return executable;
  while (named.size() > 1 && (named.back() == '/' || named.back() == '\\')) named.pop_back();
  return named;
}

}  // namespace

const std::string& ModuleDirectory() {
  static Immortal<const std::string> directory(
      HomeOr(platform::EnvironmentText(kHomeVariable), platform::ExecutableDirectory()));
  return *directory;
}

std::string ModuleDirectoryForFiles() {
  return HomeOr(platform::EnvironmentTextForFiles(kHomeVariable),
                platform::ExecutableDirectoryForFiles());
}

std::string DefaultConfigPath() { return ModuleDirectory() + "/config/system.xml"; }

std::optional<int32_t> ParsePortText(const char* text) {
  // strtol alone would also take leading blanks and a sign.
  if (text[0] < '0' || text[0] > '9') return std::nullopt;
  const long long value = std::strtoll(text, nullptr, 0);
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool ParseRealText(const char* text) {
  return !(text[0] == '\0' || std::strcmp(text, "0") == 0 ||
           platform::CompareIgnoringCase(text, "false") == 0);
}

namespace {

// A plain decimal number within [min, max], digits only; nothing otherwise.
std::optional<long long> ParseDecimal(const char* text, long long min, long long max) {
  if (text[0] < '0' || text[0] > '9') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < min || value > max) return std::nullopt;
  return value;
}

void ReadText(const TiXmlElement& element, const char* name, std::string& field) {
  if (const char* value = element.Attribute(name)) field = value;
}

// False with the reason when the attribute is missing or not a usable port.
bool ReadPort(const TiXmlElement& element, const char* name, int32_t& field,
              std::string& problem) {
  const char* value = element.Attribute(name);
  const std::optional<int32_t> port = value != nullptr ? ParsePortText(value) : std::nullopt;
  if (!port) {
    problem = std::string("\"") + name + "\" " +
              (value == nullptr ? "is missing" : "\"" + std::string(value) + "\" is not a port (1-65535)");
    return false;
  }
  field = *port;
  return true;
}

// An entry that cannot be reached is left out rather than tried at the
// wildcard address or at a port that was never meant: without a main
// address (or with an empty one), or with a port that is missing or out of
// range (the push port matters only where there is a push address).
bool ReadServer(const TiXmlElement& element, ServerEntry& entry, std::string& problem) {
  ReadText(element, "address", entry.address);
  ReadText(element, "name", entry.name);
  ReadText(element, "pushaddress", entry.pushaddress);
  if (const char* real = element.Attribute("real")) entry.real = ParseRealText(real);
  if (element.Attribute("address") == nullptr) {
    problem = "\"address\" is missing";
    return false;
  }
  if (entry.address.empty()) {
    problem = "\"address\" is empty";
    return false;
  }
  return ReadPort(element, "port", entry.port, problem) &&
         (entry.pushaddress.empty() || ReadPort(element, "pushport", entry.pushport, problem));
}

// Says what is wrong with the configuration, on the console and in the log.
void Complain(const std::string& text) {
  ConsoleLine("config/system.xml: " + text);
  CLog::Instance().Write(1, "Config", "Error", "content:%s", text.c_str());
}

// The largest log size limit taken, in MiB: a limit is meant to keep the
// log from filling the disk, not to describe one.
constexpr long long kMaxLogMegabytes = 1024 * 1024;

// Both options are off unless asked for, so existing installations keep
// connecting and keep their one daily log file.
ServerOptions ReadOptions(const TiXmlElement& section) {
  ServerOptions options;
  const TiXmlElement* verify = section.FirstChildElement("VerifyServer");
  const char* enabled = verify != nullptr ? verify->Attribute("enabled") : nullptr;
  options.verifyServer = verify != nullptr && (enabled == nullptr || ParseRealText(enabled));
  if (const TiXmlElement* limit = section.FirstChildElement("LogLimit")) {
    const char* text = limit->Attribute("megabytes");
    const std::optional<long long> megabytes =
        text != nullptr ? ParseDecimal(text, 0, kMaxLogMegabytes) : std::nullopt;
    if (megabytes) {
      options.logSizeLimit = static_cast<uint64_t>(*megabytes) * 1024 * 1024;
    } else {
      Complain("<LogLimit> on line " + std::to_string(limit->Row()) + " ignored: \"megabytes\" " +
               (text == nullptr ? "is missing"
                                : "\"" + std::string(text) + "\" is not a whole number from 0 to " +
                                      std::to_string(kMaxLogMegabytes)) +
               "; the log is not limited");
    }
  }
  return options;
}

}  // namespace

bool LoadServerConfig(ServerConfig& out) { return LoadServerConfigFile(DefaultConfigPath(), out); }

bool LoadServerConfigFile(const std::string& path, ServerConfig& out, ServerOptions* options) {
  // Opened here rather than by name in TinyXML, which would take the UTF-8
  // path in the ANSI code page on Windows.
  std::FILE* file = platform::FileReadable(path) ? platform::OpenForReading(path) : nullptr;
  if (file == nullptr) {
    Complain("cannot be read at " + path);
    return false;
  }
  TiXmlDocument document;
  const bool loaded = document.LoadFile(file);
  std::fclose(file);
  if (!loaded) {
    Complain(std::string("is not well-formed XML: ") + document.ErrorDesc() + " at line " +
             std::to_string(document.ErrorRow()) + ", column " +
             std::to_string(document.ErrorCol()));
    return false;
  }
  const TiXmlElement* root = document.RootElement();
  const TiXmlElement* section =
      root != nullptr ? root->FirstChildElement("TesselServer") : nullptr;
  if (section == nullptr) {
    Complain("has no <TesselServer> element inside its root element");
    return false;
  }
  if (options != nullptr) *options = ReadOptions(*section);
  out.clear();
  for (const TiXmlElement* server = section->FirstChildElement("Server"); server != nullptr;
       server = server->NextSiblingElement("Server")) {
    ServerEntry entry;
    std::string problem;
    if (ReadServer(*server, entry, problem)) {
      out.push_back(std::move(entry));
    } else {
      Complain("server \"" + (entry.name.empty() ? entry.address : entry.name) +
               "\" on line " + std::to_string(server->Row()) + " skipped: " + problem);
    }
  }
  if (out.empty()) Complain("names no usable <Server> in <TesselServer>");
  return !out.empty();
}

}  // namespace tessel
