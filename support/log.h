// The process-wide daily log file. One instance per process, created on
// first use and never destroyed, so threads still running at process exit
// can always write.
//
// Lines are formatted (stamp included) on the writing thread and appended
// to a buffer in the order the writers take the lock; a writer thread of
// the log's own writes the buffer to the file in batches, in that order,
// a few milliseconds after the first line of each batch.
// A full buffer makes writers wait: no line is ever dropped. Flush() waits
// until what was written before it is in the file; Close() and
// WriteDirectly() flush, then join the writer thread.
//
// Without a size limit (the default) the log is one file. With one, entries
// that would take a file past it go to the next numbered file beside it:
// "20240315.tessel.log", "20240315.1.tessel.log", "20240315.2.tessel.log", ...
// Entries are never split across files, however many lines their message
// spans; an entry longer than the limit has a file to itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/system.h"

namespace tessel {

class CLog {
 public:
  static CLog& Instance();

  // Opens baseDir/folder/fileName (creating the folder) and writes the start
  // line. Returns 1 when the file was opened, 0 otherwise; a second Init
  // keeps the file already open.
  int Init(const char* folder, const char* baseDir, const char* fileName);

  // Appends one line "stamp:tag1_tag2  message\r\n". Level 0 writes nothing.
  // Returns non-zero when taken for writing or suppressed, 0 when no file
  // is open.
  int Write(int level, const char* tag1, const char* tag2, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

  // Bytes a log file may hold; 0 for no limit. Takes effect from the next
  // batch of lines written.
  void SetSizeLimit(uint64_t maxBytes);

  // Returns once every line taken before the call is in the file.
  void Flush();

  // From here on each line is written to the file by the thread that
  // writes it, as it is written: for the process's exit, when threads may
  // outlive everything that would otherwise wait for the writer thread.
  void WriteDirectly();

  // Closes the file; later writes are skipped until an Init opens one.
  void Close();
  // Where the log file being written is ("" when none is open).
  std::string Path();

  virtual ~CLog();

 protected:
  CLog() = default;

 private:
  int WriteFormatted(int level, const char* tag1, const char* tag2, const char* format,
                     va_list args);
  // Queues one entry, cut to maxLength bytes if longer. 0 when no file is open.
  int QueueEntry(std::string_view stamp, std::string_view tag1, std::string_view tag2,
                 std::string_view message, size_t maxLength);
  void RunWriter();
  // Joins the writer thread, which first writes what it finds queued.
  void StopWriter();

  // The file being written.
  struct OpenFile {
    platform::AppendFile file;
    std::string firstPath;  // the unnumbered file the numbers are taken from
    std::string path;
    uint64_t bytes = 0;     // in the file, as far as this process knows
    unsigned number = 0;    // 0 for the first file
  };
  // Entries in the order taken, each ending where `ends` says: a message
  // may hold line breaks of its own, so only these are places to cut.
  struct Entries {
    std::string bytes;
    std::vector<size_t> ends;  // offset in bytes one past each entry
    bool Empty() const { return ends.empty(); }
    void Clear() {
      bytes.clear();
      ends.clear();
    }
    void Swap(Entries& other) {
      bytes.swap(other.bytes);
      ends.swap(other.ends);
    }
  };
  // Takes every queued entry and writes it to the file. fileLock_ held.
  void WriteQueued();
  // Appends whole entries, moving on to the next numbered file where the
  // limit says so; a failed write drops the rest. fileLock_ held.
  void AppendEntries(const Entries& entries);
  // Opens the next numbered file that nothing has written yet; false (the
  // current file kept) when none can be opened. fileLock_ held.
  bool MoveToNextFile();

  // Lock order: fileLock_, then queueLock_. The queue lock is never held
  // while the file is written, so writers do not wait for the disk.
  //
  // Held while entries are taken from the queue and written, so the file
  // gets them in queue order, whichever thread writes them.
  std::mutex fileLock_;
  OpenFile open_;  // guarded by fileLock_
  Entries taken_;  // guarded by fileLock_: being written; keeps its memory for the next batch
  std::atomic<uint64_t> sizeLimit_{0};

  std::mutex queueLock_;       // guards everything below
  std::string path_;           // open_.path, "" while no file is open
  std::condition_variable linesQueued_;   // the writer waits for lines or stop
  std::condition_variable linesWritten_;  // writers wait for room, Flush for the file
  Entries queued_;             // entries not yet taken for writing
  uint64_t queuedTotal_ = 0;   // bytes ever queued
  uint64_t writtenTotal_ = 0;  // bytes ever handed to the file
  bool stopping_ = false;
  bool flushWanted_ = false;   // a Flush waits: the writer stops lingering
  bool writerRunning_ = false;  // from its start until it has been joined
  bool direct_ = false;
  std::thread writer_;
};

// "2024-03-15 09:30:05:042" for the given local time.
std::string FormatLogStamp(const platform::LocalDateTime& t);

// The log start tag "启动日志" in GBK, as the host's tools expect it.
extern const char kLogStartTag[];

}  // namespace tessel
