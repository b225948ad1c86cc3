// Opening inputs and creating outputs and their streams from the option state.
#include "dvdinput/DvdAddress.h"
#include "io/MediaInput.h"
#include "transcoder/CustomTranscoder.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "io/UnicodeProtocol.h"
#include "probe/DisplayRotation.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"
#include "transcoder/options/EncoderNames.h"

#include <cmath>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace tessaro {

namespace {

constexpr int FlagEncoding = AV_OPT_FLAG_ENCODING_PARAM; // 1
constexpr int FlagDecoding = AV_OPT_FLAG_DECODING_PARAM; // 2

const char* CodecWord(bool encoder) {
    return encoder ? "encoder" : "decoder";
}

const AVCodec* FindCodecByName(const std::string& name, bool encoder) {
    return encoder ? ff::avcodec_find_encoder_by_name(name.c_str())
                   : ff::avcodec_find_decoder_by_name(name.c_str());
}

const AVCodec* FindCodecById(AVCodecID id, bool encoder) {
    return encoder ? ff::avcodec_find_encoder(id) : ff::avcodec_find_decoder(id);
}

// Sample aspect ratio for a display aspect ratio on a picture of Width x Height.
AVRational SampleAspectFor(float aspect, int width, int height) {
    const double value =
        width > 0 && height > 0 ? double(aspect) * height / width : double(aspect) * 3.0 / 4.0;
    return value > 0 ? ff::av_d2q(value, 255) : AVRational{0, 1};
}

bool ListContainsPixelFormat(const AVPixelFormat* list, int format) {
    for (; list != nullptr && *list != AV_PIX_FMT_NONE; ++list) {
        if (*list == format) {
            return true;
        }
    }
    return false;
}

bool IsEightBit420(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

// The picture format of a video encoder. A format asked for with "pix_fmt" is kept when the
// encoder takes it. Otherwise pictures are written as 8-bit 4:2:0, the format devices and most
// players decode (a 10-bit or 4:2:2 source would make H.264 High 10 or High 4:2:2): the first
// such format in the encoder's list, so the JPEG encoders get their full-range form. Encoders
// that take no 8-bit 4:2:0 get the source's format when they take it, else their first.
AVPixelFormat EncoderPixelFormat(const AVCodec* codec, int asked, int source, int strictness) {
    const AVPixelFormat* supported = codec != nullptr ? codec->pix_fmts : nullptr;
    if (asked >= 0) {
        // MJPEG writes limited-range pictures too when told that is acceptable.
        const bool relaxedMjpeg = codec != nullptr && codec->id == AV_CODEC_ID_MJPEG &&
                                  strictness <= FF_COMPLIANCE_UNOFFICIAL &&
                                  (asked == AV_PIX_FMT_YUV420P || asked == AV_PIX_FMT_YUV422P);
        if (supported == nullptr || ListContainsPixelFormat(supported, asked) || relaxedMjpeg) {
            return AVPixelFormat(asked);
        }
    }
    if (supported == nullptr) {
        return AV_PIX_FMT_YUV420P;
    }
    for (const AVPixelFormat* f = supported; *f != AV_PIX_FMT_NONE; ++f) {
        if (IsEightBit420(*f)) {
            return *f;
        }
    }
    return ListContainsPixelFormat(supported, source) ? AVPixelFormat(source) : supported[0];
}

bool ListContainsSampleFormat(const AVSampleFormat* list, int format) {
    for (; list != nullptr && *list != AV_SAMPLE_FMT_NONE; ++list) {
        if (*list == format) {
            return true;
        }
    }
    return false;
}

// Parses "start,end,q/start,end,q/..." into the encoder's override table.
void ParseRateControlOverride(const std::string& text, AVCodecContext* encoder) {
    std::vector<RcOverride> entries;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = std::min(text.find('/', pos), text.size());
        const std::string entry = text.substr(pos, end - pos);
        int start = 0, stop = 0, q = 0;
        if (std::sscanf(entry.c_str(), "%d,%d,%d", &start, &stop, &q) != 3) {
            throw EngineException("error parsing rc_override");
        }
        RcOverride item{};
        item.start_frame = start;
        item.end_frame = stop;
        if (q > 0) {
            item.qscale = q;
            item.quality_factor = 1.0f;
        } else {
            item.qscale = 0;
            item.quality_factor = -float(q) / 100.0f;
        }
        entries.push_back(item);
        pos = end + 1;
    }
    auto* table = static_cast<RcOverride*>(ff::av_mallocz(sizeof(RcOverride) * entries.size()));
    if (table == nullptr) {
        throw EngineException("error parsing rc_override");
    }
    std::copy(entries.begin(), entries.end(), table);
    encoder->rc_override = table;
    encoder->rc_override_count = int(entries.size());
}

std::uint16_t* CopyMatrix(const std::vector<std::uint16_t>& matrix) {
    auto* copy = static_cast<std::uint16_t*>(ff::av_malloc(sizeof(std::uint16_t) * 64));
    if (copy != nullptr) {
        std::copy_n(matrix.begin(), 64, copy);
    }
    return copy;
}

} // namespace

