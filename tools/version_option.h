// `--version`, the same in every tool: the program's name and the project's
// version on one line.
#pragma once

#include <cstdio>
#include <cstring>

#include "support/version.h"

namespace tessel::tools {

// True, once the line is printed, when the one argument is --version: the
// caller then exits with 0.
inline bool AnsweredVersion(int argc, char** argv, const char* program) {
  if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
  std::printf("%s %s\n", program, kVersion);
  return true;
}

}  // namespace tessel::tools
