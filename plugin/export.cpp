// The library's one export. Everything else is reached through the
// descriptor it returns.
#include "plugin/host_api.h"

extern "C" TESSEL_API PluginDescriptor QueryZephCommInterface(void) {
  return tessel::MakePluginDescriptor();
}
