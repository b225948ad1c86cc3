// The option state of one conversion task: every setting the option vocabulary
// can change, with the value it has after ResetOptions. Inputs, outputs and
// output streams pick up these values at the moment they are created.
#pragma once

#include "converter/ConversionJob.h" // AutomaticCodecThreads
#include "transcoder/options/LegacyCodecOptions.h"
#include "transcoder/options/LibraryOptionContexts.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace tessaro {

inline constexpr int MaxStreamMaps = 400;
inline constexpr int MaxMetaDataMaps = 20;
inline constexpr int MaxStreams = 20; // per file: itsscale slots, stream ids

struct TStreamMap {
    int fileIndex = 0;
    int streamIndex = 0;
    int syncFileIndex = 0;
    int syncStreamIndex = 0;
};

struct TMetaDataMap {
    int outFile = 0;
    int inFile = 0;
};

// Index of the max-frames slots.
enum TFrameLimitSlot { flVideo = 0, flAudio = 1, flData = 2, flSubtitle = 3 };

struct TTranscoderOptions {
    // --- files and general --------------------------------------------------------------
    std::string forcedFormat;           // "f"; cleared by the input or output that uses it
    bool pgmyuvCompatibility = false;   // "f pgmyuv" was given (the input forces pgmyuv's codec)
    std::vector<TStreamMap> streamMaps; // "map", at most MaxStreamMaps
    std::vector<TMetaDataMap> metaDataMaps; // "map_meta_data", at most MaxMetaDataMaps
    std::int64_t recordingTime = std::numeric_limits<std::int64_t>::max(); // "t", µs
    std::int64_t startTime = 0;                                            // "ss", µs
    std::int64_t recordingTimestamp = 0;                                   // "timestamp", s
    std::int64_t inputTsOffset = 0;                // "itsoffset", µs, for the next input
    std::array<double, MaxStreams> inputTsScale{}; // "itsscale" of the next input (0 = 1.0)
    std::vector<std::pair<std::string, std::string>> metadata; // "metadata", in order given
    std::int64_t fileSizeLimit = 0;                            // "fs", bytes (0 none)
    std::array<int, 4> maxFrames{2147483647, 2147483647, 2147483647, 2147483647};

    // --- video -------------------------------------------------------------------------
    int frameWidth = 0; // "s" (0 = keep the input size); reduced by the crop bands
    int frameHeight = 0;
    float frameAspectRatio = 0;    // "aspect" (0 = keep)
    int pixelFormat = -1;          // "pix_fmt" (AVPixelFormat; -1 none); the input's once opened
    bool pixelFormatAsked = false; // "pix_fmt" was given for the next output stream
    int sampleFormat = -1;         // "sample_fmt" (AVSampleFormat; -1 none)
    int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    AVRational frameRate{0, 0};             // "r" (0/0 = keep)
    float videoQScale = 0;                  // "qscale" (0 none)
    std::vector<std::uint16_t> intraMatrix; // 64 entries once set
    std::vector<std::uint16_t> interMatrix;
    std::string rcOverride; // "rc_override"
    bool videoDisable = false;
    int videoDiscard = 0;                                                     // "vdt"
    std::uint32_t videoCodecTag = 0, audioCodecTag = 0, subtitleCodecTag = 0; // little-endian
    std::string videoLanguage, audioLanguage, subtitleLanguage;
    bool sameQuality = false; // "sameq"
    bool deinterlace = false;
    bool intraOnly = false;   // "intra"
    int topFieldFirst = -1;   // "top"
    int meThreshold = 0;      // "me_threshold"
    int intraDcPrecision = 8; // "dc"
    bool loopInput = false;
    int loopOutput = -1;
    bool qpHistogram = false; // "qphist"
    bool forceFps = false;    // "force_fps"
    std::string videoFilters; // "vfilters"/"vf", in the application's vocabulary

    // --- audio -------------------------------------------------------------------------
    int audioSampleRate = 44100;  // "ar"
    int audioChannels = 2;        // "ac"
    float audioQScale = -99999;   // "aq" (-99999 none)
    bool audioDisable = false;    // "an"
    bool subtitleDisable = false; // "sn"
    int audioVolume = 256;        // "vol" (256 unchanged)

    // --- codecs: the word the option gave; ResolveEncoderName maps it to an installed one
    std::string videoCodecName, audioCodecName, subtitleCodecName;
    bool videoStreamCopy = false, audioStreamCopy = false, subtitleStreamCopy = false;

    // --- muxing and run behaviour ------------------------------------------------------
    float muxPreload = 0.5f;  // s
    float muxMaxDelay = 0.7f; // s
    int passNumber = 0;       // "pass" (0 single pass)
    std::string passLogFile;  // "passlogfile" prefix
    bool packetDump = false, hexDump = false, psnr = false;
    int videoSyncMethod = -1;         // "vsync"
    int audioSyncMethod = 0;          // "async"
    float audioDriftThreshold = 0.1f; // "adrift_threshold", s
    bool copyTimestamps = false;      // "copyts"
    bool shortest = false;
    int videoGlobalHeader = 0; // "vglobal"
    std::string vstatsFileName;
    int programId = 0;               // "programid" (0 all programs); cleared by the input using it
    int copyInitialNonKeyFrames = 0; // "copyinkf"
    bool rateEmulation = false;      // "re"
    int videoChannel = 0;            // "vc"
    std::string tvStandard;          // "tvstd"
    bool exitOnError = false;        // "xerror"
    int verbose = 1;                 // "v"
    int threadCount = AutomaticCodecThreads;   // "threads"; 0 = automatic
    bool inputSync = false;                    // "isync"
    std::array<int, MaxStreams> streamIdMap{}; // "streamid"
    float dtsDeltaThreshold = 10;              // "dts_delta_threshold", s
    int scalerFlags = SWS_BICUBIC;             // follows "sws_flags" set through the scaler context
    std::vector<std::string> videoBitstreamFilters, audioBitstreamFilters,
        subtitleBitstreamFilters; // "vbsf", "absf", "sbsf"
    bool frameHookLoaded = false; // "vhook"

    // Real frame rates of the video streams of the inputs added so far, in order. The
    // input set-up appends to it; the automatic norm of a target reads it.
    std::vector<AVRational> inputVideoFrameRates;

    // --- the libraries' own options ("b", "g", "maxrate", encoder private options ...)
    TLibraryOptionContexts libraryOptions;
    // Word of the old generation's "flags2" codec option, whose x264 bits are emitted as
    // today's libx264 options each time it changes.
    int legacyFlags2 = LegacyFlags2Default;
};

} // namespace tessaro
