#include "transcoder/pipeline/OutputSet.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "io/UnicodeProtocol.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"
#include "transcoder/options/CodecLookup.h"
#include "transcoder/pipeline/EncoderSettings.h"
#include "transcoder/pipeline/InputSet.h"

#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace tessaro {

AVFormatContext* TOutputSet::Context(int index) const {
    return index >= 0 && index < Count() ? slots_[std::size_t(index)]->context.get() : nullptr;
}

int TOutputSet::Add(const std::string& fileName, bool join, std::int64_t& totalDuration,
                    std::string& errorText) {
    TTranscoderOptions& o = options_;
    if (joinMode_) {
        errorText = "Cannot join more than one output file.";
        return -1;
    }
    auto output = std::make_unique<TOutputFile>();
    output->fileName = fileName;
    output->filtered = !o.videoFilters.empty();
    output->context.reset(CreateContext(fileName, errorText));
    if (!output->context) {
        return -1;
    }
    try {
        DecideStreams(*output, join);
        SetMetadata(output->context.get());
        OpenIo(*output);
    } catch (const EngineException& e) {
        errorText = e.what();
        return -1;
    }
    SetMuxing(*output);

    TOutputFile* file = output.get();
    files_.push_back(std::move(output));
    slots_.push_back(file);
    if (join && inputs_.Count() > 1) {
        EnterJoinMode(file, totalDuration);
    }
    return Count();
}

// The output format: the forced one, else the one the file name suggests.
AVFormatContext* TOutputSet::CreateContext(const std::string& fileName, std::string& errorText) {
    TTranscoderOptions& o = options_;
    const std::string libraryName = LibraryFileName(fileName);
    AVFormatContext* ctx = nullptr;
    if (!o.forcedFormat.empty()) {
        const std::string forced = o.forcedFormat;
        o.forcedFormat.clear();
        if (ff::av_guess_format(forced.c_str(), nullptr, nullptr) == nullptr) {
            errorText = FormatText("Requested output format '%s' is not a suitable output format",
                                   forced.c_str());
            return nullptr;
        }
        ff::avformat_alloc_output_context2(&ctx, nullptr, forced.c_str(), libraryName.c_str());
    } else {
        // Guess by the real name: the "unicode:" prefix would hide the extension.
        const AVOutputFormat* guessed = ff::av_guess_format(nullptr, fileName.c_str(), nullptr);
        if (guessed == nullptr) {
            errorText =
                FormatText("Unable to find a suitable output format for '%s'", fileName.c_str());
            return nullptr;
        }
        ff::avformat_alloc_output_context2(&ctx, guessed, nullptr, libraryName.c_str());
    }
    if (ctx == nullptr) {
        errorText = "avformat_alloc_context failed";
    }
    return ctx;
}

void TOutputSet::SetMetadata(AVFormatContext* ctx) {
    TTranscoderOptions& o = options_;
    if (o.recordingTimestamp != 0) {
        char text[64];
        const std::time_t t = std::time_t(o.recordingTimestamp);
        std::tm tm{};
        gmtime_r(&t, &tm);
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &tm);
        ff::av_dict_set(&ctx->metadata, "creation_time", text, 0);
    }
    for (auto it = o.metadata.rbegin(); it != o.metadata.rend(); ++it) {
        ff::av_dict_set(&ctx->metadata, it->first.c_str(), it->second.c_str(), 0);
    }
    o.metadata.clear();
}

void TOutputSet::SetMuxing(TOutputFile& output) {
    TTranscoderOptions& o = options_;
    AVFormatContext* ctx = output.context.get();
    ctx->max_delay = int(o.muxMaxDelay * 1000000);
    ff::av_dict_set_int(output.muxerOptions.Get(), "preload", std::int64_t(o.muxPreload * 1000000),
                        0);
    if (o.loopOutput >= 0) {
        ff::av_dict_set_int(output.muxerOptions.Get(), "loop", o.loopOutput, 0);
    }
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    o.libraryOptions.ApplyTo(ctx, AV_OPT_FLAG_ENCODING_PARAM, AVMEDIA_TYPE_UNKNOWN, nullptr,
                             output.muxerOptions.Get());
    o.streamIdMap.fill(0);
}

