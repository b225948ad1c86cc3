// The option dispatcher: every option name of the vocabulary, its value syntax and effect.
#include "transcoder/options/OptionParser.h"

#include "transcoder/options/CodecOptions.h"
#include "transcoder/options/PresetApply.h"
#include "transcoder/options/Targets.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/FileHelpers.h"
#include "base/TextHelpers.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <unordered_map>

namespace tessaro {

namespace {

using THandler = void (*)(TOptionParser& parser, TTranscoderOptions& o, const std::string& name,
                          const std::string& value);

// Microseconds of a duration ("hh:mm:ss[.frac]" or seconds) or, with IsDuration false,
// of a calendar date; raises the option's syntax error otherwise.
std::int64_t ParseTimeOption(const std::string& name, const std::string& value, bool isDuration) {
    std::int64_t us = 0;
    if (ff::av_parse_time(&us, value.c_str(), isDuration ? 1 : 0) < 0) {
        throw EngineException(FormatText("Invalid %s specification for %s: %s",
                                         isDuration ? "duration" : "date", name.c_str(),
                                         value.c_str()));
    }
    return us;
}

// strtol-style reading of "a<sep>b<sep>c..." where any one character separates the numbers.
struct TNumberReader {
    const char* p;
    long Next() {
        char* end = nullptr;
        const long value = std::strtol(p, &end, 0);
        p = end;
        return value;
    }
    double NextFloat() {
        char* end = nullptr;
        const double value = std::strtod(p, &end);
        p = end;
        return value;
    }
    bool AtEnd() const { return *p == '\0'; }
    void SkipSeparator() {
        if (*p != '\0') {
            ++p;
        }
    }
};

std::uint32_t FourCC(const std::string& value, const char* assertion) {
    if (value.size() != 4) {
        throw EngineException(assertion);
    }
    return std::uint32_t(std::uint8_t(value[0])) | std::uint32_t(std::uint8_t(value[1])) << 8 |
           std::uint32_t(std::uint8_t(value[2])) << 16 |
           std::uint32_t(std::uint8_t(value[3])) << 24;
}

// 64 comma-separated coefficients; a missing comma raises the error at the coefficient
// after which it is missing.
std::vector<std::uint16_t> ParseMatrix(const std::string& text) {
    std::vector<std::uint16_t> matrix(64);
    const char* p = text.c_str();
    for (int i = 0;; ++i) {
        matrix[std::size_t(i)] = static_cast<std::uint16_t>(std::atoi(p));
        if (i == 63) {
            break;
        }
        p = std::strchr(p, ',');
        if (p == nullptr) {
            throw EngineException(
                FormatText("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i));
        }
        ++p;
    }
    return matrix;
}

void AddBitstreamFilter(std::vector<std::string>& chain, const std::string& value) {
    if (value.empty() || value[0] == '=') {
        return;
    }
    const std::string name = value.substr(0, value.find('='));
    if (ff::av_bsf_get_by_name(name.c_str()) == nullptr) {
        throw EngineException(FormatText("Unknown bitstream filter %s", name.c_str()));
    }
    chain.push_back(value);
}

std::string VstatsFileName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H%M%S", &local);
    return FormatText("%svstats_%s.log", ProgramFolder().c_str(), clock);
}

// Options of the command-line program that have nothing to do in a task.
void DoNothing(TOptionParser& parser, TTranscoderOptions&, const std::string& name,
               const std::string&) {
    parser.Log()(llInfo, "Do nothing: option - " + name);
}

} // namespace

TOptionParser::TOptionParser(TOptionEffects& effects, TTaskLog log) : effects_(effects), log_(log) {
    Reset();
}

void TOptionParser::Reset() {
    options_ = TTranscoderOptions{};
    // The contexts need the libraries; a task made before they are loaded gets its
    // contexts from the first option that needs them.
    if (ff::avcodec_alloc_context3 != nullptr && ff::sws_alloc_context != nullptr &&
        ff::avformat_alloc_context != nullptr) {
        options_.libraryOptions.Create(options_.scalerFlags);
    }
}

bool TOptionParser::SetCodecOption(const std::string& name, const std::string& value) {
    return tessaro::SetCodecOption(options_, name, value, log_);
}

void TOptionParser::SetOption(const std::string& name, const std::string& value) {
    if (ApplyGeneralOption(name, value) || ApplyVideoOption(name, value) ||
        ApplyAudioSubtitleOption(name, value)) {
        return;
    }
    SetCodecOption(name, value); // a name nobody knows is dropped without message
}

bool TOptionParser::ApplyGeneralOption(const std::string& name, const std::string& value) {
    static const std::unordered_map<std::string, THandler> handlers = {
        {"L", DoNothing},
        {"h", DoNothing},
        {"version", DoNothing},
        {"formats", DoNothing},
        {"codecs", DoNothing},
        {"bsfs", DoNothing},
        {"protocols", DoNothing},
        {"filters", DoNothing},
        {"i", DoNothing},
        {"y", DoNothing},
        {"benchmark", DoNothing},
        {"loglevel",
         [](TOptionParser&, TTranscoderOptions&, const std::string&, const std::string& v) {
             try {
                 TEngineLogger::GetLogger().SetLogLevelByName(v);
             } catch (const std::invalid_argument& e) {
                 throw EngineException(e.what());
             }
         }},
        {"f",
         [](TOptionParser& t, TTranscoderOptions& o, const std::string&, const std::string& v) {
             if (v == "pgmyuv") {
                 o.forcedFormat = "image2";
                 o.pgmyuvCompatibility = true;
                 t.Log()(llInfo, "pgmyuv format is deprecated, use image2");
             } else {
                 o.forcedFormat = v;
             }
         }},
        {"map",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             if (int(o.streamMaps.size()) >= MaxStreamMaps) {
                 throw EngineException(
                     FormatText("Too many stream maps (at most %d)", MaxStreamMaps));
             }
             TNumberReader r{v.c_str()};
             TStreamMap m;
             m.fileIndex = int(r.Next());
             r.SkipSeparator();
             m.streamIndex = int(r.Next());
             if (!r.AtEnd()) {
                 r.SkipSeparator();
                 m.syncFileIndex = int(r.Next());
                 r.SkipSeparator();
                 m.syncStreamIndex = int(r.Next());
             } else {
                 m.syncFileIndex = m.fileIndex;
                 m.syncStreamIndex = m.streamIndex;
             }
             o.streamMaps.push_back(m);
         }},
        {"map_meta_data",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             if (int(o.metaDataMaps.size()) >= MaxMetaDataMaps) {
                 throw EngineException(
                     FormatText("Too many metadata maps (at most %d)", MaxMetaDataMaps));
             }
             TNumberReader r{v.c_str()};
             TMetaDataMap m;
             m.outFile = int(r.Next());
             r.SkipSeparator();
             m.inFile = int(r.Next());
             o.metaDataMaps.push_back(m);
         }},
        {"t", [](TOptionParser& t, TTranscoderOptions&, const std::string& n,
                 const std::string& v) { t.SetRecordingTime(ParseTimeOption(n, v, true)); }},
        {"fs", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.fileSizeLimit = TextToInt64(v); }},
        {"ss", [](TOptionParser&, TTranscoderOptions& o, const std::string& n,
                  const std::string& v) { o.startTime = ParseTimeOption(n, v, true); }},
        {"itsoffset", [](TOptionParser&, TTranscoderOptions& o, const std::string& n,
                         const std::string& v) { o.inputTsOffset = ParseTimeOption(n, v, true); }},
        {"itsscale",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             TNumberReader r{v.c_str()};
             const long stream = r.Next();
             r.SkipSeparator();
             const double scale = r.NextFloat();
             if (stream < 0 || stream >= MaxStreams) {
                 throw EngineException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
             }
             o.inputTsScale[std::size_t(stream)] = scale;
         }},
        {"timestamp",
         [](TOptionParser&, TTranscoderOptions& o, const std::string& n, const std::string& v) {
             o.recordingTimestamp = std::llround(double(ParseTimeOption(n, v, false)) / 1e6);
         }},
        {"metadata",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             const std::size_t eq = v.find('=');
             if (eq == std::string::npos) {
                 throw EngineException("Missing =");
             }
             o.metadata.emplace_back(v.substr(0, eq), v.substr(eq + 1));
         }},
        {"dframes", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                       const std::string& v) { o.maxFrames[flData] = TextToInt(v); }},
        {"timelimit",
         [](TOptionParser& t, TTranscoderOptions&, const std::string&, const std::string&) {
             t.Log()(llWarning, "Warning: -timelimit not implemented on Windows");
         }},
        {"dump", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                    const std::string& v) { o.packetDump = FlagValue(v); }},
        {"hex", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                   const std::string& v) { o.hexDump = FlagValue(v); }},
        {"re", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.rateEmulation = FlagValue(v); }},
        {"loop_input", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                          const std::string& v) { o.loopInput = FlagValue(v); }},
        {"loop_output", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                           const std::string& v) { o.loopOutput = TextToInt(v); }},
        {"v", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                 const std::string& v) { o.verbose = TextToInt(v); }},
        {"threads", [](TOptionParser& t, TTranscoderOptions&, const std::string&,
                       const std::string& v) { t.SetCodecThreads(TextToInt(v)); }},
        {"vsync", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.videoSyncMethod = TextToInt(v); }},
        {"async", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.audioSyncMethod = TextToInt(v); }},
        {"adrift_threshold",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             o.audioDriftThreshold = float(TextToFloat(v));
         }},
        {"vglobal", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                       const std::string& v) { o.videoGlobalHeader = TextToInt(v); }},
        {"copyts", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                      const std::string&) { o.copyTimestamps = true; }},
        {"shortest", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                        const std::string& v) { o.shortest = FlagValue(v); }},
        {"dts_delta_threshold",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             o.dtsDeltaThreshold = float(TextToFloat(v));
         }},
        {"programid", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                         const std::string& v) { o.programId = TextToInt(v); }},
        {"xerror", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                      const std::string&) { o.exitOnError = true; }},
        {"copyinkf", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                        const std::string& v) { o.copyInitialNonKeyFrames = TextToInt(v); }},
    };
    if (name == "target") {
        SetTargetOption(value);
        return true;
    }
    const auto it = handlers.find(name);
    if (it == handlers.end()) {
        return false;
    }
    it->second(*this, options_, name, value);
    return true;
}

