#include "support/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace tessel {
namespace {

using testing::TempDir;
using testing::WriteFile;

constexpr size_t kStampLength = 23;  // "2024-03-15 09:30:05:042"

bool LooksLikeStamp(const std::string& text) {
  const std::string shape = "dddd-dd-dd dd:dd:dd:ddd";
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i]) {
      return false;
    }
  }
  return true;
}

// The log is process-wide; each test uses its own instance of the class,
// in a fresh folder.
class TestLog : public CLog {};
class Log : public ::testing::Test {
 protected:
  TempDir dir;
  TestLog log;
};

TEST_F(Log, LineFormatStartLineAndLevels) {
  EXPECT_EQ(log.Write(1, "a", "b", "%s", "before open"), 0);
  ASSERT_EQ(log.Init("Log", dir.path().c_str(), "20240315.tessel.log"), 1);
  EXPECT_EQ(log.Init("Log", dir.path().c_str(), "20240316.tessel.log"), 0);  // keeps first file
  EXPECT_EQ(log.Write(0, "Quiet", "Quiet", "content:%d", 1), 1);
  const std::string big(5000, 'x');
  EXPECT_EQ(log.Write(1, "Request", "Request", "content:%d - %s", -5, big.c_str()), 1);
  log.Flush();

  const std::string text = testing::ReadFile(dir.File("Log/20240315.tessel.log"));
  const std::string start = std::string(":") + kLogStartTag + "_  Log\r\n";
  const std::string request = ":Request_Request  content:-5 - " + big + "\r\n";
  ASSERT_EQ(text.size(), 2 * kStampLength + start.size() + request.size());
  EXPECT_TRUE(LooksLikeStamp(text.substr(0, kStampLength)));
  EXPECT_EQ(text.substr(kStampLength, start.size()), start);
  const size_t second = kStampLength + start.size();
  EXPECT_TRUE(LooksLikeStamp(text.substr(second, kStampLength)));
  EXPECT_EQ(text.substr(second + kStampLength), request);
  EXPECT_FALSE(testing::ReadFile(dir.File("Log/20240316.tessel.log")).size());
}

TEST_F(Log, StampIsZeroPadded) {
  platform::LocalDateTime t;
  t.year = 2024;
  t.month = 3;
  t.day = 5;
  t.hour = 9;
  t.minute = 7;
  t.second = 1;
  t.millisecond = 42;
  EXPECT_EQ(FormatLogStamp(t), "2024-03-05 09:07:01:042");
}

TEST_F(Log, AnUnusablePathFailsInitWithAWarning) {
  WriteFile(dir.File("Log"), "a file where the folder should be");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(log.Init("Log", dir.path().c_str(), "x.log"), 0);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("cannot be made"), std::string::npos);
  EXPECT_EQ(log.Write(1, "a", "b", "x"), 0);
  // A folder where the file should be.
  ASSERT_TRUE(platform::EnsureDirectory(dir.File("Other")));
  ASSERT_TRUE(platform::EnsureDirectory(dir.File("Other/x.log")));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(log.Init("Other", dir.path().c_str(), "x.log"), 0);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("cannot be opened"), std::string::npos);
}

// "20240315.tessel.log" numbered 2: "20240315.2.tessel.log"; 0 is the name itself.
std::string NumberedName(const std::string& first, size_t number) {
  if (number == 0) return first;
  const size_t dot = first.find('.');
  return first.substr(0, dot) + "." + std::to_string(number) + first.substr(dot);
}

// The texts of the files a limited log wrote, in order.
std::vector<std::string> LogFiles(const TempDir& dir, const std::string& first) {
  std::vector<std::string> files;
  for (size_t number = 0;; ++number) {
    const std::string path = dir.File("Log/" + NumberedName(first, number));
    if (!std::filesystem::exists(path)) return files;
    files.push_back(testing::ReadFile(path));
  }
}

