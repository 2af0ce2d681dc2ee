// The binary interface between the host application and the plug-in, as
// the public header declares it: the library is built against tessel.h, so
// the descriptor and the callbacks are declared once.
#pragma once

#include <cstdint>

#include "session/host_callbacks.h"
#include "tessel.h"

namespace tessel {

class TradeClient;

using PluginDescriptor = ::PluginDescriptor;
// What the host holds: an opaque pointer to one of our clients.
using ClientHandle = ::TradeClient;

inline ClientHandle* HandleOf(TradeClient* client) {
  return reinterpret_cast<ClientHandle*>(client);
}
inline TradeClient* ClientOf(ClientHandle* handle) { return reinterpret_cast<TradeClient*>(handle); }

// The four entry points (plugin/entry_points.cpp).
ClientHandle* CreateClient(HostNotifyCallback notify);
void DestroyClient(ClientHandle* handle);
int32_t SendRequest(ClientHandle* handle, const char* data, int32_t length,
                    RequestCallback callback, uint64_t context);
void SetRealTrade(ClientHandle* handle, uint8_t real);

// Fills the descriptor (the exported QueryZephCommInterface forwards here).
PluginDescriptor MakePluginDescriptor();

}  // namespace tessel
