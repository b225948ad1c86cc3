// What a conversion carries over or corrects besides the pictures and samples themselves:
// chapters and metadata, audio whose time stamps jump or drift ("async"), and
// deinterlacing (before the frame hook).
#include "TranscodeTestSupport.h"
#include "base/Bitmap.h"

#include <cstdlib>
#include <fstream>

namespace tessaro::test {
namespace {

class TranscodeStreamDetailsTest : public TTranscodeTestBase {};

// ---- chapters and metadata -------------------------------------------------------

// A metadata file with three one-second chapters and two global tags.
void WriteChapterFile(const std::string& path) {
    std::ofstream out(path);
    out << ";FFMETADATA1\n"
           "title=Title of the chapter file\n"
           "artist=Artist of the chapter file\n";
    const char* names[] = {"One", "Two", "Three"};
    for (int i = 0; i < 3; ++i) {
        out << "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" << i * 1000 << "\nEND=" << (i + 1) * 1000
            << "\ntitle=" << names[i] << "\n";
    }
}

struct TChapter {
    double start, end;
    std::string title;
};

struct TTagsAndChapters {
    std::string title, artist;
    std::vector<TChapter> chapters;
};

std::string Tag(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = ff::av_dict_get(metadata, key, nullptr, 0);
    return entry != nullptr ? entry->value : "";
}

TTagsAndChapters ReadTagsAndChapters(const std::string& path) {
    TTagsAndChapters result;
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return result;
    }
    AVInputFormatContextPtr ctx(raw);
    result.title = Tag(raw->metadata, "title");
    result.artist = Tag(raw->metadata, "artist");
    for (unsigned i = 0; i < raw->nb_chapters; ++i) {
        const AVChapter* c = raw->chapters[i];
        result.chapters.push_back({double(c->start) * av_q2d(c->time_base),
                                   double(c->end) * av_q2d(c->time_base),
                                   Tag(c->metadata, "title")});
    }
    return result;
}

struct TCarryOverCase {
    const char* name;
    TOptionList chapterInputOptions;
    TOptionList outputOptions;
    std::string title, artist;
    std::vector<TChapter> chapters;
};

std::ostream& operator<<(std::ostream& os, const TCarryOverCase& c) {
    return os << c.name;
}

class TranscodeChapterAndMetadataTest : public TTranscodeTestBase,
                                        public ::testing::WithParamInterface<TCarryOverCase> {};

TEST_P(TranscodeChapterAndMetadataTest, OutputHoldsTheExpectedTagsAndChapters) {
    const TCarryOverCase& c = GetParam();
    const std::string chapterFile = Out("chapters.txt");
    WriteChapterFile(chapterFile);
    TCustomTranscoder task;
    ASSERT_TRUE(task.AddInputFile(Fixture("audio.mp3"))) << task.ErrorText();
    for (const auto& [name, value] : c.chapterInputOptions) {
        task.SetOption(name, value);
    }
    ASSERT_TRUE(task.AddInputFile(chapterFile)) << task.ErrorText();
    for (const auto& [name, value] : c.outputOptions) {
        task.SetOption(name, value);
    }
    task.SetOption("acodec", "pcm_s16le");
    const std::string output = Out("tagged.mka");
    ASSERT_EQ(task.AddOutputFile(output, false), 1) << task.ErrorText();
    task.Transcode();
    EXPECT_TRUE(task.Finished());
    task.FreeFiles();

    const TTagsAndChapters got = ReadTagsAndChapters(output);
    EXPECT_EQ(got.title, c.title);
    EXPECT_EQ(got.artist, c.artist);
    ASSERT_EQ(got.chapters.size(), c.chapters.size());
    for (std::size_t i = 0; i < c.chapters.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(got.chapters[i].start, c.chapters[i].start, 1e-3);
        EXPECT_NEAR(got.chapters[i].end, c.chapters[i].end, 1e-3);
        EXPECT_EQ(got.chapters[i].title, c.chapters[i].title);
    }
}

const std::vector<TChapter> AllChapters = {{0, 1, "One"}, {1, 2, "Two"}, {2, 3, "Three"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, TranscodeChapterAndMetadataTest,
    ::testing::Values(
        // Chapters come along without any map; the file's tags only through one.
        TCarryOverCase{"chapters_without_map", {}, {{"t", "3"}}, "", "", AllChapters},
        // A map adds the tags the output does not have yet: the task's own title stays.
        TCarryOverCase{
            "map_adds_missing_tags",
            {},
            {{"t", "3"}, {"metadata", "title=Title of the task"}, {"map_meta_data", "0:1"}},
            "Title of the task",
            "Artist of the chapter file",
            AllChapters},
        // Starting the chapter input 0.5 s in shifts its chapters; the recording time
        // cuts the second and drops the third.
        TCarryOverCase{"shifted_and_clipped",
                       {{"ss", "0.5"}},
                       {{"t", "1.2"}, {"map_meta_data", "0:1"}},
                       "Title of the chapter file",
                       "Artist of the chapter file",
                       {{0, 0.5, "One"}, {0.5, 1.2, "Two"}}}),
    [](const ::testing::TestParamInfo<TCarryOverCase>& info) { return info.param.name; });

TEST_F(TranscodeStreamDetailsTest, MetadataMapWithAMissingFileIsRefused) {
    struct TCase {
        const char* map;
        const char* error;
    };
    for (const TCase& c : {TCase{"0:1", "Invalid input file index 1 map_meta_data(0,1)"},
                           TCase{"1:0", "Invalid output file index 1 map_meta_data(1,0)"}}) {
        TCustomTranscoder task;
        Configure(task, {Fixture("audio.mp3")}, {}, Out("unmapped.wav"),
                  {{"map_meta_data", c.map}});
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(ErrorOf([&] { task.Transcode(); }), c.error);
    }
}

// ---- audio sync ------------------------------------------------------------------

constexpr int SyncRate = 8000;
constexpr int SyncPacketSamples = 400; // 50 ms

// A Matroska file of mono 16-bit PCM: one 400-sample packet of a tone at each given time.
void WritePcmMatroska(const std::string& path, const std::vector<double>& packetTimes) {
    AVFormatContext* raw = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&raw, nullptr, "matroska", path.c_str()), 0);
    AVOutputFormatContextPtr ctx(raw);
    AVStream* stream = ff::avformat_new_stream(raw, nullptr);
    ASSERT_NE(stream, nullptr);
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_PCM_S16LE;
    par->sample_rate = SyncRate;
    par->bits_per_coded_sample = 16;
    par->block_align = 2;
    ff::av_channel_layout_default(&par->ch_layout, 1);
    stream->time_base = {1, SyncRate};
    ASSERT_GE(ff::avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(ff::avformat_write_header(raw, nullptr), 0);
    AVPacketPtr packet(ff::av_packet_alloc());
    std::int64_t phase = 0;
    for (const double time : packetTimes) {
        ASSERT_GE(ff::av_new_packet(packet.get(), SyncPacketSamples * 2), 0);
        auto* samples = reinterpret_cast<std::int16_t*>(packet->data);
        for (int i = 0; i < SyncPacketSamples; ++i, ++phase) {
            samples[i] = std::int16_t(8000 * std::sin(double(phase) * 2 * M_PI * 500 / SyncRate));
        }
        packet->pts = packet->dts =
            ff::av_rescale_q(std::llround(time * SyncRate), {1, SyncRate}, stream->time_base);
        packet->duration = ff::av_rescale_q(SyncPacketSamples, {1, SyncRate}, stream->time_base);
        packet->flags |= AV_PKT_FLAG_KEY;
        ASSERT_GE(ff::av_write_frame(raw, packet.get()), 0);
        ff::av_packet_unref(packet.get());
    }
    ASSERT_GE(ff::av_write_trailer(raw), 0);
}

// The times of Count packets Step seconds apart from Start.
std::vector<double> PacketRun(double start, int count, double step = 0.05) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        times.push_back(start + i * step);
    }
    return times;
}

