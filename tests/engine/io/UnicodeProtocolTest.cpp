#include "io/UnicodeProtocol.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"

#include <fstream>

#include <gtest/gtest.h>

using tessaro::test::FixtureDir;

using namespace tessaro;
using tessaro::test::TTempDir;
namespace fs = std::filesystem;

namespace {

constexpr int SampleRate = 8000;
constexpr int PacketBytes = 1600;
constexpr int PacketCount = 5;

std::uint8_t PatternByte(int packet, int offset) {
    return std::uint8_t(packet * 31 + offset * 7);
}

// Writes a short 16-bit mono WAV file through the engine's output opening.
int WriteWave(const std::string& libraryName) {
    CustomAVIOContextPtr io; // outlives the output context below
    AVFormatContext* allocated = nullptr;
    ff::avformat_alloc_output_context2(&allocated, nullptr, "wav", libraryName.c_str());
    AVOutputFormatContextPtr output(allocated);
    if (!output) {
        return AVERROR(ENOMEM);
    }
    AVStream* stream = ff::avformat_new_stream(output.get(), nullptr);
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    stream->codecpar->sample_rate = SampleRate;
    stream->codecpar->bits_per_coded_sample = 16;
    stream->codecpar->block_align = 2;
    ff::av_channel_layout_default(&stream->codecpar->ch_layout, 1);
    stream->time_base = {1, SampleRate};
    if (const int result = OpenOutputFile(output.get(), io, libraryName); result < 0) {
        return result;
    }
    if (const int result = ff::avformat_write_header(output.get(), nullptr); result < 0) {
        return result;
    }
    AVPacketPtr packet(ff::av_packet_alloc());
    for (int index = 0; index < PacketCount; ++index) {
        ff::av_new_packet(packet.get(), PacketBytes);
        for (int offset = 0; offset < PacketBytes; ++offset) {
            packet->data[offset] = PatternByte(index, offset);
        }
        packet->pts = packet->dts = std::int64_t(index) * PacketBytes / 2;
        packet->duration = PacketBytes / 2;
        if (const int result = ff::av_interleaved_write_frame(output.get(), packet.get());
            result < 0) {
            return result;
        }
    }
    return ff::av_write_trailer(output.get());
}

struct TReadBack {
    int result = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int sampleRate = 0;
    std::vector<std::uint8_t> data;
    std::string url;
};

TReadBack ReadBack(const std::string& libraryName) {
    TReadBack readBack;
    CustomAVIOContextPtr io;
    AVInputFormatContextPtr input;
    readBack.result = OpenInputFile(input, io, libraryName, nullptr, nullptr);
    if (readBack.result < 0) {
        return readBack;
    }
    {
        std::lock_guard lock(CodecLock());
        readBack.result = ff::avformat_find_stream_info(input.get(), nullptr);
    }
    readBack.codec = input->streams[0]->codecpar->codec_id;
    readBack.sampleRate = input->streams[0]->codecpar->sample_rate;
    readBack.url = input->url;
    AVPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(input.get(), packet.get()) >= 0) {
        readBack.data.insert(readBack.data.end(), packet->data, packet->data + packet->size);
        ff::av_packet_unref(packet.get());
    }
    return readBack;
}

class UnicodeProtocolTest : public tessaro::test::TConverterLibrariesTest {};

} // namespace

TEST(LibraryNames, NamesPassUnchangedAndTheUnicodeFormIsUndone) {
    for (const char* name :
         {"/videos/movie.avi", "/videos/clip_äöü_日本.mp4", "relative/ü.mkv",
          "http://example.org/a.mp4", "rtp://239.0.0.1:5004", "opendvd:/dev/sr0|1|1-3"}) {
        EXPECT_FALSE(NeedsUnicodeName(name)) << name;
        EXPECT_EQ(LibraryFileName(name), name);
        EXPECT_EQ(FromLibraryFileName(LibraryFileName(name)), name);
    }
    EXPECT_EQ(FromLibraryFileName("unicode:utf8:/videos/clip_äöü_日本.mp4"),
              "/videos/clip_äöü_日本.mp4");
    EXPECT_EQ(WideFromLibraryFileName("unicode:utf8:a"), "a");
    // Too short to carry a name: kept as it is.
    EXPECT_EQ(FromLibraryFileName("unicode:utf8:"), "unicode:utf8:");
}

