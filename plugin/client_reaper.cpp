#include "plugin/client_reaper.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "session/trade_client.h"
#include "support/immortal.h"

namespace tessel {
namespace {

std::atomic<int> gLiveClients{0};
std::atomic<bool> gClosed{false};

struct Reaper {
  std::mutex lock;  // guards everything below
  std::deque<TradeClient*> waiting;
  bool running = false;  // the thread takes work until it finds none
  std::thread thread;
};

Reaper& TheReaper() {
  static Immortal<Reaper> reaper;
  return *reaper;
}

void Free(TradeClient* client) {
  client->Stop();  // joins its threads, the one that asked included
  // A host thread may still be on its way out of a call that made the
  // destroying callback (SetRealTrade's cancellations).
  client->callbacks.WaitUnused();
  delete client;
  CountClientOut();
}

void RunReaper(Reaper& reaper) {
  std::unique_lock<std::mutex> hold(reaper.lock);
  while (!reaper.waiting.empty()) {
    TradeClient* client = reaper.waiting.front();
    reaper.waiting.pop_front();
    hold.unlock();
    Free(client);
    hold.lock();
  }
  reaper.running = false;
}

}  // namespace

// Each side writes its own atomic, then reads the other's: either the
// going-away sees the client, or the client sees the going-away, or both.
bool CountClientIn() {
  ++gLiveClients;
  if (!gClosed.load()) return true;
  --gLiveClients;
  return false;
}

void CountClientOut() { --gLiveClients; }

bool CloseToNewClients() {
  gClosed = true;
  return gLiveClients.load() == 0;
}

void ReapLater(TradeClient* client) {
  Reaper& reaper = TheReaper();
  std::lock_guard<std::mutex> hold(reaper.lock);
  reaper.waiting.push_back(client);
  if (reaper.running) return;
  // The previous thread has found no work and ended, or is about to.
  if (reaper.thread.joinable()) reaper.thread.join();
  reaper.running = true;
  reaper.thread = std::thread(RunReaper, std::ref(reaper));
}

void ReapNothingMore() {
  Reaper& reaper = TheReaper();
  std::thread ended;
  {
    std::lock_guard<std::mutex> hold(reaper.lock);
    ended = std::move(reaper.thread);
  }
  if (ended.joinable()) ended.join();
}

}  // namespace tessel
