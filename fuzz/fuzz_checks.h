// The fuzz targets' bodies: each feeds one input to a path that eats outside
// bytes and checks what must hold afterwards. The libFuzzer drivers and the
// unit tests' replay of the corpora and of past crashes share them, so every
// input that once failed keeps being checked by the plain build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessel::fuzz {

// Called once per broken property. The default prints it and aborts, which
// libFuzzer reports as a crash and saves the input for.
using ViolationHandler = void (*)(const char* what, const char* file, int line);
void SetViolationHandler(ViolationHandler handler);

// Byte 0 picks the function (its low 6 bits index the 47 names; 47 and up
// send the rest as the whole text, without a "func") and the channel states
// (bit 6: main down, bit 7: push down); the rest continues the JSON object
// that starts {"func":"NAME",
void RunIntake(const uint8_t* data, size_t size);

// Byte 0 picks an answer or push layout; the rest is the body.
void RunAnswer(const uint8_t* data, size_t size);

// The same input; the answer's text must be the one its jsoncpp value tree
// printed by the default writer would be, byte for byte.
void RunAnswerText(const uint8_t* data, size_t size);

// Byte 0: bit 0 the channel (push when set), bits 1-3 how many requests
// (ids 1..n) are pending on it, bit 4 the same ids pending on the other
// channel too; byte 1 where the stream is cut (n * byte / 255) before the
// first of two walks; the rest is the received byte stream.
void RunFrameWalk(const uint8_t* data, size_t size);

// The whole input is the configuration file's text.
void RunConfig(const uint8_t* data, size_t size);

}  // namespace tessel::fuzz
