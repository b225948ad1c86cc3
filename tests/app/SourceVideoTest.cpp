// What the builder learns from a real media probe, and what it makes of it.
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "core/IniFile.h"
#include "job/FormatJobParts.h"
#include "probe/MediaProbe.h"

#include <gtest/gtest.h>

using tessaro::test::DataDir;
using tessaro::test::FixtureDir;

namespace tessaro {
namespace {

class SourceVideoTest : public test::TConverterLibrariesTest {
protected:
    TSourceVideo Probe(const std::string& name) {
        TMediaProbe probe;
        EXPECT_TRUE(probe.LoadFile(FixtureDir() + "/" + name)) << probe.LastError();
        return SourceVideoOf(probe);
    }

    // PSP MPEG-4 Normal Quality from the shipped files: 320x240, letterboxed.
    void BuildPspNormal(const TSourceVideo& source) {
        const TIniFile formats(DataDir() + "/plovupspformat.ini");
        const TIniFile defaults(DataDir() + "/tessaro-defaults.ini");
        job = TConversionJob{};
        ApplyFileFormat({defaults, formats}, 1, TRowZoom{"lbox"}, source, {}, job);
    }

    TConversionJob job;
};

TEST_F(SourceVideoTest, VideoSourceGivesSizeAndLetterbox) {
    const TSourceVideo source = Probe("mpeg2_ac3.mpg");
    EXPECT_EQ(source.VideoStreamCount, 1);
    EXPECT_EQ(source.Width, 720);
    EXPECT_EQ(source.Height, 480);

    BuildPspNormal(source);
    EXPECT_FALSE(job.Picture.Disabled);
    EXPECT_EQ(job.Encoding.VideoCodec, "mpeg4");
    EXPECT_EQ(job.Output.Container, "psp");
    EXPECT_EQ(job.Picture.Filters, "crop=0:0:720:480,scale=320:212,pad=320:240:0:14");
}

TEST_F(SourceVideoTest, AudioFileConvertsWithoutVideo) {
    const TSourceVideo source = Probe("audio.mp3");
    EXPECT_EQ(source.VideoStreamCount, 0);
    EXPECT_EQ(source.Width, -1);

    BuildPspNormal(source);
    EXPECT_TRUE(job.Picture.Disabled);
    EXPECT_EQ(job.Picture.Filters, "");
    EXPECT_EQ(job.Audio.Codec, "libfaac");
    EXPECT_FALSE(job.Audio.Disabled);
}

} // namespace
} // namespace tessaro
