#include "support/log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <string_view>
#include <utility>
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

// Appends "stamp:tag1_tag2  message\r\n".
void AppendEntry(std::string& out, std::string_view stamp, std::string_view tag1,
                 std::string_view tag2, std::string_view message) {
  out.append(stamp);
  out.push_back(':');
  out.append(tag1);
  out.push_back('_');
  out.append(tag2);
  out.append("  ", 2);
  out.append(message);
  out.append("\r\n", 2);
}

// "dir/20240315.tessel.log" numbered 2: "dir/20240315.2.tessel.log".
std::string NumberedPath(const std::string& first, unsigned number) {
  const size_t name = first.find_last_of("/\\") + 1;  // npos + 1 is 0
  const size_t dot = first.find('.', name);
  const std::string suffix = "." + std::to_string(number);
  if (dot == std::string::npos) return first + suffix;
  return first.substr(0, dot) + suffix + first.substr(dot);
}

size_t EntryStart(const std::vector<size_t>& ends, size_t entry) {
  return entry == 0 ? 0 : ends[entry - 1];
}

// One past the last of the entries from `first` on that fit in `room` bytes.
size_t EntriesWithin(const std::vector<size_t>& ends, size_t first, uint64_t room) {
  const uint64_t end = EntryStart(ends, first) + room;
  const auto past = std::upper_bound(ends.begin() + first, ends.end(), end);
  return static_cast<size_t>(past - ends.begin());
}

// Numbered files an earlier run of the day (or another process) has
// written are passed over, so that every numbered file starts with its
// note and keeps within the limit; this many at most in one move.
constexpr unsigned kMaxFilesTriedInOneMove = 1000;

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
    std::lock_guard<std::mutex> file(fileLock_);
    if (open_.file.IsOpen()) return 0;
    if (!open_.file.Open(path)) {
      ConsoleLine("log file " + path + " cannot be opened: no log is written");
      return 0;
    }
    open_.firstPath = path;
    open_.path = path;
    open_.bytes = open_.file.Size();
    open_.number = 0;
    std::lock_guard<std::mutex> queue(queueLock_);
    path_ = path;
  }
  // Written by this thread, as no writer thread runs yet.
  Write(1, kLogStartTag, "", "%s", folder);
  StartWriter();
  return 1;
}

void CLog::StartWriter() {
  std::unique_lock<std::mutex> queue(queueLock_);
  if (direct_ || writerRunning_) return;
  stopping_ = false;
  writerRunning_ = true;
  writerIdle_ = false;
  writer_ = std::thread(&CLog::RunWriter, this);
  // Once it is idle, no thread of the log holds a lock until the next entry
  // is queued, so a process may fork after Init.
  writerChanged_.wait(queue, [this] { return writerIdle_ || stopping_; });
}

void CLog::RunWriter() {
  std::unique_lock<std::mutex> queue(queueLock_);
  for (;;) {
    while (!stopping_ && queued_.Empty()) {
      writerIdle_ = true;
      writerChanged_.notify_all();
      entriesQueued_.wait(queue);
    }
    if (queued_.Empty()) return;  // stopping, and everything is taken
    // Entries that follow soon go out with these, so that a busy client
    // costs one wake-up of this thread and one file write per spell, not
    // per entry (unless a Flush writes them first).
    entriesQueued_.wait_for(
        queue, kLinger, [this] { return stopping_ || queued_.bytes.size() >= kEagerBytes; });
    queue.unlock();
    {
      std::lock_guard<std::mutex> file(fileLock_);
      WriteQueued();
    }
    queue.lock();
  }
}

void CLog::WriteQueued() {
  {
    std::lock_guard<std::mutex> queue(queueLock_);
    if (queued_.Empty()) return;
    taken_.Clear();
    taken_.Swap(queued_);
    queueTaken_.notify_all();
  }
  AppendEntries(taken_);
  std::lock_guard<std::mutex> queue(queueLock_);
  writtenTotal_ += taken_.bytes.size();
}

void CLog::StopWriter() {
  std::unique_lock<std::mutex> queue(queueLock_);
  if (!writer_.joinable()) {
    // Not started, or another thread is stopping it: wait for that.
    writerChanged_.wait(queue, [this] { return !writerRunning_; });
    return;
  }
  stopping_ = true;
  entriesQueued_.notify_all();
  std::thread writer = std::move(writer_);
  queue.unlock();
  writer.join();
  queue.lock();
  writerRunning_ = false;
  writerChanged_.notify_all();
  queueTaken_.notify_all();  // writers waiting for room now write themselves
}

void CLog::Flush() {
  {
    std::lock_guard<std::mutex> queue(queueLock_);
    if (writtenTotal_ == queuedTotal_) return;
  }
  // Whoever holds the file lock has written what it took by the time this
  // thread has it; what is still queued, this thread writes.
  std::lock_guard<std::mutex> file(fileLock_);
  WriteQueued();
}

