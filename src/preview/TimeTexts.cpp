#include "TimeTexts.h"

#include "base/MediaUtils.h"

#include <cmath>
#include <cstdio>

namespace tessaro {

std::string LengthText(std::int64_t microseconds) {
    // nearbyint rounds with the default mode: to the nearest, halves to even.
    const auto seconds = microseconds < 0
                             ? std::int64_t(0)
                             : std::int64_t(std::nearbyint(double(microseconds) / 1e6));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  int(seconds / 60 % 60), int(seconds % 60));
    return text;
}

std::string PositionText(std::int64_t microseconds) {
    return TimeText(microseconds < 0 ? 0 : microseconds);
}

} // namespace tessaro
