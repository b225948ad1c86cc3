// tessaro-cli convert: a conversion with record fields and option text, its failures, and
// an interrupted conversion that still leaves a playable file.
#include "CliTestSupport.h"
#include "EngineTestSupport.h"
#include "probe/MediaProbe.h"

#include <gtest/gtest.h>

namespace tessaro::test {
namespace {

class ConvertCommand : public TConverterLibrariesTest {
protected:
    std::string Out(const std::string& name) const { return (temp.Path() / name).string(); }
    TTempDir temp;
};

TEST_F(ConvertCommand, ConvertsWithRecordFieldsAndOptionText) {
    const std::string output = Out("clip.mkv");
    const TCliRun run = RunCli("convert '" + Fixture("h264_aac.mp4") + "' '" + output +
                               "' --opt VideoCodec=mpeg4 --opt AudioCodec=mp2 --opt Duration=3 "
                               "--opt Title=Clip --opt ar=22050 --threads 2");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("progress "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("converted \""), std::string::npos) << run.output;

    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(output)) << probe.LastError();
    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    EXPECT_NEAR(double(file.Duration), 3e6, 0.2e6);
    EXPECT_EQ(file.Title, "Clip");
    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.CodecName.rfind("mpeg4", 0), 0u) << video.CodecName;
    TAudioStreamInfo audio;
    probe.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(audio.CodecName.rfind("mp2", 0), 0u) << audio.CodecName;
    EXPECT_EQ(audio.SampleRate, 22050);
}

TEST_F(ConvertCommand, FailsWithTheErrorText) {
    const std::string input = "'" + Fixture("h264_aac.mp4") + "' ";
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"convert /no/such/clip.mp4 " + Out("a.mkv"),
         "tessaro-cli: /no/such/clip.mp4: No such file or directory\n"},
        {"convert " + input, "tessaro-cli: convert needs INPUT and OUTPUT\n"},
        {"convert " + input + Out("b.mkv") + " --opt Duration=soon",
         "tessaro-cli: Duration=soon: not a number\n"},
        {"convert " + input + Out("c.mkv") + " --opt AudioTag=abc",
         "tessaro-cli: audio tag parameter must be 4 chars\n"},
        {"convert " + input + Out("d.mkv") + " --opt VideoCodec=nosuchcodec", "nosuchcodec"},
        {"convert " + input + Out("e.mkv") + " --speed",
         "tessaro-cli: unknown option \"--speed\"\n"},
        {"convert " + input + Out("f.mkv") + " --threads many",
         "tessaro-cli: --threads needs a thread count from 0 (automatic) to 64, got \"many\"\n"},
    };
    for (const auto& c : cases) {
        const TCliRun run = RunCli(c.arguments);
        EXPECT_NE(run.status, 0) << c.arguments;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                 << run.output;
    }
}

TEST_F(ConvertCommand, InterruptStopsCleanlyAndKeepsAPlayableFile) {
    const std::string output = Out("partial.mkv");
    // "re" reads the input at its own pace, so the interrupt comes well before the end.
    TCliProcess cli({"convert", Fixture("mpeg2_ac3.mpg"), output, "--opt", "VideoCodec=mpeg4",
                     "--opt", "AudioCodec=mp2", "--opt", "re=1"});
    ASSERT_TRUE(cli.Started());
    std::string line;
    std::string seen;
    while (cli.ReadLine(line) && line.rfind("progress ", 0) != 0) {
        seen += line + "\n";
    }
    ASSERT_EQ(line.rfind("progress ", 0), 0u) << seen;
    cli.Signal(SIGINT);
    while (cli.ReadLine(line)) {
        seen += line + "\n";
    }
    EXPECT_EQ(cli.Wait(), 130) << seen;
    EXPECT_NE(seen.find("interrupted"), std::string::npos) << seen;

    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(output)) << probe.LastError();
    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    EXPECT_GT(file.Duration, 0);
    EXPECT_LT(file.Duration, 11000000);
    EXPECT_EQ(probe.VideoStreamCount(), 1);
}

} // namespace
} // namespace tessaro::test