void CLog::WriteDirectly() {
  {
    std::lock_guard<std::mutex> queue(queueLock_);
    direct_ = true;
  }
  StopWriter();
  Flush();  // what was queued after the writer's last batch
}

void CLog::Close() {
  StopWriter();
  std::lock_guard<std::mutex> file(fileLock_);
  {
    std::lock_guard<std::mutex> queue(queueLock_);
    std::string().swap(path_);  // refuses later writes
  }
  WriteQueued();
  // The memory of the paths and buffers goes too: this object outlives the
  // library's unloading, their heap blocks would not. (Assigning short
  // strings would keep the blocks; the old value dies here with them.)
  OpenFile closed = std::exchange(open_, OpenFile());
  Entries().Swap(taken_);
  std::lock_guard<std::mutex> queue(queueLock_);
  Entries().Swap(queued_);
}

void CLog::SetSizeLimit(uint64_t maxBytes) { sizeLimit_.store(maxBytes, std::memory_order_relaxed); }

void CLog::AppendEntries(const Entries& entries) {
  const uint64_t limit = sizeLimit_.load(std::memory_order_relaxed);
  const size_t count = entries.ends.size();
  bool fresh = open_.bytes == 0;  // no entry in the file yet, at most the note on its start
  for (size_t next = 0; next < count;) {
    size_t last = count;  // one past the entries written at once
    if (limit != 0) {
      last = EntriesWithin(entries.ends, next, open_.bytes < limit ? limit - open_.bytes : 0);
      if (last == next && !fresh && MoveToNextFile()) {
        fresh = true;
        continue;
      }
      // An entry longer than the limit goes alone into a fresh file; when no
      // next file can be opened, the entries stay in this one.
      if (last == next) last = fresh ? next + 1 : count;
    }
    const size_t begin = EntryStart(entries.ends, next);
    const size_t length = entries.ends[last - 1] - begin;
    if (!open_.file.Append(entries.bytes.data() + begin, length)) return;
    open_.bytes += length;
    fresh = false;
    next = last;
  }
}

bool CLog::MoveToNextFile() {
  for (unsigned number = open_.number + 1; number <= open_.number + kMaxFilesTriedInOneMove;
       ++number) {
    const std::string path = NumberedPath(open_.firstPath, number);
    platform::AppendFile next;
    if (!next.Open(path)) return false;
    if (next.Size() != 0) continue;
    // Says where the lines before it are, for a reader who opens this file alone.
    char stamp[64];
    const int stampLength = FormatStamp(platform::LocalNow(), stamp, sizeof stamp);
    std::string first;
    const size_t name = open_.path.find_last_of("/\\") + 1;
    AppendEntry(first, std::string_view(stamp, static_cast<size_t>(std::max(stampLength, 0))),
                "Log", "Continued", "after:" + open_.path.substr(name));
    open_.file = std::move(next);
    open_.path = path;
    open_.number = number;
    open_.bytes = 0;
    if (open_.file.Append(first.data(), first.size())) open_.bytes += first.size();
    std::lock_guard<std::mutex> queue(queueLock_);
    path_ = path;
    return true;
  }
  return false;
}

std::string CLog::Path() {
  std::lock_guard<std::mutex> queue(queueLock_);
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
  // The tags are short and fixed; the line is cut only if they are not, to
  // the message plus 1024 bytes, and still ends its line.
  return QueueEntry(std::string_view(stamp, static_cast<size_t>(stampLength)), tag1, tag2,
                    std::string_view(message, static_cast<size_t>(length)),
                    static_cast<size_t>(length) + 1024);
}

int CLog::QueueEntry(std::string_view stamp, std::string_view tag1, std::string_view tag2,
                     std::string_view message, size_t maxLength) {
  {
    std::unique_lock<std::mutex> queue(queueLock_);
    if (path_.empty()) return 0;
    queueTaken_.wait(
        queue, [this] { return queued_.bytes.size() < kMaxQueuedBytes || !writerRunning_; });
    const size_t start = queued_.bytes.size();
    AppendEntry(queued_.bytes, stamp, tag1, tag2, message);
    if (queued_.bytes.size() - start > maxLength) {
      queued_.bytes.resize(start + maxLength - 2);
      queued_.bytes.append("\r\n", 2);
    }
    const size_t end = queued_.bytes.size();
    queued_.ends.push_back(end);
    queuedTotal_ += end - start;
    if (writerRunning_) {
      // Only an idle writer needs waking; a lingering or writing one comes
      // back for this entry by itself, unless it is the one that fills a batch.
      if (writerIdle_ || (start < kEagerBytes && end >= kEagerBytes)) {
        writerIdle_ = false;
        entriesQueued_.notify_one();
      }
      return 1;
    }
  }
  Flush();  // no writer thread: this one writes its entry, after any queued before it
  return 1;
}

}  // namespace tessel
