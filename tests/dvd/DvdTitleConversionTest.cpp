// Converting DVD titles named by "opendvd:" addresses: the audio track, chapter range,
// subpicture, channel count and deinterlacing each address chooses reach the output.
#include "DVDPlugIn.h"
#include "TestPaths.h"
#include "TranscodeTestSupport.h"
#include "base/EngineException.h"
#include "io/MediaInput.h"

#include <cstdlib>

namespace tessaro::test {
namespace {

const std::string DvdFolder = FixtureDir() + "/dvd";
const std::string DvdImage = FixtureDir() + "/dvd.iso";

// Title 1 of the fixture disc: 19.967 s, chapters starting at 0, 7 and 14 s; audio 0x80 is a
// 440 Hz tone, 0x81 a 1000 Hz tone; subpicture 0x20 shows a line of text from 0.5 to 6.5 s
// at the bottom of the picture.
constexpr double Title1Duration = 19.967;

std::string Title1(const std::string& location, const std::string& fields) {
    return "opendvd:" + location + "|Title=1" + fields;
}

class DvdTitleConversion : public TTranscodeTestBase {
protected:
    static void SetUpTestSuite() {
        TTranscodeTestBase::SetUpTestSuite();
        ASSERT_TRUE(LoadDVDPlugIn(LibAvDir()));
    }