// The entries of a log file's text, each without its stamp and final
// "\r\n". An entry ends at the "\r\n" that ends the file or comes before
// the next stamp: the tests' messages hold no stamp after a line break.
std::vector<std::string> EntriesOf(const std::string& text, const std::string& name) {
  std::vector<std::string> entries;
  for (size_t at = 0; at < text.size();) {
    EXPECT_TRUE(LooksLikeStamp(text.substr(at, kStampLength))) << name << " at " << at;
    size_t end = text.find("\r\n", at + kStampLength);
    while (end != std::string::npos && end + 2 < text.size() &&
           !LooksLikeStamp(text.substr(end + 2, kStampLength))) {
      end = text.find("\r\n", end + 2);
    }
    EXPECT_NE(end, std::string::npos) << name << " ends inside an entry";
    if (end == std::string::npos) break;
    entries.push_back(text.substr(at + kStampLength, end - at - kStampLength));
    at = end + 2;
  }
  return entries;
}

// Checks entries ":T_L  <thread> <index>..." as `message` wrote them: each
// thread's in the order written, counted on in `next`.
void ExpectInThreadOrder(const std::vector<std::string>& entries, std::vector<int>& next,
                         const std::function<std::string(int, int)>& message) {
  for (const std::string& entry : entries) {
    int thread = -1;
    int index = -1;
    ASSERT_EQ(std::sscanf(entry.c_str(), ":T_L  %d %d", &thread, &index), 2) << entry;
    ASSERT_TRUE(thread >= 0 && thread < static_cast<int>(next.size())) << entry;
    EXPECT_EQ(index, next[thread]++);
    EXPECT_EQ(entry, ":T_L  " + message(thread, index));
  }
}

// More lines than the log's buffer holds, from several threads at once:
// every line reaches the file whole, each thread's in the order written.
TEST_F(Log, ManyWritersLoseNoLineAndKeepTheirOrder) {
  ASSERT_EQ(log.Init("Log", dir.path().c_str(), "many.log"), 1);
  constexpr int kThreads = 4;
  constexpr int kLines = 20000;
  const std::string padding(200, 'p');
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([this, &padding, t] {
      for (int i = 0; i < kLines; ++i) log.Write(1, "T", "L", "%d %d %s", t, i, padding.c_str());
    });
  }
  for (std::thread& writer : writers) writer.join();
  log.Flush();
  std::vector<std::string> entries = EntriesOf(testing::ReadFile(dir.File("Log/many.log")), "many");
  ASSERT_FALSE(entries.empty());
  entries.erase(entries.begin());  // the start entry
  std::vector<int> next(kThreads);
  ExpectInThreadOrder(entries, next, [&padding](int thread, int index) {
    return std::to_string(thread) + " " + std::to_string(index) + " " + padding;
  });
  EXPECT_EQ(next, std::vector<int>(kThreads, kLines));
}

// Most entries span lines, as JSON answers do, some with "\r\n" inside;
// entry 12 is longer than the limit below.
std::string MultiLineMessage(int i) {
  std::string message = "line " + std::to_string(i);
  if (i % 3 != 2) message += "\n{\"at\": " + std::to_string(i) + ",\r\n \"of\": 30}";
  if (i == 12) message += "\n" + std::string(600, 'L');
  return message;
}

// Every file keeps within the limit and holds whole entries; each numbered
// file names the one before it; together they hold every entry, in order.
TEST_F(Log, ASizeLimitMovesOnToNumberedFilesOfTheSameNameAndNeverSplitsAnEntry) {
  const std::string first = "20240315.tessel.log";
  ASSERT_EQ(log.Init("Log", dir.path().c_str(), first.c_str()), 1);
  constexpr uint64_t kLimit = 400;
  log.SetSizeLimit(kLimit);
  // A previous run of the day left the first numbered file, with room to spare.
  const std::string earlierRun = std::string(98, 'o') + "\r\n";
  WriteFile(dir.File("Log/" + NumberedName(first, 1)), earlierRun);
  std::vector<std::string> expected = {std::string(":") + kLogStartTag + "_  Log"};
  for (int i = 0; i < 30; ++i) {
    expected.push_back(":T_L  " + MultiLineMessage(i));
    log.Write(1, "T", "L", "%s", MultiLineMessage(i).c_str());
    if (i == 20) log.WriteDirectly();  // the process's exit path rolls over the same way
  }
  log.Flush();

  const std::vector<std::string> files = LogFiles(dir, first);
  ASSERT_GE(files.size(), 6u);
  EXPECT_EQ(std::filesystem::path(log.Path()).filename().string(),
            NumberedName(first, files.size() - 1));
  EXPECT_EQ(files[1], earlierRun);
  std::vector<std::string> read;
  for (size_t number = 0; number < files.size(); ++number) {
    if (number == 1) continue;
    const std::string name = NumberedName(first, number);
    std::vector<std::string> entries = EntriesOf(files[number], name);
    if (number > 1) {
      ASSERT_FALSE(entries.empty()) << name;
      EXPECT_EQ(entries.front(),
                ":Log_Continued  after:" + NumberedName(first, number == 2 ? 0 : number - 1));
      entries.erase(entries.begin());
    }
    const bool holdsALongEntry =
        std::any_of(entries.begin(), entries.end(),
                    [&](const std::string& entry) { return entry.size() > kLimit; });
    EXPECT_TRUE(files[number].size() <= kLimit || holdsALongEntry) << name;
    if (holdsALongEntry) {
      EXPECT_EQ(entries.size(), 1u) << name;
    }
    read.insert(read.end(), entries.begin(), entries.end());
  }
  EXPECT_EQ(read, expected);
}

