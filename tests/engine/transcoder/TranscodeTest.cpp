// End-to-end conversions: each output is read back with avformat and checked.
#include "TranscodeTestSupport.h"

#include "base/EngineException.h"

#include <fstream>

namespace tessaro::test {
namespace {

struct TConversionCase {
    const char* name;
    const char* input;
    TOptionList inputOptions;
    const char* output;
    TOptionList outputOptions;
    const char* format;     // demuxer name of the result
    const char* videoCodec; // "" = no video stream
    int width, height;
    double frameRate;
    const char* audioCodec; // "" = no audio stream
    int channels, sampleRate;
    double duration; // seconds of every stream
};

std::ostream& operator<<(std::ostream& os, const TConversionCase& c) {
    return os << c.name;
}

class ConversionTest : public TTranscodeTestBase,
                       public ::testing::WithParamInterface<TConversionCase> {};

TEST_P(ConversionTest, OutputHoldsTheRequestedStreams) {
    const TConversionCase& c = GetParam();
    const std::string output = Out(c.output);
    Convert({Fixture(c.input)}, c.inputOptions, output, c.outputOptions);
    ASSERT_FALSE(HasFailure());
    const TFileFacts facts = ProbeFile(output);
    ASSERT_TRUE(facts.opened) << output;
    EXPECT_EQ(facts.format, c.format);
    if (*c.videoCodec != '\0') {
        ASSERT_EQ(facts.video.size(), 1u);
        const TStreamFacts& v = facts.video[0];
        EXPECT_EQ(v.codec, c.videoCodec);
        EXPECT_EQ(v.width, c.width);
        EXPECT_EQ(v.height, c.height);
        EXPECT_NEAR(v.frameRate, c.frameRate, 0.01);
        EXPECT_NEAR(v.Duration(), c.duration, 1.0 / c.frameRate + 1e-3);
    } else {
        EXPECT_TRUE(facts.video.empty());
    }
    if (*c.audioCodec != '\0') {
        ASSERT_EQ(facts.audio.size(), 1u);
        const TStreamFacts& a = facts.audio[0];
        EXPECT_EQ(a.codec, c.audioCodec);
        EXPECT_EQ(a.channels, c.channels);
        EXPECT_EQ(a.sampleRate, c.sampleRate);
        // One encoder frame of tolerance (the largest used here is WMA's 2048 samples).
        EXPECT_NEAR(a.Duration(), c.duration, 2048.0 / c.sampleRate + 1e-3);
    } else {
        EXPECT_TRUE(facts.audio.empty());
    }
}

// One row per case reads best as a table.
// clang-format off
const TConversionCase ConversionCases[] = {
    {"Mp4H264Aac", "mpeg2_ac3.mpg", {}, "out.mp4",
     {{"t", "2"}, {"vcodec", "libx264"}, {"acodec", "aac"}, {"s", "320x240"}, {"r", "25"},
      {"b", "768000"}, {"ab", "96000"}, {"ar", "44100"}, {"ac", "2"}, {"pix_fmt", "yuv420p"}},
     "mov,mp4,m4a,3gp,3g2,mj2", "h264", 320, 240, 25, "aac", 2, 44100, 2.0},
    {"AviMpeg4Mp3", "h264_aac.mp4", {}, "out.avi",
     {{"t", "2"}, {"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"s", "640x480"},
      {"ab", "128000"}},
     "avi", "mpeg4", 640, 480, 25, "mp3", 2, 44100, 2.0},
    {"MpegMpeg1Mp2", "h264_aac.mp4", {}, "out.mpg",
     {{"t", "2"}, {"vcodec", "mpeg1video"}, {"acodec", "mp2"}, {"b", "1000000"}},
     "mpeg", "mpeg1video", 320, 240, 25, "mp2", 2, 44100, 2.0},
    {"DvdTarget", "h264_aac.mp4", {}, "out.vob", {{"t", "2"}, {"target", "ntsc-dvd"}},
     "mpeg", "mpeg2video", 720, 480, 30000.0 / 1001, "ac3", 2, 48000, 2.0},
    {"AsfWmv2Wma2", "h264_aac.mp4", {}, "out.wmv",
     {{"t", "2"}, {"vcodec", "wmv2"}, {"acodec", "wmav2"}, {"ab", "64000"}},
     "asf", "wmv2", 320, 240, 25, "wmav2", 2, 44100, 2.0},
    {"DvNtsc", "mpeg2_ac3.mpg", {}, "out.dv", {{"t", "1"}, {"target", "ntsc-dv"}}, "dv",
     "dvvideo", 720, 480, 30000.0 / 1001, "pcm_s16le", 2, 48000, 1.0},
    {"Mp3Only", "audio.mp3", {}, "out.mp3", {{"t", "2"}, {"vn", ""}, {"ab", "128000"}}, "mp3", "",
     0, 0, 0, "mp3", 2, 44100, 2.0},
    {"AacAdts", "audio.mp3", {}, "out.aac", {{"t", "2"}, {"acodec", "aac"}, {"ab", "96000"}},
     "aac", "", 0, 0, 0, "aac", 2, 44100, 2.0},
    {"M4a", "h264_aac.mp4", {}, "out.m4a",
     {{"t", "2"}, {"vn", ""}, {"acodec", "aac"}, {"ab", "96000"}}, "mov,mp4,m4a,3gp,3g2,mj2", "",
     0, 0, 0, "aac", 2, 44100, 2.0},
    {"Wma", "audio.mp3", {}, "out.wma", {{"t", "2"}, {"acodec", "wmav2"}, {"ab", "64000"}}, "asf",
     "", 0, 0, 0, "wmav2", 2, 44100, 2.0},
    {"Wav", "audio.mp3", {}, "out.wav", {{"t", "2"}, {"ar", "22050"}, {"ac", "1"}}, "wav", "", 0,
     0, 0, "pcm_s16le", 1, 22050, 2.0},
    {"OggVorbis", "audio.mp3", {}, "out.ogg", {{"t", "2"}, {"acodec", "libvorbis"}}, "ogg", "", 0,
     0, 0, "vorbis", 2, 44100, 2.0},
    {"Ac3", "mpeg2_ac3.mpg", {}, "out.ac3", {{"t", "2"}, {"acodec", "ac3"}, {"ab", "192000"}},
     "ac3", "", 0, 0, 0, "ac3", 2, 48000, 2.0},
    {"StartAndDuration", "h264_aac.mp4", {{"ss", "5"}}, "ss.mp4",
     {{"t", "1.5"}, {"vcodec", "libx264"}, {"acodec", "aac"}}, "mov,mp4,m4a,3gp,3g2,mj2", "h264",
     320, 240, 25, "aac", 2, 44100, 1.5},
    {"UnicodeName", "clip_äöü_日本.mp4", {}, "ausgabe_äöü_日本.avi",
     {{"t", "1"}, {"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}, "avi", "mpeg4", 320, 240, 25,
     "mp3", 2, 44100, 1.0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Formats, ConversionTest, ::testing::ValuesIn(ConversionCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tessaro::test
