// Texts of engine times (signed 64-bit microseconds): the position text of reports and the
// seconds text the time options read.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

namespace tessaro {

// "No value" for a time in microseconds (the media libraries' AV_NOPTS_VALUE).
inline constexpr std::int64_t kNoTimeValue = std::numeric_limits<std::int64_t>::min();

// "%.2d:%.2d:%.2d.%.3d" (hours unlimited, milliseconds truncated); "N/A" for kNoTimeValue;
// negative times get a leading "-".
std::string TimeText(std::int64_t microseconds);

// Seconds with six decimals ("12.345678"); negative times get a leading "-" ("-0.021333").
std::string SecondsText(std::int64_t microseconds);

} // namespace tessaro
