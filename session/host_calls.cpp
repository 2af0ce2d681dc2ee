#include "session/host_calls.h"

#include "session/trade_client.h"
#include "support/console.h"

namespace tessel {

const char kCancelText[] = "{\"status\":1,\"describe\":\"cancel req\"}";
const char kTimeoutText[] = "{\"status\":2,\"describe\":\"timeout\"}";
const char kSendFailText[] = "{\"status\":1,\"describe\":\"req send fail\"}";

namespace {

// The client the calling thread is inside a Use of, and how deeply. A
// thread may be inside Uses of two clients (a callback of one calling into
// the other); each Use restores what it found.
thread_local const void* tOwner = nullptr;
thread_local int tDepth = 0;

int DepthIn(const void* owner) { return tOwner == owner ? tDepth : 0; }

}  // namespace

CallbackGate::Use::Use(CallbackGate& gate, const void* owner)
    : gate_(gate), savedOwner_(tOwner), savedDepth_(tDepth) {
  {
    std::lock_guard<std::mutex> hold(gate_.lock_);
    ++gate_.inUse_;
  }
  tDepth = DepthIn(owner) + 1;
  tOwner = owner;
}

CallbackGate::Use::Use(CallbackGate& gate, const void* owner, Counted)
    : gate_(gate), savedOwner_(tOwner), savedDepth_(tDepth) {
  tDepth = DepthIn(owner) + 1;
  tOwner = owner;
}

CallbackGate::Use::~Use() {
  tOwner = savedOwner_;
  tDepth = savedDepth_;
  gate_.Release();
}

void CallbackGate::Release() {
  // Notified under the lock: the waiter may free the gate once it sees the
  // count fall, so nothing of it may be touched after the lock is released.
  std::lock_guard<std::mutex> hold(lock_);
  --inUse_;
  released_.notify_all();
}

void CallbackGate::Close(const void* owner) {
  const int own = DepthIn(owner);
  std::unique_lock<std::mutex> hold(lock_);
  closed_ = true;
  released_.wait(hold, [&] { return inUse_ <= own; });
}

void CallbackGate::WaitUnused() {
  std::unique_lock<std::mutex> hold(lock_);
  released_.wait(hold, [this] { return inUse_ == 0; });
}

bool CallbackGate::InsideUseOf(const void* owner) { return DepthIn(owner) > 0; }

void AnswerHost(TradeClient& client, const TradeRequestData& request, std::string_view text,
                const char* noCallbackLine) {
  if (request.callback == nullptr) {
    if (noCallbackLine != nullptr) ConsoleLine(noCallbackLine);
    return;
  }
  client.callbacks.Pass(&client, [&] {
    request.callback(text.data(), static_cast<int32_t>(text.size()), request.context);
  });
}

void NotifyHost(TradeClient& client, const std::string& text) {
  if (client.hostNotify == nullptr) return;
  client.callbacks.Pass(&client, [&] {
    client.hostNotify(text.c_str(), static_cast<int32_t>(text.size()));
  });
}

}  // namespace tessel
