// Transcoder behaviour beyond plain format conversion: filters and crops, volume,
// limits, join mode, several outputs, stops, errors and progress reports.
#include "TranscodeTestSupport.h"

#include "base/EngineException.h"
#include "transcoder/pipeline/VideoFilterGraph.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tessaro::test {
namespace {

class TranscodeBehaviourTest : public TTranscodeTestBase {};

// A mono 16-bit WAV file holding exactly the given samples.
void WriteWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate) {
    std::ofstream out(path, std::ios::binary);
    auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const std::uint32_t bytes = std::uint32_t(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(std::uint32_t(rate));
    put32(std::uint32_t(rate * 2));
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

TEST(FilterText, PositionalCropArgumentsBecomeNamed) {
    EXPECT_EQ(TranslateLegacyFilterText("crop=10:20:700:440,scale=320:240"),
              "crop=x=10:y=20:w=700:h=440,scale=320:240");
    EXPECT_EQ(TranslateLegacyFilterText("[in]crop=0:60:720:360[c];[c]pad=720:480:0:60:black"),
              "[in]crop=x=0:y=60:w=720:h=360[c];[c]pad=720:480:0:60:black");
    EXPECT_EQ(TranslateLegacyFilterText("crop=w=100:h=50"), "crop=w=100:h=50");
    EXPECT_EQ(TranslateLegacyFilterText("cropdetect=24:16:0"), "cropdetect=24:16:0");
}

TEST_F(TranscodeBehaviourTest, LetterboxPadKeepsBlackBandsAboveAndBelow) {
    const std::string output = Out("letterbox.avi");
    Convert({Fixture("h264_aac.mp4")}, {}, output,
            {{"t", "1"},
             {"an", ""},
             {"vcodec", "mpeg4"},
             {"qscale", "2"},
             {"s", "320x180"},
             {"vf", "pad=320:240:0:30:black"}});
    const TFileFacts facts = ProbeFile(output);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_EQ(facts.video[0].width, 320);
    EXPECT_EQ(facts.video[0].height, 240);
    int frames = DecodeFrames(output, AVMEDIA_TYPE_VIDEO, [](const AVFrame* frame) {
        EXPECT_LT(MeanLuma(frame, 0, 0, 320, 28), 20.0);
        EXPECT_LT(MeanLuma(frame, 0, 212, 320, 28), 20.0);
        EXPECT_GT(MeanLuma(frame, 0, 40, 320, 160), 40.0);
    });
    EXPECT_EQ(frames, 25);
}

TEST_F(TranscodeBehaviourTest, CropBandsCutTheSourcePicture) {
    const std::string cropped = Out("cropped.avi");
    Convert({Fixture("h264_aac.mp4")}, {}, cropped,
            {{"t", "0.4"},
             {"an", ""},
             {"vcodec", "rawvideo"},
             {"pix_fmt", "yuv420p"},
             {"croptop", "40"},
             {"cropbottom", "20"},
             {"cropleft", "16"},
             {"cropright", "32"}});
    const std::string whole = Out("whole.avi");
    Convert({Fixture("h264_aac.mp4")}, {}, whole,
            {{"t", "0.4"}, {"an", ""}, {"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}});
    const TFileFacts facts = ProbeFile(cropped);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_EQ(facts.video[0].width, 320 - 16 - 32);
    EXPECT_EQ(facts.video[0].height, 240 - 40 - 20);
    // The cropped picture is the source's rectangle at (16, 40), pixel for pixel.
    std::vector<std::vector<std::uint8_t>> wholeRows;
    DecodeFrames(whole, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* f) {
        if (wholeRows.empty()) {
            for (int y = 0; y < f->height; ++y) {
                wholeRows.emplace_back(f->data[0] + y * f->linesize[0],
                                       f->data[0] + y * f->linesize[0] + f->width);
            }
        }
    });
    bool checked = false;
    DecodeFrames(cropped, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* f) {
        if (checked) {
            return;
        }
        checked = true;
        for (int y = 0; y < f->height; ++y) {
            ASSERT_EQ(std::memcmp(f->data[0] + y * f->linesize[0], wholeRows[y + 40].data() + 16,
                                  std::size_t(f->width)),
                      0)
                << "row " << y;
        }
    });
    EXPECT_TRUE(checked);
}

TEST_F(TranscodeBehaviourTest, Volume512DoublesSamplesWithClipping) {
    std::vector<std::int16_t> source;
    for (int i = 0; i < 22050; ++i) {
        source.push_back(std::int16_t(std::lround(24000 * std::sin(i * 2 * M_PI * 440 / 44100))));
    }
    const std::string input = Out("tone.wav");
    WriteWav(input, source, 44100);
    const std::string output = Out("louder.wav");
    Convert({input}, {}, output, {{"vol", "512"}});
    const std::vector<std::int16_t> result = DecodeSamples(output);
    ASSERT_EQ(result.size(), source.size());
    int clipped = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const int expected = std::clamp((source[i] * 512 + 128) >> 8, -32768, 32767);
        ASSERT_EQ(result[i], expected) << "sample " << i;
        clipped += expected == 32767 || expected == -32768;
    }
    EXPECT_GT(clipped, 1000);
}

TEST_F(TranscodeBehaviourTest, FileSizeLimitEndsTheOutputNearTheLimit) {
    const std::string output = Out("limited.mpg");
    Convert({Fixture("mpeg2_ac3.mpg")}, {}, output,
            {{"vcodec", "mpeg2video"}, {"b", "8000000"}, {"acodec", "mp2"}, {"fs", "1000000"}});
    const TFileFacts facts = ProbeFile(output);
    ASSERT_TRUE(facts.opened);
    EXPECT_GE(facts.size, 1000000);
    EXPECT_LT(facts.size, 1300000);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_LT(facts.video[0].Duration(), 6.0);
}

TEST_F(TranscodeBehaviourTest, JoinContinuesTheSecondInputWhereTheFirstEnded) {
    const std::string first = Out("first.mp4");
    const std::string second = Out("second.mp4");
    const TOptionList cut = {{"t", "2"}, {"vcodec", "libx264"}, {"acodec", "aac"}};
    Convert({Fixture("h264_aac.mp4")}, {}, first, cut);
    Convert({Fixture("h264_aac.mp4")}, {{"ss", "4"}}, second, cut);

    TCustomTranscoder task;
    task.SetOption("v", "2");
    Configure(task, {first, second}, {}, Out("joined.mp4"),
              {{"vcodec", "libx264"}, {"acodec", "aac"}}, true);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(task.OutputFileCount(), 2);
    EXPECT_TRUE(task.JoinMode());
    EXPECT_NEAR(double(task.TotalDuration()) / 1e6, 4.0, 0.1);
    EXPECT_EQ(task.AddOutputFile(Out("more.mp4"), false), -1);
    EXPECT_EQ(task.ErrorText(), "Cannot join more than one output file.");
    task.Transcode();
    EXPECT_TRUE(task.Finished());
    task.FreeFiles();

    // The second input starts where the longest stream of the first ended (its AAC audio
    // runs to a whole encoder frame, 2.020 s); the video grid is continuous across the join.
    EXPECT_TRUE(LogContains("Input #1 continues at 2.020 s"));
    const TFileFacts facts = ProbeFile(Out("joined.mp4"));
    ASSERT_EQ(facts.video.size(), 1u);
    ASSERT_EQ(facts.audio.size(), 1u);
    EXPECT_EQ(facts.video[0].packets, 101);
    EXPECT_NEAR(facts.video[0].Duration(), 4.04, 0.041);
    EXPECT_NEAR(facts.audio[0].Duration(), 4.04, 3 * 1024.0 / 44100);
    std::vector<double> times = facts.video[0].packetTimes;
    std::sort(times.begin(), times.end());
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_NEAR(times[i] - times[i - 1], 0.04, 1e-3) << "frame " << i;
    }
    // Decoded pictures: the second input's first picture shows at 2.04 s (index 51).
    std::vector<double> meanLuma;
    DecodeFrames(Out("joined.mp4"), AVMEDIA_TYPE_VIDEO,
                 [&](const AVFrame* f) { meanLuma.push_back(MeanLuma(f, 0, 0, 320, 240)); });
    std::vector<double> secondLuma;
    DecodeFrames(second, AVMEDIA_TYPE_VIDEO,
                 [&](const AVFrame* f) { secondLuma.push_back(MeanLuma(f, 0, 0, 320, 240)); });
    ASSERT_EQ(meanLuma.size(), 101u);
    ASSERT_EQ(secondLuma.size(), 50u);
    EXPECT_NEAR(meanLuma[51], secondLuma[0], 1.0);
    EXPECT_NEAR(meanLuma[100], secondLuma[49], 1.0);
}

TEST_F(TranscodeBehaviourTest, PictureSizeChangeKeepsTheOutputSize) {
    // Joining a 160x120 clip after a 320x240 one changes the decoded size mid-stream.
    const std::string small = Out("small.avi");
    Convert({Fixture("h264_aac.mp4")}, {}, small,
            {{"t", "1"}, {"vcodec", "mpeg4"}, {"s", "160x120"}, {"acodec", "libmp3lame"}});
    const std::string large = Out("large.avi");
    Convert({Fixture("h264_aac.mp4")}, {}, large,
            {{"t", "1"}, {"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}});
    TCustomTranscoder task;
    Configure(task, {large, small}, {}, Out("both.avi"),
              {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"s", "320x240"}}, true);
    ASSERT_FALSE(HasFatalFailure());
    task.Transcode();
    EXPECT_TRUE(task.Finished());
    task.FreeFiles();
    EXPECT_TRUE(LogContains("Input Stream #1.0 frame size changed to 160x120, yuv420p"));
    int frames = DecodeFrames(Out("both.avi"), AVMEDIA_TYPE_VIDEO, [](const AVFrame* f) {
        EXPECT_EQ(f->width, 320);
        EXPECT_EQ(f->height, 240);
    });
    EXPECT_GE(frames, 50);
}

TEST_F(TranscodeBehaviourTest, TwoPassLogAndVideoStatistics) {
    const std::string prefix = Out("passlog");
    const std::string stats = Out("vstats.log");
    const TOptionList common = {
        {"t", "1"}, {"an", ""}, {"vcodec", "mpeg4"}, {"b", "300000"}, {"passlogfile", prefix}};
    TOptionList first = common;
    first.push_back({"pass", "1"});
    first.push_back({"vstats_file", stats});
    Convert({Fixture("h264_aac.mp4")}, {}, Out("pass1.avi"), first);
    std::ifstream log(prefix + "-0.log");
    const std::string passText{std::istreambuf_iterator<char>(log),
                               std::istreambuf_iterator<char>()};
    EXPECT_NE(passText.find("in:0 out:0"), std::string::npos);
    std::ifstream statsFile(stats);
    std::string line;
    int lines = 0;
    while (std::getline(statsFile, line)) {
        ++lines;
        if (lines == 1) {
            EXPECT_EQ(line.rfind("frame=     1 q= ", 0), 0u) << line;
            EXPECT_NE(line.find("f_size= "), std::string::npos) << line;
        }
    }
    EXPECT_EQ(lines, 25);

    TOptionList second = common;
    second.push_back({"pass", "2"});
    Convert({Fixture("h264_aac.mp4")}, {}, Out("pass2.avi"), second);
    const TFileFacts facts = ProbeFile(Out("pass2.avi"));
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_EQ(facts.video[0].packets, 25);
}

TEST_F(TranscodeBehaviourTest, TwoOutputsFromOneTask) {
    TCustomTranscoder task;
    Configure(task, {Fixture("h264_aac.mp4")}, {}, Out("one.avi"),
              {{"t", "1"}, {"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}});
    ASSERT_FALSE(HasFatalFailure());
    task.SetOption("vcodec", "libx264");
    task.SetOption("acodec", "aac");
    task.SetOption("s", "160x120");
    ASSERT_EQ(task.AddOutputFile(Out("two.mp4"), false), 2) << task.ErrorText();
    task.Transcode();
    EXPECT_TRUE(task.Finished());
    task.FreeFiles();
    const TFileFacts one = ProbeFile(Out("one.avi"));
    const TFileFacts two = ProbeFile(Out("two.mp4"));
    ASSERT_EQ(one.video.size(), 1u);
    ASSERT_EQ(two.video.size(), 1u);
    EXPECT_EQ(one.video[0].codec, "mpeg4");
    EXPECT_EQ(two.video[0].codec, "h264");
    EXPECT_EQ(two.video[0].width, 160);
    EXPECT_EQ(one.video[0].packets, 25);
    EXPECT_EQ(two.video[0].packets, 25);
    ASSERT_EQ(two.audio.size(), 1u);
    EXPECT_EQ(two.audio[0].codec, "aac");
}

TEST_F(TranscodeBehaviourTest, StopEndsAfterTheCurrentPacketAndKeepsAPlayableFile) {
    TCustomTranscoder task;
    const std::string output = Out("stopped.mp4");
    Configure(task, {Fixture("h264_aac.mp4")}, {}, output,
              {{"vcodec", "libx264"}, {"acodec", "aac"}});
    ASSERT_FALSE(HasFatalFailure());
    int packets = 0;
    task.Callbacks().packetGate = [&] {
        if (++packets == 60) {
            task.RequestStop();
        }
    };
    task.Transcode();
    EXPECT_FALSE(task.Finished());
    EXPECT_EQ(packets, 60);
    task.FreeFiles();
    const TFileFacts facts = ProbeFile(output);
    ASSERT_TRUE(facts.opened);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_GT(facts.video[0].packets, 5);
    EXPECT_LT(facts.video[0].Duration(), 4.0);
}

TEST_F(TranscodeBehaviourTest, TruncatedInputConvertsWhatCanBeDecoded) {
    const std::string output = Out("rescued.mpg");
    Convert({Fixture("truncated.mpg")}, {}, output, {{"vcodec", "mpeg1video"}, {"acodec", "mp2"}});
    const TFileFacts facts = ProbeFile(output);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_GT(facts.video[0].Duration(), 5.0);
}

TEST_F(TranscodeBehaviourTest, DecodingErrorsAreSkippedUnlessXerror) {
    // Garbage over part of the media data: the decoder rejects some packets.
    const std::string corrupt = Out("corrupt.mp4");
    std::filesystem::copy_file(Fixture("h264_aac.mp4"), corrupt);
    {
        std::fstream file(corrupt, std::ios::in | std::ios::out | std::ios::binary);
        std::uint32_t state = 12345;
        for (std::streamoff offset = 60000; offset < 160000; offset += 1000) {
            file.seekp(offset);
            for (int i = 0; i < 200; ++i) {
                state = state * 1103515245u + 12345u;
                file.put(char(state >> 24));
            }
        }
    }
    const std::string output = Out("recovered.avi");
    Convert({corrupt}, {}, output, {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}});
    EXPECT_TRUE(LogContains("Error while decoding stream #0."));
    const TFileFacts facts = ProbeFile(output);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_GT(facts.video[0].Duration(), 11.0);

    TCustomTranscoder strict;
    Configure(strict, {corrupt}, {}, Out("strict.avi"),
              {{"xerror", ""}, {"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}});
    ASSERT_FALSE(HasFatalFailure());
    const std::string error = ErrorOf([&] { strict.Transcode(); });
    EXPECT_EQ(error.rfind("Error while decoding stream #0.", 0), 0u) << error;
}

TEST_F(TranscodeBehaviourTest, SetUpFailuresNameTheirCause) {
    TCustomTranscoder missing;
    const std::string absent = Out("absent.mpg");
    EXPECT_FALSE(missing.AddInputFile(absent));
    EXPECT_EQ(missing.ErrorText(), absent + ": No such file or directory");
    EXPECT_EQ(missing.InputFileCount(), 0);

    TCustomTranscoder task;
    ASSERT_TRUE(task.AddInputFile(Fixture("h264_aac.mp4"))) << task.ErrorText();
    const std::string unwritable = Out("no/such/folder/out.mp4");
    EXPECT_EQ(task.AddOutputFile(unwritable, false), -1);
    EXPECT_EQ(task.ErrorText(), unwritable + ": No such file or directory");

    task.SetOption("vcodec", "nosuchcodec");
    EXPECT_EQ(task.AddOutputFile(Out("x.mp4"), false), -1);
    EXPECT_EQ(task.ErrorText(), "new_video_stream fail: Unknown encoder 'nosuchcodec'");
    task.SetOption("vcodec", "libx264");

    task.SetOption("f", "nosuchformat");
    EXPECT_EQ(task.AddOutputFile(Out("x.mp4"), false), -1);
    EXPECT_EQ(task.ErrorText(),
              "Requested output format 'nosuchformat' is not a suitable output format");

    EXPECT_EQ(task.AddOutputFile(Out("x.nosuchextension"), false), -1);
    EXPECT_EQ(task.ErrorText(),
              "Unable to find a suitable output format for '" + Out("x.nosuchextension") + "'");

    EXPECT_EQ(task.AddOutputFile(Out("frames.png"), false), -1);
    EXPECT_EQ(task.ErrorText(), Out("frames.png") + ": Number syntax expected in filename");
    EXPECT_EQ(task.OutputFileCount(), 0);
    EXPECT_THROW(task.NewAudioStream(0), EngineException);
}

TEST_F(TranscodeBehaviourTest, SourceWithoutAudioGetsNoAudioStream) {
    const std::string silent = Out("silent.avi");
    Convert({Fixture("h264_aac.mp4")}, {}, silent, {{"t", "1"}, {"an", ""}, {"vcodec", "mpeg4"}});
    TCustomTranscoder task;
    ASSERT_TRUE(task.AddInputFile(silent)) << task.ErrorText();
    task.SetOption("acodec", "libmp3lame");
    ASSERT_EQ(task.AddOutputFile(Out("still_silent.avi"), false), 1) << task.ErrorText();
    EXPECT_EQ(task.OutputContext(0)->nb_streams, 1u);
}

TEST_F(TranscodeBehaviourTest, UnusedEmptyOutputIsRemoved) {
    const std::string output = Out("never.mp4");
    {
        TCustomTranscoder task;
        ASSERT_TRUE(task.AddInputFile(Fixture("h264_aac.mp4"))) << task.ErrorText();
        ASSERT_EQ(task.AddOutputFile(output, false), 1) << task.ErrorText();
        EXPECT_TRUE(std::filesystem::exists(output));
    }
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(TranscodeBehaviourTest, ProgressIsReportedPerIntervalAfterTheFirstFrameAndAtTheEnd) {
    struct TReport {
        int fileIndex, frameNumber;
        std::int64_t size, duration, total;
        std::chrono::steady_clock::time_point when;
    };
    std::vector<TReport> reports;
    TCustomTranscoder task;
    Configure(task, {Fixture("mpeg2_ac3.mpg")}, {}, Out("progress.mpg"),
              {{"t", "3"}, {"vcodec", "mpeg2video"}, {"acodec", "mp2"}});
    ASSERT_FALSE(HasFatalFailure());
    task.ProgressIntervalMicroseconds = 100000;
    task.Callbacks().progress = [&](int fileIndex, int frameNumber, int, float, float,
                                    std::int64_t size, std::int64_t duration, std::int64_t total) {
        reports.push_back(
            {fileIndex, frameNumber, size, duration, total, std::chrono::steady_clock::now()});
    };
    task.Transcode();
    ASSERT_FALSE(reports.empty());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].frameNumber, 1);
        // The callback stamps a report a little after the transcoder read its clock, by a
        // varying amount, so two stamps may lie a few microseconds closer than the interval.
        if (i > 0 && i + 1 < reports.size()) {
            EXPECT_GE(reports[i].when - reports[i - 1].when, std::chrono::milliseconds(99));
        }
    }
    const TReport& last = reports.back();
    EXPECT_EQ(last.fileIndex, -1);
    EXPECT_EQ(last.frameNumber, 90);
    EXPECT_NEAR(double(last.duration) / 1e6, 3.0, 0.05);
    EXPECT_EQ(last.total, 3000000);
    EXPECT_GT(last.size, 0);
    EXPECT_TRUE(LogContains("Stream mapping:"));
    EXPECT_TRUE(LogContains("  Stream #0.0 -> #0.0 (Video)"));
    EXPECT_TRUE(LogContains("  Stream #0.1 -> #0.1 (Audio)"));
}

TEST_F(TranscodeBehaviourTest, AudioOnlyTaskReportsWithoutFrameNumbers) {
    std::vector<int> frameNumbers;
    TCustomTranscoder task;
    Configure(task, {Fixture("audio.mp3")}, {}, Out("a.wav"), {});
    ASSERT_FALSE(HasFatalFailure());
    task.Callbacks().progress = [&](int, int frameNumber, int, float, float, std::int64_t,
                                    std::int64_t,
                                    std::int64_t) { frameNumbers.push_back(frameNumber); };
    task.Transcode();
    ASSERT_EQ(frameNumbers.size(), 1u);
    EXPECT_EQ(frameNumbers[0], -1);
}

TEST_F(TranscodeBehaviourTest, CopiedVideoRefusesPreviewAndHooks) {
    TCustomTranscoder task;
    Configure(task, {Fixture("h264_aac.mp4")}, {}, Out("copy.mp4"),
              {{"vcodec", "copy"}, {"acodec", "copy"}});
    ASSERT_FALSE(HasFatalFailure());
    task.SetFlags(TaskFlagPreviewBitmap);
    try {
        task.Transcode();
        FAIL() << "no exception";
    } catch (const EngineException& e) {
        EXPECT_STREQ(e.what(),
                     "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
    }
}

TEST_F(TranscodeBehaviourTest, StreamMapsChooseTheSourceStreams) {
    const std::string output = Out("second_language.wav");
    // Video to nothing: a WAV output has one audio stream, fed by input stream 2 (880 Hz).
    Convert({Fixture("two_audio.mkv")}, {}, output, {{"t", "1"}, {"map", "0:2"}});
    const std::vector<std::int16_t> samples = DecodeSamples(output);
    ASSERT_EQ(samples.size(), 2u * 48000);
    // The 440 Hz stream would give half of this.
    EXPECT_NEAR(ToneFrequency(samples, 2, 48000), 880.0, 20.0);

    TCustomTranscoder task;
    Configure(task, {Fixture("two_audio.mkv")}, {}, Out("bad_map.avi"),
              {{"map", "0:1"}, {"map", "0:0"}, {"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}});
    ASSERT_FALSE(HasFatalFailure());
    try {
        task.Transcode();
        FAIL() << "no exception";
    } catch (const EngineException& e) {
        EXPECT_STREQ(e.what(), "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)");
    }
}

TEST_F(TranscodeBehaviourTest, DvdSubpicturesGoOnlyWhereTheyFit) {
    const std::string vob = Fixture("dvd/VIDEO_TS/VTS_01_1.VOB");
    // Matroska's default subtitle encoder writes text: the DVD's pictures are left out.
    const std::string mkv = Out("title.mkv");
    Convert({vob}, {}, mkv, {{"t", "1"}, {"vcodec", "mpeg4"}, {"acodec", "libvorbis"}});
    const TFileFacts facts = ProbeFile(mkv);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_EQ(facts.audio.size(), 1u);

    TCustomTranscoder task;
    Configure(task, {vob}, {}, Out("subtitles.mkv"),
              {{"t", "8"}, {"vcodec", "mpeg4"}, {"acodec", "libvorbis"}, {"scodec", "dvdsub"}});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(task.OutputContext(0)->nb_streams, 3u);
    task.Transcode();
    EXPECT_TRUE(task.Finished());
    task.FreeFiles();
    int subtitlePackets = 0;
    AVFormatContext* raw = nullptr;
    ASSERT_GE(ff::avformat_open_input(&raw, Out("subtitles.mkv").c_str(), nullptr, nullptr), 0);
    AVInputFormatContextPtr ctx(raw);
    ASSERT_EQ(raw->streams[2]->codecpar->codec_id, AV_CODEC_ID_DVD_SUBTITLE);
    AVPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        subtitlePackets += packet->stream_index == 2;
        ff::av_packet_unref(packet.get());
    }
    EXPECT_GT(subtitlePackets, 0);
}

TEST_F(TranscodeBehaviourTest, StreamCopyKeepsPacketsAndTimes) {
    const std::string output = Out("copy.mkv");
    Convert({Fixture("h264_aac.mp4")}, {}, output,
            {{"t", "3"}, {"vcodec", "copy"}, {"acodec", "copy"}});
    const TFileFacts facts = ProbeFile(output);
    ASSERT_EQ(facts.video.size(), 1u);
    ASSERT_EQ(facts.audio.size(), 1u);
    EXPECT_EQ(facts.video[0].codec, "h264");
    EXPECT_EQ(facts.audio[0].codec, "aac");
    EXPECT_EQ(facts.video[0].packets, 75);
    EXPECT_NEAR(facts.video[0].Duration(), 3.0, 0.041);
}

} // namespace
} // namespace tessaro::test
