// The two plain records through which the application describes one converter input
// and one converter output. -1, an empty string or the no-value time marker leaves the
// transcoder's own default in place.
#pragma once

#include "base/TimeTexts.h" // kNoTimeValue

#include <cstdint>
#include <string>

namespace tessaro {

// Priority of the converter's worker threads.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Output metadata.
struct TStreamInfo {
    // Days since 1899-12-30, local time: negative = none, 0 = now, positive = that moment.
    double TimeStamp = -1.0;
    std::int32_t Year = -1;  // metadata "year" when > 0
    std::int32_t Track = -1; // metadata "track" when > 0
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

// One input of a task. Strings are UTF-8.
struct TInputOptions {
    std::string FileName;                  // file name or URL
    std::string FileFormat;                // forced input format (option "f")
    std::int64_t StartTime = kNoTimeValue; // read start, microseconds (option "ss")
    std::int32_t ProgramID = -1;           // program of a multi-program stream; < 0 = unset
    std::string ExtOptions;                // free option text for this input
};

// One output of a task. Bit rates in bit/s, times in microseconds, strings UTF-8.
struct TOutputOptions {
    std::string FileName;
    std::string FileExt; // not read by the converter
    std::string FileFormat;
    std::int32_t PacketSize = -1;
    std::int32_t MuxRate = -1;
    float MuxDelay = -1.0f;   // seconds
    float MuxPreload = -1.0f; // seconds
    std::string AudioCodec;   // "copy" = stream copy
    std::string AudioPreset;
    bool DisableAudio = false;
    std::int32_t AudioVolume = -1; // 256 = unchanged
    std::int32_t AudioChannels = -1;
    std::int32_t AudioSampleRate = -1;
    std::int32_t AudioBitrate = -1;
    std::int32_t AudioBitrateTolerance = -1;
    std::string AudioLanguage;
    std::int32_t AudioSyncMethod = 0;
    std::string AudioTag; // exactly 4 characters when set
    std::string VideoCodec;
    std::string VideoPreset;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;        // "WxH" or an abbreviation
    std::string FrameAspectRatio; // "W:H" or a decimal number
    std::int32_t CropTop = -1;
    std::int32_t CropBottom = -1;
    std::int32_t CropLeft = -1;
    std::int32_t CropRight = -1;
    std::int32_t GOPSize = -1;
    std::int32_t VideoBitrate = -1;
    std::int32_t VideoMaxRate = -1;
    std::int32_t VideoMinRate = -1;
    std::int32_t VideoBitrateTolerance = -1;
    std::int32_t VideoBufSize = -1;
    std::int32_t VideoSyncMethod = -1;
    std::string VideoTag; // exactly 4 characters when set
    std::string VideoFilters;
    std::string VideoLanguage;
    std::string SubtitleCodec;
    std::string SubtitlePreset;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    bool InputSync = false;
    bool CopyTimestamps = false;
    std::int64_t StartTime = kNoTimeValue;
    std::int64_t Duration = kNoTimeValue;
    TStreamInfo Metadata;
    std::int32_t Target = 0;             // 0 none, 1 vcd, 2 svcd, 3 dvd
    std::int32_t TargetNorm = 0;         // 0 auto, 1 pal, 2 ntsc
    std::int32_t TargetFallbackNorm = 1; // 1 pal, anything else ntsc
    bool CustomHook = false;             // route decoded video frames through the hook event
    bool Join = false;                   // append to the previous output file of the task
    std::string ExtOptions;              // free option text for this output
};

// Reset a record to its defaults (every field as declared above).
inline void InitInputOptions(TInputOptions& options) {
    options = TInputOptions{};
}
inline void InitOutputOptions(TOutputOptions& options) {
    options = TOutputOptions{};
}

} // namespace tessaro
