// The entry point and invariant check of a fuzz target, shared with the regression tests that
// replay saved inputs through the same code (built with QV_FUZZ_REGRESSION).
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef QV_FUZZ_REGRESSION
#include <stdexcept>
// A named function per target, so several targets link into one test.
#define QV_FUZZ_ENTRY(name) int FuzzOne_##name(const std::uint8_t* data, std::size_t size)
// A broken invariant is a test failure with its condition in the message.
#define QV_FUZZ_CHECK(condition)                                                \
  do {                                                                          \
    if (!(condition)) throw std::logic_error("fuzz check failed: " #condition); \
  } while (0)
#else
#define QV_FUZZ_ENTRY(name) \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
// A broken invariant is a crash, which libFuzzer saves as an artifact.
#define QV_FUZZ_CHECK(condition)        \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (0)
#endif
