#include "base/MediaUtils.h"
#include "EngineTestSupport.h"
#include "base/EngineUtils.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"

#include <fstream>

#include <gtest/gtest.h>

using namespace tessaro;
using tessaro::test::TTempDir;

TEST(EngineUtils, FormatFileSizeSteps) {
    const struct {
        std::int64_t size;
        const char* text;
    } table[] = {{0, "0 Byte"},           {1024, "1024 Byte"},
                 {1025, "1.00 KB"},       {1048576, "1024.00 KB"},
                 {1048577, "1.00 MB"},    {1073741824, "1024.00 MB"},
                 {1610612736, "1.50 GB"}, {std::int64_t(5) << 40, "5120.00 GB"},
                 {-5, "-5 Byte"}};
    for (const auto& row : table) {
        EXPECT_EQ(FormatFileSize(row.size), row.text) << row.size;
    }
}

TEST(EngineUtils, SplitFirstTakesTheHeadAndOptionallyTheSeparator) {
    const struct {
        const char* text;
        const char* separator;
        bool remove;
        const char* head;
        const char* rest;
    } table[] = {
        {"a=b=c", "=", true, "a", "b=c"},     {"a=b=c", "=", false, "a", "a=b=c"},
        {"abc", "=", true, "abc", ""},        {"abc", "=", false, "abc", "abc"},
        {"=x", "=", true, "", "x"},           {"x=", "=", true, "x", ""},
        {"a, b, c", ", ", true, "a", "b, c"}, {"abc", "", true, "abc", ""},
    };
    for (const auto& row : table) {
        std::string text = row.text;
        EXPECT_EQ(SplitFirst(text, row.separator, row.remove), row.head) << row.text;
        EXPECT_EQ(text, row.rest) << row.text;
    }
}

TEST(MediaUtils, TimeTextFormsHoursMinutesSecondsMilliseconds) {
    const struct {
        std::int64_t microseconds;
        const char* text;
    } table[] = {{3723004000, "01:02:03.004"}, {AV_NOPTS_VALUE, "N/A"},
                 {0, "00:00:00.000"},          {999, "00:00:00.000"},
                 {59999999, "00:00:59.999"},   {360000000000, "100:00:00.000"},
                 {-1500000, "-00:00:01.500"}};
    for (const auto& row : table) {
        EXPECT_EQ(TimeText(row.microseconds), row.text) << row.microseconds;
    }
}

TEST(MediaUtils, ErrorTextNamesTheLibrariesCodes) {
    const struct {
        int code;
        const char* text;
    } table[] = {
        {AVERROR(ENOENT), "No such file or directory"},
        {AVERROR_EOF, "End of file"},
        {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
        {AVERROR(EINVAL), "Invalid data found when processing input"},
        {AVERROR(ENOMEM), "Not enough memory"},
        {AVERROR(EIO), "I/O error"},
        {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg"},
        {AVERROR_PROTOCOL_NOT_FOUND, "Unsupported network protocol"},
        {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
        {AVERROR_MUXER_NOT_FOUND, "Unknown format"},
        {AVERROR(EILSEQ), "Unknown format"},
        {AVERROR(EDOM), "Number syntax expected in filename"},
        {AVERROR(EACCES), "Error number -13 occurred"},
        {AVERROR_DECODER_NOT_FOUND, "Error number -1128613112 occurred"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(ErrorText(row.code), row.text) << row.code;
    }
    EXPECT_EQ(ErrorText("/videos/movie.avi", AVERROR(ENOENT)),
              "/videos/movie.avi: No such file or directory");
}

TEST(MediaUtils, MediaTypeNames) {
    const char* names[] = {"Unknown",  "Video",      "Audio",  "Data",
                           "Subtitle", "Attachment", "Unknown"};
    for (int type = -1; type <= 5; ++type) {
        EXPECT_EQ(MediaTypeName(type), names[type + 1]) << type;
    }
}

TEST(MediaUtils, ReadWholeFileAddsAZeroByte) {
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
}

class MediaUtilsLibraryTest : public tessaro::test::TConverterLibrariesTest {};

TEST_F(MediaUtilsLibraryTest, CodecNameTextFromCodecIdOrTag) {
    AVCodecParametersPtr parameters(ff::avcodec_parameters_alloc());
    const struct {
        AVCodecID id;
        std::uint32_t tag;
        bool encoder;
        const char* text;
    } table[] = {
        {AV_CODEC_ID_H264, 0, false, "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"},
        {AV_CODEC_ID_PCM_S16LE, 0, true, "pcm_s16le(PCM signed 16-bit little-endian)"},
        {AV_CODEC_ID_MPEG2TS, 0, false, "mpeg2ts"},
        {AV_CODEC_ID_TTF, 0, false, "ttf"},
        {AV_CODEC_ID_NONE, MKTAG('X', 'V', 'I', 'D'), false, "XVID / 0x44495658"},
        {AV_CODEC_ID_NONE, 0x0001, false, "0x0001"},
    };
    for (const auto& row : table) {
        parameters->codec_id = row.id;
        parameters->codec_tag = row.tag;
        EXPECT_EQ(CodecNameText(parameters.get(), row.encoder), row.text);
    }
}

TEST_F(MediaUtilsLibraryTest, MetadataValueMatchesKeysExactly) {
    AVDictionaryHolder metadata;
    ff::av_dict_set(metadata.Get(), "title", "Main feature", 0);
    EXPECT_EQ(MetadataValue(metadata.Value(), "title", "none"), "Main feature");
    EXPECT_EQ(MetadataValue(metadata.Value(), "Title", "none"), "none");
    EXPECT_EQ(MetadataValue(metadata.Value(), "tit", "none"), "none");
    EXPECT_EQ(MetadataValue(nullptr, "title"), "");
}
