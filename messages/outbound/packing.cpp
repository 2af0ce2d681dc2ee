#include "messages/outbound/packing.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "support/immortal.h"


namespace tessel {

std::string TerminalIdFrom(const std::vector<platform::NetworkAdapter>& adapters) {
  if (adapters.empty()) return {};
  const platform::NetworkAdapter* chosen = &adapters.front();
  for (const auto& adapter : adapters) {
    if (adapter.ethernet) {
      chosen = &adapter;
      break;
    }
  }
  std::string text;
  char pair[3];
  for (const uint8_t byte : chosen->hardwareAddress) {
    std::snprintf(pair, sizeof pair, "%02X", byte);
    text += pair;
  }
  return text;
}

std::string TerminalId() {
  // Listing the adapters costs tens of microseconds, as much as the rest of
  // a request; the id is refreshed once a minute instead of per frame, which
  // still follows an adapter change.
  struct Cache {
    std::mutex lock;
    std::string id;
    std::chrono::steady_clock::time_point refreshedAt{};
  };
  static Immortal<Cache> cache;
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> hold(cache->lock);
  if (cache->refreshedAt == std::chrono::steady_clock::time_point{} ||
      now - cache->refreshedAt >= std::chrono::minutes(1)) {
    cache->id = TerminalIdFrom(platform::ListNetworkAdapters());
    cache->refreshedAt = now;
  }
  return cache->id;
}

uint64_t LeadingDecimal(std::string_view text) {
  // Time texts may come padded; white space before the digits is skipped as
  // the C library's conversion does.
  const size_t start = text.find_first_not_of(" \t\n\v\f\r");
  text.remove_prefix(start == std::string_view::npos ? text.size() : start);
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;  // saturates like strtoull
    value = value * 10 + digit;
  }
  return value;
}

namespace {

// Unsigned 64 bits: no process lives to wrap it, so it never repeats or
// turns negative.
std::atomic<uint64_t> gRequestCounter{1};

}  // namespace

std::string RequestNoText(uint64_t seconds, uint64_t counter) {
  char text[48];
  std::snprintf(text, sizeof text, "%llu%llu", static_cast<unsigned long long>(seconds),
                static_cast<unsigned long long>(counter));
  return text;
}

std::string NextRequestNo() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
  return RequestNoText(static_cast<uint64_t>(seconds), gRequestCounter.fetch_add(1));
}

uint64_t PeekRequestCounter() { return gRequestCounter.load(); }

Frame PackRequest(uint32_t messageType, const void* body, uint32_t bodyLength,
                  uint64_t requestId, uint32_t secondLength) {
  return BuildFrame(messageType, body, bodyLength, requestId, TerminalId(), secondLength);
}

}  // namespace tessel