// The one file takes an entry per input; the total duration is the sum of the inputs'.
void TOutputSet::EnterJoinMode(TOutputFile* file, std::int64_t& totalDuration) {
    joinMode_ = true;
    std::int64_t total = 0;
    for (int i = 0; i < inputs_.Count(); ++i) {
        const std::int64_t duration = inputs_.Context(i)->duration;
        if (duration != AV_NOPTS_VALUE && duration > 0) {
            total += duration;
        }
    }
    totalDuration = total == 0 ? -1 : total;
    while (Count() < inputs_.Count()) {
        slots_.push_back(file);
    }
}

bool TOutputSet::DefaultSubtitleEncoderFits(const TOutputFile& output) const {
    // Pictures cannot become text nor text pictures: a format's default subtitle encoder is
    // used only when some input subtitle is of its kind.
    const AVCodecID id = ff::av_guess_codec(
        output.context->oformat, nullptr, output.fileName.c_str(), nullptr, AVMEDIA_TYPE_SUBTITLE);
    const AVCodecDescriptor* encoded = ff::avcodec_descriptor_get(id);
    if (encoded == nullptr) {
        return false;
    }
    const int kinds = AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB;
    for (int i = 0; i < inputs_.Count(); ++i) {
        const AVFormatContext* ctx = inputs_.Context(i);
        for (unsigned s = 0; s < ctx->nb_streams; ++s) {
            const AVCodecParameters* par = ctx->streams[s]->codecpar;
            const AVCodecDescriptor* source = ff::avcodec_descriptor_get(par->codec_id);
            if (par->codec_type == AVMEDIA_TYPE_SUBTITLE && source != nullptr &&
                (source->props & encoded->props & kinds) != 0) {
                return true;
            }
        }
    }
    return false;
}

void TOutputSet::DecideStreams(TOutputFile& output, bool join) {
    TTranscoderOptions& o = options_;
    const AVOutputFormat* format = output.context->oformat;
    bool useVideo =
        o.videoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !o.videoCodecName.empty();
    bool useAudio =
        o.audioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !o.audioCodecName.empty();
    bool useSubtitle = o.subtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                       !o.subtitleCodecName.empty();
    if (inputs_.Count() > 0) {
        try {
            const TInputStreamKinds kinds = inputs_.Kinds(join);
            useVideo = useVideo && kinds.hasVideo;
            useAudio = useAudio && kinds.hasAudio;
            useSubtitle = useSubtitle && kinds.hasSubtitle;
        } catch (const EngineException& e) {
            throw EngineException(FormatText("check_audio_video_sub_inputs fail: %s", e.what()));
        }
    }
    if (useSubtitle && !o.subtitleStreamCopy && o.subtitleCodecName.empty()) {
        useSubtitle = DefaultSubtitleEncoderFits(output);
    }
    useAudio = useAudio && !o.audioDisable;
    useVideo = useVideo && !o.videoDisable;
    const auto guarded = [&](const char* what, auto&& body) {
        try {
            body();
        } catch (const EngineException& e) {
            throw EngineException(FormatText("%s fail: %s", what, e.what()));
        }
    };
    if (useVideo) {
        guarded("new_video_stream", [&] { NewVideoStream(output); });
    }
    if (useAudio) {
        guarded("new_audio_stream", [&] { NewAudioStream(output); });
    }
    if (useSubtitle && !o.subtitleDisable) {
        guarded("new_subtitle_stream", [&] { NewSubtitleStream(output); });
    }
}

void TOutputSet::OpenIo(TOutputFile& output) {
    AVFormatContext* ctx = output.context.get();
    const AVOutputFormat* format = ctx->oformat;
    // The image sequence muxer numbers its files but no longer says so in its flags.
    const bool numbered =
        (format->flags & AVFMT_NEEDNUMBER) != 0 || std::string_view(format->name) == "image2";
    if (numbered && ff::av_filename_number_test(output.fileName.c_str()) == 0) {
        throw EngineException(output.fileName + ": " + "Number syntax expected in filename");
    }
    if ((format->flags & AVFMT_NOFILE) == 0) {
        const int ret = OpenOutputFile(ctx, output.io, LibraryFileName(output.fileName));
        if (ret < 0) {
            throw EngineException(tessaro::ErrorText(output.fileName, ret));
        }
    }
}

// ---- streams -------------------------------------------------------------------------