bool TOptionParser::ApplyVideoOption(const std::string& name, const std::string& value) {
    static const std::unordered_map<std::string, THandler> handlers = {
        {"vframes", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                       const std::string& v) { o.maxFrames[flVideo] = TextToInt(v); }},
        {"r",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             AVRational rate{0, 0};
             if (ff::av_parse_video_rate(&rate, v.c_str()) < 0) {
                 throw EngineException("Incorrect frame rate");
             }
             o.frameRate = rate;
         }},
        {"s",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             int width = 0;
             int height = 0;
             if (ff::av_parse_video_size(&width, &height, v.c_str()) < 0) {
                 throw EngineException("Incorrect frame size");
             }
             o.frameWidth = width;
             o.frameHeight = height;
         }},
        {"aspect",
         [](TOptionParser& t, TTranscoderOptions&, const std::string&, const std::string& v) {
             double ratio = 0;
             const std::size_t colon = v.find(':');
             if (colon != std::string::npos) {
                 char* end = nullptr;
                 const long x = std::strtol(v.c_str(), &end, 10);
                 long y = 0;
                 if (end == v.c_str() + colon) {
                     y = std::strtol(end + 1, &end, 10);
                 }
                 if (x > 0 && y > 0) {
                     ratio = double(x) / double(y);
                 }
             } else {
                 ratio = std::strtod(v.c_str(), nullptr);
             }
             t.SetAspectRatio(ratio);
         }},
        {"pix_fmt",
         [](TOptionParser& t, TTranscoderOptions& o, const std::string&, const std::string& v) {
             if (v == "list") {
                 t.ListPixelFormats();
                 return;
             }
             const AVPixelFormat format = ff::av_get_pix_fmt(v.c_str());
             if (format == AV_PIX_FMT_NONE) {
                 throw EngineException(FormatText("Unknown pixel format requested: %s", v.c_str()));
             }
             o.pixelFormat = format;
             o.pixelFormatAsked = true;
         }},
        {"intra", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.intraOnly = FlagValue(v); }},
        {"vn", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.videoDisable = FlagValue(v); }},
        {"vdt", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                   const std::string& v) { o.videoDiscard = TextToInt(v); }},
        {"qscale",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             const double q = TextToFloat(v);
             if (q <= 0 || q > 255) {
                 throw EngineException("qscale must be > 0.0 and <= 255");
             }
             o.videoQScale = float(q);
         }},
        {"rc_override", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                           const std::string& v) { o.rcOverride = v; }},
        {"me_threshold", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                            const std::string& v) { o.meThreshold = TextToInt(v); }},
        {"sameq", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.sameQuality = FlagValue(v); }},
        {"pass",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             const int pass = TextToInt(v);
             if (pass != 1 && pass != 2) {
                 throw EngineException("pass number can be only 1 or 2");
             }
             o.passNumber = pass;
         }},
        {"passlogfile", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                           const std::string& v) { o.passLogFile = v; }},
        {"deinterlace", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                           const std::string& v) { o.deinterlace = FlagValue(v); }},
        {"psnr", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                    const std::string& v) { o.psnr = FlagValue(v); }},
        {"vstats", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                      const std::string&) { o.vstatsFileName = VstatsFileName(); }},
        {"vstats_file", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                           const std::string& v) { o.vstatsFileName = v; }},
        {"vhook",
         // Frame-hook modules belong to a library generation this build does not load.
         [](TOptionParser&, TTranscoderOptions&, const std::string&, const std::string& v) {
             throw EngineException("Failed to add video hook function: " + v);
         }},
        {"vfilters", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                        const std::string& v) { o.videoFilters = v; }},
        {"vf", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.videoFilters = v; }},
        {"intra_matrix", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                            const std::string& v) { o.intraMatrix = ParseMatrix(v); }},
        {"inter_matrix", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                            const std::string& v) { o.interMatrix = ParseMatrix(v); }},
        {"top", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                   const std::string& v) { o.topFieldFirst = TextToInt(v); }},
        {"dc", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.intraDcPrecision = TextToInt(v); }},
        {"vtag",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             o.videoCodecTag = FourCC(v, "video tag parameter must be 4 chars");
         }},
        {"vlang", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.videoLanguage = v; }},
        {"qphist", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                      const std::string& v) { o.qpHistogram = FlagValue(v); }},
        {"force_fps", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                         const std::string& v) { o.forceFps = FlagValue(v); }},
        {"streamid",
         [](TOptionParser&, TTranscoderOptions& o, const std::string& n, const std::string& v) {
             const std::size_t colon = v.find(':');
             if (colon == std::string::npos) {
                 throw EngineException(FormatText(
                     "Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                     v.c_str(), n.c_str()));
             }
             const int index = TextToInt(v.substr(0, colon));
             if (index < 0 || index >= MaxStreams) {
                 throw EngineException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
             }
             o.streamIdMap[std::size_t(index)] = TextToInt(v.substr(colon + 1));
         }},
    };
    if (name == "b" || name == "vb") {
        SetBitRateOption(name, value, AVMEDIA_TYPE_VIDEO);
    } else if (name == "croptop" || name == "cropbottom" || name == "cropleft" ||
               name == "cropright") {
        SetCrop(name, TextToInt(value));
    } else if (name == "padtop" || name == "padbottom" || name == "padleft" || name == "padright" ||
               name == "padcolor") {
        throw EngineException("Please use vfilters=pad");
    } else if (name == "vcodec") {
        SetCodecName(value, options_.videoCodecName, options_.videoStreamCopy);
    } else if (name == "newvideo") {
        NewStreamOption(AVMEDIA_TYPE_VIDEO);
    } else if (const auto it = handlers.find(name); it != handlers.end()) {
        it->second(*this, options_, name, value);
    } else {
        return false;
    }
    return true;
}

