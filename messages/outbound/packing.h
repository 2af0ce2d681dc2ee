// What every request packer shares: the terminal id, generated request
// numbers, and turning a body record into a frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/frame.h"
#include "platform/system.h"

namespace tessel {

// Uppercase hex pairs of the hardware address of the first Ethernet adapter,
// else of the first adapter; empty when there is none.
std::string TerminalIdFrom(const std::vector<platform::NetworkAdapter>& adapters);
// The terminal id of this machine.
std::string TerminalId();

// The value of the decimal digits at the start of `text`, after any white
// space; 0 when no digit comes first, the largest value when they overflow.
uint64_t LeadingDecimal(std::string_view text);

// "<seconds since 1970><counter before increment>", digits simply joined.
std::string NextRequestNo(std::atomic<int32_t>& counter);
std::string RequestNoText(uint64_t seconds, int32_t sequence);
// The same number as an unsigned 64-bit value, for bodies that carry it so.
uint64_t NextRequestNumber(std::atomic<int32_t>& counter);

// Frame around `bodyLength` bytes of body; QryCurOrder passes its body length
// as the second length, every other message 0.
Frame PackRequest(uint32_t messageType, const void* body, uint32_t bodyLength,
                  uint64_t requestId, uint32_t secondLength = 0);

}  // namespace tessel
