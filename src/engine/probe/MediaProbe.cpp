#include "probe/MediaProbe.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/TextHelpers.h"
#include "base/TimeTexts.h"
#include "io/MediaInput.h"
#include "io/UnicodeProtocol.h"
#include "probe/DisplayRotation.h"
#include "runtime/Bindings.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <vector>

namespace tessaro {
namespace {

constexpr int NonBlockingFlag = 4; // AVFMT_FLAG_NONBLOCK
constexpr int ShowIdsFlag = 8;     // AVFMT_SHOW_IDS

struct TKeyName {
    const char* key;
    const char* name;
};

// ID3 frame keys and their plain names; the first exact match wins.
constexpr TKeyName MetadataKeyTable[] = {
    {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},   {"TCON", "genre"},
    {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},       {"TENC", "encoder"},
    {"TEN", "encoder"},    {"TSOA", "albumsort"}, {"TSOP", "authorsort"}, {"TIT2", "title"},
    {"TT2", "title"},      {"TLAN", "language"},  {"TPE1", "artist"},     {"TP1", "artist"},
    {"TPOS", "disc"},      {"TPUB", "publisher"}, {"TRCK", "track"},      {"TRK", "track"},
    {"TSOT", "titlesort"}, {"TYER", "year"},
};

std::string TagValue(const AVDictionary* metadata, const char* key) {
    return metadata != nullptr ? MetadataValue(metadata, key) : std::string();
}

int TagNumber(const AVDictionary* metadata, const char* key) {
    const std::string value = TagValue(metadata, key);
    return value.empty() ? 0 : std::atoi(value.c_str());
}

// Seconds since 1970 of the container's "creation_time" tag (0 when absent or unreadable).
std::int64_t CreationTime(const AVDictionary* metadata) {
    const std::string value = TagValue(metadata, "creation_time");
    std::int64_t microseconds = 0;
    if (value.empty() || ff::av_parse_time(&microseconds, value.c_str(), 0) < 0) {
        return 0;
    }
    return microseconds / 1000000;
}

// "yyyy-mm-dd hh:nn:ss" of a UTC time shifted by the standard (not daylight) zone bias.
std::string LocalStandardTimeText(std::int64_t seconds) {
    tzset();
    const std::time_t local = std::time_t(seconds - timezone);
    std::tm parts{};
    gmtime_r(&local, &parts);
    return FormatText("%.4d-%.2d-%.2d %.2d:%.2d:%.2d", parts.tm_year + 1900, parts.tm_mon + 1,
                      parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

bool IsRegularFile(const std::string& path, std::int64_t& size) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    size = info.st_size;
    return true;
}

// A stream's time base with a zero denominator is repaired in place (it is later
// used as a divisor by everyone who reads the stream).
void RepairTimeBase(AVStream* stream) {
    if (stream->time_base.den == 0) {
        stream->time_base.den = stream->time_base.num != 0 ? stream->time_base.num : 1;
    }
}

std::int64_t ToMicroseconds(std::int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE) {
        return -1;
    }
    return ff::av_rescale_q(value, timeBase, AVRational{1, 1000000});
}

void AppendLine(std::string& text, const std::string& line) {
    text += line;
    text += "\r\n";
}

} // namespace

std::string MetadataKeyName(const std::string& key) {
    for (const TKeyName& entry : MetadataKeyTable) {
        if (key == entry.key) {
            return entry.name;
        }
    }
    return key;
}

std::string MetadataBlockText(const AVDictionary* metadata, const std::string& indent) {
    if (metadata == nullptr || ff::av_dict_count(metadata) == 0) {
        return {};
    }
    const AVDictionaryEntry* only = ff::av_dict_get(metadata, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    if (ff::av_dict_count(metadata) == 1 && std::string(only->key) == "language") {
        return {};
    }
    std::string text;
    AppendLine(text, indent + "Metadata:");
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = ff::av_dict_get(metadata, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        if (std::string(tag->key) == "language") {
            continue;
        }
        AppendLine(text, FormatText("%s  %-16s: %s", indent.c_str(),
                                    MetadataKeyName(tag->key).c_str(), tag->value));
    }
    return text;
}

std::string RateText(double value, const char* suffix) {
    const long long hundredths = std::llround(value * 100);
    if (hundredths % 100 != 0) {
        return FormatText(", %3.2f %s", value, suffix);
    }
    if (hundredths % 100000 != 0) {
        return FormatText(", %1.0f %s", value, suffix);
    }
    return FormatText(", %1.0fk %s", value / 1000, suffix);
}

// A file the probe opened itself: io (set for "unicode:" names) outlives the context.
struct TCustomMediaProbe::TOwnedInput {
    CustomAVIOContextPtr io;
    AVInputFormatContextPtr context;
};

TCustomMediaProbe::TCustomMediaProbe() = default;

TCustomMediaProbe::~TCustomMediaProbe() {
    // Only the base part is left here; it must still close an owned context.
    TCustomMediaProbe::CloseFile();
}

void TCustomMediaProbe::ReportError(int libraryLevel, const std::string& Text) {
    const int level = std::clamp(libraryLevel / 8 + 1, 0, 7);
    TEngineLogger::GetLogger().Log(this, level, Text);
    lastError_ = Text;
}

void TCustomMediaProbe::CheckLibraries() const {
    const TLibraryLoader& loader = TLibraryLoader::Instance();
    if (!loader.IsLibLoaded(TLibraryKind::libAVCodec)) {
        throw EngineException("LibAVCodec not loaded.");
    }
    if (!loader.IsLibLoaded(TLibraryKind::libAVFormat)) {
        throw EngineException("LibAVFormat not loaded.");
    }
    if (!loader.IsLibLoaded(TLibraryKind::libAVUtil)) {
        throw EngineException("LibAVUtil not loaded.");
    }
    if (!loader.IsLibLoaded(TLibraryKind::libSwScale)) {
        throw EngineException("LibSwScale not loaded.");
    }
}

bool TCustomMediaProbe::LoadFile(const std::string& FileName, const std::string& FormatName) {
    CheckLibraries();
    CloseFile();
    const AVInputFormat* format = nullptr;
    if (!FormatName.empty()) {
        format = ff::av_find_input_format(FormatName.c_str());
        if (format == nullptr) {
            lastError_ = FormatText("Unknown input format: %s", FormatName.c_str());
            return false;
        }
    }
    int opened;
    try {
        ownedInput_ = std::make_unique<TOwnedInput>();
        opened = OpenMediaInput(ownedInput_->context, ownedInput_->io, FileName, format, nullptr);
    } catch (const EngineException& e) {
        ReportError(AV_LOG_ERROR, e.what());
        CloseFile();
        return false;
    }
    if (opened < 0) {
        ReportError(AV_LOG_ERROR, ErrorText(FileName, opened));
        CloseFile();
        return false;
    }
    context_ = ownedInput_->context.get();
    context_->flags |= NonBlockingFlag;
    ownsContext_ = true;
    int found;
    {
        std::lock_guard lock(CodecLock());
        found = ff::avformat_find_stream_info(context_, nullptr);
    }
    if (found < 0) {
        lastError_ = FormatText("%s: could not find codec parameters", FileName.c_str());
        CloseFile();
        return false;
    }
    RefreshInfo();
    forcedFormat_ = FormatName;
    return true;
}

void TCustomMediaProbe::AttachContext(AVFormatContext* Context) {
    CheckLibraries();
    CloseFile();
    ownsContext_ = false;
    context_ = Context;
    RefreshInfo();
}

void TCustomMediaProbe::CloseFile() {
    forcedFormat_.clear();
    ownedInput_.reset();
    context_ = nullptr;
    ownsContext_ = false;
    RefreshInfo();
}

std::int64_t TCustomMediaProbe::ContextFileSize() const {
    if (context_->pb == nullptr ||
        (context_->iformat != nullptr && (context_->iformat->flags & AVFMT_NOFILE) != 0)) {
        return -1;
    }
    return ff::avio_size(context_->pb);
}

void TCustomMediaProbe::RefreshInfo() {
    fileSize_ = streamCount_ = programCount_ = -1;
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
    if (context_ == nullptr) {
        return;
    }
    fileSize_ = ContextFileSize();
    if (fileSize_ <= 0 && context_->url != nullptr) {
        std::int64_t size = -1;
        if (IsRegularFile(FromLibraryFileName(context_->url), size)) {
            fileSize_ = size;
        }
    }
    streamCount_ = int(context_->nb_streams);
    programCount_ = int(context_->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int i = 0; i < streamCount_; ++i) {
        switch (context_->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ++videoStreamCount_;
            firstVideoStream_ = firstVideoStream_ < 0 ? i : firstVideoStream_;
            break;
        case AVMEDIA_TYPE_AUDIO:
            ++audioStreamCount_;
            firstAudioStream_ = firstAudioStream_ < 0 ? i : firstAudioStream_;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ++subtitleStreamCount_;
            firstSubtitleStream_ = firstSubtitleStream_ < 0 ? i : firstSubtitleStream_;
            break;
        default:
            break;
        }
    }
}

bool TCustomMediaProbe::CheckLoaded() {
    if (context_ == nullptr) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return false;
    }
    return true;
}

void TCustomMediaProbe::GetFileStreamInfo(TFileStreamInfo& Info) {
    Info = TFileStreamInfo{};
    if (!CheckLoaded()) {
        return;
    }
    const AVDictionary* metadata = context_->metadata;
    Info.StartTime = context_->start_time == AV_NOPTS_VALUE ? -1 : context_->start_time;
    Info.Duration = context_->duration == AV_NOPTS_VALUE ? -1 : context_->duration;
    Info.BitRate = std::int32_t(std::min<std::int64_t>(context_->bit_rate, INT32_MAX));
    Info.Timestamp = CreationTime(metadata);
    Info.Year = TagNumber(metadata, "date");
    if (Info.Year == 0) {
        Info.Year = TagNumber(metadata, "year");
    }
    Info.Track = TagNumber(metadata, "track");
    Info.Title = TagValue(metadata, "title");
    // Today's demuxers name the author "artist"; "author" is kept where a file has it.
    Info.Author = TagValue(metadata, "author");
    if (Info.Author.empty()) {
        Info.Author = TagValue(metadata, "artist");
    }
    Info.Copyright = TagValue(metadata, "copyright");
    Info.Comment = TagValue(metadata, "comment");
    Info.Album = TagValue(metadata, "album");
    Info.Genre = TagValue(metadata, "genre");
}

int TCustomMediaProbe::ResolveStream(int StreamIndex, int mediaType, const char* kindName) {
    if (!CheckLoaded()) {
        return -1;
    }
    if (StreamIndex < 0) {
        StreamIndex = mediaType == AVMEDIA_TYPE_AUDIO ? firstAudioStream_ : firstVideoStream_;
        if (StreamIndex < 0) {
            ReportError(AV_LOG_ERROR, FormatText("no %s stream.", kindName));
            return -1;
        }
    }
    if (StreamIndex >= streamCount_) {
        ReportError(AV_LOG_ERROR, FormatText("stream index #%d is invalid.", StreamIndex));
        return -1;
    }
    if (context_->streams[StreamIndex]->codecpar->codec_type != mediaType) {
        ReportError(AV_LOG_ERROR,
                    FormatText("stream #%d is not %s stream.", StreamIndex, kindName));
        return -1;
    }
    return StreamIndex;
}

template <typename TInfo>
AVStream* TCustomMediaProbe::BeginStreamInfo(int StreamIndex, int mediaType, const char* kindName,
                                             TInfo& Info) {
    Info = TInfo{};
    const int index = ResolveStream(StreamIndex, mediaType, kindName);
    if (index < 0) {
        return nullptr;
    }
    AVStream* stream = context_->streams[index];
    Info.Language = TagValue(stream->metadata, "language");
    Info.CodecName = CodecNameText(stream->codecpar);
    Info.StartTime = stream->start_time;
    Info.Duration = stream->duration;
    RepairTimeBase(stream);
    Info.StartTimeUs = ToMicroseconds(Info.StartTime, stream->time_base);
    Info.DurationUs = ToMicroseconds(Info.Duration, stream->time_base);
    return stream;
}

void TCustomMediaProbe::GetAudioStreamInfo(int StreamIndex, TAudioStreamInfo& Info) {
    const AVStream* stream = BeginStreamInfo(StreamIndex, AVMEDIA_TYPE_AUDIO, "audio", Info);
    if (stream == nullptr) {
        return;
    }
    const AVCodecParameters* parameters = stream->codecpar;
    Info.BitRate = std::int32_t(parameters->bit_rate);
    Info.Channels = parameters->ch_layout.nb_channels;
    Info.SampleRate = parameters->sample_rate;
    Info.SampleFormat = parameters->format;
}

void TCustomMediaProbe::GetVideoStreamInfo(int StreamIndex, TVideoStreamInfo& Info) {
    const AVStream* stream = BeginStreamInfo(StreamIndex, AVMEDIA_TYPE_VIDEO, "video", Info);
    if (stream == nullptr) {
        return;
    }
    const AVCodecParameters* parameters = stream->codecpar;
    Info.BitRate = std::int32_t(parameters->bit_rate);
    Info.Height = parameters->height;
    Info.Width = parameters->width;
    // A picture without a height has no shape to speak of: report 0 rather than infinity.
    Info.AspectRatio = parameters->height > 0 ? float(av_q2d(parameters->sample_aspect_ratio) *
                                                      parameters->width / parameters->height)
                                              : 0.0f;
    Info.PixelFormat = parameters->format;
    Info.FrameRateNum = stream->r_frame_rate.num;
    Info.FrameRateDen = stream->r_frame_rate.den;
    Info.Rotation = StreamRotation(stream);
}

bool TCustomMediaProbe::IsStreamOfType(int StreamIndex, int mediaType) {
    if (!CheckLoaded()) {
        return false;
    }
    if (StreamIndex < 0 || StreamIndex >= streamCount_) {
        ReportError(AV_LOG_ERROR, FormatText("stream index #%d is invalid.", StreamIndex));
        return false;
    }
    return context_->streams[StreamIndex]->codecpar->codec_type == mediaType;
}

bool TCustomMediaProbe::IsAudioStream(int StreamIndex) {
    return IsStreamOfType(StreamIndex, AVMEDIA_TYPE_AUDIO);
}

bool TCustomMediaProbe::IsVideoStream(int StreamIndex) {
    return IsStreamOfType(StreamIndex, AVMEDIA_TYPE_VIDEO);
}

std::string TCustomMediaProbe::GetFileName() {
    if (!CheckLoaded()) {
        return {};
    }
    return context_->url != nullptr ? FromLibraryFileName(context_->url) : std::string();
}

std::string TCustomMediaProbe::GetFormatName() {
    if (!CheckLoaded()) {
        return {};
    }
    return context_->iformat != nullptr ? context_->iformat->name : std::string();
}

std::string TCustomMediaProbe::StreamLine(AVStream* stream) const {
    std::string line = FormatText("Stream #%d", stream->index);
    if (context_->iformat != nullptr && (context_->iformat->flags & ShowIdsFlag) != 0) {
        line += FormatText("[0x%x]", stream->id);
    }
    const std::string language = TagValue(stream->metadata, "language");
    if (!language.empty()) {
        line += FormatText("(%s)", language.c_str());
    }
    RepairTimeBase(stream);
    int divisor = int(ff::av_gcd(stream->time_base.num, stream->time_base.den));
    divisor = divisor == 0 ? 1 : divisor;
    line += FormatText(", %d/%d", stream->time_base.num / divisor, stream->time_base.den / divisor);

    const AVCodecParameters* parameters = stream->codecpar;
    AVCodecContextPtr decoder(ff::avcodec_alloc_context3(nullptr));
    char description[256] = "";
    if (decoder && ff::avcodec_parameters_to_context(decoder.get(), parameters) >= 0) {
        ff::avcodec_string(description, sizeof description, decoder.get(), 0);
    }
    line += ": ";
    line += description;

    const AVRational sar = stream->sample_aspect_ratio;
    if (sar.num != 0 && av_cmp_q(sar, parameters->sample_aspect_ratio) != 0) {
        int darNum = 0;
        int darDen = 0;
        ff::av_reduce(&darNum, &darDen, std::int64_t(parameters->width) * sar.num,
                      std::int64_t(parameters->height) * sar.den, 1024 * 1024);
        line += FormatText(", PAR %d:%d DAR %d:%d", sar.num, sar.den, darNum, darDen);
    }
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
        const auto appendRate = [&line](AVRational rate, const char* suffix) {
            if (rate.num != 0 && rate.den != 0) {
                line += RateText(av_q2d(rate), suffix);
            }
        };
        appendRate(stream->avg_frame_rate, "fps");
        appendRate(stream->r_frame_rate, "tbr");
        appendRate(av_inv_q(stream->time_base), "tbn");
        // Decoders no longer publish their time base; a zero one is left out like any other.
        if (decoder) {
            appendRate(av_inv_q(decoder->time_base), "tbc");
        }
    }
    if (stream->start_time != AV_NOPTS_VALUE) {
        line +=
            ", StartTime: " + SecondsText(ToMicroseconds(stream->start_time, stream->time_base));
    }
    if (stream->duration == AV_NOPTS_VALUE) {
        line += ", Duration: N/A";
    } else {
        line += ", Duration: " + TimeText(ToMicroseconds(stream->duration, stream->time_base));
    }
    return line;
}

