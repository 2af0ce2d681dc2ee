// The library's log files of today beside the running executable:
// "<date>.tessel.log" and the numbered ones a size limit adds after it.
// Read by the bench and the soak, which measure what the log grows by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessel::bench {

class LogFolder {
 public:
  // `limit`: the size limit the library was given (0 for none), for
  // Oversized().
  explicit LogFolder(uint64_t limit = 0);

  // Bytes the log grew by since this was made, removed files included.
  uint64_t Written() const;
  // The number of the newest file (0 for the unnumbered one).
  unsigned Newest() const;

  // Files closed larger than the limit. The first file may hold earlier
  // runs, so only the numbered ones count.
  unsigned Oversized() const { return oversized_; }

  // Removes every file but the newest, which the library may still write.
  void RemoveClosedFiles();

 private:
  std::string PathOf(unsigned number) const;
  // The numbers of today's files, in order; {0} at least.
  std::vector<unsigned> Numbers() const;
  uint64_t Total() const;

  std::string date_;
  std::string folder_;
  uint64_t limit_;
  uint64_t atStart_ = 0;
  uint64_t removed_ = 0;
  unsigned oversized_ = 0;
};

}  // namespace tessel::bench
