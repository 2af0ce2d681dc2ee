// libFuzzer driver; the target and its checks live in fuzz_checks.cpp.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tessel::fuzz::RunAnswerText(data, size);
  return 0;
}
