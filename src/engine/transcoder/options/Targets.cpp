// The "target" shortcut: the settings of the disc and camcorder formats by TV norm.
#include "transcoder/CustomTranscoder.h"

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

void TCustomTranscoder::ApplyTarget(const std::string& targetType, const std::string& normText,
                                    const std::string& fallbackNormText) {
    TNorm norm = normText == "pal"    ? TNorm::PAL
                 : normText == "ntsc" ? TNorm::NTSC
                 : normText == "film" ? TNorm::FILM
                                      : TNorm::Unknown;
    if (norm == TNorm::Unknown) {
        if (options_.frameRate.den == 0) {
            throw EngineException("frame_rate is invalid.");
        }
        norm = NormOfMilliRate(MilliRate(options_.frameRate));
        for (std::size_t i = 0; norm == TNorm::Unknown && i < options_.inputVideoFrameRates.size();
             ++i) {
            norm = NormOfMilliRate(MilliRate(options_.inputVideoFrameRates[i]));
        }
        if (norm != TNorm::Unknown && options_.verbose > 0) {
            LogMessage(llVerbose,
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
    const auto assumeAspect = [this](const char* aspect) {
        if (options_.frameAspectRatio == 0) {
            LogMessage(llInfo, FormatText("Assuming %s for aspect ratio", aspect));
            SetOption("aspect", aspect);
        }
    };
    const auto stereoForMono = [this] {
        if (options_.audioChannels == 1) {
            options_.audioChannels = 2;
        }
    };

    if (targetType == "vcd") {
        SetOption("vcodec", "mpeg1video");
        SetOption("acodec", "mp2");
        SetOption("f", "vcd");
        SetOption("s", pal ? "352x288" : "352x240");
        SetOption("r", rate);
        SetCodecOption("g", gop);
        SetCodecOption("b", "1150000");
        SetCodecOption("maxrate", "1150000");
        SetCodecOption("minrate", "1150000");
        SetCodecOption("bufsize", "327680");
        SetCodecOption("ab", "224000");
        options_.audioSampleRate = 44100;
        options_.audioChannels = 2;
        SetCodecOption("packetsize", "2324");
        SetCodecOption("muxrate", "1411200");
        // Two seconds of VCD sector buffering: (36000 + 3 x 1200) / 90000.
        options_.muxPreload = 0.44f;
        assumeAspect("4:3");
    } else if (targetType == "svcd") {
        SetOption("vcodec", "mpeg2video");
        SetOption("acodec", "mp2");
        SetOption("f", "svcd");
        SetOption("s", pal ? "480x576" : "480x480");
        SetOption("r", rate);
        SetCodecOption("g", gop);
        SetCodecOption("b", "2040000");
        SetCodecOption("maxrate", "2516000");
        SetCodecOption("minrate", "0");
        SetCodecOption("bufsize", "1835008");
        SetCodecOption("flags", "+scan_offset");
        SetCodecOption("ab", "224000");
        options_.audioSampleRate = 44100;
        SetCodecOption("packetsize", "2324");
        stereoForMono();
        assumeAspect("4:3");
    } else if (targetType == "dvd") {
        SetOption("vcodec", "mpeg2video");
        SetOption("acodec", "ac3");
        SetOption("f", "dvd");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("r", rate);
        SetCodecOption("g", gop);
        SetCodecOption("b", "6000000");
        SetCodecOption("maxrate", "9000000");
        SetCodecOption("minrate", "0");
        SetCodecOption("bufsize", "1835008");
        SetCodecOption("packetsize", "2048");
        SetCodecOption("muxrate", "10080000");
        SetCodecOption("ab", "448000");
        options_.audioSampleRate = 48000;
        stereoForMono();
        assumeAspect("16:9");
    } else if (targetType == "dv" || targetType == "dv50") {
        SetOption("f", "dv");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("pix_fmt", targetType == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        SetOption("r", rate);
        options_.audioSampleRate = 48000;
        options_.audioChannels = 2;
    } else {
        throw EngineException("Unknown target type");
    }
}

} // namespace tessaro
