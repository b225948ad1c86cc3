#include "transcoder/pipeline/InputSet.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "dvdinput/DvdAddress.h"
#include "io/MediaInput.h"
#include "probe/DisplayRotation.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"
#include "transcoder/options/CodecLookup.h"

#include <algorithm>
#include <mutex>
#include <string_view>

namespace tessaro {

AVFormatContext* TInputSet::Context(int index) const {
    return index >= 0 && index < Count() ? files_[std::size_t(index)]->context.get() : nullptr;
}

TInputStreamKinds TInputSet::Kinds(bool firstOnly) const {
    TInputStreamKinds kinds;
    const int count = firstOnly ? std::min(1, Count()) : Count();
    for (int i = 0; i < count; ++i) {
        const AVFormatContext* ctx = Context(i);
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

// Parameters for raw and device inputs; demuxers that have no such option ignore them.
void TInputSet::AddOpeningParameters(AVDictionary** parameters) const {
    const TTranscoderOptions& o = options_;
    if (o.audioSampleRate > 0) {
        ff::av_dict_set_int(parameters, "sample_rate", o.audioSampleRate, 0);
    }
    if (o.audioChannels > 0) {
        ff::av_dict_set_int(parameters, "channels", o.audioChannels, 0);
    }
    if (o.frameRate.num > 0 && o.frameRate.den > 0) {
        ff::av_dict_set(parameters, "framerate",
                        FormatText("%d/%d", o.frameRate.num, o.frameRate.den).c_str(), 0);
    }
    if (o.frameWidth > 0 && o.frameHeight > 0) {
        ff::av_dict_set(parameters, "video_size",
                        FormatText("%dx%d", o.frameWidth, o.frameHeight).c_str(), 0);
    }
    if (o.pixelFormat >= 0) {
        ff::av_dict_set(parameters, "pixel_format",
                        ff::av_get_pix_fmt_name(AVPixelFormat(o.pixelFormat)), 0);
    }
    if (o.videoChannel != 0) {
        ff::av_dict_set_int(parameters, "channel", o.videoChannel, 0);
    }
    if (!o.tvStandard.empty()) {
        ff::av_dict_set(parameters, "standard", o.tvStandard.c_str(), 0);
    }
    if (o.loopInput) {
        ff::av_dict_set(parameters, "loop", "1", 0);
    }
    o.libraryOptions.ApplyTo(nullptr, AV_OPT_FLAG_DECODING_PARAM, AVMEDIA_TYPE_UNKNOWN, nullptr,
                             parameters);
    if (o.pgmyuvCompatibility) {
        ff::av_dict_set(parameters, "video_codec_id", "pgmyuv", 0);
    }
}

bool TInputSet::Add(const std::string& fileName, std::int64_t& totalDuration,
                    std::string& errorText) {
    TTranscoderOptions& o = options_;
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
    AVDictionaryHolder parameters;
    AddOpeningParameters(parameters.Get());

    AVCodecID forced[3] = {};
    if (!FindCodec(o.videoCodecName, AVMEDIA_TYPE_VIDEO, false, FF_COMPLIANCE_NORMAL, forced[0],
                   errorText) ||
        !FindCodec(o.audioCodecName, AVMEDIA_TYPE_AUDIO, false, FF_COMPLIANCE_NORMAL, forced[1],
                   errorText) ||
        !FindCodec(o.subtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false, FF_COMPLIANCE_NORMAL,
                   forced[2], errorText)) {
        return false;
    }

    // DVD titles arrive as opendvd: addresses and are read through the DVD plug-in.
    TDvdInputChoice dvd;
    const bool dvdTitle = IsDvdAddress(fileName);
    const int opened =
        OpenMediaInput(input->context, input->io, fileName, format, parameters.Get(), &dvd);
    if (opened < 0) {
        errorText = tessaro::ErrorText(fileName, opened);
        return false;
    }
    AVFormatContext* ctx = input->context.get();
    if (!SelectProgram(ctx, errorText)) {
        return false;
    }

    int analysed = 0;
    {
        std::lock_guard lock(CodecLock());
        analysed = ff::avformat_find_stream_info(ctx, nullptr);
    }
    if (analysed < 0 && o.verbose >= 0) {
        errorText = FormatText("%s: could not find codec parameters", fileName.c_str());
        log_(llVerbose, errorText);
        return false;
    }

    // Reading starts this far into the file, so only the rest of it is converted.
    const std::int64_t skipped = o.startTime > 0 ? o.startTime : 0;
    const std::int64_t timestamp = SeekToStart(ctx, fileName);
    input->seeked = o.startTime != 0;
    input->startTime = o.startTime;
    o.startTime = 0;

    if (dvdTitle) {
        ApplyDvdChoice(*input, dvd);
    }
    input->forcedDecoders.assign(ctx->nb_streams, nullptr);
    ReadStreamParameters(*input);
    if (dvdTitle && dvd.param.AudioChannels > 0) {
        o.audioChannels = dvd.param.AudioChannels;
    }

    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration - skipped > totalDuration) {
        totalDuration = ctx->duration - skipped;
    }
    input->tsOffset = o.copyTimestamps ? o.inputTsOffset : o.inputTsOffset - timestamp;
    input->tsScale = o.inputTsScale;
    input->knownStreams = int(ctx->nb_streams);
    if (o.verbose >= 0) {
        ff::av_dump_format(ctx, Count(), fileName.c_str(), 0);
    }
    files_.push_back(std::move(input));
    o.videoChannel = 0;
    o.videoCodecName.clear();
    o.audioCodecName.clear();
    o.subtitleCodecName.clear();
    return true;
}

// With a program id set, only that program's streams are read.
bool TInputSet::SelectProgram(AVFormatContext* ctx, std::string& errorText) {
    TTranscoderOptions& o = options_;
    if (o.programId == 0) {
        return true;
    }
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
        errorText = "Specified program id not found";
    }
    return found;
}

// MPEG program and transport streams (DVD titles among them) have no index: a seek finds a
// packet near the time, usually inside a group of pictures whose key picture lies before it,
// and the decoder can only start at the next key picture, after the time asked for. Reading
// from this much earlier reaches a key picture before the start (a DVD's groups last at
// most a second); what lies before the start is cut as after any seek.
namespace {

constexpr std::int64_t UnindexedSeekPreRoll = 1'000'000;

bool SeeksWithoutIndex(const AVFormatContext* ctx) {
    const std::string_view name = ctx->iformat != nullptr ? ctx->iformat->name : "";
    return name == "mpeg" || name == "mpegts" || name == "mpegvideo" || name == "vob";
}

} // namespace

// Seeks to the start time option (from the file's own start) and returns that timestamp.
std::int64_t TInputSet::SeekToStart(AVFormatContext* ctx, const std::string& fileName) {
    const TTranscoderOptions& o = options_;
    std::int64_t timestamp = o.startTime;
    const std::int64_t fileStart = ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time : 0;
    timestamp += fileStart;
    if (o.startTime != 0) {
        const std::int64_t target = SeeksWithoutIndex(ctx)
                                        ? std::max(fileStart, timestamp - UnindexedSeekPreRoll)
                                        : timestamp;
        const int ret = ff::avformat_seek_file(ctx, -1, INT64_MIN, target, target, 0);
        if (ret < 0 && o.verbose > 0) {
            log_(llVerbose, FormatText("%s: could not seek to position %0.3f", fileName.c_str(),
                                       double(timestamp) / AV_TIME_BASE));
        }
    }
    return timestamp;
}

void TInputSet::ApplyDvdChoice(TInputFile& input, const TDvdInputChoice& dvd) {
    const TDVDParam& param = dvd.param;
    KeepDvdAudioStream(input.context.get(), param.AudioID);
    if (param.SubtitleID != 0) {
        input.burner =
            std::make_unique<TSubpictureBurner>(param.SubtitleID, DvdPaletteText(dvd.info));
    }
    input.deinterlace = param.Deinterlace == 1;
}

void TInputSet::ReadStreamParameters(TInputFile& input) {
    TTranscoderOptions& o = options_;
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
        case AVMEDIA_TYPE_VIDEO:
            ReadVideoParameters(input, s);
            break;
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

void TInputSet::ReadVideoParameters(TInputFile& input, unsigned index) {
    TTranscoderOptions& o = options_;
    AVStream* st = input.context->streams[index];
    const AVCodecParameters* par = st->codecpar;
    // The task converts the picture as it is shown: a stream turned by a quarter turn has its
    // sides and its shape swapped.
    const bool turned = RotationSwapsSides(StreamRotation(st));
    o.frameWidth = turned ? par->height : par->width;
    o.frameHeight = turned ? par->width : par->height;
    const AVRational sar =
        st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : par->sample_aspect_ratio;
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
        log_(llInfo, FormatText("Seems stream %d codec frame rate differs from container "
                                "frame rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                                int(index), av_q2d(average), average.num, average.den, av_q2d(real),
                                real.num, real.den));
    }
    o.frameRate = real;
    o.inputVideoFrameRates.push_back(real);
    if (o.videoDisable) {
        st->discard = AVDISCARD_ALL;
    } else if (o.videoDiscard != 0) {
        st->discard = AVDiscard(o.videoDiscard);
    }
    input.forcedDecoders[index] =
        o.videoCodecName.empty() ? nullptr : FindCodecByName(o.videoCodecName, false);
}

} // namespace tessaro
