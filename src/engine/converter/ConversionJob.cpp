#include "converter/ConversionJob.h"

#include "base/TimeTexts.h"

#include <algorithm>

namespace tessaro {

TSpanWindow WindowInSpan(const TJobRange& range, std::int64_t spanStart, std::int64_t spanLength) {
    TSpanWindow window;
    const std::int64_t spanEnd = spanStart + spanLength;
    const std::int64_t start = range.Start.value_or(spanStart);
    const std::int64_t end = range.Length ? start + *range.Length : spanEnd;
    const std::int64_t from = std::max(start, spanStart);
    const std::int64_t to = std::min(end, spanEnd);
    if (from >= to) {
        window.Error = "The trimmed part " + PositionText(start) + " to " + PositionText(end) +
                       " lies outside chapters " + std::to_string(range.FirstChapter) + " to " +
                       std::to_string(range.LastChapter) + " (" + PositionText(spanStart) + " to " +
                       PositionText(spanEnd) + ").";
        return window;
    }
    window.Seek = from - spanStart;
    if (to < spanEnd) {
        window.Length = to - from;
    }
    return window;
}

} // namespace tessaro