std::mutex& PreviewLock() {
    static std::mutex lock;
    return lock;
}

int TCustomTranscoder::InputFileCount() const {
    return int(inputs_.size());
}
int TCustomTranscoder::OutputFileCount() const {
    return int(outputSlots_.size());
}

AVFormatContext* TCustomTranscoder::InputContext(int index) const {
    return index >= 0 && index < int(inputs_.size()) ? inputs_[index]->context.get() : nullptr;
}

AVFormatContext* TCustomTranscoder::OutputContext(int index) const {
    return index >= 0 && index < int(outputSlots_.size()) ? outputSlots_[index]->context.get()
                                                          : nullptr;
}

void TCustomTranscoder::ApplyContextOptions(void* target, int flags, AVMediaType type,
                                            const AVCodec* codec, AVDictionary** leftOver) {
    TLibraryOptionContexts& library = Options().libraryOptions;
    if (!library.IsCreated()) {
        return;
    }
    AVDictionaryHolder dict;
    if (type == AVMEDIA_TYPE_UNKNOWN) {
        const AVClass* privClass = nullptr;
        if (const auto* ctx = static_cast<AVFormatContext*>(target)) {
            privClass = ctx->oformat != nullptr   ? ctx->oformat->priv_class
                        : ctx->iformat != nullptr ? ctx->iformat->priv_class
                                                  : nullptr;
        }
        library.FormatOpenOptions(flags, privClass, dict.Get());
    } else {
        library.CodecOpenOptions(type, flags, codec, dict.Get());
    }
    if (target != nullptr) {
        ff::av_opt_set_dict2(target, dict.Get(), AV_OPT_SEARCH_CHILDREN);
    }
    if (leftOver != nullptr) {
        ff::av_dict_copy(leftOver, dict.Value(), 0);
    }
}

bool TCustomTranscoder::FindCodec(const std::string& name, AVMediaType type, bool encoder,
                                  int strictness, AVCodecID& codecId) {
    codecId = AV_CODEC_ID_NONE;
    if (name.empty()) {
        return true;
    }
    const std::string lookup = encoder ? ResolveEncoderName(name) : name;
    const AVCodec* codec = FindCodecByName(lookup, encoder);
    if (codec == nullptr) {
        errorText_ = FormatText("Unknown %s '%s'", CodecWord(encoder), name.c_str());
        return false;
    }
    if (codec->type != type) {
        errorText_ = FormatText("Invalid %s type '%s'", CodecWord(encoder), name.c_str());
        return false;
    }
    if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) != 0 &&
        strictness > FF_COMPLIANCE_EXPERIMENTAL) {
        errorText_ = FormatText("%s '%s' is experimental and might produce bad results.\r\nAdd "
                                "'-strict experimental' if you want to use it.",
                                CodecWord(encoder), codec->name);
        const AVCodec* fallback = FindCodecById(codec->id, encoder);
        if (fallback != nullptr && (fallback->capabilities & AV_CODEC_CAP_EXPERIMENTAL) == 0) {
            errorText_ += "\r\n" + FormatText("Or use the non experimental %s '%s'.",
                                              CodecWord(encoder), fallback->name);
        }
        return false;
    }
    codecId = codec->id;
    return true;
}

