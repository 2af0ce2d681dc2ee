// libTessel.so driven the way a host drives it: loaded with dlopen, used
// through the descriptor, one request in flight at a time.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/host_api.h"

namespace tessel::bench {

class LibraryClient {
 public:
  LibraryClient() = default;
  ~LibraryClient() { Close(); }
  LibraryClient(const LibraryClient&) = delete;
  LibraryClient& operator=(const LibraryClient&) = delete;

  // Loads the library and creates a client, which starts connecting.
  bool Open(const std::string& libraryPath, std::string& why);
  // Sends the login once the main channel takes requests and waits for a
  // successful answer.
  bool LogIn(std::string& why);
  // One ModifyPwd round trip tagged `context`, which must differ from the
  // previous one's; false on a failure answer or no answer in time.
  bool ModifyPwd(uint64_t context);
  // Destroys the client, then unloads the library.
  void Close();

 private:
  int32_t Send(const std::string& text, uint64_t context);

  void* library_ = nullptr;
  PluginDescriptor plugin_{};
  TradeClient* client_ = nullptr;
};

}  // namespace tessel::bench
