#include "support/server_config.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system.h"

namespace tessel {

const std::string& ModuleDirectory() {
  static const std::string directory = platform::ExecutableDirectory();
  return directory;
}

std::string DefaultConfigPath() { return ModuleDirectory() + "/config/system.xml"; }

int32_t ParsePortText(const char* text) {
  // Automatic base: "0x" hexadecimal, a leading 0 octal, otherwise decimal.
  return static_cast<int32_t>(std::strtol(text, nullptr, 0));
}

bool ParseRealText(const char* text) {
  return !(text[0] == '\0' || std::strcmp(text, "0") == 0 ||
           platform::CompareIgnoringCase(text, "false") == 0);
}

namespace {

void ReadText(const TiXmlElement& element, const char* name, std::string& field) {
  if (const char* value = element.Attribute(name)) field = value;
}

void ReadPort(const TiXmlElement& element, const char* name, int32_t& field) {
  if (const char* value = element.Attribute(name)) field = ParsePortText(value);
}

// A server without a main address cannot be reached; it is left out rather
// than tried as the wildcard address.
bool ReadServer(const TiXmlElement& element, ServerEntry& entry) {
  if (element.Attribute("address") == nullptr) return false;
  ReadText(element, "address", entry.address);
  ReadText(element, "name", entry.name);
  ReadPort(element, "port", entry.port);
  ReadText(element, "pushaddress", entry.pushaddress);
  ReadPort(element, "pushport", entry.pushport);
  if (const char* real = element.Attribute("real")) entry.real = ParseRealText(real);
  return true;
}

}  // namespace

bool LoadServerConfig(ServerConfig& out) { return LoadServerConfigFile(DefaultConfigPath(), out); }

bool LoadServerConfigFile(const std::string& path, ServerConfig& out) {
  if (!platform::FileReadable(path)) return false;
  // Opened here rather than by name in TinyXML, which would take the UTF-8
  // path in the ANSI code page on Windows.
  std::FILE* file = platform::OpenForReading(path);
  if (file == nullptr) return false;
  TiXmlDocument document;
  const bool loaded = document.LoadFile(file);
  std::fclose(file);
  if (!loaded) return false;
  const TiXmlElement* root = document.RootElement();
  if (root == nullptr) return false;
  const TiXmlElement* section = root->FirstChildElement("TesselServer");
  if (section == nullptr) return false;
  out.clear();
  for (const TiXmlElement* server = section->FirstChildElement("Server"); server != nullptr;
       server = server->NextSiblingElement("Server")) {
    ServerEntry entry;
    if (ReadServer(*server, entry)) out.push_back(std::move(entry));
  }
  return !out.empty();
}

}  // namespace tessel
