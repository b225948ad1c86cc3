#include "runtime/MediaUtils.h"

#include "base/EngineException.h"

#include <algorithm>

namespace tessaro {
namespace {

struct TErrorName {
    int code;
    const char* text;
};

// Codes of the same meaning share a text, so callers see the same message whichever
// layer of the libraries reported the failure.
constexpr TErrorName ErrorTexts[] = {
    {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg"},
    {AVERROR_PROTOCOL_NOT_FOUND, "Unsupported network protocol"},
    {AVERROR(EPROTONOSUPPORT), "Unsupported network protocol"},
    {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
    {AVERROR_MUXER_NOT_FOUND, "Unknown format"},
    {AVERROR(EILSEQ), "Unknown format"},
    {AVERROR(EDOM), "Number syntax expected in filename"},
    {AVERROR_EOF, "End of file"},
    {AVERROR(EPIPE), "End of file"},
    {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
    {AVERROR(EINVAL), "Invalid data found when processing input"},
    {AVERROR(ENOMEM), "Not enough memory"},
    {AVERROR(EIO), "I/O error"},
    {AVERROR(ENOENT), "No such file or directory"},
};

bool IsPrintableAscii(unsigned value) {
    return value >= 32 && value <= 126;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string CodecTagText(std::uint32_t tag) {
    const unsigned bytes[4] = {tag & 0xff, (tag >> 8) & 0xff, (tag >> 16) & 0xff, tag >> 24};
    for (unsigned byte : bytes) {
        if (!IsPrintableAscii(byte)) {
            return FormatText("0x%04x", tag);
        }
    }
    return FormatText("%c%c%c%c / 0x%04X", bytes[0], bytes[1], bytes[2], bytes[3], tag);
}

} // namespace

std::string ErrorText(int code) {
    for (const TErrorName& error : ErrorTexts) {
        if (error.code == code) {
            return error.text;
        }
    }
    return FormatText("Error number %d occurred", code);
}

std::string ErrorText(const std::string& prefix, int code) {
    return prefix + ": " + ErrorText(code);
}

std::string MediaTypeName(int mediaType) {
    switch (mediaType) {
    case AVMEDIA_TYPE_VIDEO:
        return "Video";
    case AVMEDIA_TYPE_AUDIO:
        return "Audio";
    case AVMEDIA_TYPE_DATA:
        return "Data";
    case AVMEDIA_TYPE_SUBTITLE:
        return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT:
        return "Attachment";
    default:
        return "Unknown";
    }
}

std::string CodecNameText(const AVCodecParameters* codecParameters, bool encoder) {
    const AVCodecParameters& parameters = *codecParameters;
    const AVCodec* codec = encoder ? ff::avcodec_find_encoder(parameters.codec_id)
                                   : ff::avcodec_find_decoder(parameters.codec_id);
    if (codec != nullptr) {
        const std::string longName = Trimmed(codec->long_name ? codec->long_name : "");
        return longName.empty() ? std::string(codec->name)
                                : FormatText("%s(%s)", codec->name, longName.c_str());
    }
    if (parameters.codec_id == AV_CODEC_ID_MPEG2TS) {
        return "mpeg2ts";
    }
    // The library's own name for a codec id it knows but cannot decode or encode.
    if (parameters.codec_id != AV_CODEC_ID_NONE) {
        if (const AVCodecDescriptor* descriptor = ff::avcodec_descriptor_get(parameters.codec_id)) {
            return Trimmed(std::string(descriptor->name).substr(0, 32));
        }
    }
    return CodecTagText(parameters.codec_tag);
}

std::string MetadataValue(const AVDictionary* metadata, const std::string& key,
                          const std::string& defaultValue) {
    const AVDictionaryEntry* entry =
        ff::av_dict_get(metadata, key.c_str(), nullptr, AV_DICT_MATCH_CASE);
    return entry != nullptr && entry->value != nullptr ? entry->value : defaultValue;
}

void RgbToYuv(std::uint32_t argb, std::uint8_t yuv[3]) {
    const int r = (argb >> 16) & 0xFF;
    const int g = (argb >> 8) & 0xFF;
    const int b = argb & 0xFF;
    yuv[0] = std::uint8_t(std::clamp((66 * r + 129 * g + 25 * b + 128) / 256 + 16, 0, 255));
    yuv[1] = std::uint8_t(std::clamp((-38 * r - 74 * g + 112 * b + 128) / 256 + 128, 0, 255));
    yuv[2] = std::uint8_t(std::clamp((112 * r - 94 * g - 18 * b + 128) / 256 + 128, 0, 255));
}

} // namespace tessaro