bool TOptionParser::ApplyAudioSubtitleOption(const std::string& name, const std::string& value) {
    static const std::unordered_map<std::string, THandler> handlers = {
        {"aframes", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                       const std::string& v) { o.maxFrames[flAudio] = TextToInt(v); }},
        {"aq", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.audioQScale = float(TextToFloat(v)); }},
        {"ar",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             if (const int rate = TextToInt(v); rate > 0) {
                 o.audioSampleRate = rate;
             }
         }},
        {"ac",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             if (const int channels = TextToInt(v); channels > 0) {
                 o.audioChannels = channels;
             }
         }},
        {"an", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.audioDisable = FlagValue(v); }},
        {"atag",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             o.audioCodecTag = FourCC(v, "audio tag parameter must be 4 chars");
         }},
        {"vol", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                   const std::string& v) { o.audioVolume = TextToInt(v); }},
        {"alang", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.audioLanguage = v; }},
        {"sample_fmt",
         [](TOptionParser& t, TTranscoderOptions& o, const std::string&, const std::string& v) {
             if (v == "list") {
                 t.ListSampleFormats();
             } else {
                 o.sampleFormat = ff::av_get_sample_fmt(v.c_str());
             }
         }},
        {"sn", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.subtitleDisable = FlagValue(v); }},
        {"slang", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.subtitleLanguage = v; }},
        {"stag",
         [](TOptionParser&, TTranscoderOptions& o, const std::string&, const std::string& v) {
             o.subtitleCodecTag = FourCC(v, "subtitle tag parameter must be 4 chars");
         }},
        {"vc", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                  const std::string& v) { o.videoChannel = TextToInt(v); }},
        {"tvstd", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.tvStandard = v; }},
        {"isync", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                     const std::string& v) { o.inputSync = FlagValue(v); }},
        {"muxdelay", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                        const std::string& v) { o.muxMaxDelay = float(TextToFloat(v)); }},
        {"muxpreload", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                          const std::string& v) { o.muxPreload = float(TextToFloat(v)); }},
        {"absf", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                    const std::string& v) { AddBitstreamFilter(o.audioBitstreamFilters, v); }},
        {"vbsf", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                    const std::string& v) { AddBitstreamFilter(o.videoBitstreamFilters, v); }},
        {"sbsf", [](TOptionParser&, TTranscoderOptions& o, const std::string&,
                    const std::string& v) { AddBitstreamFilter(o.subtitleBitstreamFilters, v); }},
    };
    if (name == "ab") {
        SetBitRateOption(name, value, AVMEDIA_TYPE_AUDIO);
    } else if (name == "acodec") {
        SetCodecName(value, options_.audioCodecName, options_.audioStreamCopy);
    } else if (name == "scodec") {
        SetCodecName(value, options_.subtitleCodecName, options_.subtitleStreamCopy);
    } else if (name == "newaudio") {
        NewStreamOption(AVMEDIA_TYPE_AUDIO);
    } else if (name == "newsubtitle") {
        NewStreamOption(AVMEDIA_TYPE_SUBTITLE);
    } else if (name == "apre" || name == "vpre" || name == "spre" || name == "fpre") {
        tessaro::ApplyPreset(options_, name, value, log_);
    } else if (const auto it = handlers.find(name); it != handlers.end()) {
        it->second(*this, options_, name, value);
    } else {
        return false;
    }
    return true;
}

