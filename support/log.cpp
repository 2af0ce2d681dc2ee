#include "support/log.h"

#include <chrono>
#include <cstdio>
#include <cstring>
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

namespace {

// Writers wait while this much is queued and not yet taken by the writer.
constexpr size_t kMaxQueuedBytes = 4u * 1024 * 1024;
// The writer thread lets lines gather this long, or until this much is
// queued, before it writes them.
constexpr auto kLinger = std::chrono::milliseconds(20);
constexpr size_t kEagerBytes = 256u * 1024;

int FormatStamp(const platform::LocalDateTime& t, char* out, size_t size) {
  return std::snprintf(out, size, "%d-%02d-%02d %02d:%02d:%02d:%03d", t.year, t.month, t.day,
                       t.hour, t.minute, t.second, t.millisecond);
}

}  // namespace

CLog& CLog::Instance() {
  // Built in static storage and never destroyed (see the class comment), so
  // it is neither torn down under a running thread nor reported as a leak.
  alignas(CLog) static unsigned char storage[sizeof(CLog)];
  static CLog* const instance = new (storage) CLog();
  return *instance;
}

CLog::~CLog() { Close(); }

std::string FormatLogStamp(const platform::LocalDateTime& t) {
  char stamp[64];
  FormatStamp(t, stamp, sizeof stamp);
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
    if (!direct_ && !writerRunning_) {
      stopping_ = false;
      writerRunning_ = true;
      writer_ = std::thread(&CLog::RunWriter, this);
    }
  }
  Write(1, kLogStartTag, "", "%s", folder);
  return 1;
}

void CLog::RunWriter() {
  std::string taken;
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    linesQueued_.wait(hold, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;  // stopping, and everything is written
    // Lines that follow soon go out with these, so that a busy client costs
    // one wake-up of this thread and one file write per spell, not per line.
    linesQueued_.wait_for(hold, kLinger, [this] {
      return stopping_ || flushWanted_ || queued_.size() >= kEagerBytes;
    });
    flushWanted_ = false;
    taken.clear();
    taken.swap(queued_);
    hold.unlock();
    file_.Append(taken.data(), taken.size());
    hold.lock();
    writtenTotal_ += taken.size();
    linesWritten_.notify_all();
  }
}

void CLog::StopWriter(std::unique_lock<std::mutex>& hold) {
  if (!writer_.joinable()) {
    // Not started, or another thread is stopping it: wait for that.
    linesWritten_.wait(hold, [this] { return !writerRunning_; });
    return;
  }
  stopping_ = true;
  linesQueued_.notify_all();
  std::thread writer = std::move(writer_);
  hold.unlock();
  writer.join();  // it writes everything queued before it ends
  hold.lock();
  // The buffer's memory goes too: this object outlives the library's
  // unloading, its heap blocks would not.
  std::string().swap(queued_);
  writerRunning_ = false;
  linesWritten_.notify_all();
}

void CLog::Flush() {
  std::unique_lock<std::mutex> hold(lock_);
  const uint64_t target = queuedTotal_;
  if (writtenTotal_ < target) {
    flushWanted_ = true;
    linesQueued_.notify_all();
  }
  linesWritten_.wait(hold, [&] { return writtenTotal_ >= target || !writerRunning_; });
}

void CLog::WriteDirectly() {
  std::unique_lock<std::mutex> hold(lock_);
  direct_ = true;
  StopWriter(hold);
}

void CLog::Close() {
  std::unique_lock<std::mutex> hold(lock_);
  StopWriter(hold);
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
  // Most messages fit the stack buffer and are formatted once.
  char small[1024];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  if (length < 0) {
    va_end(again);
    return 0;
  }
  std::vector<char> large;
  const char* message = small;
  if (static_cast<size_t>(length) >= sizeof small) {
    large.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    message = large.data();
  }
  va_end(again);

  if (level == 0) return 1;
  char stamp[64];
  const int stampLength = FormatStamp(platform::LocalNow(), stamp, sizeof stamp);
  if (stampLength < 0) return 0;
  // "stamp:tag1_tag2  message\r\n". The tags are short and fixed; the line
  // is cut only if they are not, to the message plus 1024 bytes.
  const size_t tag1Length = std::strlen(tag1);
  const size_t tag2Length = std::strlen(tag2);
  const size_t limit = static_cast<size_t>(length) + 1024;

  std::unique_lock<std::mutex> hold(lock_);
  if (!file_.IsOpen()) return 0;
  linesWritten_.wait(hold,
                     [this] { return queued_.size() < kMaxQueuedBytes || !writerRunning_; });
  // Until the writer thread has been joined, it writes every line, so the
  // order holds while it is being stopped.
  const bool direct = !writerRunning_;
  std::string directLine;
  std::string& out = direct ? directLine : queued_;
  const size_t start = out.size();
  out.append(stamp, static_cast<size_t>(stampLength));
  out.push_back(':');
  out.append(tag1, tag1Length);
  out.push_back('_');
  out.append(tag2, tag2Length);
  out.append("  ", 2);
  out.append(message, static_cast<size_t>(length));
  out.append("\r\n", 2);
  if (out.size() - start > limit) out.resize(start + limit);
  if (direct) return file_.Append(directLine.data(), directLine.size()) ? 1 : 0;
  queuedTotal_ += out.size() - start;
  // The writer sleeps without a time-out only while nothing is queued; once
  // lines wait, it is either lingering or writing, and wakes by itself.
  if (start == 0 || (start < kEagerBytes && out.size() >= kEagerBytes)) {
    linesQueued_.notify_one();
  }
  return 1;
}

}  // namespace tessel