std::vector<double> Joined(std::vector<double> a, const std::vector<double>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct TSyncCase {
    const char* name;
    std::vector<double> packetTimes;
    const char* async;
    int minSamples, maxSamples; // in the output
    int silentFrom, silentTo;   // a range of samples that must be silent (empty when equal)
};

std::ostream& operator<<(std::ostream& os, const TSyncCase& c) {
    return os << c.name;
}

class TranscodeAudioSyncTest : public TTranscodeTestBase,
                               public ::testing::WithParamInterface<TSyncCase> {};

TEST_P(TranscodeAudioSyncTest, GapsAlwaysAndDriftWithAsyncFollowTheTimeStamps) {
    const TSyncCase& c = GetParam();
    const std::string input = Out("jumps.mka");
    WritePcmMatroska(input, c.packetTimes);
    ASSERT_FALSE(HasFatalFailure());
    const std::string output = Out("synced.wav");
    Convert({input}, {}, output, {{"async", c.async}});
    const std::vector<std::int16_t> samples = DecodeSamples(output);
    EXPECT_GE(int(samples.size()), c.minSamples);
    EXPECT_LE(int(samples.size()), c.maxSamples);
    for (int i = c.silentFrom; i < c.silentTo && i < int(samples.size()); ++i) {
        ASSERT_EQ(samples[i], 0) << "sample " << i;
    }
    if (c.silentTo > c.silentFrom) {
        // The tone goes on after the silence.
        int loud = 0;
        for (int i = c.silentTo; i < c.silentTo + 400 && i < int(samples.size()); ++i) {
            loud += std::abs(samples[i]) > 1000;
        }
        EXPECT_GT(loud, 100);
    }
}

// One second of packets, then one second more that starts at 2 s; two seconds of packets
// stamped 20 % slow (1.6 s); three seconds of packets stamped 2 % fast (3.06 s).
const std::vector<double> Gap = Joined(PacketRun(0, 20), PacketRun(2, 20));
const std::vector<double> Slow = PacketRun(0, 40, 0.04);
const std::vector<double> Drift = PacketRun(0, 60, 0.051);

INSTANTIATE_TEST_SUITE_P(
    Cases, TranscodeAudioSyncTest,
    ::testing::Values(
        // A gap between two packets is filled with silence whatever "async" says; time
        // stamps that drift without a jump are left alone without audio sync.
        TSyncCase{"gap_filled_without_async", Gap, "0", 24000, 24000, 8000, 16000},
        TSyncCase{"slow_stamps_kept_without_async", Slow, "0", 16000, 16000, 0, 0},
        // With audio sync drift beyond its threshold (0.1 s) is put right too: a lag with
        // silence, a lead with a cut.
        TSyncCase{"gap_filled_with_silence", Gap, "1", 24000, 24000, 8000, 16000},
        TSyncCase{"slow_stamps_cut", Slow, "1", 13200 - 800, 13200 + 800, 0, 0},
        // Drift below the threshold is left alone with "async" 1 and stretched away with a
        // larger value (the time stamps end 472 samples after the last sample).
        TSyncCase{"drift_kept_with_async_1", Drift, "1", 24000, 24000, 0, 0},
        TSyncCase{"drift_compensated", Drift, "1000", 24250, 24480, 0, 0}),
    [](const ::testing::TestParamInfo<TSyncCase>& info) { return info.param.name; });

// ---- deinterlacing ---------------------------------------------------------------

constexpr int CombWidth = 160, CombHeight = 120, CombFrames = 10;

// A YUV4MPEG2 clip marked interlaced: a bright bar moving right 16 pixels a frame, which
// the odd lines (the later field) show 8 pixels further on than the even lines.
void WriteCombedClip(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W" << CombWidth << " H" << CombHeight << " F25:1 It A1:1 C420jpeg\n";
    std::vector<char> luma(CombWidth * CombHeight);
    const std::vector<char> chroma(CombWidth * CombHeight / 2, char(128));
    for (int frame = 0; frame < CombFrames; ++frame) {
        for (int y = 0; y < CombHeight; ++y) {
            const int left = 16 * frame + (y % 2 == 1 ? 8 : 0);
            for (int x = 0; x < CombWidth; ++x) {
                luma[y * CombWidth + x] = char(x >= left && x < left + 16 ? 235 : 16);
            }
        }
        out << "FRAME\n";
        out.write(luma.data(), std::streamsize(luma.size()));
        out.write(chroma.data(), std::streamsize(chroma.size()));
    }
}

// Mean luma difference between each even line and the odd line below it.
double Combing(const AVFrame* frame) {
    double sum = 0;
    for (int y = 0; y + 1 < frame->height; y += 2) {
        const std::uint8_t* even = frame->data[0] + y * frame->linesize[0];
        const std::uint8_t* odd = even + frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            sum += std::abs(int(even[x]) - int(odd[x]));
        }
    }
    return sum / (double(frame->width) * (frame->height / 2));
}