void TOptionParser::SetBitRateOption(const std::string& name, const std::string& value,
                                     AVMediaType type) {
    SetCodecOption(name, value);
    WarnOfLowBitRate(type);
}

void TOptionParser::WarnOfLowBitRate(AVMediaType type) {
    if (options_.libraryOptions.CodecInt(type, "b") < 1000) {
        log_(llWarning, "WARNING: The bitrate parameter is set too low. It takes bits/s "
                        "as argument, not kbits/s");
    }
}

void TOptionParser::SetRecordingTime(std::int64_t microseconds) {
    options_.recordingTime = microseconds;
    effects_.SetTotalDuration(microseconds);
}

void TOptionParser::SetBitRate(AVMediaType type, std::int64_t bitsPerSecond) {
    SetBitRateOption(type == AVMEDIA_TYPE_AUDIO ? "ab" : "vb", std::to_string(bitsPerSecond), type);
}

void TOptionParser::SetFrameRate(double rate) {
    // The frame-rate option reads a decimal number this way (at most 1001000 as denominator).
    const AVRational q = ff::av_d2q(rate, 1001000);
    if (q.num <= 0 || q.den <= 0) {
        throw EngineException("Incorrect frame rate");
    }
    options_.frameRate = q;
}

void TOptionParser::SetAspectRatio(double ratio) {
    if (ratio <= 0 || !std::isfinite(ratio)) {
        throw EngineException("Incorrect aspect ratio specification.");
    }
    options_.frameAspectRatio = float(ratio);
}

