#include "tools/bench/latency.h"

#include <algorithm>
#include <cmath>

namespace tessel::bench {
namespace {

// Nearest rank over sorted samples, in microseconds.
double PercentileUs(const std::vector<int64_t>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  const double rank = std::ceil(fraction * static_cast<double>(sorted.size()));
  const size_t index = std::clamp<size_t>(static_cast<size_t>(rank), 1, sorted.size()) - 1;
  return static_cast<double>(sorted[index]) / 1000.0;
}

}  // namespace

Summary Summarize(std::vector<int64_t>& samples, Clock::duration elapsed) {
  std::sort(samples.begin(), samples.end());
  Summary s;
  s.count = samples.size();
  s.medianUs = PercentileUs(samples, 0.50);
  s.p90Us = PercentileUs(samples, 0.90);
  s.p99Us = PercentileUs(samples, 0.99);
  s.maxUs = PercentileUs(samples, 1.0);
  const double seconds = std::chrono::duration<double>(elapsed).count();
  s.perSecond = seconds > 0 ? static_cast<double>(s.count) / seconds : 0;
  return s;
}

void PrintHeading(std::FILE* out) {
  std::fprintf(out, "%-14s %8s %10s %10s %10s %10s %10s\n", "", "count", "median us", "p90 us",
               "p99 us", "max us", "req/s");
}

void PrintLine(std::FILE* out, const std::string& name, const Summary& s) {
  std::fprintf(out, "%-14s %8zu %10.1f %10.1f %10.1f %10.1f %10.0f\n", name.c_str(), s.count,
               s.medianUs, s.p90Us, s.p99Us, s.maxUs, s.perSecond);
}

}  // namespace tessel::bench