std::string TCustomMediaProbe::GetFileInfoText() {
    if (!CheckLoaded()) {
        return {};
    }
    std::string text;
    AppendLine(text, "File Name: " + GetFileName());
    AppendLine(text, "Format Name: " + GetFormatName());
    AppendLine(text, FormatText("Format Long Name: %s",
                                context_->iformat != nullptr && context_->iformat->long_name
                                    ? context_->iformat->long_name
                                    : ""));
    AppendLine(text, "File Size: " + FormatFileSize(fileSize_));

    TFileStreamInfo info;
    GetFileStreamInfo(info);
    AppendLine(text, info.Duration < 0 ? std::string("Duration: N/A")
                                       : "Duration: " + TimeText(info.Duration));
    if (info.StartTime >= 0) {
        AppendLine(text, "StartTime: " + SecondsText(info.StartTime));
    }
    AppendLine(text, info.BitRate < 1 ? std::string("Bit Rate: N/A")
                                      : FormatText("Bit Rate: %d kb/s", info.BitRate / 1000));
    if (info.Timestamp > 0) {
        AppendLine(text, "Time Stamp: " + LocalStandardTimeText(info.Timestamp));
    }
    text += MetadataBlockText(context_->metadata, "");

    std::vector<bool> shown(context_->nb_streams, false);
    const auto appendStream = [&](unsigned index) {
        AVStream* stream = context_->streams[index];
        AppendLine(text, StreamLine(stream));
        text += MetadataBlockText(stream->metadata, "");
        shown[index] = true;
    };
    for (unsigned p = 0; p < context_->nb_programs; ++p) {
        const AVProgram* program = context_->programs[p];
        // Transport streams name these tags "service_provider" and "service_name" today.
        std::string provider = TagValue(program->metadata, "provider_name");
        if (provider.empty()) {
            provider = TagValue(program->metadata, "service_provider");
        }
        std::string name = TagValue(program->metadata, "name");
        if (name.empty()) {
            name = TagValue(program->metadata, "service_name");
        }
        AppendLine(text, FormatText("Program %d %s@%s", program->id,
                                    provider.empty() ? "N/A" : provider.c_str(),
                                    name.empty() ? "N/A" : name.c_str()));
        text += MetadataBlockText(program->metadata, "  ");
        for (unsigned s = 0; s < program->nb_stream_indexes; ++s) {
            if (program->stream_index[s] < context_->nb_streams) {
                appendStream(program->stream_index[s]);
            }
        }
    }
    for (unsigned index = 0; index < context_->nb_streams; ++index) {
        if (!shown[index]) {
            appendStream(index);
        }
    }
    return text;
}

TMediaProbe::~TMediaProbe() {
    TMediaProbe::CloseFile();
}

void TMediaProbe::RefreshInfo() {
    TCustomMediaProbe::RefreshInfo();
}

void TMediaProbe::CloseFile() {
    TCustomMediaProbe::CloseFile();
}

} // namespace tessaro
