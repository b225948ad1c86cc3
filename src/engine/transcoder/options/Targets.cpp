// The "target" shortcut: the settings of the disc and camcorder formats by TV norm.
#include "transcoder/options/Targets.h"

#include "transcoder/options/OptionParser.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"

#include <cmath>

namespace tessaro {

namespace {

enum class TNorm { PAL, NTSC, FILM, Unknown };

// 25000 -> PAL; 29970 or 23976 -> NTSC (frames per 1000 s).
TNorm NormOfMilliRate(long long milliRate) {
    if (milliRate == 25000) {
        return TNorm::PAL;
    }
    if (milliRate == 29970 || milliRate == 23976) {
        return TNorm::NTSC;
    }
    return TNorm::Unknown;
}

long long MilliRate(AVRational rate) {
    return rate.den == 0 ? 0 : std::llround(double(rate.num) * 1000.0 / double(rate.den));
}

} // namespace

void ApplyTarget(TOptionParser& parser, const std::string& targetType, const std::string& normText,
                 const std::string& fallbackNormText) {
    TTranscoderOptions& options = parser.Options();
    const TTaskLog& log = parser.Log();
    TNorm norm = normText == "pal"    ? TNorm::PAL
                 : normText == "ntsc" ? TNorm::NTSC
                 : normText == "film" ? TNorm::FILM
                                      : TNorm::Unknown;
    if (norm == TNorm::Unknown) {
        if (options.frameRate.den == 0) {
            throw EngineException("frame_rate is invalid.");
        }
        norm = NormOfMilliRate(MilliRate(options.frameRate));
        for (std::size_t i = 0; norm == TNorm::Unknown && i < options.inputVideoFrameRates.size();
             ++i) {
            norm = NormOfMilliRate(MilliRate(options.inputVideoFrameRates[i]));
        }
        if (norm != TNorm::Unknown && options.verbose > 0) {
            log(llVerbose,
                FormatText("Assuming %s for target.", norm == TNorm::PAL ? "PAL" : "NTSC"));
        }
        if (norm == TNorm::Unknown) {
            norm = fallbackNormText == "film"   ? TNorm::FILM
                   : fallbackNormText == "ntsc" ? TNorm::NTSC
                                                : TNorm::PAL;
        }
    }
    const bool pal = norm == TNorm::PAL;
    const char* rate = pal ? "25" : norm == TNorm::NTSC ? "30000/1001" : "24000/1001";
    const char* gop = pal ? "15" : "18";
    const auto assumeAspect = [&](const char* aspect) {
        if (options.frameAspectRatio == 0) {
            log(llInfo, FormatText("Assuming %s for aspect ratio", aspect));
            parser.SetOption("aspect", aspect);
        }
    };
    const auto stereoForMono = [&] {
        if (options.audioChannels == 1) {
            options.audioChannels = 2;
        }
    };

    if (targetType == "vcd") {
        parser.SetOption("vcodec", "mpeg1video");
        parser.SetOption("acodec", "mp2");
        parser.SetOption("f", "vcd");
        parser.SetOption("s", pal ? "352x288" : "352x240");
        parser.SetOption("r", rate);
        parser.SetCodecOption("g", gop);
        parser.SetCodecOption("b", "1150000");
        parser.SetCodecOption("maxrate", "1150000");
        parser.SetCodecOption("minrate", "1150000");
        parser.SetCodecOption("bufsize", "327680");
        parser.SetCodecOption("ab", "224000");
        options.audioSampleRate = 44100;
        options.audioChannels = 2;
        parser.SetCodecOption("packetsize", "2324");
        parser.SetCodecOption("muxrate", "1411200");
        // Two seconds of VCD sector buffering: (36000 + 3 x 1200) / 90000.
        options.muxPreload = 0.44f;
        assumeAspect("4:3");
    } else if (targetType == "svcd") {
        parser.SetOption("vcodec", "mpeg2video");
        parser.SetOption("acodec", "mp2");
        parser.SetOption("f", "svcd");
        parser.SetOption("s", pal ? "480x576" : "480x480");
        parser.SetOption("r", rate);
        parser.SetCodecOption("g", gop);
        parser.SetCodecOption("b", "2040000");
        parser.SetCodecOption("maxrate", "2516000");
        parser.SetCodecOption("minrate", "0");
        parser.SetCodecOption("bufsize", "1835008");
        parser.SetCodecOption("flags", "+scan_offset");
        parser.SetCodecOption("ab", "224000");
        options.audioSampleRate = 44100;
        parser.SetCodecOption("packetsize", "2324");
        stereoForMono();
        assumeAspect("4:3");
    } else if (targetType == "dvd") {
        parser.SetOption("vcodec", "mpeg2video");
        parser.SetOption("acodec", "ac3");
        parser.SetOption("f", "dvd");
        parser.SetOption("s", pal ? "720x576" : "720x480");
        parser.SetOption("r", rate);
        parser.SetCodecOption("g", gop);
        parser.SetCodecOption("b", "6000000");
        parser.SetCodecOption("maxrate", "9000000");
        parser.SetCodecOption("minrate", "0");
        parser.SetCodecOption("bufsize", "1835008");
        parser.SetCodecOption("packetsize", "2048");
        parser.SetCodecOption("muxrate", "10080000");
        parser.SetCodecOption("ab", "448000");
        options.audioSampleRate = 48000;
        stereoForMono();
        assumeAspect("16:9");
    } else if (targetType == "dv" || targetType == "dv50") {
        parser.SetOption("f", "dv");
        parser.SetOption("s", pal ? "720x576" : "720x480");
        parser.SetOption("pix_fmt", targetType == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        parser.SetOption("r", rate);
        options.audioSampleRate = 48000;
        options.audioChannels = 2;
    } else {
        throw EngineException("Unknown target type");
    }
}

} // namespace tessaro
