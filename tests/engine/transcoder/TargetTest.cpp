#include "TranscoderOptionsTestSupport.h"

#include <cmath>

using namespace tessaro;
using namespace tessaro::test;

class TargetTest : public TTranscoderOptionsTest {
protected:
    bool RateIs(int num, int den) { return O().frameRate.num == num && O().frameRate.den == den; }
    std::string PrivateFormat(const std::string& name) {
        const auto& map = O().libraryOptions.PrivateFormatOptions();
        return map.count(name) ? map.at(name) : "<unset>";
    }
};

TEST_F(TargetTest, PalVcd) {
    O().audioChannels = 1;
    Task().SetOption("target", " pal-vcd ");
    EXPECT_EQ(O().videoCodecName, "mpeg1video");
    EXPECT_EQ(O().audioCodecName, "mp2");
    EXPECT_EQ(O().forcedFormat, "vcd");
    EXPECT_EQ(O().frameWidth, 352);
    EXPECT_EQ(O().frameHeight, 288);
    EXPECT_TRUE(RateIs(25, 1));
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 15);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 1150000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "maxrate"), 1150000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "minrate"), 1150000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "bufsize"), 327680);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 224000);
    EXPECT_EQ(O().audioSampleRate, 44100);
    EXPECT_EQ(O().audioChannels, 2);
    EXPECT_EQ(O().libraryOptions.Format()->packet_size, 2324u);
    EXPECT_EQ(PrivateFormat("muxrate"), "1411200");
    EXPECT_FLOAT_EQ(O().muxPreload, 0.44f);
    EXPECT_FLOAT_EQ(O().frameAspectRatio, 4.0f / 3);
    EXPECT_TRUE(Logged(llInfo, "Assuming 4:3 for aspect ratio"));
    EXPECT_FALSE(Logged(llVerbose, "Assuming PAL for target."));
}

TEST_F(TargetTest, NtscSvcdKeepsAGivenAspect) {
    Task().SetOption("aspect", "16:9");
    O().audioChannels = 1;
    Task().SetOption("target", "ntsc-svcd");
    EXPECT_EQ(O().videoCodecName, "mpeg2video");
    EXPECT_EQ(O().forcedFormat, "svcd");
    EXPECT_EQ(O().frameWidth, 480);
    EXPECT_EQ(O().frameHeight, 480);
    EXPECT_TRUE(RateIs(30000, 1001));
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 18);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 2040000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "maxrate"), 2516000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "bufsize"), 1835008);
    EXPECT_EQ(PrivateVideo("scan_offset"), "1");
    EXPECT_EQ(O().audioChannels, 2);
    EXPECT_FLOAT_EQ(O().frameAspectRatio, 16.0f / 9);
    EXPECT_FALSE(Logged(llInfo, "Assuming 4:3 for aspect ratio"));
}

TEST_F(TargetTest, FilmDvd) {
    Task().ApplyTarget("dvd", "film", "pal");
    EXPECT_EQ(O().audioCodecName, "ac3");
    EXPECT_EQ(O().forcedFormat, "dvd");
    EXPECT_EQ(O().frameWidth, 720);
    EXPECT_EQ(O().frameHeight, 480);
    EXPECT_TRUE(RateIs(24000, 1001));
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 18);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 6000000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "maxrate"), 9000000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 448000);
    EXPECT_EQ(O().libraryOptions.Format()->packet_size, 2048u);
    EXPECT_EQ(PrivateFormat("muxrate"), "10080000");
    EXPECT_EQ(O().audioSampleRate, 48000);
    EXPECT_FLOAT_EQ(O().frameAspectRatio, 16.0f / 9);
    EXPECT_TRUE(Logged(llInfo, "Assuming 16:9 for aspect ratio"));
}

