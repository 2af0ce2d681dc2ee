#include "support/log.h"

#include <cstdio>
#include <new>
#include <vector>

#include "support/console.h"

namespace tessel {

// "启动日志" (log started), GBK.
const char kLogStartTag[] = "\xC6\xF4\xB6\xAF\xC8\xD5\xD6\xBE";
// "严重错误,创建日志目录失败!!" (fatal error, creating the log directory failed), GBK.
static const char kDirectoryFailedText[] =
    "\xD1\xCF\xD6\xD8\xB4\xED\xCE\xF3,\xB4\xB4\xBD\xA8\xC8\xD5\xD6\xBE\xC4\xBF\xC2\xBC"
    "\xCA\xA7\xB0\xDC!!";

CLog& CLog::Instance() {
  // Built in static storage and never destroyed (see the class comment), so
  // it is neither torn down under a running thread nor reported as a leak.
  alignas(CLog) static unsigned char storage[sizeof(CLog)];
  static CLog* const instance = new (storage) CLog();
  return *instance;
}

std::string FormatLogStamp(const platform::LocalDateTime& t) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%d-%02d-%02d %02d:%02d:%02d:%03d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.millisecond);
  return stamp;
}

int CLog::Init(const char* folder, const char* baseDir, const char* fileName) {
  const std::string directory = std::string(baseDir) + platform::kPathSeparator + folder;
  if (!platform::EnsureDirectory(directory)) {
    ConsoleLine(kDirectoryFailedText);
    // The line above is GBK; say it once more where any terminal can read it.
    ConsoleLine("log directory " + directory + " cannot be made: no log is written");
    return 0;
  }
  const std::string path = directory + platform::kPathSeparator + fileName;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (file_.IsOpen()) return 0;
    if (file_.Open(path)) {
      path_ = path;
    } else {
      ConsoleLine("log file " + path + " cannot be opened: no log is written");
      return 0;
    }
  }
  Write(1, kLogStartTag, "", "%s", folder);
  return 1;
}

void CLog::Close() {
  std::lock_guard<std::mutex> hold(lock_);
  file_ = platform::AppendFile();
  std::string().swap(path_);  // its memory too: the log outlives the library's unload
}

std::string CLog::Path() {
  std::lock_guard<std::mutex> hold(lock_);
  return path_;
}

int CLog::Write(int level, const char* tag1, const char* tag2, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = WriteFormatted(level, tag1, tag2, format, args);
  va_end(args);
  return result;
}

int CLog::WriteFormatted(int level, const char* tag1, const char* tag2, const char* format,
                         va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) return 0;
  std::vector<char> message(static_cast<size_t>(length) + 1);
  std::vsnprintf(message.data(), message.size(), format, args);

  if (level == 0) return 1;
  const std::string stamp = FormatLogStamp(platform::LocalNow());
  // The tags are short and fixed; the line is cut only if they are not.
  std::vector<char> line(static_cast<size_t>(length) + 1025);
  int lineLength = std::snprintf(line.data(), line.size(), "%s:%s_%s  %s\r\n", stamp.c_str(),
                                 tag1, tag2, message.data());
  if (lineLength < 0) return 0;
  if (static_cast<size_t>(lineLength) >= line.size()) lineLength = static_cast<int>(line.size() - 1);

  std::lock_guard<std::mutex> hold(lock_);
  if (!file_.IsOpen()) return 0;
  return file_.Append(line.data(), static_cast<size_t>(lineLength)) ? 1 : 0;
}

}  // namespace tessel
