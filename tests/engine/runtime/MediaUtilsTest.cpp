#include "runtime/MediaUtils.h"
#include "EngineTestSupport.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"

#include <gtest/gtest.h>

using namespace tessaro;

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
