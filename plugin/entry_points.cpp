#include <cstdio>
#include <memory>
#include <new>

#include "platform/system.h"
#include "plugin/client_reaper.h"
#include "plugin/host_api.h"
#include "plugin/request_intake.h"
#include "session/trade_client.h"
#include "support/immortal.h"
#include "support/log.h"
#include "support/server_config.h"

namespace tessel {
namespace {

// Display texts in GBK, the host's code page.
constexpr char kDisplayName[] = "Tessel";
// "提供一套依据实盘行情撮合的交易服务"
constexpr char kDescription[] =
    "\xCC\xE1\xB9\xA9\xD2\xBB\xCC\xD7\xD2\xC0\xBE\xDD\xCA\xB5\xC5\xCC\xD0\xD0\xC7\xE9"
    "\xB4\xE9\xBA\xCF\xB5\xC4\xBD\xBB\xD2\xD7\xB7\xFE\xCE\xF1";

// Runs when the library is unloaded: with no client left, nothing can use
// the log or the process-wide objects any more, and a host that loads and
// unloads the library again and again must collect neither an open log file,
// nor a log writer thread, nor their memory per load. At process exit with
// clients still running, all of it stays for their threads, which from then
// on write their log lines themselves: nothing is left queued at the end.
struct ReleaseAtUnload {
  ~ReleaseAtUnload() {
    // A client destroyed from inside its own callback may still be being
    // freed: no thread may run this library's code once it is unmapped.
    ReapNothingMore();
    if (!CloseToNewClients()) {
      CLog::Instance().WriteDirectly();
      return;
    }
    ReapNothingMore();
    CLog::Instance().Close();
    ReleaseImmortals();
  }
} gReleaseAtUnload;

// Opens the process's log on first use; later clients reuse the first file,
// whatever the date.
void OpenDailyLog() {
  const platform::LocalDateTime today = platform::LocalNow();
  const long date = today.year * 10000L + today.month * 100L + today.day;
  char fileName[64];
  std::snprintf(fileName, sizeof fileName, "%ld.tessel.log", date);
  CLog::Instance().Init("Log", ModuleDirectoryForFiles().c_str(), fileName);
}

}  // namespace

PluginDescriptor MakePluginDescriptor() {
  PluginDescriptor descriptor{};
  descriptor.identifier = "Ferrule";
  descriptor.displayName = kDisplayName;
  descriptor.englishName = "Stock tessel";
  descriptor.description = kDescription;
  descriptor.extra = "";
  descriptor.flags = 0;
  descriptor.createClient = &CreateClient;
  descriptor.destroyClient = &DestroyClient;
  descriptor.sendRequest = &SendRequest;
  descriptor.setRealTrade = &SetRealTrade;
  return descriptor;
}

ClientHandle* CreateClient(HostNotifyCallback notify) {
  // Counted before any thread of it starts, so that an unload or an exit
  // racing this call never releases what those threads use.
  if (!CountClientIn()) return nullptr;
  try {
    OpenDailyLog();
    auto client = std::make_unique<TradeClient>();
    if (client->Init(notify)) return HandleOf(client.release());
    CLog::Instance().Flush();  // what the failed creation wrote is in the file on return
  } catch (...) {
  }
  CountClientOut();
  return nullptr;
}

void DestroyClient(ClientHandle* handle) {
  TradeClient* client = ClientOf(handle);
  if (client == nullptr) return;
  // Inside one of the client's own callbacks, it cannot be joined and freed
  // here: it stops taking and answering anything now, and the reaper frees
  // it once the callback has returned.
  if (CallbackGate::InsideUseOf(client)) {
    try {
      client->StopFromCallback();
      ReapLater(client);
    } catch (...) {
    }
    return;
  }
  try {
    client->Stop();
  } catch (...) {
  }
  delete client;
  CountClientOut();
  CLog::Instance().Flush();  // everything the client wrote is in the file on return
}

int32_t SendRequest(ClientHandle* handle, const char* data, int32_t length,
                    RequestCallback callback, uint64_t context) {
  TradeClient* client = ClientOf(handle);
  if (client == nullptr) return 0;
  try {
    // The request's answer may come, and its callback destroy the client,
    // before this call is done with it: the client is freed only after.
    CallbackGate::Use inUse(client->callbacks, client);
    return SubmitRequest(*client, data, length, callback, context) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void SetRealTrade(ClientHandle* handle, uint8_t real) {
  TradeClient* client = ClientOf(handle);
  if (client == nullptr) return;
  try {
    client->SetRealTrade(real);
  } catch (...) {
  }
}

}  // namespace tessel
