// Round-trip timing shared by both clients: the bounded measuring loop,
// the percentiles and the report line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace tessel::bench {

using Clock = std::chrono::steady_clock;

struct Summary {
  size_t count = 0;
  double medianUs = 0;
  double p90Us = 0;
  double p99Us = 0;
  double maxUs = 0;
  double perSecond = 0;
};

// `samples` are round trips in ns (sorted in place); `elapsed` is the wall
// time of the whole measured loop.
Summary Summarize(std::vector<int64_t>& samples, Clock::duration elapsed);

void PrintHeading(std::FILE* out);
void PrintLine(std::FILE* out, const std::string& name, const Summary& summary);

// Pipelined runs send again once the outstanding requests have fallen to
// this level, filling the window back up in one go.
inline int64_t RefillLevel(int window) { return window * 3 / 4; }

struct Budget {
  int warmup = 200;
  int count = 5000;
  Clock::duration limit = std::chrono::seconds(120);  // warm-up and measuring together
};

// Runs `budget.warmup` unrecorded then `budget.count` recorded round trips.
// `trip(n)` performs trip n (from 1) and returns false when it failed.
// False when a trip failed or the time limit ran out; `why` says which.
template <typename Trip>
bool Measure(const Budget& budget, Trip&& trip, Summary& out, std::string& why) {
  const auto fail = [&why](std::string text) {
    why = std::move(text);
    return false;
  };
  const Clock::time_point deadline = Clock::now() + budget.limit;
  uint64_t n = 0;
  for (int i = 0; i < budget.warmup; ++i) {
    if (!trip(++n)) return fail("warm-up trip " + std::to_string(i + 1) + " failed");
    if (Clock::now() > deadline) return fail("time limit reached in the warm-up");
  }
  std::vector<int64_t> samples;
  samples.reserve(static_cast<size_t>(budget.count));
  const Clock::time_point begin = Clock::now();
  for (int i = 0; i < budget.count; ++i) {
    const Clock::time_point start = Clock::now();
    if (!trip(++n)) return fail("trip " + std::to_string(i + 1) + " failed");
    const Clock::time_point end = Clock::now();
    samples.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
    if (end > deadline) return fail("time limit reached after " + std::to_string(i + 1) + " trips");
  }
  out = Summarize(samples, Clock::now() - begin);
  return true;
}

}  // namespace tessel::bench