void TOutputSet::NewStream(int outputIndex, AVMediaType type) {
    if (slots_.empty()) {
        throw EngineException("At least one output file must be specified");
    }
    if (outputIndex < 0 || outputIndex >= Count()) {
        outputIndex = Count() - 1;
    }
    TOutputFile& output = Slot(outputIndex);
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        NewVideoStream(output);
        break;
    case AVMEDIA_TYPE_AUDIO:
        NewAudioStream(output);
        break;
    default:
        NewSubtitleStream(output);
        break;
    }
}

TOutputStreamSetup& TOutputSet::AddStream(TOutputFile& output, AVMediaType type,
                                          std::vector<std::string>& bitstreamFilters,
                                          std::uint32_t tag) {
    AVFormatContext* ctx = output.context.get();
    const int index = int(ctx->nb_streams);
    AVStream* st = ff::avformat_new_stream(ctx, nullptr);
    if (st == nullptr) {
        throw EngineException("Could not alloc stream");
    }
    if (index < MaxStreams && options_.streamIdMap[index] != 0) {
        st->id = options_.streamIdMap[index];
    }
    auto setup = std::make_unique<TOutputStreamSetup>();
    setup->stream = st;
    setup->type = type;
    setup->bitstreamFilters = std::move(bitstreamFilters);
    bitstreamFilters.clear();
    st->codecpar->codec_type = type;
    st->codecpar->codec_tag = tag;
    output.streams.push_back(std::move(setup));
    return *output.streams.back();
}

const AVCodec* TOutputSet::ChooseEncoder(const TOutputFile& output, AVMediaType type,
                                         const std::string& codecName) {
    if (!codecName.empty()) {
        AVCodecID id = AV_CODEC_ID_NONE;
        const int strictness = int(options_.libraryOptions.CodecInt(type, "strict"));
        std::string errorText;
        if (!FindCodec(codecName, type, true, strictness, id, errorText)) {
            throw EngineException(errorText);
        }
        return FindCodecByName(codecName, true);
    }
    const AVCodecID id = ff::av_guess_codec(output.context->oformat, nullptr,
                                            output.fileName.c_str(), nullptr, type);
    return id == AV_CODEC_ID_NONE ? nullptr : ff::avcodec_find_encoder(id);
}

