// The frame every fuzz target of tests/fuzz is written in. A target is a named function that
// takes one input (any bytes) and checks what the code under test did with it; it registers
// itself with TESSARO_FUZZ_TARGET. The same source builds two ways:
//   - with libFuzzer (the TESSARO_FUZZ build, LibFuzzerDriver.cpp): one executable per target,
//     a failed check aborts so that libFuzzer keeps the input;
//   - into the normal test suite (RegressionReplayTest.cpp), which runs every target on each
//     input kept under tests/fuzz/regressions/<target>/; a failed check fails that test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro::fuzz {

struct TFuzzTarget {
    const char* name;
    // Runs once before the first input (loads libraries, makes the target's work folder).
    void (*initialize)();
    void (*run)(const std::uint8_t* data, std::size_t size);
};

// Every target linked into the program, in registration order.
const TFuzzTarget* const* FuzzTargets(std::size_t& count);

struct TFuzzRegistration {
    explicit TFuzzRegistration(const TFuzzTarget& target);
};

// Reports a broken expectation of a target; never returns (the two drivers decide how).
[[noreturn]] void FuzzCheckFailed(const char* file, int line, const std::string& message);

} // namespace tessaro::fuzz

#define TESSARO_FUZZ_CHECK(condition, message)                                                     \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::tessaro::fuzz::FuzzCheckFailed(__FILE__, __LINE__, (message));                       \
        }                                                                                          \
    } while (false)

#define TESSARO_FUZZ_TARGET(name, initialize, run)                                                 \
    namespace {                                                                                    \
    const ::tessaro::fuzz::TFuzzTarget fuzzTarget{name, initialize, run};                          \
    const ::tessaro::fuzz::TFuzzRegistration fuzzRegistration{fuzzTarget};                         \
    }
