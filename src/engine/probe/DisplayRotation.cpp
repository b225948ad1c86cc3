#include "probe/DisplayRotation.h"

#include "runtime/Bindings.h"

#include <cmath>
#include <cstdint>

namespace tessaro {

namespace {

// A matrix angle within this many degrees of a quarter turn counts as that quarter turn.
constexpr double QuarterTurnTolerance = 1.0;

} // namespace

int StreamRotation(const AVStream* stream) {
    if (stream == nullptr) {
        return 0;
    }
    std::size_t size = 0;
    const std::uint8_t* data =
        ff::av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data == nullptr || size < 9 * sizeof(std::int32_t)) {
        return 0;
    }
    // The matrix angle is counter-clockwise; pictures are turned the other way to be shown.
    const double counterClockwise =
        ff::av_display_rotation_get(reinterpret_cast<const std::int32_t*>(data));
    if (!std::isfinite(counterClockwise)) {
        return 0;
    }
    double clockwise = std::fmod(-counterClockwise, 360.0);
    if (clockwise < 0) {
        clockwise += 360.0;
    }
    const double quarters = std::round(clockwise / 90.0);
    if (std::fabs(clockwise - quarters * 90.0) > QuarterTurnTolerance) {
        return 0;
    }
    return int(quarters) % 4 * 90;
}

std::string RotationFilterChain(int clockwiseDegrees) {
    switch (clockwiseDegrees) {
    case 90:
        return "transpose=clock";
    case 180:
        return "hflip,vflip";
    case 270:
        return "transpose=cclock";
    default:
        return {};
    }
}

bool RotationSwapsSides(int clockwiseDegrees) {
    return clockwiseDegrees == 90 || clockwiseDegrees == 270;
}

} // namespace tessaro