void TOutputSet::SetGlobalHeader(const TOutputFile& output, AVCodecContext* encoder,
                                 bool video) const {
    const int mode = video ? options_.videoGlobalHeader : 0;
    const bool formatWants = (output.context->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    if ((mode & 1) != 0 || (mode == 0 && formatWants)) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if ((mode & 2) != 0) {
        encoder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    }
}

AVCodecContext* TOutputSet::PrepareEncoderContext(TOutputStreamSetup& setup, std::uint32_t tag,
                                                  int typeFlag) {
    setup.encoderContext.reset(ff::avcodec_alloc_context3(setup.encoder));
    AVCodecContext* enc = setup.encoderContext.get();
    if (enc == nullptr) {
        throw EngineException("Could not alloc stream");
    }
    enc->codec_type = setup.type;
    if (setup.encoder != nullptr) {
        enc->codec_id = setup.encoder->id;
    }
    enc->codec_tag = tag;
    options_.libraryOptions.ApplyTo(enc, AV_OPT_FLAG_ENCODING_PARAM | typeFlag, setup.type,
                                    setup.encoder, setup.openOptions.Get());
    return enc;
}

void TOutputSet::NewVideoStream(TOutputFile& output) {
    TTranscoderOptions& o = options_;
    TOutputStreamSetup& setup =
        AddStream(output, AVMEDIA_TYPE_VIDEO, o.videoBitstreamFilters, o.videoCodecTag);
    setup.cropTop = o.cropTop;
    setup.cropBottom = o.cropBottom;
    setup.cropLeft = o.cropLeft;
    setup.cropRight = o.cropRight;
    setup.filters = o.videoFilters;
    setup.scalerFlags =
        o.libraryOptions.IsCreated() ? o.libraryOptions.ScalerFlags() : o.scalerFlags;
    setup.aspect = o.frameAspectRatio;
    const AVRational sar = SampleAspectFor(o.frameAspectRatio, o.frameWidth, o.frameHeight);
    if (o.videoStreamCopy) {
        setup.streamCopy = true;
        setup.stream->sample_aspect_ratio = sar;
        setup.stream->codecpar->sample_aspect_ratio = sar;
    } else {
        setup.encoder = ChooseEncoder(output, AVMEDIA_TYPE_VIDEO, o.videoCodecName);
        AVCodecContext* enc =
            PrepareEncoderContext(setup, o.videoCodecTag, AV_OPT_FLAG_VIDEO_PARAM);
        SetGlobalHeader(output, enc, true);
        SetVideoEncoderFields(enc, setup.encoder, o);
        enc->sample_aspect_ratio = sar;
    }
    if (!o.videoLanguage.empty()) {
        ff::av_dict_set(&setup.stream->metadata, "language", o.videoLanguage.c_str(), 0);
    }
    o.videoDisable = false;
    o.videoCodecName.clear();
    o.videoStreamCopy = false;
    o.pixelFormat = -1;
    o.pixelFormatAsked = false;
}

void TOutputSet::NewAudioStream(TOutputFile& output) {
    TTranscoderOptions& o = options_;
    TOutputStreamSetup& setup =
        AddStream(output, AVMEDIA_TYPE_AUDIO, o.audioBitstreamFilters, o.audioCodecTag);
    setup.volume = o.audioVolume;
    if (o.audioStreamCopy) {
        setup.streamCopy = true;
        ff::av_channel_layout_default(&setup.stream->codecpar->ch_layout, o.audioChannels);
        setup.stream->codecpar->sample_rate = o.audioSampleRate;
    } else {
        setup.encoder = ChooseEncoder(output, AVMEDIA_TYPE_AUDIO, o.audioCodecName);
        AVCodecContext* enc =
            PrepareEncoderContext(setup, o.audioCodecTag, AV_OPT_FLAG_AUDIO_PARAM);
        SetAudioEncoderFields(enc, setup.encoder, o, log_);
        SetGlobalHeader(output, enc, false);
    }
    if (!o.audioLanguage.empty()) {
        ff::av_dict_set(&setup.stream->metadata, "language", o.audioLanguage.c_str(), 0);
    }
    o.audioDisable = false;
    o.audioCodecName.clear();
    o.audioStreamCopy = false;
}

void TOutputSet::NewSubtitleStream(TOutputFile& output) {
    TTranscoderOptions& o = options_;
    TOutputStreamSetup& setup =
        AddStream(output, AVMEDIA_TYPE_SUBTITLE, o.subtitleBitstreamFilters, o.subtitleCodecTag);
    if (o.subtitleStreamCopy) {
        setup.streamCopy = true;
    } else {
        setup.encoder = ChooseEncoder(output, AVMEDIA_TYPE_SUBTITLE, o.subtitleCodecName);
        AVCodecContext* enc =
            PrepareEncoderContext(setup, o.subtitleCodecTag, AV_OPT_FLAG_SUBTITLE_PARAM);
        enc->time_base = AV_TIME_BASE_Q; // subtitle times are kept in microseconds
        SetGlobalHeader(output, enc, false);
    }
    if (!o.subtitleLanguage.empty()) {
        ff::av_dict_set(&setup.stream->metadata, "language", o.subtitleLanguage.c_str(), 0);
    }
    o.subtitleDisable = false;
    o.subtitleCodecName.clear();
    o.subtitleStreamCopy = false;
}

// ---- release -------------------------------------------------------------------------

void TOutputSet::CloseOpenEncoders() {
    std::lock_guard lock(CodecLock());
    for (auto& output : files_) {
        for (auto& stream : output->streams) {
            if (stream->encoderContext && ff::avcodec_is_open(stream->encoderContext.get())) {
                stream->encoderContext.reset();
            }
        }
    }
}

void TOutputSet::Clear() {
    {
        std::lock_guard lock(CodecLock());
        for (auto& output : files_) {
            for (auto& stream : output->streams) {
                stream->encoderContext.reset();
            }
        }
    }
    std::vector<std::string> written;
    for (auto& output : files_) {
        if ((output->context->oformat->flags & AVFMT_NOFILE) == 0) {
            written.push_back(output->fileName);
        }
    }
    files_.clear();
    slots_.clear();
    joinMode_ = false;
    for (const std::string& name : written) {
        std::error_code error;
        const std::string path = FromLibraryFileName(name);
        if (std::filesystem::is_regular_file(path, error) &&
            std::filesystem::file_size(path, error) == 0 && !error) {
            std::filesystem::remove(path, error);
        }
    }
}

} // namespace tessaro
