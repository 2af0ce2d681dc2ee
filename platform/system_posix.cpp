#include "platform/system.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netpacket/packet.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tessel::platform {

namespace {

std::string ExecutableDirectoryPath() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
  path.resize(static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);
}

}  // namespace

std::string ExecutableDirectory() { return ExecutableDirectoryPath(); }

// File names are bytes here: the same text serves the file calls.
std::string ExecutableDirectoryForFiles() { return ExecutableDirectoryPath(); }

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string EnvironmentTextForFiles(const char* name) { return EnvironmentText(name); }

int CompareIgnoringCase(const char* a, const char* b) { return ::strcasecmp(a, b); }

bool EnsureDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  // Something already there counts only when it is a directory.
  struct stat existing {};
  return errno == EEXIST && ::stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode);
}

bool FileReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

std::FILE* OpenForReading(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

AppendFile::~AppendFile() {
  if (handle_ >= 0) ::close(handle_);
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(handle_);
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

bool AppendFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (handle_ >= 0) ::close(handle_);
  handle_ = fd;
  return true;
}

bool AppendFile::Append(const char* data, size_t n) {
  if (handle_ < 0) return false;
  while (n > 0) {
    const ssize_t written = ::write(handle_, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

uint64_t AppendFile::Size() const {
  struct stat status {};
  if (handle_ < 0 || ::fstat(handle_, &status) != 0) return 0;
  return static_cast<uint64_t>(status.st_size);
}

std::vector<NetworkAdapter> ListNetworkAdapters() {
  std::vector<NetworkAdapter> adapters;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return adapters;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if ((entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    NetworkAdapter adapter;
    adapter.ethernet = link->sll_hatype == ARPHRD_ETHER;
    const size_t length = std::min<size_t>(link->sll_halen, sizeof link->sll_addr);
    adapter.hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
    adapters.push_back(std::move(adapter));
  }
  ::freeifaddrs(list);
  return adapters;
}

int LastSystemError() { return errno; }

}  // namespace tessel::platform
