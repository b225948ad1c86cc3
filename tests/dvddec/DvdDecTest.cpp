// The DVD plug-in library against real DVD-Video structures: the fixture disc as a folder and
// as an ISO image, with lsdvd as the independent reference, and its title streams demuxed by
// avformat.
#include "DVDDecApi.h"
#include "EngineTestSupport.h"
#include "Languages.h"
#include "LsdvdReport.h"
#include "TestPaths.h"
#include "dvdinput/DvdTitleStream.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

namespace tessaro::test {
namespace {

namespace fs = std::filesystem;

const std::string DvdFolder = FixtureDir() + "/dvd";
const std::string DvdImage = FixtureDir() + "/dvd.iso";

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The name the plug-in gives a language code as lsdvd prints it.
std::string ExpectedName(const std::string& code) {
    if (code == "xx") {
        return "Unknown";
    }
    const char* name = dvddec::LanguageName(code.c_str());
    return name != nullptr ? name : code;
}

TDVDParam Chapters(int title, int from, int to) {
    return {title, from, to, 128, 0, 2, 0};
}

// A plug-in title stream that closes itself.
struct TStreamCloser {
    void operator()(TDVDStream* stream) const { DVDStreamClose(stream); }
};
using TStreamPtr = std::unique_ptr<TDVDStream, TStreamCloser>;

TStreamPtr OpenStream(const std::string& path, const TDVDParam& param, std::string* error = {}) {
    char text[256] = {};
    TStreamPtr stream(DVDStreamOpen(path.c_str(), &param, text, sizeof text));
    if (error != nullptr) {
        *error = text;
    }
    return stream;
}

std::vector<std::uint8_t> ReadAll(TDVDStream* stream) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[100000]; // not a multiple of the sector size on purpose
    int count = 0;
    while ((count = DVDStreamRead(stream, buffer, sizeof buffer)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + count);
    }
    EXPECT_EQ(count, 0) << "read error";
    return bytes;
}

class DiscDescription : public ::testing::TestWithParam<std::string> {};

TEST_P(DiscDescription, TitlesMatchLsdvd) {
    const std::vector<TLsdvdTitle> reference = RunLsdvd(GetParam());
    ASSERT_EQ(reference.size(), 3u) << "lsdvd cannot read " << GetParam();
    ASSERT_EQ(DVDEnumTitle(GetParam().c_str()), 3);
    for (const TLsdvdTitle& expected : reference) {
        SCOPED_TRACE("title " + std::to_string(expected.number));
        TDVDTitleInfo info{};
        ASSERT_NE(DVDGetTitle(expected.number - 1, &info), 0);
        EXPECT_NEAR(info.Duration, expected.seconds, 0.05);
        EXPECT_EQ(info.ChapterCount, expected.chapters);
        EXPECT_EQ(info.Width, expected.width);
        EXPECT_EQ(info.Height, expected.height);
        EXPECT_EQ(info.VideoFormat, DVD_FORMAT_MPEG2);
        ASSERT_EQ(info.AudioCount, int(expected.audio.size()));
        for (int i = 0; i < info.AudioCount; ++i) {
            EXPECT_EQ(info.Audio[i].StreamID, expected.audio[i].streamId);
            EXPECT_EQ(std::string(info.Audio[i].Name),
                      ExpectedName(expected.audio[i].languageCode));
        }
        ASSERT_EQ(info.SubtitleCount, int(expected.subpictures.size()));
        for (int i = 0; i < info.SubtitleCount; ++i) {
            EXPECT_EQ(info.Subtitle[i].StreamID, expected.subpictures[i].streamId);
            EXPECT_EQ(std::string(info.Subtitle[i].Name),
                      ExpectedName(expected.subpictures[i].languageCode));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FolderAndImage, DiscDescription, ::testing::Values(DvdFolder, DvdImage),
                         [](const auto& info) { return info.index == 0 ? "Folder" : "Image"; });

// The fixture as authored, so that a parse failure on the lsdvd side cannot hide a fault.
TEST(DiscDescriptionFixture, StreamsAndNamesAsAuthored) {
    ASSERT_EQ(DVDEnumTitle(DvdFolder.c_str()), 3);
    TDVDTitleInfo first{};
    ASSERT_NE(DVDGetTitle(0, &first), 0);
    EXPECT_NEAR(first.Duration, 20.0, 0.1);
    EXPECT_EQ(first.ChapterCount, 3);
    ASSERT_EQ(first.AudioCount, 2);
    EXPECT_EQ(first.Audio[0].StreamID, 0x80);
    EXPECT_STREQ(first.Audio[0].Name, "English");
    EXPECT_EQ(first.Audio[1].StreamID, 0x81);
    EXPECT_STREQ(first.Audio[1].Name, "French");
    ASSERT_EQ(first.SubtitleCount, 1);
    EXPECT_EQ(first.Subtitle[0].StreamID, 0x20);
    EXPECT_STREQ(first.Subtitle[0].Name, "English");

    TDVDTitleInfo third{};
    ASSERT_NE(DVDGetTitle(2, &third), 0);
    EXPECT_EQ(third.ChapterCount, 1);
    ASSERT_EQ(third.AudioCount, 1);
    EXPECT_STREQ(third.Audio[0].Name, "Unknown"); // authored without a language
}

TEST(DiscDescriptionErrors, NoDvdGivesNoTitles) {
    TTempDir folder;
    std::ofstream(folder.Path() / "notes.txt") << "not a disc";
    fs::create_directory(folder.Path() / "VIDEO_TS"); // an empty VIDEO_TS is no DVD either
    const std::string cases[] = {folder.Str(), folder.Str() + "/missing", "",
                                 FixtureDir() + "/audio.mp3"};
    for (const std::string& location : cases) {
        SCOPED_TRACE(location);
        EXPECT_LT(DVDEnumTitle(location.c_str()), 1);
        TDVDTitleInfo info{};
        EXPECT_EQ(DVDGetTitle(0, &info), 0); // nothing left over from an earlier disc
    }
    EXPECT_LT(DVDEnumTitle(nullptr), 1);
}

TEST(DiscDescriptionErrors, TitleOutsideTheDiscIsRefused) {
    ASSERT_EQ(DVDEnumTitle(DvdFolder.c_str()), 3);
    for (const int index : {3, -1, 99}) {
        TDVDTitleInfo info;
        std::memset(&info, 0x5a, sizeof info);
        EXPECT_EQ(DVDGetTitle(index, &info), 0) << index;
        EXPECT_EQ(info.ChapterCount, 0x5a5a5a5a) << "record touched on failure";
    }
    EXPECT_EQ(DVDGetTitle(0, nullptr), 0);
}

// A copy whose second title set has both its IFO and its backup destroyed.
class DamagedDisc : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(DvdFolder, copy_.Path() / "dvd", fs::copy_options::recursive);
        for (const char* name : {"VTS_02_0.IFO", "VTS_02_0.BUP"}) {
            std::ofstream(copy_.Path() / "dvd/VIDEO_TS" / name, std::ios::binary | std::ios::trunc)
                << std::string(2048, '\x7f');
        }
    }
    std::string Location() const { return copy_.Str() + "/dvd"; }
    TTempDir copy_;
};

TEST_F(DamagedDisc, OnlyTheDamagedTitleFails) {
    ASSERT_EQ(DVDEnumTitle(Location().c_str()), 3);
    TDVDTitleInfo info{};
    EXPECT_NE(DVDGetTitle(0, &info), 0);
    EXPECT_EQ(DVDGetTitle(1, &info), 0);
    EXPECT_NE(DVDGetTitle(2, &info), 0);

    std::string error;
    EXPECT_FALSE(OpenStream(Location(), Chapters(1, 0, DVD_LAST_CHAPTER), &error));
    EXPECT_NE(error.find("Title set 2"), std::string::npos) << error;
    EXPECT_TRUE(OpenStream(Location(), Chapters(2, 0, DVD_LAST_CHAPTER)));
}

// The title's cells cover its VOB file: the stream must reproduce it byte for byte, from the
// folder and from the image.
class TitleStreamBytes : public ::testing::TestWithParam<std::string> {};

TEST_P(TitleStreamBytes, WholeTitleIsItsVobFile) {
    const std::vector<std::uint8_t> vob = FileBytes(DvdFolder + "/VIDEO_TS/VTS_01_1.VOB");
    ASSERT_FALSE(vob.empty());
    TStreamPtr stream = OpenStream(GetParam(), Chapters(0, 0, DVD_LAST_CHAPTER));
    ASSERT_TRUE(stream);
    EXPECT_EQ(DVDStreamSize(stream.get()), std::int64_t(vob.size()));
    EXPECT_TRUE(ReadAll(stream.get()) == vob);
}

INSTANTIATE_TEST_SUITE_P(FolderAndImage, TitleStreamBytes, ::testing::Values(DvdFolder, DvdImage),
                         [](const auto& info) { return info.index == 0 ? "Folder" : "Image"; });

TEST(TitleStream, SeekToTheMiddleAndBackGivesTheSameBytes) {
    TStreamPtr stream = OpenStream(DvdFolder, Chapters(0, 0, DVD_LAST_CHAPTER));
    ASSERT_TRUE(stream);
    const std::vector<std::uint8_t> whole = ReadAll(stream.get());
    const std::int64_t middle = DVDStreamSize(stream.get()) / 2 + 1234;
    std::vector<std::uint8_t> first(70000), again(70000), start(5000);

    ASSERT_EQ(DVDStreamSeek(stream.get(), middle), middle);
    ASSERT_EQ(DVDStreamRead(stream.get(), first.data(), int(first.size())), int(first.size()));
    ASSERT_EQ(DVDStreamSeek(stream.get(), 0), 0);
    ASSERT_EQ(DVDStreamRead(stream.get(), start.data(), int(start.size())), int(start.size()));
    ASSERT_EQ(DVDStreamSeek(stream.get(), middle), middle);
    ASSERT_EQ(DVDStreamRead(stream.get(), again.data(), int(again.size())), int(again.size()));
    EXPECT_TRUE(first == again);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), whole.begin() + middle));
    EXPECT_TRUE(std::equal(start.begin(), start.end(), whole.begin()));

    const std::int64_t size = DVDStreamSize(stream.get());
    EXPECT_EQ(DVDStreamSeek(stream.get(), size + 1), -1);
    EXPECT_EQ(DVDStreamSeek(stream.get(), -1), -1);
    ASSERT_EQ(DVDStreamSeek(stream.get(), size - 10), size - 10);
    EXPECT_EQ(DVDStreamRead(stream.get(), first.data(), 100), 10);
    EXPECT_EQ(DVDStreamRead(stream.get(), first.data(), 100), 0);
}

