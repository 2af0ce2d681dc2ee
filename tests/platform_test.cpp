// The operating-system layer's file and directory calls, the same on every
// platform the library is built for.
#include "platform/system.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace tessel::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(Platform, EnsureDirectoryAcceptsAnExistingOneOnly) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string made = dir.path() + kPathSeparator + "Log";
  EXPECT_TRUE(EnsureDirectory(made));
  EXPECT_TRUE(EnsureDirectory(made));  // already there
  EXPECT_FALSE(EnsureDirectory(made + kPathSeparator + "a" + kPathSeparator + "b"));
}

TEST(Platform, AppendFilesShareTheFileAndKeepItsContents) {
  TempDir dir;
  const std::string path = dir.path() + kPathSeparator + "shared.log";
  WriteFile(path, "old\r\n");
  AppendFile first;
  AppendFile second;
  ASSERT_TRUE(first.Open(path));
  ASSERT_TRUE(second.Open(path));  // a second writer is let in
  EXPECT_TRUE(first.Append("one\r\n", 5));
  EXPECT_TRUE(second.Append("two\r\n", 5));
  EXPECT_TRUE(first.Append("three\r\n", 7));
  // Readable while both are open; every write went to the end.
  EXPECT_EQ(ReadFile(path), "old\r\none\r\ntwo\r\nthree\r\n");

  AppendFile moved(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  EXPECT_TRUE(moved.IsOpen());
  EXPECT_FALSE(first.Append("x", 1));
}

TEST(Platform, AppendFileInAMissingFolderDoesNotOpen) {
  TempDir dir;
  AppendFile file;
  EXPECT_FALSE(file.Open(dir.path() + kPathSeparator + "missing" + kPathSeparator + "f.log"));
  EXPECT_FALSE(file.IsOpen());
}

TEST(Platform, ExecutableDirectoryHasNoTrailingSeparator) {
  const std::string directory = ExecutableDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '/');
  EXPECT_NE(directory.back(), '\\');
  // The test folders' names are plain ASCII: both encodings agree.
  EXPECT_EQ(ExecutableDirectoryForFiles(), directory);
}

}  // namespace
}  // namespace tessel::platform