TEST_F(TranscodeStreamDetailsTest, DeinterlaceRemovesTheCombOfMovingPictures) {
    const std::string input = Out("combed.y4m");
    WriteCombedClip(input);
    std::map<bool, std::vector<double>> combing;
    for (const bool deinterlace : {false, true}) {
        TOptionList options = {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}};
        if (deinterlace) {
            options.push_back({"deinterlace", ""});
        }
        const std::string output = Out(deinterlace ? "deinterlaced.avi" : "combed.avi");
        Convert({input}, {}, output, options);
        DecodeFrames(output, AVMEDIA_TYPE_VIDEO,
                     [&](const AVFrame* f) { combing[deinterlace].push_back(Combing(f)); });
    }
    ASSERT_EQ(combing[false].size(), std::size_t(CombFrames));
    ASSERT_EQ(combing[true].size(), std::size_t(CombFrames));
    for (int i = 0; i < CombFrames - 1; ++i) {
        SCOPED_TRACE(i);
        // Each frame of the source shows 16 columns where the two fields disagree.
        EXPECT_NEAR(combing[false][i], 16.0 * (235 - 16) / CombWidth, 1.0);
        EXPECT_LT(combing[true][i], combing[false][i] / 4);
    }
}

// The hook is given the deinterlaced pictures, so what it measures or paints is the picture
// that is encoded, without the comb of the two fields.
TEST_F(TranscodeStreamDetailsTest, DeinterlacingComesBeforeTheHook) {
    const std::string input = Out("combed.y4m");
    WriteCombedClip(input);
    TCustomTranscoder task;
    Configure(task, {input}, {}, Out("hooked.avi"),
              {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}, {"deinterlace", ""}});
    ASSERT_FALSE(HasFatalFailure());
    std::vector<double> seen;
    task.Callbacks().customHook = [&](TBitmap& bitmap, int, std::int64_t, bool&, bool&) {
        double sum = 0; // the green bytes of each even row against the odd row below
        for (int y = 0; y + 1 < bitmap.Height(); y += 2) {
            for (int x = 0; x < bitmap.Width(); ++x) {
                sum += std::abs(int(bitmap.ScanLine(y)[x * 3 + 1]) -
                                int(bitmap.ScanLine(y + 1)[x * 3 + 1]));
            }
        }
        seen.push_back(sum / (double(bitmap.Width()) * (bitmap.Height() / 2)));
    };
    task.Transcode();
    EXPECT_TRUE(task.Finished());
    ASSERT_EQ(seen.size(), std::size_t(CombFrames));
    for (int i = 0; i < CombFrames - 1; ++i) {
        SCOPED_TRACE(i);
        EXPECT_LT(seen[i], 16.0 * (235 - 16) / CombWidth / 4);
    }
}

} // namespace
} // namespace tessaro::test
