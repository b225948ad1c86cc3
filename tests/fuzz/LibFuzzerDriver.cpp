// The libFuzzer entry points of a fuzz executable, which holds exactly one target.
#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

namespace tessaro::fuzz {
namespace {

const TFuzzTarget& TheTarget() {
    std::size_t count = 0;
    const TFuzzTarget* const* targets = FuzzTargets(count);
    if (count != 1) {
        std::fprintf(stderr, "a fuzz executable holds one target, this one holds %zu\n", count);
        std::abort();
    }
    return *targets[0];
}

} // namespace

// libFuzzer keeps the input of any run that aborts.
void FuzzCheckFailed(const char* file, int line, const std::string& message) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, message.c_str());
    std::abort();
}

} // namespace tessaro::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const tessaro::fuzz::TFuzzTarget& target = tessaro::fuzz::TheTarget();
    if (target.initialize != nullptr) {
        target.initialize();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessaro::fuzz::TheTarget().run(data, size);
    return 0;
}
