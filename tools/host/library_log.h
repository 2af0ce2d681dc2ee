// What the host tool reads of the library's log: the day's file and the
// numbered files a size limit makes the library go on in.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace tessel::host {

// The library's log file: Log/<YYYYMMDD>.tessel.log in its home folder,
// dated by the first CreateClient of the process, and the numbered files a
// size limit makes it go on in. Read, never written.
class LibraryLog {
 public:
  // The day's file name, local time as the library takes it.
  static std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char date[16];
    std::strftime(date, sizeof date, "%Y%m%d", &local);
    return date;
  }

  // `folder` ends in a separator. `before` and `after` are the dates taken
  // around CreateClient; they differ only across midnight, when the file of
  // the later one exists only if the library opened it.
  void Locate(const std::string& folder, const std::string& before, const std::string& after) {
    folder_ = folder;
    date_ = after;
    std::error_code error;
    if (before != after && !std::filesystem::exists(Native(0), error)) date_ = before;
  }

  std::string Path() const { return PathOf(0); }

  // A place in the log: the size of each of the day's files. The library
  // goes on in whichever file it writes, which need not be the newest: it
  // passes over numbered files an earlier run of the day left.
  struct Mark {
    std::vector<uint64_t> sizes;  // by file number; files past the end were empty
  };

  // Where the log ends now.
  Mark End() const {
    Mark mark;
    for (unsigned number = 0; number == 0 || Exists(number); ++number) {
      mark.sizes.push_back(SizeOf(number));
    }
    return mark;
  }

  // What the log's files gained since `mark`, in file order ("" when they
  // cannot be read).
  std::string ReadFrom(const Mark& mark) const {
    std::string text;
    for (unsigned number = 0; number == 0 || Exists(number); ++number) {
      text += ReadFile(number, number < mark.sizes.size() ? mark.sizes[number] : 0);
    }
    return text;
  }

 private:
  std::string PathOf(unsigned number) const {
    return folder_ + date_ + (number == 0 ? "" : "." + std::to_string(number)) + ".tessel.log";
  }
  std::filesystem::path Native(unsigned number) const {
    return std::filesystem::u8path(PathOf(number));
  }
  bool Exists(unsigned number) const {
    std::error_code error;
    return std::filesystem::exists(Native(number), error);
  }

  // Measured through an open file, not the directory entry, which Windows
  // may update late while the library holds the file open.
  uint64_t SizeOf(unsigned number) const {
    std::ifstream file(Native(number), std::ios::binary | std::ios::ate);
    if (!file) return 0;
    const std::streamoff size = file.tellg();
    return size > 0 ? static_cast<uint64_t>(size) : 0;
  }

  std::string ReadFile(unsigned number, uint64_t offset) const {
    std::ifstream file(Native(number), std::ios::binary);
    if (!file) return {};
    file.seekg(static_cast<std::streamoff>(offset));
    std::string text;
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
      text.append(chunk, static_cast<size_t>(file.gcount()));
    }
    return text;
  }

  std::string folder_;
  std::string date_;
};

}  // namespace tessel::host