// Flush writes on the calling thread what is queued, from every thread:
// when it returns, another reader of the file finds the entries, while the
// writer thread would still be letting them gather.
TEST_F(Log, FlushedEntriesAreInTheFileForAnyReader) {
  ASSERT_EQ(log.Init("Log", dir.path().c_str(), "flush.log"), 1);
  std::thread other([this] { log.Write(1, "Other", "Thread", "queued, not flushed"); });
  other.join();
  log.Write(1, "Answer", "Answer", "{\n  \"order_id\": 7\r\n}");
  log.Flush();
  const std::vector<std::string> expected = {std::string(":") + kLogStartTag + "_  Log",
                                             ":Other_Thread  queued, not flushed",
                                             ":Answer_Answer  {\n  \"order_id\": 7\r\n}"};
  EXPECT_EQ(EntriesOf(testing::ReadFile(dir.File("Log/flush.log")), "flush.log"), expected);
}

std::string ThreadMessage(int thread, int index) {
  return std::to_string(thread) + " " + std::to_string(index) + "\n{\"at\": " +
         std::to_string(index) + ",\r\n \"from\": " + std::to_string(thread) + "}";
}

// Threads write entries that span lines into a small limit, all but one
// flushing each one, while another asks where the log is: the log moves on
// to file after file under them, yet every entry reaches a file whole, each
// thread's in order, and every answer names the log's files in turn.
TEST_F(Log, WritersFlushersAndPathReadersShareTheMovingFile) {
  const std::string first = "20240315.tessel.log";
  ASSERT_EQ(log.Init("Log", dir.path().c_str(), first.c_str()), 1);
  constexpr uint64_t kLimit = 1024;
  log.SetSizeLimit(kLimit);
  constexpr int kThreads = 4;
  constexpr int kEntries = 300;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < kEntries; ++i) {
        log.Write(1, "T", "L", "%s", ThreadMessage(t, i).c_str());
        if (t != 0) log.Flush();
      }
    });
  }
  std::atomic<bool> writing{true};
  std::vector<std::string> paths;  // each answer that differs from the one before
  std::thread pathReader([&] {
    while (writing.load()) {
      const std::string path = log.Path();
      if (paths.empty() || paths.back() != path) paths.push_back(path);
    }
  });
  for (std::thread& writer : writers) writer.join();
  writing.store(false);
  pathReader.join();
  log.Flush();

  const std::vector<std::string> files = LogFiles(dir, first);
  ASSERT_GT(files.size(), 2u);
  std::vector<int> next(kThreads);
  for (size_t number = 0; number < files.size(); ++number) {
    const std::string name = NumberedName(first, number);
    EXPECT_LE(files[number].size(), kLimit) << name;
    std::vector<std::string> entries = EntriesOf(files[number], name);
    ASSERT_FALSE(entries.empty()) << name;
    entries.erase(entries.begin());  // the start entry or the note
    ExpectInThreadOrder(entries, next, ThreadMessage);
  }
  EXPECT_EQ(next, std::vector<int>(kThreads, kEntries));
  size_t number = 0;
  for (const std::string& path : paths) {
    const std::string name = std::filesystem::path(path).filename().string();
    while (number < files.size() && NumberedName(first, number) != name) ++number;
    EXPECT_LT(number, files.size()) << name << " is not a file of the log, or named out of turn";
  }
}

}  // namespace
}  // namespace tessel
