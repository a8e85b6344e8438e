// The fuzz targets' assertion: a broken property prints what failed and
// aborts, so that libFuzzer records the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace romfold::fuzz {

[[noreturn]] inline void property_failed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

}  // namespace romfold::fuzz

// Kept as a macro so that the message names the condition and its line.
#define FUZZ_REQUIRE(condition) \
    ((condition) ? void(0) : ::romfold::fuzz::property_failed(#condition, __FILE__, __LINE__))
