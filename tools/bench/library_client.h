// libTessel.so driven the way a host drives it: loaded with dlopen, used
// through the descriptor. One client does the measured work; more can be
// added that only log in and idle.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

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
  // Logs the client in on the main channel, and with `push` on the push
  // channel too, each once its channel takes requests.
  bool LogIn(std::string& why, bool push = false);
  // One ModifyPwd round trip tagged `context`, which must differ from the
  // previous one's; false on a failure answer or no answer in time.
  // `callNs` receives how long SendRequest itself took.
  bool ModifyPwd(uint64_t context, int64_t& callNs);
  // ModifyPwd requests kept `window` outstanding for `duration`; the number
  // of answers, or -1 when a request was refused or failed.
  int64_t Pipelined(int window, std::chrono::steady_clock::duration duration);
  // `count` OrderSubmit requests, their answers not awaited, each sent `gap`
  // after the previous one, or with `afterRoundTrip` each right after a
  // ModifyPwd round trip (as the ModifyPwd calls are measured). The
  // duration of each SendRequest call in ns, empty when one failed.
  std::vector<int64_t> OrderSubmitCalls(int count, std::chrono::microseconds gap,
                                        bool afterRoundTrip);
  // Creates `count` more clients and logs each in on both channels.
  bool AddIdleClients(int count, std::string& why);
  // Destroys the clients, then unloads the library.
  void Close();

 private:
  int32_t Send(ClientHandle* client, const std::string& text, RequestCallback callback,
               uint64_t context);
  bool LogInClient(ClientHandle* client, const std::string& user, bool push, std::string& why);

  void* library_ = nullptr;
  PluginDescriptor plugin_{};
  ClientHandle* client_ = nullptr;
  std::vector<ClientHandle*> idle_;
  uint64_t nextTrip_ = 100'000'000;  // round trips of OrderSubmitCalls, clear of the caller's
};

}  // namespace tessel::bench
