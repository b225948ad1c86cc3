// Texts of engine times (signed 64-bit microseconds): the position text of reports, the
// seconds text the time options read, and the length and position texts players show.
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

// Whole seconds as H:MM:SS with unpadded hours ("1:02:06", "100:00:00"); negative counts as 0.
std::string HoursMinutesSecondsText(std::int64_t seconds);

// The length of a title as players show it: HoursMinutesSecondsText of the time rounded to
// whole seconds (to the nearest, halves to even). 3 726 000 000 us gives "1:02:06".
std::string RoundedLengthText(std::int64_t microseconds);

// A playing position: TimeText of the time, with times before the start (no value included)
// shown as 0. 3 723 040 000 us gives "01:02:03.040".
std::string PositionText(std::int64_t microseconds);

// Seconds with six decimals ("12.345678"); negative times get a leading "-" ("-0.021333").
std::string SecondsText(std::int64_t microseconds);

} // namespace tessaro
