// tessaro-cli probe: the media probe's description of each file, and clear failures.
#include "CliTestSupport.h"
#include "EngineTestSupport.h"
#include "probe/MediaProbe.h"

#include <gtest/gtest.h>

namespace tessaro::test {
namespace {

class ProbeCommand : public TConverterLibrariesTest {};

std::string Description(const std::string& file) {
    TMediaProbe probe;
    EXPECT_TRUE(probe.LoadFile(file)) << probe.LastError();
    return probe.GetFileInfoText();
}

TEST_F(ProbeCommand, PrintsTheProbeDescriptionOfEveryFile) {
    const std::string video = Fixture("h264_aac.mp4");
    const std::string audio = Fixture("audio.mp3");
    const TCliRun run = RunCli("probe '" + video + "' '" + audio + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, Description(video) + Description(audio));
}

TEST_F(ProbeCommand, FailsForAMissingFileAndGoesOnWithTheRest) {
    const std::string audio = Fixture("audio.mp3");
    const TCliRun run = RunCli("probe /no/such/clip.mp4 '" + audio + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("tessaro-cli: /no/such/clip.mp4: No such file or directory\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(Description(audio)), std::string::npos) << run.output;
    EXPECT_EQ(RunCli("probe").status, 1);
}

TEST_F(ProbeCommand, DescribesADvdTitleThroughTheDvdPlugIn) {
    const TCliRun run = RunCli("probe 'opendvd:" + Fixture("dvd") + "|Title=2'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Format Name: mpeg"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Video: mpeg2video"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Audio: ac3"), std::string::npos) << run.output;
}

} // namespace
} // namespace tessaro::test
