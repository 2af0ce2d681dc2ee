// Replays every committed fuzz input — the seed corpora and the inputs that
// once broke a target (fuzz/regressions) — through the fuzz targets' own
// checks, so the plain and sanitizer builds keep them without libFuzzer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"

namespace tessel::fuzz {
namespace {

namespace fs = std::filesystem;

std::string gInput;  // the file being replayed, for the failure message

void RecordViolation(const char* what, const char* file, int line) {
  ADD_FAILURE_AT(file, line) << "broken: " << what << "\n  input: " << gInput;
}

using Target = void (*)(const uint8_t*, size_t);

// Runs every file of fuzz/corpus/TARGET and fuzz/regressions/TARGET; the
// number of files replayed.
size_t Replay(const std::string& target, Target run) {
  SetViolationHandler(&RecordViolation);
  size_t replayed = 0;
  for (const char* folder : {"corpus", "regressions"}) {
    const fs::path dir = fs::path(TESSEL_FUZZ_DIR) / folder / target;
    if (!fs::is_directory(dir)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>()};
      gInput = entry.path().string();
      run(bytes.data(), bytes.size());
      ++replayed;
    }
  }
  SetViolationHandler(nullptr);
  return replayed;
}

TEST(FuzzReplay, IntakeInputs) { EXPECT_GE(Replay("intake", &RunIntake), 47u); }
TEST(FuzzReplay, AnswerInputs) { EXPECT_GE(Replay("answer", &RunAnswer), 52u); }
TEST(FuzzReplay, AnswerTextInputs) { EXPECT_GE(Replay("answer_text", &RunAnswerText), 59u); }
TEST(FuzzReplay, FrameWalkInputs) { EXPECT_GE(Replay("frame_walk", &RunFrameWalk), 3u); }
TEST(FuzzReplay, ConfigInputs) { EXPECT_GE(Replay("config", &RunConfig), 2u); }

}  // namespace
}  // namespace tessel::fuzz
