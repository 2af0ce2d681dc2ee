// The two kinds of host function the plug-in calls back through.
#pragma once

#include <cstdint>

namespace tessel {

// Push messages and status reports: UTF-8 JSON, NUL-terminated, the length
// not counting the NUL. Valid only during the call.
using HostNotifyCallback = void (*)(const char* text, int32_t length);
// The answer to one request (or one failure text), with the host's context.
using RequestCallback = void (*)(const char* text, int32_t length, uint64_t context);

}  // namespace tessel