TEST_F(TargetTest, DvPixelFormatsByNorm) {
    const std::vector<std::tuple<const char*, const char*, int, int, AVPixelFormat>> cases = {
        {"dv", "pal", 576, 25, AV_PIX_FMT_YUV420P},
        {"dv", "ntsc", 480, 30000, AV_PIX_FMT_YUV411P},
        {"dv", "film", 480, 24000, AV_PIX_FMT_YUV411P},
        {"dv50", "pal", 576, 25, AV_PIX_FMT_YUV422P},
        {"dv50", "ntsc", 480, 30000, AV_PIX_FMT_YUV422P},
    };
    for (const auto& [type, norm, height, rateNum, format] : cases) {
        SCOPED_TRACE(std::string(norm) + "-" + type);
        Task().ResetOptions();
        O().audioChannels = 1;
        Task().ApplyTarget(type, norm, "ntsc");
        EXPECT_EQ(O().forcedFormat, "dv");
        EXPECT_EQ(O().frameWidth, 720);
        EXPECT_EQ(O().frameHeight, height);
        EXPECT_EQ(O().frameRate.num, rateNum);
        EXPECT_EQ(O().pixelFormat, format);
        EXPECT_EQ(O().audioSampleRate, 48000);
        EXPECT_EQ(O().audioChannels, 2);
        EXPECT_TRUE(O().videoCodecName.empty());
    }
}

// The automatic norm: the frame rate set, then the inputs' video, then the fallback.
TEST_F(TargetTest, AutomaticNorm) {
    EXPECT_EQ(ErrorOf([&] { Task().SetOption("target", "vcd"); }), "frame_rate is invalid.");

    struct TCase {
        AVRational rate;
        std::vector<AVRational> inputs;
        const char* fallback;
        int expectedHeight; // 288 PAL, 240 NTSC/FILM
        AVRational expectedRate;
        const char* logged; // "" = no message
    };
    const std::vector<TCase> cases = {
        {{25, 1}, {}, "ntsc", 288, {25, 1}, "Assuming PAL for target."},
        {{30000, 1001}, {}, "pal", 240, {30000, 1001}, "Assuming NTSC for target."},
        {{24000, 1001}, {}, "pal", 240, {30000, 1001}, "Assuming NTSC for target."},
        {{2997, 100}, {}, "pal", 240, {30000, 1001}, "Assuming NTSC for target."},
        {{30, 1},
         {{15, 1}, {25, 1}, {30000, 1001}},
         "ntsc",
         288,
         {25, 1},
         "Assuming PAL for target."},
        {{30, 1}, {{24000, 1001}}, "pal", 240, {30000, 1001}, "Assuming NTSC for target."},
        {{30, 1}, {}, "film", 240, {24000, 1001}, ""},
        {{30, 1}, {{50, 1}}, "ntsc", 240, {30000, 1001}, ""},
        {{30, 1}, {}, "pal", 288, {25, 1}, ""},
        {{30, 1}, {}, "", 288, {25, 1}, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate.num) + "/" + std::to_string(c.rate.den) + " " +
                     c.fallback);
        Task().ResetOptions();
        ClearLines();
        O().frameRate = c.rate;
        O().inputVideoFrameRates = c.inputs;
        Task().ApplyTarget("vcd", "auto", c.fallback);
        EXPECT_EQ(O().frameHeight, c.expectedHeight);
        EXPECT_EQ(O().frameRate.num, c.expectedRate.num);
        EXPECT_EQ(O().frameRate.den, c.expectedRate.den);
        bool anyTargetMessage = false;
        for (const TLogLine& line : Lines()) {
            anyTargetMessage =
                anyTargetMessage || line.text.find("for target") != std::string::npos;
        }
        if (*c.logged != '\0') {
            EXPECT_TRUE(Logged(llVerbose, c.logged));
        } else {
            EXPECT_FALSE(anyTargetMessage);
        }
    }

    // No message with verbosity 0.
    Task().ResetOptions();
    ClearLines();
    Task().SetOption("v", "0");
    Task().SetOption("r", "25");
    Task().SetOption("target", "dvd");
    EXPECT_EQ(O().frameHeight, 576);
    EXPECT_FALSE(Logged(llVerbose, "Assuming PAL for target."));
}

TEST_F(TargetTest, UnknownType) {
    EXPECT_EQ(ErrorOf([&] { Task().ApplyTarget("cd", "pal", "ntsc"); }), "Unknown target type");
    EXPECT_EQ(ErrorOf([&] { Task().SetOption("target", "film-"); }), "Unknown target type");
}
