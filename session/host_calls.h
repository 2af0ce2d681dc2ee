// Every call from the library into the host goes through here: answers to
// requests, the texts the library answers with itself, push messages and
// status reports. The client's CallbackGate lets a host destroy the client
// from inside one of its callbacks: no callback starts once it is closed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "session/host_callbacks.h"

namespace tessel {

class TradeClient;
struct TradeRequestData;

// The fixed texts the library answers a request with when the server
// cannot: the request was given up (a server-kind switch, DestroyClient or
// a new main link), no answer came in time, or its frame certainly never
// reached the link.
extern const char kCancelText[];    // {"status":1,"describe":"cancel req"}, 36 bytes
extern const char kTimeoutText[];   // {"status":2,"describe":"timeout"}, 33 bytes
extern const char kSendFailText[];  // {"status":1,"describe":"req send fail"}, 39 bytes

class CallbackGate {
 public:
  // The calling thread uses the client for its lifetime: a callback into
  // the host, or a host call that may make one (SetRealTrade). Nests.
  class Use {
   public:
    Use(CallbackGate& gate, const void* owner);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

   private:
    friend class CallbackGate;
    struct Counted {};  // the gate has counted it in already
    Use(CallbackGate& gate, const void* owner, Counted);

    CallbackGate& gate_;
    const void* savedOwner_;
    int savedDepth_;
  };

  // Runs `call` in a Use, unless the gate is closed. False when it did not run.
  template <typename Call>
  bool Pass(const void* owner, Call&& call) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (closed_) return false;
      ++inUse_;
    }
    Use use(*this, owner, Use::Counted{});
    call();
    return true;
  }

  // From now on no callback starts. Returns once no other thread is inside
  // a Use of this client (the calling thread's own Uses excepted).
  void Close(const void* owner);
  // Returns once no thread is inside a Use at all.
  void WaitUnused();
  // Whether the calling thread is inside a Use of `owner`.
  static bool InsideUseOf(const void* owner);

 private:
  friend class Use;
  void Release();

  std::mutex lock_;  // guards inUse_ and closed_
  std::condition_variable released_;
  int inUse_ = 0;
  bool closed_ = false;
};

// A request's callback gets `text`, which must be followed by a NUL byte;
// without a callback, the console gets `noCallbackLine` (when not null).
void AnswerHost(TradeClient& client, const TradeRequestData& request, std::string_view text,
                const char* noCallbackLine = "NULL call back");
// hostNotify gets `text`, if the host gave one.
void NotifyHost(TradeClient& client, const std::string& text);

}  // namespace tessel
