// The log's durability where only a process of its own can show it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "support/log.h"
#include "test_support.h"

namespace tessel {
namespace {

class TestLog : public CLog {};

// A child forked from a process whose log has a writer thread has no writer
// thread of its own, and it dies the moment Flush returns, running nothing
// at exit: its entry is in the file only if Flush wrote it on the calling
// thread and the write had returned.
TEST(LogFlush, AnEntryFlushedJustBeforeTheProcessDiesIsInTheFile) {
  testing::TempDir dir;
  TestLog log;
  ASSERT_EQ(log.Init("Log", dir.path().c_str(), "fork.log"), 1);
  // Init returns with the writer thread waiting for entries, holding no lock
  // of the log, so the child finds them all free.
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    alarm(60);  // a Flush that never returns fails the test instead of hanging it
    log.Write(1, "Request", "Request", "content:7 - {\"func\":\"Login\"}");
    log.Flush();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "child killed by signal " << WTERMSIG(status)
                                 << (WTERMSIG(status) == SIGALRM ? ": Flush never returned" : "");
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string text = testing::ReadFile(dir.File("Log/fork.log"));
  EXPECT_NE(text.find(":Request_Request  content:7 - {\"func\":\"Login\"}\r\n"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace tessel
