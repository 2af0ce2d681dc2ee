// Request intake: host JSON text -> mapped, packed request on a channel queue.
#pragma once

#include <cstdint>

#include "plugin/host_api.h"

namespace tessel {

// The work behind SendRequest. Refusals return false and call nothing back.
bool SubmitRequest(TradeClient& client, const char* data, int32_t length,
                   RequestCallback callback, uint64_t context);

}  // namespace tessel
