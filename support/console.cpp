#include "support/console.h"

#include <cstdio>
#include <string>

namespace tessel {

void ConsoleLine(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace tessel
