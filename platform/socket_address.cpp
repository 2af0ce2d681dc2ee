#include "platform/socket_address.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstring>

#include "platform/sockets.h"
#include "platform/system.h"

namespace tessel::platform {
namespace {

bool IsWildcard(const char* host) {
  return host == nullptr || host[0] == '\0' || std::strcmp(host, "*") == 0;
}

bool IsLocalhost(const char* host) { return CompareIgnoringCase(host, "localhost") == 0; }

template <typename Address>
SocketAddress Packed(const Address& address) {
  SocketAddress out;
  std::memcpy(out.bytes, &address, sizeof address);
  out.length = sizeof address;
  return out;
}

}  // namespace

std::optional<SocketAddress> BuildAddress(AddressFamily family, const char* host,
                                          uint16_t port) {
  if (family == AddressFamily::IPv4) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    if (IsWildcard(host)) {
      v4.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (IsLocalhost(host)) {
      v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    } else if (::inet_pton(AF_INET, host, &v4.sin_addr) < 1) {
      return std::nullopt;
    }
    return Packed(v4);
  }
  if (family == AddressFamily::IPv6) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    if (IsWildcard(host)) {
      v6.sin6_addr = in6addr_any;
    } else if (IsLocalhost(host)) {
      v6.sin6_addr = in6addr_loopback;
    } else if (::inet_pton(AF_INET6, host, &v6.sin6_addr) < 1) {
      return std::nullopt;
    }
    return Packed(v6);
  }
  return std::nullopt;
}

bool DescribeAddress(const sockaddr_storage& storage, std::string& address, int& port) {
  char text[128] = {};
  if (storage.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&storage);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    port = ntohs(v4->sin_port);
  } else if (storage.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    port = ntohs(v6->sin6_port);
  } else {
    return false;
  }
  address = text;
  return true;
}

}  // namespace tessel::platform