TInputStreamKinds TCustomTranscoder::CheckInputStreams(bool firstInputOnly) const {
    TInputStreamKinds kinds;
    const std::size_t count =
        firstInputOnly ? std::min<std::size_t>(1, inputs_.size()) : inputs_.size();
    for (std::size_t i = 0; i < count; ++i) {
        const AVFormatContext* ctx = inputs_[i]->context.get();
        for (unsigned s = 0; s < ctx->nb_streams; ++s) {
            switch (ctx->streams[s]->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                kinds.hasVideo = true;
                break;
            case AVMEDIA_TYPE_AUDIO:
                kinds.hasAudio = true;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                kinds.hasSubtitle = true;
                break;
            case AVMEDIA_TYPE_DATA:
            case AVMEDIA_TYPE_ATTACHMENT:
                break;
            default:
                throw EngineException("invalid codec_type of input file");
            }
        }
    }
    return kinds;
}

// ---- inputs --------------------------------------------------------------------------

bool TCustomTranscoder::AddInputFile(const std::string& fileName) {
    TTranscoderOptions& o = Options();
    const AVInputFormat* format = nullptr;
    if (!o.forcedFormat.empty()) {
        format = ff::av_find_input_format(o.forcedFormat.c_str());
        if (format == nullptr) {
            throw EngineException(
                FormatText("Unknown input format: \"%s\"", o.forcedFormat.c_str()));
        }
        o.forcedFormat.clear();
    }
    auto input = std::make_unique<TInputFile>();
    input->fileName = fileName;

    // Parameters for raw and device inputs; demuxers that have no such option ignore them.
    AVDictionaryHolder parameters;
    if (o.audioSampleRate > 0) {
        ff::av_dict_set_int(parameters.Get(), "sample_rate", o.audioSampleRate, 0);
    }
    if (o.audioChannels > 0) {
        ff::av_dict_set_int(parameters.Get(), "channels", o.audioChannels, 0);
    }
    if (o.frameRate.num > 0 && o.frameRate.den > 0) {
        ff::av_dict_set(parameters.Get(), "framerate",
                        FormatText("%d/%d", o.frameRate.num, o.frameRate.den).c_str(), 0);
    }
    if (o.frameWidth > 0 && o.frameHeight > 0) {
        ff::av_dict_set(parameters.Get(), "video_size",
                        FormatText("%dx%d", o.frameWidth, o.frameHeight).c_str(), 0);
    }
    if (o.pixelFormat >= 0) {
        ff::av_dict_set(parameters.Get(), "pixel_format",
                        ff::av_get_pix_fmt_name(AVPixelFormat(o.pixelFormat)), 0);
    }
    if (o.videoChannel != 0) {
        ff::av_dict_set_int(parameters.Get(), "channel", o.videoChannel, 0);
    }
    if (!o.tvStandard.empty()) {
        ff::av_dict_set(parameters.Get(), "standard", o.tvStandard.c_str(), 0);
    }
    if (o.loopInput) {
        ff::av_dict_set(parameters.Get(), "loop", "1", 0);
    }
    ApplyContextOptions(nullptr, FlagDecoding, AVMEDIA_TYPE_UNKNOWN, nullptr, parameters.Get());

    AVCodecID forced[3] = {};
    if (!FindCodec(o.videoCodecName, AVMEDIA_TYPE_VIDEO, false, FF_COMPLIANCE_NORMAL, forced[0]) ||
        !FindCodec(o.audioCodecName, AVMEDIA_TYPE_AUDIO, false, FF_COMPLIANCE_NORMAL, forced[1]) ||
        !FindCodec(o.subtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false, FF_COMPLIANCE_NORMAL,
                   forced[2])) {
        return false;
    }
    if (o.pgmyuvCompatibility) {
        ff::av_dict_set(parameters.Get(), "video_codec_id", "pgmyuv", 0);
    }

    // DVD titles arrive as opendvd: addresses and are read through the DVD plug-in.
    TDvdInputChoice dvd;
    const bool dvdTitle = IsDvdAddress(fileName);
    const int opened =
        OpenMediaInput(input->context, input->io, fileName, format, parameters.Get(), &dvd);
    if (opened < 0) {
        errorText_ = tessaro::ErrorText(fileName, opened);
        return false;
    }
    AVFormatContext* ctx = input->context.get();

    if (o.programId != 0) {
        bool found = false;
        for (unsigned s = 0; s < ctx->nb_streams; ++s) {
            ctx->streams[s]->discard = AVDISCARD_ALL;
        }
        for (unsigned p = 0; p < ctx->nb_programs; ++p) {
            AVProgram* program = ctx->programs[p];
            if (program->id == o.programId) {
                found = true;
                program->discard = AVDISCARD_DEFAULT;
                for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
                    ctx->streams[program->stream_index[k]]->discard = AVDISCARD_DEFAULT;
                }
            } else {
                program->discard = AVDISCARD_ALL;
            }
        }
        o.programId = 0;
        if (!found) {
            errorText_ = "Specified program id not found";
            return false;
        }
    }

    int analysed = 0;
    {
        std::lock_guard lock(CodecLock());
        analysed = ff::avformat_find_stream_info(ctx, nullptr);
    }
    if (analysed < 0 && o.verbose >= 0) {
        errorText_ = FormatText("%s: could not find codec parameters", fileName.c_str());
        LogMessage(llVerbose, errorText_);
        return false;
    }

    // Reading starts this far into the file, so only the rest of it is converted.
    const std::int64_t skipped = o.startTime > 0 ? o.startTime : 0;
    std::int64_t timestamp = o.startTime;
    if (ctx->start_time != AV_NOPTS_VALUE) {
        timestamp += ctx->start_time;
    }
    if (o.startTime != 0) {
        const int ret = ff::avformat_seek_file(ctx, -1, INT64_MIN, timestamp, timestamp, 0);
        if (ret < 0 && o.verbose > 0) {
            LogMessage(llVerbose, FormatText("%s: could not seek to position %0.3f",
                                             fileName.c_str(), double(timestamp) / AV_TIME_BASE));
        }
    }
    input->seeked = o.startTime != 0;
    o.startTime = 0;

    if (dvdTitle) {
        ApplyDvdChoice(*input, dvd);
    }
    input->forcedDecoders.assign(ctx->nb_streams, nullptr);
    ReadInputStreamParameters(*input);
    if (dvdTitle && dvd.param.AudioChannels > 0) {
        o.audioChannels = dvd.param.AudioChannels;
    }

    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration - skipped > TotalDuration()) {
        SetTotalDuration(ctx->duration - skipped);
    }
    input->tsOffset = o.copyTimestamps ? o.inputTsOffset : o.inputTsOffset - timestamp;
    input->tsScale = o.inputTsScale;
    input->knownStreams = int(ctx->nb_streams);
    if (o.verbose >= 0) {
        ff::av_dump_format(ctx, int(inputs_.size()), fileName.c_str(), 0);
    }
    inputs_.push_back(std::move(input));
    o.videoChannel = 0;
    o.videoCodecName.clear();
    o.audioCodecName.clear();
    o.subtitleCodecName.clear();
    return true;
}

