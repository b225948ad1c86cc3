// The display rotation of a video stream. Phones store an upright recording as turned
// pictures plus a display matrix that tells players how to turn them back; whoever shows or
// converts such a stream turns its pictures first, so that everything after (hooks, crops,
// frame sizes) sees the picture as it is displayed.
#pragma once

#include <string>

struct AVStream;

namespace tessaro {

// Clockwise degrees the stream's pictures must be turned to be shown upright: 0, 90, 180 or
// 270. Matrices that turn by other angles (or only mirror) count as 0.
int StreamRotation(const AVStream* stream);

// The filter chain that turns decoded pictures by that many clockwise degrees; empty for 0.
std::string RotationFilterChain(int clockwiseDegrees);

// True when turning the pictures swaps their width and height (90 and 270 degrees).
bool RotationSwapsSides(int clockwiseDegrees);

} // namespace tessaro
