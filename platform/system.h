// Operating-system services other than sockets. Only platform/ calls the OS;
// everything else goes through these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tessel::platform {

// Directory of the host process's executable (not of this library),
// without a trailing separator. Empty when it cannot be determined.
std::string ExecutableDirectory();

// The same directory in the encoding the file calls below take, for the
// log: on Windows the ANSI code page (CreateDirectoryA, CreateFileA);
// elsewhere the same text as ExecutableDirectory().
std::string ExecutableDirectoryForFiles();

// Path separator used when joining directory and file names.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// The value of an environment variable, "" when it is not set: in UTF-8,
// and in the encoding the file calls below take (the ANSI code page on
// Windows; elsewhere the same text).
std::string EnvironmentText(const char* name);
std::string EnvironmentTextForFiles(const char* name);

// Compares two ASCII texts without regard to letter case, like strcasecmp.
int CompareIgnoringCase(const char* a, const char* b);

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;  // 0-999
};

// Local calendar time of the current wall-clock instant.
LocalDateTime LocalNow();

// Creates a directory; an existing directory counts as success.
bool EnsureDirectory(const std::string& path);

// Whether a file exists and may be opened for reading. The path is UTF-8
// text, as ExecutableDirectory() gives it.
bool FileReadable(const std::string& path);

// Opens a file for reading bytes; the path as for FileReadable. Null when it
// cannot be opened; the caller closes it with fclose.
std::FILE* OpenForReading(const std::string& path);

// A file opened for appending whole lines: shared with other writers,
// created when missing, existing contents kept, every write goes to the end
// unbuffered. Move-only; closes what it opened.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(AppendFile&& other) noexcept;
  AppendFile& operator=(AppendFile&& other) noexcept;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  bool Open(const std::string& path);
  bool IsOpen() const { return handle_ != kClosed; }
  // Writes all n bytes in one append; false when the write failed.
  bool Append(const char* data, size_t n);
  // The file's length now, appends of other processes included (0 when closed).
  uint64_t Size() const;

 private:
#ifdef _WIN32
  using Handle = void*;  // a HANDLE; INVALID_HANDLE_VALUE is all bits set
  static inline const Handle kClosed = reinterpret_cast<Handle>(~static_cast<uintptr_t>(0));
#else
  using Handle = int;
  static constexpr Handle kClosed = -1;
#endif
  Handle handle_ = kClosed;
};

// One network adapter as the terminal id needs it.
struct NetworkAdapter {
  bool ethernet = false;
  std::vector<uint8_t> hardwareAddress;
};

// The machine's network adapters in the order the system lists them,
// loopback excluded. Empty when the list cannot be had.
std::vector<NetworkAdapter> ListNetworkAdapters();

// The error number of the calling thread's last failed system call.
int LastSystemError();

}  // namespace tessel::platform