TEST(TitleStream, RefusedChoicesSayWhy) {
    const struct {
        TDVDParam param;
        const char* text;
    } cases[] = {
        {Chapters(3, 0, DVD_LAST_CHAPTER), "Title 4 is not on the DVD (it has 3 titles)"},
        {Chapters(-1, 0, DVD_LAST_CHAPTER), "Title 0 is not on the DVD"},
        {Chapters(0, 4, DVD_LAST_CHAPTER), "FromChapter 4 is not a chapter of title 1"},
        {Chapters(0, 1, 4), "ToChapter 4 is not a chapter of title 1 (3 chapters)"},
        {Chapters(0, 1, 0), "ToChapter 0 is not a chapter"},
        {Chapters(0, 3, 2), "FromChapter 3 lies after ToChapter 2"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(OpenStream(DvdFolder, c.param, &error));
        EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(OpenStream(FixtureDir(), Chapters(0, 0, DVD_LAST_CHAPTER), &error));
    EXPECT_FALSE(error.empty());
}

TEST(TitleStream, HandlesReadIndependentlyOnSeveralThreads) {
    const std::vector<std::uint8_t> vob = FileBytes(DvdFolder + "/VIDEO_TS/VTS_01_1.VOB");
    std::vector<std::uint8_t> results[3];
    {
        std::vector<std::jthread> readers;
        for (auto& result : results) {
            readers.emplace_back([&result] {
                TStreamPtr stream = OpenStream(DvdImage, Chapters(0, 0, DVD_LAST_CHAPTER));
                if (stream) {
                    result = ReadAll(stream.get());
                }
            });
        }
        // Describing another disc meanwhile must not disturb the open handles.
        EXPECT_LT(DVDEnumTitle(FixtureDir().c_str()), 1);
    }
    for (const auto& result : results) {
        EXPECT_TRUE(result == vob) << result.size() << " vs " << vob.size();
    }
}

TEST(TitleStream, InfoDescribesTheRange) {
    TStreamPtr stream = OpenStream(DvdFolder, Chapters(0, 2, DVD_LAST_CHAPTER));
    ASSERT_TRUE(stream);
    TDVDStreamInfo info{};
    ASSERT_NE(DVDStreamGetInfo(stream.get(), &info), 0);
    EXPECT_EQ(info.FirstChapter, 2);
    EXPECT_EQ(info.LastChapter, 3);
    const std::vector<TLsdvdTitle> reference = RunLsdvd(DvdFolder);
    ASSERT_EQ(reference.size(), 3u);
    ASSERT_EQ(reference[0].chapterSeconds.size(), 3u);
    EXPECT_NEAR(info.Duration, reference[0].chapterSeconds[1] + reference[0].chapterSeconds[2],
                0.01);
    EXPECT_EQ(info.Size, DVDStreamSize(stream.get()));
    // The fixture's colour table is studio white (Y 235) then studio black (Y 16).
    EXPECT_EQ(info.Palette[0], 0xffffffu);
    EXPECT_EQ(info.Palette[1], 0x000000u);
}

TEST(SetParam, TheLastChoiceIsKept) {
    const TDVDParam first = {1, 2, 5, 129, 33, 2, 0};
    const TDVDParam second = {2, 0, 99, 128, 32, 2, 1};
    EXPECT_NE(DVDSetParam(&first), 0);
    EXPECT_NE(DVDSetParam(&second), 0);
    TDVDParam stored{};
    ASSERT_NE(DVDGetParam(&stored), 0);
    EXPECT_EQ(std::memcmp(&stored, &second, sizeof stored), 0);
    EXPECT_EQ(DVDSetParam(nullptr), 0);
}

// The engine's side: an "opendvd:" address read by avformat's demuxer through custom I/O.
class TitleDemux : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(ConverterLibraries))
            << TLibraryLoader::Instance().LastErrorText();
        SetDvdStreamFunctions({&DVDGetParam, &DVDStreamOpen, &DVDStreamRead, &DVDStreamSeek,
                               &DVDStreamSize, &DVDStreamGetInfo, &DVDStreamClose});
    }

    void Open(const std::string& address) {
        io_ = MakeCustomIO(MakeDvdIOSource(TDvdTitleStream::Open(ParseDvdAddress(address))), false);
        ASSERT_TRUE(io_);
        ASSERT_EQ(OpenInputWithIO(input_, io_.get(), address.c_str(),
                                  ff::av_find_input_format("mpeg"), nullptr),
                  0);
        std::lock_guard lock(CodecLock());
        ASSERT_GE(ff::avformat_find_stream_info(input_.get(), nullptr), 0);
    }

    // Seconds from the first to the end of the last video frame read.
    double VideoSeconds() {
        const int video =
            ff::av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        EXPECT_GE(video, 0);
        AVPacketPtr packet(ff::av_packet_alloc());
        std::int64_t first = INT64_MAX, end = INT64_MIN;
        while (ff::av_read_frame(input_.get(), packet.get()) >= 0) {
            if (packet->stream_index == video && packet->pts != AV_NOPTS_VALUE) {
                first = std::min(first, packet->pts);
                end = std::max(end, packet->pts + packet->duration);
            }
            ff::av_packet_unref(packet.get());
        }
        return double(end - first) * av_q2d(input_->streams[video]->time_base);
    }

    CustomAVIOContextPtr io_; // declared first: it must outlive the input
    AVInputFormatContextPtr input_;
};

