// Audio that has a stretch without packets, or time stamps that jitter, converted into
// containers with and without time stamps of their own: every sound after the gap plays
// where the source puts it, and jitter neither clicks nor upsets the muxer.
#include "EngineTestSupport.h"
#include "TranscodeTestSupport.h"

#include <cmath>
#include <memory>

namespace tessaro::test {
namespace {

// How far a sound may play from where the source's time stamps put it, in seconds.
constexpr double Tolerance = 0.04;

struct TOutputCase {
    const char* name;
    const char* file;
    TOptionList options;
};

std::ostream& operator<<(std::ostream& os, const TOutputCase& c) {
    return os << c.name;
}

class TranscodeAudioGapTest : public TTranscodeTestBase,
                              public ::testing::WithParamInterface<TOutputCase> {
protected:
    static void SetUpTestSuite() {
        TTranscodeTestBase::SetUpTestSuite();
        sources_ = std::make_unique<TTempDir>();
        // Beeps of 1 kHz and 40 ms at 1, 2, 3, 4 and 5 s; the audio packets from 2.5 to 3.5 s
        // are left out (the beep at 3 s with them), the pictures go on.
        const std::string beep = "if(gte(t,1)*lt(mod(t,1),0.04),0.8*sin(2*PI*1000*t),0)";
        MakeClip("-f lavfi -i color=black:size=160x120:rate=25:duration=6 "
                 "-f lavfi -i \"aevalsrc=exprs='" +
                 beep +
                 "':sample_rate=48000:duration=6\" "
                 "-af \"aselect='not(between(t,2.5,3.5))'\" -c:v mpeg4 -c:a aac -b:a 96k '" +
                 Source("gap.mkv") + "'");
        // A steady tone in 1024-sample PCM packets whose time stamps are off by up to 2 ms
        // either way.
        MakeClip("-f lavfi -i color=black:size=160x120:rate=25:duration=3 "
                 "-f lavfi -i \"sine=frequency=440:sample_rate=48000:samples_per_frame=1024:"
                 "duration=3\" -af \"volume=0.5,asetpts='PTS+floor((random(0)-0.5)*192)'\" "
                 "-c:v mpeg4 -c:a pcm_s16le '" +
                 Source("jitter.mkv") + "'");
    }
    static void TearDownTestSuite() { sources_.reset(); }

    static std::string Source(const std::string& name) { return sources_->Str() + "/" + name; }

    std::string ConvertCase(const std::string& source, const char* async) {
        const TOutputCase& c = GetParam();
        const std::string output = Out(c.file);
        TOptionList options = c.options;
        options.push_back({"async", async});
        Convert({Source(source)}, {}, output, options);
        return output;
    }

    static std::unique_ptr<TTempDir> sources_;
};

std::unique_ptr<TTempDir> TranscodeAudioGapTest::sources_;

// The times at which a sound starts after at least 0.3 s of quiet.
std::vector<double> SoundOnsets(const TPlayedAudio& audio) {
    std::vector<double> onsets;
    double lastLoud = -1;
    for (std::size_t i = 0; i < audio.samples.size(); ++i) {
        if (std::fabs(audio.samples[i]) < 0.2f) {
            continue;
        }
        if (lastLoud < 0 || audio.times[i] - lastLoud > 0.3) {
            onsets.push_back(audio.times[i]);
        }
        lastLoud = audio.times[i];
    }
    return onsets;
}

TEST_P(TranscodeAudioGapTest, SoundsAfterAGapPlayWhereTheSourcePutsThem) {
    // The source's beeps where its time stamps put them (its encoder's start-up delay
    // included): at 1, 2, 4 and 5 s and a little later.
    const std::vector<double> source = SoundOnsets(PlayAudio(Source("gap.mkv"), true));
    ASSERT_EQ(source.size(), 4u) << ::testing::PrintToString(source);
    EXPECT_NEAR(source[2], 4.0, 0.03);
    for (const char* async : {"0", "1"}) {
        SCOPED_TRACE(std::string("async ") + async);
        const std::vector<double> played = SoundOnsets(PlayAudio(ConvertCase("gap.mkv", async)));
        ASSERT_EQ(played.size(), source.size()) << ::testing::PrintToString(played);
        for (std::size_t i = 0; i < played.size(); ++i) {
            EXPECT_NEAR(played[i], source[i], Tolerance) << "beep " << i;
        }
    }
}

TEST_P(TranscodeAudioGapTest, JitteringTimeStampsGiveNoClicks) {
    for (const char* async : {"0", "1"}) {
        SCOPED_TRACE(std::string("async ") + async);
        const TPlayedAudio played = PlayAudio(ConvertCase("jitter.mkv", async));
        ASSERT_GT(played.samples.size(), std::size_t(played.rate * 2.9));
        // Each sample of a steady tone follows from the two before it; a sample inserted or cut
        // breaks that rule for a moment. The ends are left out.
        const double w = 2 * M_PI * 440 / played.rate;
        const std::size_t margin = std::size_t(played.rate / 20);
        double largestBreak = 0;
        for (std::size_t i = margin; i + margin < played.samples.size(); ++i) {
            const double predicted =
                2 * std::cos(w) * played.samples[i - 1] - played.samples[i - 2];
            largestBreak = std::max(largestBreak, std::fabs(played.samples[i] - predicted));
        }
        EXPECT_LT(largestBreak, 0.01);
        EXPECT_FALSE(LogContains("monoton")) << "the muxer refused a time stamp";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, TranscodeAudioGapTest,
    ::testing::Values(TOutputCase{"mp4_aac", "out.mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}},
                      TOutputCase{
                          "avi_mp3", "out.avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}}),
    [](const ::testing::TestParamInfo<TOutputCase>& info) { return info.param.name; });

} // namespace
} // namespace tessaro::test
