// What every request packer shares: the terminal id, generated request
// numbers, and turning a body record into a frame.
#pragma once

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

// "<seconds since 1970><counter>", digits simply joined.
std::string RequestNoText(uint64_t seconds, uint64_t counter);
// The next generated request number. One counter, first value 1, serves
// every message of every client in the process: the server refuses a number
// it has seen, and two requests in one second would otherwise share one.
// Read as a u64 (LeadingDecimal), the number stays exact while the counter
// has at most nine digits.
std::string NextRequestNo();
// The counter value the next request number will carry; reading it draws none.
uint64_t PeekRequestCounter();

// Frame around `bodyLength` bytes of body; QryCurOrder passes its body length
// as the second length, every other message 0.
Frame PackRequest(uint32_t messageType, const void* body, uint32_t bodyLength,
                  uint64_t requestId, uint32_t secondLength = 0);

}  // namespace tessel
