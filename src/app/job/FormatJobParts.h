// The chosen output format's part of a conversion job: its definition in the format file and
// the user's current values in the settings file, with a row's zoom and crop choice, become the
// job's container, encoders and their preset, bit rates, frame rate, frame size, aspect ratio,
// crop margins and the filter chain that letterboxes, pans or centres the picture.
#pragma once

#include "converter/ConversionJob.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// What a build could not settle by itself; the caller resolves it (a window asks, tessaro-cli
// says why and takes the format's default) or, when it cannot be resolved, does not convert
// the row.
enum class TJobProblemKind {
    UnreadableFrameSize,  // built at the source's size; answer with TJobAnswers::FrameSize
    WindowOutsideChapters // the trim lies outside the chosen chapters: nothing to convert
};
struct TJobProblem {
    TJobProblemKind Kind;
    std::string Message;
};

// Answers to the problems of an earlier build of the same row.
struct TJobAnswers {
    std::optional<TJobSize> FrameSize; // used instead of an unreadable stored frame size
};

// The question the windows ask about an unreadable stored frame size, and the size a Yes gives
// (a No keeps the source's size).
inline constexpr const char* FrameSizeQuestion =
    "Error output Video Size.Use the default size 320x240?";
inline constexpr TJobSize FrameSizeQuestionDefault{320, 240};

// The stream count and the first video stream's size and bit rate of a loaded probe; the size
// is the displayed one (width and height swapped for a stream turned by a quarter turn).
TSourceVideo SourceVideoOf(TCustomMediaProbe& probe);

// Fills the format's part of a file's job. Throws std::invalid_argument for a volume value that
// is no integer.
std::vector<TJobProblem> ApplyFileFormat(const TFormatFiles& files, int formatCode,
                                         const TRowZoom& row, const TSourceVideo& source,
                                         const TJobAnswers& answers, TConversionJob& job);

// The same for a DVD title of titleWidth x titleHeight: disc targets go on to the video part,
// the bit rate has no source fall-back, the letterbox has its own rule and "center" is not a
// zoom mode.
std::vector<TJobProblem> ApplyDvdFormat(const TFormatFiles& files, int formatCode,
                                        const TRowZoom& row, std::int32_t titleWidth,
                                        std::int32_t titleHeight, const TJobAnswers& answers,
                                        TConversionJob& job);

// The frame size the format file offers first ("VideoSize" entry number "iVideoSize"), when
// that entry is a size.
std::optional<TJobSize> FormatDefaultFrameSize(const TFormatFiles& files, int formatCode);

// bar(D, S, r): one of the two equal bars left of the target dimension D when the
// source dimension S is scaled by 1/r, rounded down to an even number of pixels.
std::int64_t LetterboxBar(std::int64_t targetSize, std::int64_t sourceSize, double scale);

} // namespace tessaro
