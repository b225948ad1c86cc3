// Where a chapter span of a DVD title lies in the title's playing time.
#pragma once

#include "DVDDecApi.h"

#include <cstdint>
#include <string>

namespace tessaro {

struct TDvdSpanTimes {
    std::int64_t Start = 0;  // microseconds from the title's start
    std::int64_t Length = 0; // microseconds
};

// Chapters param.FromChapter to param.ToChapter (1-based, inclusive) of param's title on the
// disc at location, as the DVD plug-in's title streams measure them. Throws EngineException when
// the plug-in is not loaded or the chapters cannot be opened.
TDvdSpanTimes DvdChapterSpanTimes(const std::string& location, TDVDParam param);

} // namespace tessaro
