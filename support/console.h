// Trace lines on standard output, one whole line per call so that lines
// from the channel and send threads never interleave mid-line.
#pragma once

#include <string_view>

namespace tessel {

void ConsoleLine(std::string_view line);

}  // namespace tessel