    // The pictures of a short raw conversion of title 1 (from `start`, when given), scaled to
    // 360x240, one plane each.
    std::vector<std::vector<std::uint8_t>>
    RawPictures(const std::string& fields, const std::string& name, const std::string& start = "") {
        const std::string output = Out(name + ".nut");
        TOptionList inputOptions;
        if (!start.empty()) {
            inputOptions.push_back({"ss", start});
        }
        Convert({Title1(DvdFolder, fields)}, inputOptions, output,
                {{"t", "1.5"}, {"an", ""}, {"vcodec", "rawvideo"}, {"s", "360x240"}});
        std::vector<std::vector<std::uint8_t>> pictures;
        DecodeFrames(output, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
            EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
            pictures.push_back(LumaPlane(frame));
        });
        return pictures;
    }
};

// A title has no index: the seek lands inside a group of pictures, and the conversion must
// still begin with the picture at the start time, not at the next key picture.
TEST_F(DvdTitleConversion, AStartTimeBeginsWithThePictureOfThatTime) {
    const auto whole = RawPictures("", "whole");
    const auto started = RawPictures("", "started", "0.5");
    ASSERT_GE(whole.size(), 40u);
    ASSERT_FALSE(started.empty());
    // 0.5 s at 30000/1001 pictures a second: picture 15 is the first at or after it.
    EXPECT_TRUE(started.front() == whole[15]);
    EXPECT_TRUE(started[10] == whole[25]);
}

TEST_F(DvdTitleConversion, AudioIdChoosesTheTrackAndAudioChannelsTheirNumber) {
    const struct {
        std::string location, fields;
        double frequency;
        int channels;
    } cases[] = {
        {DvdFolder, "", 440, 2},
        {DvdFolder, ",AudioID=128", 440, 2},
        {DvdFolder, ",AudioID=129", 1000, 2},
        {DvdImage, ",AudioID=129,AudioChannels=1", 1000, 1},
        // No LPCM track on the disc: the title's first track instead of silence.
        {DvdFolder, ",AudioID=160", 440, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        const std::string output = Out("track.wav");
        Convert({Title1(c.location, c.fields)}, {}, output, {{"t", "2"}});
        const TFileFacts facts = ProbeFile(output);
        ASSERT_EQ(facts.audio.size(), 1u);
        EXPECT_EQ(facts.audio[0].channels, c.channels);
        EXPECT_EQ(facts.audio[0].sampleRate, 48000);
        const std::vector<std::int16_t> samples = DecodeSamples(output);
        ASSERT_GT(samples.size(), 48000u * c.channels);
        EXPECT_NEAR(ToneFrequency(samples, c.channels, 48000), c.frequency, 20.0);
    }
}

// The stream choice the transcoder and the player share, on the title's demuxed streams.
TEST_F(DvdTitleConversion, InputLayerChoosesTheAddressedStreams) {
    AVInputFormatContextPtr context;
    CustomAVIOContextPtr io;
    TDvdInputChoice dvd;
    ASSERT_EQ(OpenMediaInput(context, io, Title1(DvdImage, ",AudioID=129,SubtitleID=32"), nullptr,
                             nullptr, &dvd),
              0);
    ASSERT_GE(ff::avformat_find_stream_info(context.get(), nullptr), 0);
    EXPECT_EQ(dvd.param.AudioID, 129);
    EXPECT_EQ(dvd.param.SubtitleID, 32);
    EXPECT_EQ(DvdPaletteText(dvd.info).substr(0, 14), "ffffff,000000,");

    const auto idOf = [&](int index) { return DvdStreamId(context->streams[index]); };
    const auto keptIds = [&] {
        std::vector<int> ids;
        for (unsigned s = 0; s < context->nb_streams; ++s) {
            if (context->streams[s]->discard != AVDISCARD_ALL) {
                ids.push_back(idOf(int(s)));
            }
        }
        return ids;
    };
    const int subpicture = FindDvdSubpictureStream(context.get(), 0x20);
    ASSERT_GE(subpicture, 0);
    EXPECT_EQ(idOf(subpicture), 0x20);
    EXPECT_EQ(FindDvdSubpictureStream(context.get(), 0), -1);
    EXPECT_EQ(FindDvdSubpictureStream(context.get(), 0x21), -1);
    EXPECT_EQ(FindDvdSubpictureStream(context.get(), 0x81), -1) << "an audio id is no subpicture";

    const int kept = KeepDvdAudioStream(context.get(), 0x81);
    ASSERT_GE(kept, 0);
    EXPECT_EQ(idOf(kept), 0x81);
    // Video, the chosen audio and the subpicture stay; the other track and navigation go.
    EXPECT_EQ(keptIds(), (std::vector<int>{0xe0, 0x81, 0x20}));
    EXPECT_EQ(idOf(KeepDvdAudioStream(context.get(), 0xa0)), 0x80) << "no LPCM: the first track";
}

TEST_F(DvdTitleConversion, SubpictureStreamMetLateStillGetsItsPackets) {
    // An analysis of the first 0.1 s ends before the first subtitle (0.5 s), as one of the
    // first minutes does on a real disc.
    AVInputFormatContextPtr context;
    CustomAVIOContextPtr io;
    AVDictionaryHolder options;
    ff::av_dict_set(options.Get(), "analyzeduration", "100000", 0);
    ff::av_dict_set(options.Get(), "probesize", "32768", 0);
    ASSERT_EQ(OpenMediaInput(context, io, Title1(DvdFolder, ""), nullptr, options.Get()), 0);
    ASSERT_GE(ff::avformat_find_stream_info(context.get(), nullptr), 0);
    ASSERT_EQ(FindDvdSubpictureStream(context.get(), 0x20), -1) << "met by the analysis";

    EXPECT_EQ(FindOrAddDvdSubpictureStream(context.get(), 0x80), -1) << "no subpicture id";
    const int added = FindOrAddDvdSubpictureStream(context.get(), 0x20);
    ASSERT_GE(added, 0);
    EXPECT_EQ(FindOrAddDvdSubpictureStream(context.get(), 0x20), added);
    int packets = 0;
    AVPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(context.get(), packet.get()) >= 0) {
        packets += packet->stream_index == added;
        ff::av_packet_unref(packet.get());
    }
    EXPECT_GT(packets, 0);
    EXPECT_EQ(FindDvdSubpictureStream(context.get(), 0x20), added) << "a second stream was made";
}

TEST_F(DvdTitleConversion, ChapterRangeGivesTheDurationOfThoseChapters) {
    const struct {
        std::string fields;
        double duration;
    } cases[] = {
        {",FromChapter=2,ToChapter=3", Title1Duration - 7},
        {",FromChapter=2,ToChapter=2", 7},
        {",FromChapter=1,ToChapter=1", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        const std::string output = Out("chapters.avi");
        Convert({Title1(DvdFolder, c.fields)}, {}, output,
                {{"vcodec", "mpeg4"}, {"s", "176x120"}, {"acodec", "libmp3lame"}});
        const TFileFacts facts = ProbeFile(output);
        ASSERT_EQ(facts.video.size(), 1u);
        ASSERT_EQ(facts.audio.size(), 1u);
        EXPECT_NEAR(facts.video[0].Duration(), c.duration, 0.5);
        EXPECT_NEAR(facts.audio[0].Duration(), c.duration, 0.5);
        EXPECT_NEAR(facts.video[0].start, 0, 0.1) << "the range starts the output";
    }
}

TEST_F(DvdTitleConversion, SubtitleIdBurnsThatSubpictureIntoThePicture) {
    const auto plain = RawPictures("", "plain");
    const auto subtitled = RawPictures(",SubtitleID=32", "subtitled");
    ASSERT_EQ(plain.size(), 45u);
    ASSERT_EQ(subtitled.size(), plain.size());
    constexpr int Width = 360, TextTop = 180;
    const auto changedPixels = [&](std::size_t picture, int firstRow, int endRow) {
        int changed = 0;
        for (int i = firstRow * Width; i < endRow * Width; ++i) {
            changed += std::abs(int(plain[picture][i]) - int(subtitled[picture][i])) > 30;
        }
        return changed;
    };
    // Before 0.5 s no subpicture is shown; from then on the text is in the bottom rows only.
    EXPECT_EQ(plain[6], subtitled[6]);
    EXPECT_GT(changedPixels(30, TextTop, 240), 300);
    EXPECT_EQ(changedPixels(30, 0, TextTop - 20), 0);

    // 0 chooses no subpicture; 33 names none of the title's.
    EXPECT_EQ(RawPictures(",SubtitleID=0", "none"), plain);
    EXPECT_EQ(RawPictures(",SubtitleID=33", "unknown"), plain);
}

TEST_F(DvdTitleConversion, DeinterlaceFiltersThePictures) {
    const auto progressive = RawPictures(",Deinterlace=0", "progressive");
    const auto deinterlaced = RawPictures(",Deinterlace=1", "deinterlaced");
    ASSERT_EQ(progressive.size(), deinterlaced.size());
    EXPECT_NE(progressive, deinterlaced);
}

TEST_F(DvdTitleConversion, ChoicesOutsideTheDiscFailTheOpenWithTheirReason) {
    const struct {
        std::string address, text;
    } cases[] = {
        {"opendvd:" + DvdFolder + "|Title=9", "Title 9 is not on the DVD (it has 3 titles)"},
        {"opendvd:" + DvdFolder + "|Title=3,FromChapter=2",
         "FromChapter 2 is not a chapter of title 3 (1 chapters)"},
        {"opendvd:" + DvdFolder + "|Title=1,Audio=128", "Unknown field \"Audio\""},
        {"opendvd:" + FixtureDir() + "|Title=1", "holds no DVD-Video title table"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        TCustomTranscoder task;
        try {
            task.AddInputFile(c.address);
            ADD_FAILURE() << "opened";
        } catch (const EngineException& e) {
            EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace tessaro::test
