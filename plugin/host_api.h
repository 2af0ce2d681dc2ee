// The binary interface between the host application and the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "session/host_callbacks.h"

namespace tessel {

class TradeClient;

using CreateClientFn = TradeClient* (*)(HostNotifyCallback notify);
using DestroyClientFn = void (*)(TradeClient* client);
using SendRequestFn = int32_t (*)(TradeClient* client, const char* data, int32_t length,
                                  RequestCallback callback, uint64_t context);
using SetRealTradeFn = void (*)(TradeClient* client, uint8_t real);

// 80 bytes, read by the host by offset.
struct PluginDescriptor {
  const char* identifier;   // "Ferrule"
  const char* displayName;  // GBK
  const char* englishName;
  const char* description;  // GBK
  const char* extra;        // always ""
  int32_t flags;            // always 0
  CreateClientFn createClient;
  DestroyClientFn destroyClient;
  SendRequestFn sendRequest;
  SetRealTradeFn setRealTrade;
};

static_assert(offsetof(PluginDescriptor, identifier) == 0);
static_assert(offsetof(PluginDescriptor, displayName) == 8);
static_assert(offsetof(PluginDescriptor, englishName) == 16);
static_assert(offsetof(PluginDescriptor, description) == 24);
static_assert(offsetof(PluginDescriptor, extra) == 32);
static_assert(offsetof(PluginDescriptor, flags) == 40);
static_assert(offsetof(PluginDescriptor, createClient) == 48);
static_assert(offsetof(PluginDescriptor, destroyClient) == 56);
static_assert(offsetof(PluginDescriptor, sendRequest) == 64);
static_assert(offsetof(PluginDescriptor, setRealTrade) == 72);
static_assert(sizeof(PluginDescriptor) == 80);

// The four entry points (plugin/entry_points.cpp).
TradeClient* CreateClient(HostNotifyCallback notify);
void DestroyClient(TradeClient* client);
int32_t SendRequest(TradeClient* client, const char* data, int32_t length,
                    RequestCallback callback, uint64_t context);
void SetRealTrade(TradeClient* client, uint8_t real);

// Fills the descriptor (the exported QueryZephCommInterface forwards here).
PluginDescriptor MakePluginDescriptor();

}  // namespace tessel

#ifdef _WIN32
#define TESSEL_EXPORT __declspec(dllexport)
#else
#define TESSEL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// The only exported symbol.
TESSEL_EXPORT tessel::PluginDescriptor QueryZephCommInterface();
}