void TCustomTranscoder::ApplyDvdChoice(TInputFile& input, const TDvdInputChoice& dvd) {
    const TDVDParam& param = dvd.param;
    KeepDvdAudioStream(input.context.get(), param.AudioID);
    if (param.SubtitleID != 0) {
        input.burner =
            std::make_unique<TSubpictureBurner>(param.SubtitleID, DvdPaletteText(dvd.info));
    }
    input.deinterlace = param.Deinterlace == 1;
}

void TCustomTranscoder::ReadInputStreamParameters(TInputFile& input) {
    TTranscoderOptions& o = Options();
    AVFormatContext* ctx = input.context.get();
    for (unsigned s = 0; s < ctx->nb_streams; ++s) {
        AVStream* st = ctx->streams[s];
        AVCodecParameters* par = st->codecpar;
        if (st->discard == AVDISCARD_ALL) {
            continue; // left out by the program or the DVD audio choice
        }
        switch (par->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            o.audioChannels = par->ch_layout.nb_channels;
            o.audioSampleRate = par->sample_rate;
            o.sampleFormat = par->format;
            if (o.audioDisable) {
                st->discard = AVDISCARD_ALL;
            }
            input.forcedDecoders[s] =
                o.audioCodecName.empty() ? nullptr : FindCodecByName(o.audioCodecName, false);
            break;
        case AVMEDIA_TYPE_VIDEO: {
            // The task converts the picture as it is shown: a stream turned by a quarter turn
            // has its sides and its shape swapped.
            const bool turned = RotationSwapsSides(StreamRotation(st));
            o.frameWidth = turned ? par->height : par->width;
            o.frameHeight = turned ? par->width : par->height;
            AVRational sar = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio
                                                             : par->sample_aspect_ratio;
            float aspect = 0;
            if (sar.num > 0 && sar.den > 0 && par->height > 0) {
                aspect = float(av_q2d(sar) * par->width / par->height);
                if (turned) {
                    aspect = 1.0f / aspect;
                }
            }
            if (aspect == 0 && o.frameAspectRatio == 0 && par->height > 0) {
                aspect = 4.0f / 3.0f;
            }
            if (aspect != 0) {
                o.frameAspectRatio = aspect;
            }
            o.pixelFormat = par->format < 0 ? 0 : par->format;
            o.pixelFormatAsked = false;
            const AVRational real = st->r_frame_rate;
            const AVRational average = st->avg_frame_rate;
            if (o.verbose >= 0 && average.num > 0 && real.num > 0 && av_cmp_q(average, real) != 0) {
                LogMessage(llInfo,
                           FormatText("Seems stream %d codec frame rate differs from container "
                                      "frame rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                                      int(s), av_q2d(average), average.num, average.den,
                                      av_q2d(real), real.num, real.den));
            }
            o.frameRate = real;
            o.inputVideoFrameRates.push_back(real);
            if (o.videoDisable) {
                st->discard = AVDISCARD_ALL;
            } else if (o.videoDiscard != 0) {
                st->discard = AVDiscard(o.videoDiscard);
            }
            input.forcedDecoders[s] =
                o.videoCodecName.empty() ? nullptr : FindCodecByName(o.videoCodecName, false);
            break;
        }
        case AVMEDIA_TYPE_DATA:
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (o.subtitleDisable) {
                st->discard = AVDISCARD_ALL;
            }
            input.forcedDecoders[s] =
                o.subtitleCodecName.empty() ? nullptr : FindCodecByName(o.subtitleCodecName, false);
            break;
        case AVMEDIA_TYPE_ATTACHMENT:
        case AVMEDIA_TYPE_UNKNOWN:
            break;
        default:
            throw EngineException("invalid codec_type");
        }
    }
}

