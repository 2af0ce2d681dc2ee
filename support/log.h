// The process-wide daily log file. One instance per process, created on
// first use and never destroyed, so threads still running at process exit
// can always write.
//
// An entry is "stamp:tag1_tag2  message\r\n"; the message may span lines.
// Entries are formatted (stamp included) on the writing thread and queued
// in the order the writers take the queue lock, and reach the file in that
// order. A writer thread of the log's own writes what is queued in batches,
// a few milliseconds after the first entry of each batch, unless a Flush()
// has written it first. A full queue makes writers wait: no entry is ever
// dropped. Close() and WriteDirectly() write what is queued and join the
// writer thread.
//
// Locks: the file lock guards the open file and is held while entries are
// taken from the queue and written, by the writer thread or by a flushing
// one, so the file gets them in queue order. The queue lock guards the
// queue, the published path and the writer thread's state; it is taken
// after the file lock, never before it, and never held during a file write,
// so writers do not wait for the disk.
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
  // entry. Returns 1 when the file was opened, 0 otherwise; a second Init
  // keeps the file already open. Returns with the start entry in the file
  // and the writer thread waiting: until the next entry, no thread of the
  // log holds a lock.
  int Init(const char* folder, const char* baseDir, const char* fileName);

  // Queues one entry "stamp:tag1_tag2  message\r\n". Level 0 writes nothing.
  // Returns non-zero when taken for writing or suppressed, 0 when no file
  // is open.
  int Write(int level, const char* tag1, const char* tag2, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

  // Bytes a log file may hold; 0 for no limit. Takes effect from the next
  // batch of entries written.
  void SetSizeLimit(uint64_t maxBytes);

  // Returns once every entry queued before the call is in the file: its
  // write has returned, so the entry outlives this process, not a crash of
  // the machine. Entries still queued, from any thread, are written by the
  // calling thread, all in one write (one per file where the size limit
  // moves the log on); a batch another thread is writing is waited for. No
  // hand-over to the writer thread, no lingering: call it where an entry
  // must be in the file before something else happens. With nothing queued
  // it costs one lock and a comparison.
  void Flush();

  // From here on each entry is written to the file by the thread that
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
  // Queues one entry, cut to maxLength bytes if longer, and writes it when
  // no writer thread runs. 0 when no file is open.
  int QueueEntry(std::string_view stamp, std::string_view tag1, std::string_view tag2,
                 std::string_view message, size_t maxLength);
  // Starts the writer thread, unless it runs or entries are written
  // directly, and returns once it waits for entries.
  void StartWriter();
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

  // Taken before queueLock_; held while entries are taken and written.
  std::mutex fileLock_;
  OpenFile open_;  // guarded by fileLock_
  Entries taken_;  // guarded by fileLock_: being written; keeps its memory for the next batch
  std::atomic<uint64_t> sizeLimit_{0};

  std::mutex queueLock_;       // guards everything below
  std::string path_;           // open_.path, "" while no file is open
  std::condition_variable entriesQueued_;  // the writer waits for entries or stop
  std::condition_variable queueTaken_;     // writers wait for room
  std::condition_variable writerChanged_;  // for the writer to be idle, or joined
  Entries queued_;             // entries not yet taken for writing
  uint64_t queuedTotal_ = 0;   // bytes ever queued
  uint64_t writtenTotal_ = 0;  // bytes ever written to the file (the write returned)
  bool stopping_ = false;
  bool writerRunning_ = false;  // from its start until it has been joined
  bool writerIdle_ = false;     // it waits for entries and is not yet woken
  bool direct_ = false;
  std::thread writer_;
};

// "2024-03-15 09:30:05:042" for the given local time.
std::string FormatLogStamp(const platform::LocalDateTime& t);

// The log start tag "启动日志" in GBK, as the host's tools expect it.
extern const char kLogStartTag[];

}  // namespace tessel
