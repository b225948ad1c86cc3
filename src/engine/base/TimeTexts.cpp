#include "base/TimeTexts.h"

#include "base/EngineException.h"

#include <cmath>

namespace tessaro {
namespace {

// The sign and the magnitude of a time; the magnitude of the smallest value fits unsigned.
struct TSignedMagnitude {
    const char* sign;
    unsigned long long magnitude;
};

TSignedMagnitude SplitSign(std::int64_t value) {
    if (value < 0) {
        return {"-", 0ull - static_cast<unsigned long long>(value)};
    }
    return {"", static_cast<unsigned long long>(value)};
}

} // namespace

std::string TimeText(std::int64_t microseconds) {
    if (microseconds == kNoTimeValue) {
        return "N/A";
    }
    const auto [sign, magnitude] = SplitSign(microseconds);
    const unsigned long long milliseconds = magnitude / 1000;
    return FormatText("%s%.2llu:%.2d:%.2d.%.3d", sign, milliseconds / 3600000,
                      int(milliseconds / 60000 % 60), int(milliseconds / 1000 % 60),
                      int(milliseconds % 1000));
}

std::string HoursMinutesSecondsText(std::int64_t seconds) {
    const long long whole = seconds < 0 ? 0 : seconds;
    return FormatText("%lld:%.2d:%.2d", whole / 3600, int(whole / 60 % 60), int(whole % 60));
}

std::string RoundedLengthText(std::int64_t microseconds) {
    // nearbyint rounds in the default mode: to the nearest, halves to even.
    return HoursMinutesSecondsText(
        microseconds < 0 ? 0
                         : static_cast<std::int64_t>(std::nearbyint(double(microseconds) / 1e6)));
}

std::string PositionText(std::int64_t microseconds) {
    return TimeText(microseconds < 0 ? 0 : microseconds);
}

std::string SecondsText(std::int64_t microseconds) {
    const auto [sign, magnitude] = SplitSign(microseconds);
    return FormatText("%s%llu.%06llu", sign, magnitude / 1000000, magnitude % 1000000);
}

} // namespace tessaro