TEST_F(TitleDemux, WholeTitleHoldsItsStreams) {
    Open("opendvd:" + DvdFolder +
         "|Title=1,FromChapter=0,ToChapter=99,AudioID=128,"
         "SubtitleID=32,AudioChannels=2,Deinterlace=0");
    std::map<int, AVCodecID> streams;
    int videoCount = 0;
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        const AVStream& stream = *input_->streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++videoCount;
            EXPECT_EQ(stream.codecpar->codec_id, AV_CODEC_ID_MPEG2VIDEO);
        } else if (stream.codecpar->codec_type != AVMEDIA_TYPE_DATA) { // not the navigation packets
            streams[stream.id] = stream.codecpar->codec_id;
        }
    }
    EXPECT_EQ(videoCount, 1);
    const std::map<int, AVCodecID> expected = {
        {0x80, AV_CODEC_ID_AC3}, {0x81, AV_CODEC_ID_AC3}, {0x20, AV_CODEC_ID_DVD_SUBTITLE}};
    EXPECT_EQ(streams, expected);
    EXPECT_NEAR(VideoSeconds(), 20.0, 0.5);
}

TEST_F(TitleDemux, ChapterRangeLastsWhatTheChapterTableSays) {
    const std::vector<TLsdvdTitle> reference = RunLsdvd(DvdFolder);
    ASSERT_EQ(reference.size(), 3u);
    ASSERT_EQ(reference[0].chapterSeconds.size(), 3u);
    Open("opendvd:" + DvdImage + "|Title=1,FromChapter=2,ToChapter=3");
    EXPECT_NEAR(VideoSeconds(), reference[0].chapterSeconds[1] + reference[0].chapterSeconds[2],
                0.5);
}

TEST_F(TitleDemux, ShortAddressPlaysTheLastSetParam) {
    const TDVDParam param = Chapters(1, 2, 2); // title 2, its second chapter only
    DVDSetParam(&param);
    Open("opendvd:" + DvdFolder);
    const std::vector<TLsdvdTitle> reference = RunLsdvd(DvdFolder);
    ASSERT_EQ(reference.size(), 3u);
    ASSERT_EQ(reference[1].chapterSeconds.size(), 2u);
    EXPECT_NEAR(VideoSeconds(), reference[1].chapterSeconds[1], 0.5);
}

} // namespace
} // namespace tessaro::test
