#include "platform/system.h"

// winsock2.h before windows.h, or windows.h drags in the old winsock.h.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace tessel::platform {
namespace {

// The directory of the process image (not of this library), without the
// trailing backslash, as UTF-16.
std::wstring ExecutableDirectoryWide() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try again with more room
  }
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash);
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int size =
      ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

}  // namespace

std::string ExecutableDirectory() { return Narrow(ExecutableDirectoryWide(), CP_UTF8); }

std::string ExecutableDirectoryForFiles() { return Narrow(ExecutableDirectoryWide(), CP_ACP); }

namespace {

std::wstring EnvironmentWide(const char* name) {
  const wchar_t* value = ::_wgetenv(Widen(name, CP_UTF8).c_str());
  return value != nullptr ? value : L"";
}

}  // namespace

std::string EnvironmentText(const char* name) { return Narrow(EnvironmentWide(name), CP_UTF8); }

std::string EnvironmentTextForFiles(const char* name) {
  return Narrow(EnvironmentWide(name), CP_ACP);
}

int CompareIgnoringCase(const char* a, const char* b) { return ::_stricmp(a, b); }

bool EnsureDirectory(const std::string& path) {
  if (::CreateDirectoryA(path.c_str(), nullptr)) return true;
  // Something already there counts only when it is a directory.
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The narrow C runtime calls would read a UTF-8 path in the ANSI code page
// and miss folders with other characters; the wide ones take any name.
bool FileReadable(const std::string& path) {
  return ::_waccess(Widen(path, CP_UTF8).c_str(), 4) == 0;
}

std::FILE* OpenForReading(const std::string& path) {
  return ::_wfopen(Widen(path, CP_UTF8).c_str(), L"rb");
}

AppendFile::~AppendFile() {
  if (handle_ != kClosed) ::CloseHandle(handle_);
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) ::CloseHandle(handle_);
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

bool AppendFile::Open(const std::string& path) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA makes every write land at the
  // end, even with other processes writing the same file.
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::SetFilePointer(file, 0, nullptr, FILE_END);
  if (handle_ != kClosed) ::CloseHandle(handle_);
  handle_ = file;
  return true;
}

bool AppendFile::Append(const char* data, size_t n) {
  if (handle_ == kClosed) return false;
  while (n > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(handle_, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    n -= written;
  }
  return true;
}

uint64_t AppendFile::Size() const {
  LARGE_INTEGER size{};
  if (handle_ == kClosed || !::GetFileSizeEx(handle_, &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

std::vector<NetworkAdapter> ListNetworkAdapters() {
  std::vector<NetworkAdapter> adapters;
  // Room for one record first; the call tells the size it needs if more.
  ULONG size = sizeof(IP_ADAPTER_INFO);
  std::vector<unsigned char> buffer(size);
  ULONG rc = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  if (rc == ERROR_BUFFER_OVERFLOW) {
    buffer.resize(size);
    rc = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (rc != NO_ERROR) return adapters;
  for (const IP_ADAPTER_INFO* info = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
       info != nullptr; info = info->Next) {
    if (info->Type == MIB_IF_TYPE_LOOPBACK) continue;
    NetworkAdapter adapter;
    adapter.ethernet = info->Type == MIB_IF_TYPE_ETHERNET;
    const size_t length = std::min<size_t>(info->AddressLength, sizeof info->Address);
    adapter.hardwareAddress.assign(info->Address, info->Address + length);
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

int LastSystemError() { return static_cast<int>(::GetLastError()); }

}  // namespace tessel::platform