TEST_F(UnicodeProtocolTest, LoadingAvformatRegistersTheProtocol) {
    EXPECT_TRUE(IsUnicodeProtocolRegistered());
}

TEST_F(UnicodeProtocolTest, UnicodeFormWritesTruncatingAndBothFormsReadTheSameFile) {
    TTempDir dir;
    const std::string path = (dir.Path() / "ausgabe_äöü_日本.wav").string();
    const std::string unicodeName = "unicode:utf8:" + path;
    std::ofstream(path, std::ios::binary) << std::string(100000, 'x');

    ASSERT_EQ(WriteWave(unicodeName), 0);
    EXPECT_LT(fs::file_size(path), 100000u);

    std::vector<std::uint8_t> expected;
    for (int index = 0; index < PacketCount; ++index) {
        for (int offset = 0; offset < PacketBytes; ++offset) {
            expected.push_back(PatternByte(index, offset));
        }
    }
    for (const std::string& name : {path, unicodeName}) {
        const TReadBack readBack = ReadBack(name);
        ASSERT_GE(readBack.result, 0) << name << ": " << ErrorText(readBack.result);
        EXPECT_EQ(readBack.codec, AV_CODEC_ID_PCM_S16LE);
        EXPECT_EQ(readBack.sampleRate, SampleRate);
        EXPECT_EQ(readBack.data, expected) << name;
        EXPECT_EQ(readBack.url, name);
    }
}

TEST_F(UnicodeProtocolTest, PlainNameWritesThroughTheLibrary) {
    TTempDir dir;
    const std::string path = (dir.Path() / "plain_ü.wav").string();
    std::ofstream(path, std::ios::binary) << std::string(100000, 'x');
    ASSERT_EQ(WriteWave(path), 0);
    EXPECT_LT(fs::file_size(path), 100000u);
    EXPECT_EQ(ReadBack(path).data.size(), std::size_t(PacketBytes * PacketCount));
}

TEST_F(UnicodeProtocolTest, NonAsciiClipOpensByBothNames) {
    const fs::path clip = fs::path(FixtureDir()) / "clip_äöü_日本.mp4";
    ASSERT_TRUE(fs::exists(clip)) << "fixture missing: " << clip << " (run scripts/make-fixtures)";
    const TReadBack plain = ReadBack(clip.string());
    const TReadBack unicode = ReadBack("unicode:utf8:" + clip.string());
    ASSERT_GE(plain.result, 0) << ErrorText(plain.result);
    ASSERT_GE(unicode.result, 0) << ErrorText(unicode.result);
    EXPECT_FALSE(plain.data.empty());
    EXPECT_EQ(plain.data, unicode.data);
    EXPECT_EQ(plain.codec, unicode.codec);
}

TEST_F(UnicodeProtocolTest, MissingInputReportsNoSuchFile) {
    TTempDir dir;
    const std::string path = (dir.Path() / "fehlt_ä.mp4").string();
    for (const std::string& name : {path, "unicode:utf8:" + path}) {
        CustomAVIOContextPtr io;
        AVInputFormatContextPtr input;
        const int result = OpenInputFile(input, io, name, nullptr, nullptr);
        EXPECT_EQ(ErrorText(FromLibraryFileName(name), result),
                  path + ": No such file or directory");
        EXPECT_EQ(input, nullptr);
    }
}

TEST(UnicodeProtocol, ReadWholeFileByLibraryNameAddsAZeroByte) {
    TTempDir dir;
    const std::string path = (dir.Path() / "stats_ä.log").string();
    std::ofstream(path, std::ios::binary) << "frame 1\nframe 2\n";
    for (const std::string& name : {path, "unicode:utf8:" + path}) {
        std::vector<char> buffer{'x'};
        ASSERT_EQ(ReadWholeFile(name, buffer), 0) << name;
        EXPECT_EQ(buffer.size(), 17u);
        EXPECT_STREQ(buffer.data(), "frame 1\nframe 2\n");
    }
    const std::string empty = (dir.Path() / "empty").string();
    std::ofstream(empty, std::ios::binary).flush();
    std::vector<char> buffer;
    ASSERT_EQ(ReadWholeFile(empty, buffer), 0);
    EXPECT_EQ(buffer, std::vector<char>{'\0'});
    EXPECT_EQ(ReadWholeFile((dir.Path() / "missing").string(), buffer), -1);
    EXPECT_EQ(ReadWholeFile(dir.Path().string(), buffer), AVERROR(EIO)) << "a folder";
}
