#include "transcoder/pipeline/EncoderFeed.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "transcoder/pipeline/EncodeStage.h"
#include "transcoder/pipeline/FrameObservers.h"
#include "transcoder/pipeline/OutputVideoGraph.h"

#include <cmath>

namespace tessaro {

namespace {

constexpr int SubtitleBufferSize = 1024 * 1024;

// Seconds by which an audio frame's time stamp may differ from the end of the frame before
// it without counting as a jump: containers round time stamps far less, and a sound after a
// smaller gap still plays well within a video frame of its time.
constexpr double AudioJumpThreshold = 0.02;

bool IsVariableFrameRateFormat(const AVFormatContext* ctx) {
    return (ctx->oformat->flags & AVFMT_VARIABLE_FPS) != 0;
}

} // namespace

TEncoderFeed::TEncoderFeed(TStreamPlan& plan, TEncodeStage& stage, TFrameObservers& observers,
                           const TTranscoderOptions& options,
                           const std::atomic<bool>& stopRequested, TTaskLog log)
    : plan_(plan), stage_(stage), observers_(observers), options_(options),
      stopRequested_(stopRequested), log_(log), picture_(ff::av_frame_alloc()),
      copied_(ff::av_packet_alloc()) {
    if (!picture_ || !copied_) {
        throw EngineException("av_mallocz fail");
    }
}

void TEncoderFeed::ConnectAudio() {
    for (TOutputStream& ost : plan_.OutputStreams()) {
        if (!ost.encoderOpen || ost.setup->type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        TOutputStream* target = &ost;
        ost.audio.Open(ost.encoder, ost.setup->volume, [this, target](AVFrame* frame) {
            ++target->frameNumber;
            stage_.EncodeFrame(target->tableIndex, frame);
        });
    }
}

// ---- video -------------------------------------------------------------------------

void TEncoderFeed::Picture(TOutputStream& ost, AVFrame* picture) {
    if (picture->width != ost.lastWidth || picture->height != ost.lastHeight ||
        picture->format != ost.lastFormat) {
        RebuildForNewPictureSize(ost, picture);
    }
    if (!ost.graphUsed) {
        VideoOutput(ost, picture, plan_.InputStreams()[std::size_t(ost.source)].stream->time_base);
        return;
    }
    ost.graph.Push(picture);
    while (ost.graph.Pull(ost.filtered.get())) {
        VideoOutput(ost, ost.filtered.get(), ost.graph.OutputTimeBase());
        ff::av_frame_unref(ost.filtered.get());
    }
}

void TEncoderFeed::RebuildForNewPictureSize(TOutputStream& ost, const AVFrame* picture) {
    const TInputStream& ist = plan_.InputStreams()[std::size_t(ost.source)];
    log_(llQuiet, FormatText("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file,
                             ist.index, picture->width, picture->height,
                             ff::av_get_pix_fmt_name(AVPixelFormat(picture->format))));
    if (ost.setup->filters.empty() && ost.originalWidth > 0 && ost.originalHeight > 0) {
        const auto scaleBand = [](int band, int now, int was) {
            return int(std::int64_t(band) * now / was) & ~1;
        };
        ost.cropTop = scaleBand(ost.setup->cropTop, picture->height, ost.originalHeight);
        ost.cropBottom = scaleBand(ost.setup->cropBottom, picture->height, ost.originalHeight);
        ost.cropLeft = scaleBand(ost.setup->cropLeft, picture->width, ost.originalWidth);
        ost.cropRight = scaleBand(ost.setup->cropRight, picture->width, ost.originalWidth);
    }
    FlushGraph(ost);
    try {
        BuildOutputGraph(ost, ist, picture, options_.threadCount);
    } catch (const EngineException& e) {
        throw EngineException(std::string("Cannot get resampling context: ") + e.what());
    }
}

void TEncoderFeed::FlushGraph(TOutputStream& ost) {
    if (!ost.graphUsed || !ost.graph.IsBuilt()) {
        return;
    }
    ost.graph.Push(nullptr);
    while (ost.graph.Pull(ost.filtered.get())) {
        VideoOutput(ost, ost.filtered.get(), ost.graph.OutputTimeBase());
        ff::av_frame_unref(ost.filtered.get());
    }
}

void TEncoderFeed::VideoOutput(TOutputStream& ost, AVFrame* frame, AVRational timeBase) {
    const AVRational encoderTimeBase = ost.facts.timeBase;
    const double syncIpts = frame->pts == AV_NOPTS_VALUE
                                ? double(ost.syncOpts)
                                : double(frame->pts) * av_q2d(timeBase) / av_q2d(encoderTimeBase);
    // How long the picture lasts, in output frames: the last picture of a stream then
    // still fills its own time, and a faster output rate repeats pictures evenly.
    const AVStream* source = plan_.InputStreams()[std::size_t(ost.source)].stream;
    const AVRational inputRate = StreamFrameRate(source);
    const double duration = inputRate.num > 0 && inputRate.den > 0
                                ? 1.0 / av_q2d(inputRate) / av_q2d(encoderTimeBase)
                                : 1.0;
    int nb = VideoSync(ost, syncIpts, duration);
    nb = int(
        std::min<std::int64_t>(nb, std::int64_t(options_.maxFrames[flVideo]) - ost.frameNumber));
    if (nb <= 0) {
        return;
    }
    observers_.ShowPreview(frame, timeBase);
    EncodePicture(ost, frame, nb);
}

// How many times the picture is written: 0 drops it, more than 1 repeats it.
int TEncoderFeed::VideoSync(TOutputStream& ost, double syncIpts, double duration) {
    const TTranscoderOptions& o = options_;
    int nb = 1;
    int method = o.videoSyncMethod;
    if (method < 0) {
        method = IsVariableFrameRateFormat(ost.output->context.get()) ? 2 : 1;
    }
    if (method == 0) {
        const std::int64_t target = std::llround(syncIpts);
        if (ost.frameNumber > 0 && target < ost.syncOpts) {
            ++counts_.dropped; // a time stamp that went back cannot be written
            return 0;
        }
        ost.syncOpts = target;
        return 1;
    }
    const double vdelta = syncIpts - double(ost.syncOpts) + duration;
    if (vdelta < -1.1) {
        nb = 0;
    } else if (method == 2) {
        if (vdelta <= -0.6) {
            nb = 0;
        } else if (vdelta > 0.6) {
            ost.syncOpts = std::llround(syncIpts);
        }
    } else if (vdelta > 1.1) {
        nb = int(std::lround(vdelta));
    } else if (vdelta < 0.5) {
        nb = 0; // the slot this picture falls into is already filled
    }
    if (nb == 0) {
        ++counts_.dropped;
        counts_.changedSinceReport = true;
        if (o.verbose > 2) {
            log_(llVerbose, "*** drop!");
        }
    } else if (nb > 1) {
        counts_.duplicated += nb - 1;
        counts_.changedSinceReport = true;
        if (o.verbose > 2) {
            log_(llVerbose, FormatText("*** %d dup!", nb - 1));
        }
    }
    return nb;
}

void TEncoderFeed::EncodePicture(TOutputStream& ost, const AVFrame* picture, int copies) {
    const TTranscoderOptions& o = options_;
    const TInputStream& ist = plan_.InputStreams()[std::size_t(ost.source)];
    AVFrame* out = picture_.get();
    for (int i = 0; i < copies && !stopRequested_; ++i) {
        if (ff::av_frame_ref(out, picture) < 0) {
            throw EngineException("Video encoding failed");
        }
        out->pts = ost.syncOpts;
        out->pict_type = AV_PICTURE_TYPE_NONE;
        out->quality = o.sameQuality ? int(ist.quality) : ost.facts.globalQuality;
        if (ost.facts.interlaced) {
            out->interlaced_frame = 1;
            if (o.topFieldFirst >= 0) {
                out->top_field_first = o.topFieldFirst;
            }
        }
        stage_.EncodeFrame(ost.tableIndex, out);
        ff::av_frame_unref(out);
        ++ost.syncOpts;
        ++ost.frameNumber;
    }
}

// ---- audio -------------------------------------------------------------------------

void TEncoderFeed::Samples(TOutputStream& ost, const AVFrame* frame, std::int64_t ptsUs) {
    const TTranscoderOptions& o = options_;
    const int rate = ost.facts.sampleRate;
    const std::int64_t queued = ost.audio.SamplesProduced() + ost.audio.SamplesQueued();
    const std::int64_t expected = ff::av_rescale(ptsUs, rate, AV_TIME_BASE);
    const std::int64_t delta = expected - queued;
    if (o.recordingTime != INT64_MAX) {
        ost.audio.SetSampleLimit(ff::av_rescale(o.recordingTime, rate, AV_TIME_BASE));
    }
    // Time stamps that only jitter (rounded by their container) never count as a jump.
    const bool jumped =
        ost.audioSourceEnd != AV_NOPTS_VALUE &&
        std::llabs(expected - ost.audioSourceEnd) > std::int64_t(AudioJumpThreshold * rate);
    ost.audioSourceEnd =
        expected + ff::av_rescale(frame->nb_samples, rate, std::max(frame->sample_rate, 1));
    const bool atStart = ost.audioAtStart;
    ost.audioAtStart = false;
    KeepAudioInPlace(ost, delta, atStart || jumped, frame->nb_samples);
    ost.audio.Push(frame);
}

// Puts an output's samples where the source's time stamps put them, Delta samples away from
// where they would go. Realign is set at the start of each source and after a jump of the
// time stamps (a stretch without audio in an edited file, a broadcast recording or a damaged
// disc, or an overlap): the samples are then put in place at once, with silence or a cut,
// whatever "async" says, so everything after the jump plays where the source has it. Between
// jumps, "async" decides: 1 or more corrects drift beyond "adrift_threshold" the same way, more
// than 1 also stretches the samples to even out smaller drift.
void TEncoderFeed::KeepAudioInPlace(TOutputStream& ost, std::int64_t delta, bool realign,
                                    int inputSamples) {
    const TTranscoderOptions& o = options_;
    const int rate = ost.facts.sampleRate;
    if (std::llabs(delta) <= 50) {
        return;
    }
    const bool drifted =
        o.audioSyncMethod != 0 && std::llabs(delta) > std::int64_t(o.audioDriftThreshold * rate);
    if (realign || drifted) {
        if (delta < 0) {
            if (o.verbose > 2) {
                log_(llVerbose, FormatText("discarding %d audio samples", int(-delta)));
            }
            ost.audio.Discard(-delta);
        } else {
            if (o.verbose > 2) {
                log_(llVerbose, FormatText("adding %d audio samples of silence", int(delta)));
            }
            ost.audio.PushSilence(int(std::min<std::int64_t>(delta, rate * 60LL)));
        }
    } else if (o.audioSyncMethod > 1) {
        const int compensation =
            int(std::clamp<std::int64_t>(delta, -o.audioSyncMethod, o.audioSyncMethod));
        if (o.verbose > 2) {
            log_(llVerbose, FormatText("compensating audio timestamp drift:%f "
                                       "compensation:%d in:%d",
                                       double(delta), compensation, inputSamples));
        }
        ost.audio.Compensate(compensation, rate);
    }
}

// ---- subtitles and copied packets --------------------------------------------------

void TEncoderFeed::Subtitle(TOutputStream& ost, const AVSubtitle& source, std::int64_t ptsUs) {
    if (ptsUs == AV_NOPTS_VALUE) {
        if (options_.exitOnError) {
            throw EngineException("Subtitle packets must have a pts");
        }
        log_(llError, "Subtitle packets must have a pts");
        return;
    }
    if (!subtitleBuffer_) {
        subtitleBuffer_.reset(static_cast<std::uint8_t*>(ff::av_malloc(SubtitleBufferSize)));
        if (!subtitleBuffer_) {
            throw EngineException("Subtitle encoding failed");
        }
    }
    AVSubtitle subtitle = source;
    const bool dvb = ost.encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const int passes = dvb ? 2 : 1;
    subtitle.pts = ptsUs + std::int64_t(source.start_display_time) * 1000;
    subtitle.end_display_time -= subtitle.start_display_time;
    subtitle.start_display_time = 0;
    for (int pass = 0; pass < passes; ++pass) {
        if (pass == 1) {
            subtitle.num_rects = 0; // the second DVB packet clears the picture
        }
        const int size = ff::avcodec_encode_subtitle(ost.encoder, subtitleBuffer_.get(),
                                                     SubtitleBufferSize, &subtitle);
        if (size < 0) {
            throw EngineException("Subtitle encoding failed");
        }
        AVPacketPtr packet(ff::av_packet_alloc());
        if (!packet || ff::av_new_packet(packet.get(), size) < 0) {
            throw EngineException("Subtitle encoding failed");
        }
        std::copy_n(subtitleBuffer_.get(), size, packet->data);
        packet->stream_index = ost.index;
        packet->pts = ff::av_rescale_q(subtitle.pts, AV_TIME_BASE_Q, ost.streamTimeBase);
        if (dvb) {
            packet->pts += 90 * (pass == 0 ? std::int64_t(subtitle.start_display_time)
                                           : std::int64_t(subtitle.end_display_time));
        }
        packet->dts = packet->pts;
        ost.lastDts = packet->dts;
        stage_.WritePacket(ost.tableIndex, packet.get(), TEncodeStage::TCount::Nothing);
    }
}

void TEncoderFeed::Copy(TOutputStream& ost, const AVPacket* packet, bool seeked) {
    const TTranscoderOptions& o = options_;
    const TInputStream& ist = plan_.InputStreams()[std::size_t(ost.source)];
    if (!ost.started && (packet->flags & AV_PKT_FLAG_KEY) == 0 && o.copyInitialNonKeyFrames == 0) {
        return;
    }
    if (ost.frameNumber >= o.maxFrames[ost.setup->type == AVMEDIA_TYPE_VIDEO ? flVideo : flAudio]) {
        return;
    }
    const AVRational from = ist.stream->time_base;
    if (seeked && packet->pts != AV_NOPTS_VALUE &&
        ff::av_rescale_q(packet->pts, from, AV_TIME_BASE_Q) < 0) {
        return;
    }
    ost.started = true;
    AVPacket* out = copied_.get();
    if (ff::av_packet_ref(out, packet) < 0) {
        throw EngineException("av_mallocz fail");
    }
    const AVRational to = ost.streamTimeBase;
    out->stream_index = ost.index;
    out->pts =
        packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ff::av_rescale_q(packet->pts, from, to);
    out->dts = packet->dts != AV_NOPTS_VALUE ? ff::av_rescale_q(packet->dts, from, to)
                                             : ff::av_rescale_q(ist.pts, AV_TIME_BASE_Q, to);
    out->duration = ff::av_rescale_q(packet->duration, from, to);
    out->time_base = to;
    TEncodeStage::TCount count = TEncodeStage::TCount::Audio;
    if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
        count = TEncodeStage::TCount::Video;
        ++ost.frameNumber;
    } else if (ost.setup->type == AVMEDIA_TYPE_AUDIO) {
        ++ost.frameNumber;
    }
    ost.lastDts = out->dts + std::max<std::int64_t>(out->duration, 0);
    // Unreferenced even when the stage refuses it.
    struct TUnref {
        AVPacket* packet;
        ~TUnref() { ff::av_packet_unref(packet); }
    } unref{out};
    stage_.WritePacket(ost.tableIndex, out, count);
}

void TEncoderFeed::Finish(TOutputStream& ost) {
    if (!ost.encodingNeeded || !ost.encoderOpen) {
        return;
    }
    if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
        FlushGraph(ost);
    } else if (ost.setup->type == AVMEDIA_TYPE_AUDIO) {
        ost.audio.Drain();
    }
    stage_.Drain(ost.tableIndex);
}

} // namespace tessaro
