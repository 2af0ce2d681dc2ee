#include "tools/bench/log_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/system.h"
#include "support/server_config.h"

namespace tessel::bench {

LogFolder::LogFolder(uint64_t limit) : limit_(limit) {
  const platform::LocalDateTime today = platform::LocalNow();
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", today.year, today.month, today.day);
  date_ = date;
  folder_ = ModuleDirectory() + "/Log";
  atStart_ = Total();
}

uint64_t LogFolder::Written() const { return removed_ + Total() - atStart_; }

unsigned LogFolder::Newest() const { return Numbers().back(); }

void LogFolder::RemoveClosedFiles() {
  const std::vector<unsigned> numbers = Numbers();
  for (size_t i = 0; i + 1 < numbers.size(); ++i) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(PathOf(numbers[i]), error);
    if (error || !std::filesystem::remove(PathOf(numbers[i]), error)) continue;
    removed_ += size;
    oversized_ += limit_ != 0 && numbers[i] != 0 && size > limit_;
  }
}

std::string LogFolder::PathOf(unsigned number) const {
  return folder_ + "/" + date_ + (number == 0 ? "" : "." + std::to_string(number)) +
         ".tessel.log";
}

std::vector<unsigned> LogFolder::Numbers() const {
  std::vector<unsigned> numbers;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    const std::string name = entry.path().filename().string();
    unsigned number = 0;
    char rest[32] = {};
    if (name == date_ + ".tessel.log") {
      numbers.push_back(0);
    } else if (name.rfind(date_ + ".", 0) == 0 &&
               std::sscanf(name.c_str() + date_.size(), ".%u.%31s", &number, rest) == 2 &&
               std::string(rest) == "tessel.log") {
      numbers.push_back(number);
    }
  }
  if (numbers.empty()) numbers.push_back(0);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

uint64_t LogFolder::Total() const {
  uint64_t total = 0;
  for (const unsigned number : Numbers()) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(PathOf(number), error);
    if (!error) total += size;
  }
  return total;
}

}  // namespace tessel::bench
