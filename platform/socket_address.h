// Address building and naming shared by the POSIX and the Windows socket
// layers; only platform/ includes this.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

#include <string>

namespace tessel::platform {

// The numeric address text and port of an IPv4 or IPv6 address; false for
// any other family.
bool DescribeAddress(const sockaddr_storage& storage, std::string& address, int& port);

}  // namespace tessel::platform