// ---- outputs -------------------------------------------------------------------------

int TCustomTranscoder::AddOutputFile(const std::string& fileName, bool join) {
    TTranscoderOptions& o = Options();
    if (joinMode_) {
        errorText_ = "Cannot join more than one output file.";
        return -1;
    }
    auto output = std::make_unique<TOutputFile>();
    output->fileName = fileName;
    output->filtered = !o.videoFilters.empty();
    const std::string libraryName = LibraryFileName(fileName);

    AVFormatContext* ctx = nullptr;
    if (!o.forcedFormat.empty()) {
        const std::string forced = o.forcedFormat;
        o.forcedFormat.clear();
        if (ff::av_guess_format(forced.c_str(), nullptr, nullptr) == nullptr) {
            errorText_ = FormatText("Requested output format '%s' is not a suitable output format",
                                    forced.c_str());
            return -1;
        }
        ff::avformat_alloc_output_context2(&ctx, nullptr, forced.c_str(), libraryName.c_str());
    } else {
        // Guess by the real name: the "unicode:" prefix would hide the extension.
        const AVOutputFormat* guessed = ff::av_guess_format(nullptr, fileName.c_str(), nullptr);
        if (guessed == nullptr) {
            errorText_ =
                FormatText("Unable to find a suitable output format for '%s'", fileName.c_str());
            return -1;
        }
        ff::avformat_alloc_output_context2(&ctx, guessed, nullptr, libraryName.c_str());
    }
    if (ctx == nullptr) {
        errorText_ = "avformat_alloc_context failed";
        return -1;
    }
    output->context.reset(ctx);

    try {
        DecideOutputStreams(*output, join);
    } catch (const EngineException& e) {
        errorText_ = e.what();
        return -1;
    }

    if (o.recordingTimestamp != 0) {
        ff::av_dict_set_int(&ctx->metadata, "creation_time", 0, 0);
        const std::string when = FormatText("%lld", (long long)o.recordingTimestamp);
        ff::av_dict_set(&ctx->metadata, "creation_time", nullptr, 0);
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

    try {
        OpenOutputIo(*output);
    } catch (const EngineException& e) {
        errorText_ = e.what();
        return -1;
    }

    ctx->max_delay = int(o.muxMaxDelay * 1000000);
    ff::av_dict_set_int(output->muxerOptions.Get(), "preload", std::int64_t(o.muxPreload * 1000000),
                        0);
    if (o.loopOutput >= 0) {
        ff::av_dict_set_int(output->muxerOptions.Get(), "loop", o.loopOutput, 0);
    }
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    ApplyContextOptions(ctx, FlagEncoding, AVMEDIA_TYPE_UNKNOWN, nullptr,
                        output->muxerOptions.Get());
    o.streamIdMap.fill(0);

    TOutputFile* file = output.get();
    outputFiles_.push_back(std::move(output));
    outputSlots_.push_back(file);
    if (join && inputs_.size() > 1) {
        joinMode_ = true;
        std::int64_t total = 0;
        for (const auto& input : inputs_) {
            if (input->context->duration != AV_NOPTS_VALUE && input->context->duration > 0) {
                total += input->context->duration;
            }
        }
        SetTotalDuration(total == 0 ? -1 : total);
        while (outputSlots_.size() < inputs_.size()) {
            outputSlots_.push_back(file);
        }
    }
    return int(outputSlots_.size());
}

bool TCustomTranscoder::DefaultSubtitleEncoderFits(const TOutputFile& output) const {
    // Pictures cannot become text nor text pictures: a format's default subtitle encoder is
    // used only when some input subtitle is of its kind.
    const AVCodecID id = ff::av_guess_codec(
        output.context->oformat, nullptr, output.fileName.c_str(), nullptr, AVMEDIA_TYPE_SUBTITLE);
    const AVCodecDescriptor* encoded = ff::avcodec_descriptor_get(id);
    if (encoded == nullptr) {
        return false;
    }
    const int kinds = AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB;
    for (const auto& input : inputs_) {
        const AVFormatContext* ctx = input->context.get();
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

void TCustomTranscoder::DecideOutputStreams(TOutputFile& output, bool join) {
    TTranscoderOptions& o = Options();
    const AVOutputFormat* format = output.context->oformat;
    bool useVideo =
        o.videoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !o.videoCodecName.empty();
    bool useAudio =
        o.audioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !o.audioCodecName.empty();
    bool useSubtitle = o.subtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                       !o.subtitleCodecName.empty();
    if (!inputs_.empty()) {
        try {
            const TInputStreamKinds kinds = CheckInputStreams(join);
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
        guarded("new_video_stream", [&] { NewVideoStreamOf(output); });
    }
    if (useAudio) {
        guarded("new_audio_stream", [&] { NewAudioStreamOf(output); });
    }
    if (useSubtitle && !o.subtitleDisable) {
        guarded("new_subtitle_stream", [&] { NewSubtitleStreamOf(output); });
    }
}

void TCustomTranscoder::OpenOutputIo(TOutputFile& output) {
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

TOutputFile& TCustomTranscoder::OutputSlot(int outputIndex) {
    if (outputSlots_.empty()) {
        throw EngineException("At least one output file must be specified");
    }
    if (outputIndex < 0 || outputIndex >= int(outputSlots_.size())) {
        outputIndex = int(outputSlots_.size()) - 1;
    }
    return *outputSlots_[outputIndex];
}

void TCustomTranscoder::NewVideoStream(int outputIndex) {
    NewVideoStreamOf(OutputSlot(outputIndex));
}
void TCustomTranscoder::NewAudioStream(int outputIndex) {
    NewAudioStreamOf(OutputSlot(outputIndex));
}
void TCustomTranscoder::NewSubtitleStream(int outputIndex) {
    NewSubtitleStreamOf(OutputSlot(outputIndex));
}

void TCustomTranscoder::NewOutputStream(int outputIndex, AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        NewVideoStream(outputIndex);
        break;
    case AVMEDIA_TYPE_AUDIO:
        NewAudioStream(outputIndex);
        break;
    default:
        NewSubtitleStream(outputIndex);
        break;
    }
}

TOutputStreamSetup& TCustomTranscoder::AddOutputStream(TOutputFile& output, AVMediaType type,
                                                       std::vector<std::string>& bitstreamFilters,
                                                       std::uint32_t tag) {
    AVFormatContext* ctx = output.context.get();
    const int index = int(ctx->nb_streams);
    AVStream* st = ff::avformat_new_stream(ctx, nullptr);
    if (st == nullptr) {
        throw EngineException("Could not alloc stream");
    }
    if (index < MaxStreams && Options().streamIdMap[index] != 0) {
        st->id = Options().streamIdMap[index];
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

const AVCodec* TCustomTranscoder::ChooseEncoder(const TOutputFile& output, AVMediaType type,
                                                std::string& codecName) {
    if (!codecName.empty()) {
        AVCodecID id = AV_CODEC_ID_NONE;
        const int strictness = int(Options().libraryOptions.CodecInt(type, "strict"));
        if (!FindCodec(codecName, type, true, strictness, id)) {
            throw EngineException(errorText_);
        }
        return ff::avcodec_find_encoder_by_name(ResolveEncoderName(codecName).c_str());
    }
    const AVCodecID id = ff::av_guess_codec(output.context->oformat, nullptr,
                                            output.fileName.c_str(), nullptr, type);
    return id == AV_CODEC_ID_NONE ? nullptr : ff::avcodec_find_encoder(id);
}

void TCustomTranscoder::SetGlobalHeader(const TOutputFile& output, AVCodecContext* encoder,
                                        bool video) {
    const int mode = video ? Options().videoGlobalHeader : 0;
    const bool formatWants = (output.context->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    if ((mode & 1) != 0 || (mode == 0 && formatWants)) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if ((mode & 2) != 0) {
        encoder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    }
}

AVCodecContext* TCustomTranscoder::PrepareEncoderContext(TOutputStreamSetup& setup,
                                                         std::uint32_t tag, int typeFlag) {
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
    enc->thread_count = Options().threadCount;
    ApplyContextOptions(enc, AV_OPT_FLAG_ENCODING_PARAM | typeFlag, setup.type, setup.encoder,
                        setup.openOptions.Get());
    return enc;
}

void TCustomTranscoder::NewVideoStreamOf(TOutputFile& output) {
    TTranscoderOptions& o = Options();
    TOutputStreamSetup& setup =
        AddOutputStream(output, AVMEDIA_TYPE_VIDEO, o.videoBitstreamFilters, o.videoCodecTag);
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
        SetVideoEncoderFields(output, setup);
        setup.encoderContext->sample_aspect_ratio = sar;
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

void TCustomTranscoder::SetVideoEncoderFields(TOutputFile& output, TOutputStreamSetup& setup) {
    TTranscoderOptions& o = Options();
    AVCodecContext* enc = PrepareEncoderContext(setup, o.videoCodecTag, AV_OPT_FLAG_VIDEO_PARAM);
    const AVCodec* codec = setup.encoder;
    SetGlobalHeader(output, enc, true);

    AVRational rate = o.frameRate.num > 0 && o.frameRate.den > 0 ? o.frameRate : AVRational{25, 1};
    if (codec != nullptr && codec->supported_framerates != nullptr && !o.forceFps) {
        rate = codec->supported_framerates[ff::av_find_nearest_q_idx(rate,
                                                                     codec->supported_framerates)];
    }
    enc->framerate = rate;
    enc->time_base = AVRational{rate.den, rate.num};
    enc->width = o.frameWidth;
    enc->height = o.frameHeight;

    enc->pix_fmt = EncoderPixelFormat(codec, o.pixelFormatAsked ? o.pixelFormat : -1, o.pixelFormat,
                                      enc->strict_std_compliance);

    if (o.intraOnly) {
        enc->gop_size = 0;
    }
    if (o.videoQScale > 0 || o.sameQuality) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = int(FF_QP2LAMBDA * (o.videoQScale > 0 ? o.videoQScale : 1));
    }
    if (o.intraMatrix.size() == 64) {
        enc->intra_matrix = CopyMatrix(o.intraMatrix);
    }
    if (o.interMatrix.size() == 64) {
        enc->inter_matrix = CopyMatrix(o.interMatrix);
    }
    if (!o.rcOverride.empty()) {
        ParseRateControlOverride(o.rcOverride, enc);
    }
    if (enc->rc_initial_buffer_occupancy == 0) {
        enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
    }
    enc->intra_dc_precision = o.intraDcPrecision - 8;
    if (o.psnr) {
        enc->flags |= AV_CODEC_FLAG_PSNR;
    }
    if (o.passNumber == 1) {
        enc->flags |= AV_CODEC_FLAG_PASS1;
    } else if (o.passNumber == 2) {
        enc->flags |= AV_CODEC_FLAG_PASS2;
    }
}

void TCustomTranscoder::NewAudioStreamOf(TOutputFile& output) {
    TTranscoderOptions& o = Options();
    TOutputStreamSetup& setup =
        AddOutputStream(output, AVMEDIA_TYPE_AUDIO, o.audioBitstreamFilters, o.audioCodecTag);
    setup.volume = o.audioVolume;
    if (o.audioStreamCopy) {
        setup.streamCopy = true;
        ff::av_channel_layout_default(&setup.stream->codecpar->ch_layout, o.audioChannels);
        setup.stream->codecpar->sample_rate = o.audioSampleRate;
    } else {
        setup.encoder = ChooseEncoder(output, AVMEDIA_TYPE_AUDIO, o.audioCodecName);
        SetAudioEncoderFields(setup);
        SetGlobalHeader(output, setup.encoderContext.get(), false);
    }
    if (!o.audioLanguage.empty()) {
        ff::av_dict_set(&setup.stream->metadata, "language", o.audioLanguage.c_str(), 0);
    }
    o.audioDisable = false;
    o.audioCodecName.clear();
    o.audioStreamCopy = false;
}

void TCustomTranscoder::SetAudioEncoderFields(TOutputStreamSetup& setup) {
    TTranscoderOptions& o = Options();
    AVCodecContext* enc = PrepareEncoderContext(setup, o.audioCodecTag, AV_OPT_FLAG_AUDIO_PARAM);
    const AVCodec* codec = setup.encoder;
    if (o.audioQScale > -99999) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = int(FF_QP2LAMBDA * o.audioQScale);
    }
    ff::av_channel_layout_uninit(&enc->ch_layout);
    ff::av_channel_layout_default(&enc->ch_layout, o.audioChannels > 0 ? o.audioChannels : 2);

    AVSampleFormat format = AVSampleFormat(o.sampleFormat);
    const AVSampleFormat* formats = codec != nullptr ? codec->sample_fmts : nullptr;
    if (formats != nullptr && !ListContainsSampleFormat(formats, format)) {
        format = formats[0];
    }
    enc->sample_fmt = format < 0 ? AV_SAMPLE_FMT_S16 : format;

    int rate = o.audioSampleRate > 0 ? o.audioSampleRate : 44100;
    if (codec != nullptr && codec->supported_samplerates != nullptr) {
        int best = 0;
        bool exact = false;
        for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
            exact = exact || *r == rate;
            if (best == 0 || std::abs(*r - rate) < std::abs(best - rate)) {
                best = *r;
            }
        }
        if (!exact) {
            LogMessage(
                llWarning,
                FormatText("Requested sampling rate unsupported using closest supported (%d)",
                           best));
            rate = best;
        }
    }
    enc->sample_rate = rate;
    enc->time_base = AVRational{1, rate};
}

void TCustomTranscoder::NewSubtitleStreamOf(TOutputFile& output) {
    TTranscoderOptions& o = Options();
    TOutputStreamSetup& setup = AddOutputStream(output, AVMEDIA_TYPE_SUBTITLE,
                                                o.subtitleBitstreamFilters, o.subtitleCodecTag);
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

void TCustomTranscoder::FreeFiles() {
    ReleaseFilterGraphs();
    CloseOutputCodecs();
    run_.reset();
    {
        std::lock_guard lock(CodecLock());
        for (auto& output : outputFiles_) {
            for (auto& stream : output->streams) {
                stream->encoderContext.reset();
            }
        }
    }
    std::vector<std::string> written;
    for (auto& output : outputFiles_) {
        if ((output->context->oformat->flags & AVFMT_NOFILE) == 0) {
            written.push_back(output->fileName);
        }
    }
    outputFiles_.clear();
    outputSlots_.clear();
    inputs_.clear();
    joinMode_ = false;
    previewWindow_.reset();
    hookConverter_.reset();
    previewConverter_.reset();
    workPicture_.reset();
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
