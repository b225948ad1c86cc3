// The time texts of the preview and the editors that play a title.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {

// A length as H:MM:SS with unpadded hours: the duration in whole seconds (rounded to the
// nearest, halves to even; 0 when negative). 3 726 000 000 us gives "1:02:06".
std::string LengthText(std::int64_t microseconds);

// A playing position as HH:MM:SS.mmm (hours not wrapped, milliseconds truncated); times
// before the start show as 0. 3 723 040 000 us gives "01:02:03.040".
std::string PositionText(std::int64_t microseconds);

} // namespace tessaro
