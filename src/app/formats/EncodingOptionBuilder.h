// Turns the chosen output format (its definition in the format file and the user's
// current values in the settings file) and a source row's zoom and crop choice into
// the converter's option records for one task.
#pragma once

#include "converter/ConverterOptions.h"

#include <cstdint>
#include <string>

namespace tessaro {

class TIniFile;
class TCustomMediaProbe;

// The two INI files a build reads: the settings file (current values) and the
// format file (container, lists). Both use the section "formatInfo" + code.
struct TFormatFiles {
    const TIniFile& Settings;
    const TIniFile& Formats;
};

// The row's own picture decisions.
struct TRowZoom {
    std::string ZoomMode; // "full", "lbox", "pan", "center"; anything else: no zoom
    std::int32_t CropTop = 0;
    std::int32_t CropLeft = 0;
    std::int32_t CropBottom = 0;
    std::int32_t CropRight = 0;
};

// What the builder needs to know about the source (from the media probe).
struct TSourceVideo {
    std::int32_t VideoStreamCount = 0;
    std::int32_t Width = -1; // of the first video stream; -1 when unknown
    std::int32_t Height = -1;
    std::int32_t BitRate = -1; // bit/s
};

// The stream count and the first video stream's size and bit rate of a loaded probe; the size
// is the displayed one (width and height swapped for a stream turned by a quarter turn).
TSourceVideo SourceVideoOf(TCustomMediaProbe& probe);

// Fills the records of one file task. May ask the 320x240 question through the
// dialog service. Throws std::invalid_argument for a volume value that is no integer.
void BuildEncodingOptions(const TFormatFiles& files, int formatCode, const TRowZoom& row,
                          const TSourceVideo& source, TOutputOptions& output, TInputOptions& input);

// The same for a DVD title of titleWidth x titleHeight: disc targets go on to the
// video part, the bit rate has no source fall-back, the letterbox has its own rule and
// "center" is not a zoom mode.
void BuildDVDEncodingOptions(const TFormatFiles& files, int formatCode, const TRowZoom& row,
                             std::int32_t titleWidth, std::int32_t titleHeight,
                             TOutputOptions& output, TInputOptions& input);

// bar(D, S, r): one of the two equal bars left of the target dimension D when the
// source dimension S is scaled by 1/r, rounded down to an even number of pixels.
std::int64_t LetterboxBar(std::int64_t targetSize, std::int64_t sourceSize, double scale);

} // namespace tessaro