void TOptionParser::SetCodecThreads(int count) {
    options_.threadCount = ClampCodecThreads(count);
}

void TOptionParser::SetCrop(const std::string& edge, int band) {
    if (band <= 0) {
        return;
    }
    const bool vertical = edge == "croptop" || edge == "cropbottom";
    int& size = vertical ? options_.frameHeight : options_.frameWidth;
    if (band >= size) {
        throw EngineException(
            FormatText("%s crop dimensions are outside the range of the original image.\n"
                       "Remember to crop first and scale second.",
                       vertical ? "Vertical" : "Horizontal"));
    }
    log_(llWarning, "CropXXX is deprecated in favor of the crop avfilter");
    int& stored = edge == "croptop"      ? options_.cropTop
                  : edge == "cropbottom" ? options_.cropBottom
                  : edge == "cropleft"   ? options_.cropLeft
                                         : options_.cropRight;
    stored = band;
    size -= band;
}

void TOptionParser::ListPixelFormats() const {
    log_(llInfo, "name       nb_components nb_bits is_alpha");
    const AVPixFmtDescriptor* desc = nullptr;
    while ((desc = ff::av_pix_fmt_desc_next(desc)) != nullptr) {
        int bits = 0;
        const int log2Pixels = desc->log2_chroma_w + desc->log2_chroma_h;
        for (int c = 0; c < desc->nb_components; ++c) {
            const int shift = (c == 1 || c == 2) ? log2Pixels : 0;
            bits += desc->comp[c].depth << (log2Pixels - shift);
        }
        bits >>= log2Pixels;
        log_(llInfo, FormatText("%-11s %5d %9d %6c", desc->name, desc->nb_components, bits,
                                (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0 ? 'y' : 'n'));
    }
}

void TOptionParser::ListSampleFormats() const {
    log_(llInfo, "name   depth");
    for (int format = 0; format < AV_SAMPLE_FMT_NB; ++format) {
        const char* formatName = ff::av_get_sample_fmt_name(AVSampleFormat(format));
        log_(llInfo, FormatText("%-6s   %2d ", formatName != nullptr ? formatName : "?",
                                ff::av_get_bytes_per_sample(AVSampleFormat(format)) * 8));
    }
}

void TOptionParser::NewStreamOption(AVMediaType type) {
    const int outputs = effects_.OutputFileCount();
    if (outputs <= 0) {
        throw EngineException("At least one output file must be specified");
    }
    effects_.NewOutputStream(outputs - 1, type);
}

void TOptionParser::SetTargetOption(const std::string& value) {
    std::string type = TrimText(value);
    std::string norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
        const std::string p(prefix);
        if (type.compare(0, p.size(), p) == 0) {
            norm = p.substr(0, p.size() - 1);
            type = type.substr(p.size());
            break;
        }
    }
    tessaro::ApplyTarget(*this, type, norm, "ntsc");
}

} // namespace tessaro
