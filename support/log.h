// The process-wide daily log file. One instance per process, created on
// first use and never destroyed, so threads still running at process exit
// can always write.
#pragma once

#include <cstdarg>
#include <mutex>
#include <string>

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
  // Returns non-zero when written or suppressed, 0 when no file is open or
  // the write failed.
  int Write(int level, const char* tag1, const char* tag2, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

  // Closes the file; later writes are skipped until an Init opens one.
  void Close();
  // Where the open log file is ("" when none is open).
  std::string Path();

  virtual ~CLog() = default;

 protected:
  CLog() = default;

 private:
  int WriteFormatted(int level, const char* tag1, const char* tag2, const char* format,
                     va_list args);

  platform::AppendFile file_;
  std::string path_;  // of the open file, for Path()
  std::mutex lock_;  // guards file_ (opening and appending)
};

// "2024-03-15 09:30:05:042" for the given local time.
std::string FormatLogStamp(const platform::LocalDateTime& t);

// The log start tag "启动日志" in GBK, as the host's tools expect it.
extern const char kLogStartTag[];

}  // namespace tessel
