// Per-packet work of the transcoding loop: decoding, the custom hook and previews,
// filtering, video sync, audio conversion, encoding and writing.
#include "transcoder/CustomTranscoder.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>

namespace tessaro {

namespace {

constexpr int SubtitleBufferSize = 1024 * 1024;

// Seconds by which an audio frame's time stamp may differ from the end of the frame before
// it without counting as a jump: containers round time stamps far less, and a sound after a
// smaller gap still plays well within a video frame of its time.
constexpr double AudioJumpThreshold = 0.02;

std::int64_t ToMicroseconds(std::int64_t value, AVRational timeBase) {
    return value == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                   : ff::av_rescale_q(value, timeBase, AV_TIME_BASE_Q);
}

// The stream's average frame rate, else its real base rate.
AVRational StreamFrameRate(const AVStream* stream) {
    return stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
}

bool IsVariableFrameRateFormat(const AVFormatContext* ctx) {
    return (ctx->oformat->flags & AVFMT_VARIABLE_FPS) != 0;
}

std::uint64_t ReadLittleEndian(const std::uint8_t* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// What the encoder says about one coded picture in the packet's quality side data: the
// quantiser as a lambda (4 bytes), the picture type (1 byte), the number of error sums
// (1 byte), 2 reserved bytes, then one 64-bit sum of squared errors per plane.
struct TQualityStats {
    int quality = 0;
    AVPictureType pictureType = AV_PICTURE_TYPE_NONE;
    std::int64_t lumaError = -1; // -1: the encoder did not measure it
};

bool ReadQualityStats(const AVPacket* packet, TQualityStats& stats) {
    std::size_t size = 0;
    const std::uint8_t* data =
        ff::av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (data == nullptr || size < 5) {
        return false;
    }
    stats.quality = int(std::uint32_t(ReadLittleEndian(data, 4)));
    stats.pictureType = AVPictureType(data[4]);
    stats.lumaError = size >= 16 && data[5] > 0 ? std::int64_t(ReadLittleEndian(data + 8, 8)) : -1;
    return true;
}

// Peak signal-to-noise ratio in dB of a picture whose squared errors sum to Error.
double Psnr(std::int64_t error, int width, int height) {
    return -10.0 * std::log10(double(error) / (double(width) * height * 255.0 * 255.0));
}

} // namespace

// ---- decoding ----------------------------------------------------------------------

int TCustomTranscoder::ProcessPacket(TInputStream& ist, const AVPacket* packet) {
    if (ist.nextPts == AV_NOPTS_VALUE) {
        ist.nextPts = ist.pts;
    }
    if (packet != nullptr && packet->dts != AV_NOPTS_VALUE) {
        ist.nextPts = ist.pts = ToMicroseconds(packet->dts, ist.stream->time_base);
    }
    if (packet != nullptr) {
        for (TOutputStream& ost : run_->outputStreams) {
            if (ost.source == int(&ist - run_->inputStreams.data()) && ost.setup->streamCopy) {
                CopyPacket(ist, ost, packet);
            }
        }
    }
    if (!ist.decodingNeeded) {
        if (packet != nullptr) {
            const AVCodecParameters* par = ist.stream->codecpar;
            if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0 &&
                par->frame_size > 0) {
                ist.nextPts += std::int64_t(par->frame_size) * AV_TIME_BASE / par->sample_rate;
            } else if (packet->duration > 0) {
                ist.nextPts += ToMicroseconds(packet->duration, ist.stream->time_base);
            }
        }
        return 0;
    }
    const int result = DecodePacket(ist, packet);
    if (packet == nullptr) {
        FinishSourcePictures(ist);
    }
    return result;
}

int TCustomTranscoder::DecodePacket(TInputStream& ist, const AVPacket* packet) {
    AVCodecContext* dec = ist.decoder.get();
    if (dec == nullptr) {
        return -1;
    }
    if (dec->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        if (packet == nullptr) {
            return 0;
        }
        AVSubtitle subtitle{};
        int got = 0;
        const int ret =
            ff::avcodec_decode_subtitle2(dec, &subtitle, &got, const_cast<AVPacket*>(packet));
        if (ret < 0) {
            return -1;
        }
        if (got != 0) {
            HandleDecodedSubtitle(ist, subtitle);
            ff::avsubtitle_free(&subtitle);
        }
        return 0;
    }
    if (dec->codec_type != AVMEDIA_TYPE_VIDEO && dec->codec_type != AVMEDIA_TYPE_AUDIO) {
        return -1;
    }
    int ret = ff::avcodec_send_packet(dec, packet);
    if (ret == AVERROR_EOF) {
        return 0; // already drained
    }
    const bool sendFailed = ret < 0 && ret != AVERROR(EAGAIN);
    AVFrame* frame = run_->decoded.get();
    int frames = 0;
    for (;;) {
        ret = ff::avcodec_receive_frame(dec, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            break;
        }
        if (ret < 0) {
            return -1;
        }
        ++frames;
        if (frames == 2 && packet != nullptr && dec->codec_type == AVMEDIA_TYPE_VIDEO) {
            const int verbose = Options().verbose;
            if (verbose > 1 || (verbose > 0 && !ist.multipleFramesLogged)) {
                LogMessage(llError,
                           FormatText("Multiple frames in a packet from stream %d", ist.index));
                ist.multipleFramesLogged = true;
            }
        }
        if (dec->codec_type == AVMEDIA_TYPE_VIDEO) {
            HandleDecodedVideo(ist, frame);
        } else {
            HandleDecodedAudio(ist, frame);
        }
        ff::av_frame_unref(frame);
    }
    return sendFailed ? -1 : 0;
}

bool TCustomTranscoder::StreamTimeReached(std::int64_t ptsUs) const {
    return ptsUs == AV_NOPTS_VALUE || ptsUs >= 0;
}

void TCustomTranscoder::HandleDecodedVideo(TInputStream& ist, AVFrame* frame) {
    const TTranscoderOptions& o = Options();
    ist.quality = float(frame->quality);
    const std::int64_t timestamp = frame->best_effort_timestamp;
    std::int64_t ptsUs = ToMicroseconds(timestamp, ist.stream->time_base);
    if (ptsUs == AV_NOPTS_VALUE) {
        ptsUs = ist.nextPts;
    }
    frame->pts = ff::av_rescale_q(ptsUs, AV_TIME_BASE_Q, ist.stream->time_base);
    const AVRational rate = StreamFrameRate(ist.stream);
    if (rate.num > 0 && rate.den > 0) {
        ist.nextPts += ff::av_rescale_q(2 + frame->repeat_pict, AVRational{rate.den, 2 * rate.num},
                                        AV_TIME_BASE_Q);
    }
    if (o.rateEmulation) {
        const std::int64_t ahead = ptsUs - (ff::av_gettime_relative() - ist.wallStart);
        if (ahead > 1000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
        }
    }
    TSourcePictureFilter* filter = ist.pictureFilter.get();
    if (filter == nullptr) {
        DistributePicture(ist, frame, ptsUs);
        return;
    }
    if (!filter->IsBuiltFor(frame)) {
        FinishSourcePictures(ist); // pictures held back for the previous size come out first
        try {
            filter->Build(frame, ist.stream->time_base, rate);
        } catch (const EngineException& e) {
            throw EngineException(std::string("Error opening filters: ") + e.what());
        }
    }
    filter->Push(frame);
    PullSourcePictures(ist);
}

void TCustomTranscoder::PullSourcePictures(TInputStream& ist) {
    TSourcePictureFilter& filter = *ist.pictureFilter;
    AVFrame* picture = ist.filteredPicture.get();
    while (filter.Pull(picture)) {
        picture->pts =
            ff::av_rescale_q(picture->pts, filter.OutputTimeBase(), ist.stream->time_base);
        DistributePicture(ist, picture, ToMicroseconds(picture->pts, ist.stream->time_base));
        ff::av_frame_unref(picture);
    }
}

void TCustomTranscoder::FinishSourcePictures(TInputStream& ist) {
    if (ist.pictureFilter && ist.pictureFilter->IsBuilt()) {
        ist.pictureFilter->Push(nullptr);
        PullSourcePictures(ist);
    }
}

void TCustomTranscoder::DistributePicture(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs) {
    const TTranscoderOptions& o = Options();
    if (inputs_[ist.file]->seeked && !StreamTimeReached(ptsUs)) {
        ++frameCounter_;
        return;
    }
    BurnSubpicture(ist, frame, ptsUs);
    AVFrame* picture = frame;
    PreprocessPicture(picture, ptsUs);
    const int self = int(&ist - run_->inputStreams.data());
    for (TOutputStream& ost : run_->outputStreams) {
        if (ost.source != self || !ost.encodingNeeded || !ost.encoderOpen) {
            continue;
        }
        if (o.recordingTime != INT64_MAX && ptsUs >= o.recordingTime) {
            continue;
        }
        if (picture->width != ost.lastWidth || picture->height != ost.lastHeight ||
            picture->format != ost.lastFormat) {
            RebuildForNewPictureSize(ist, ost, picture);
        }
        if (ost.graphUsed) {
            ost.graph.Push(picture);
            while (ost.graph.Pull(ost.filtered.get())) {
                VideoOutput(ost, ost.filtered.get(), ost.graph.OutputTimeBase());
                ff::av_frame_unref(ost.filtered.get());
            }
        } else {
            VideoOutput(ost, picture, ist.stream->time_base);
        }
    }
}

void TCustomTranscoder::RebuildForNewPictureSize(const TInputStream& ist, TOutputStream& ost,
                                                 const AVFrame* picture) {
    LogMessage(llQuiet, FormatText("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file,
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
    FlushVideoGraph(ost);
    try {
        BuildVideoGraph(ost, picture);
    } catch (const EngineException& e) {
        throw EngineException(std::string("Cannot get resampling context: ") + e.what());
    }
}

void TCustomTranscoder::BurnSubpicture(const TInputStream& ist, AVFrame* frame,
                                       std::int64_t ptsUs) {
    TInputFile& input = *inputs_[ist.file];
    if (input.burner && !input.burner->Burn(frame, ptsUs)) {
        LogMessage(llError,
                   FormatText("Cannot burn the subpicture into %s pictures; it is left out",
                              ff::av_get_pix_fmt_name(AVPixelFormat(frame->format))));
        input.burner.reset();
    }
}

void TCustomTranscoder::HandleDecodedAudio(TInputStream& ist, AVFrame* frame) {
    const TTranscoderOptions& o = Options();
    std::int64_t ptsUs = ToMicroseconds(frame->pts, ist.stream->time_base);
    if (ptsUs == AV_NOPTS_VALUE) {
        ptsUs = ist.nextPts;
    }
    if (frame->sample_rate > 0) {
        ist.nextPts = ptsUs + std::int64_t(frame->nb_samples) * AV_TIME_BASE / frame->sample_rate;
    }
    if (o.rateEmulation) {
        const std::int64_t ahead = ptsUs - (ff::av_gettime_relative() - ist.wallStart);
        if (ahead > 1000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
        }
    }
    const int self = int(&ist - run_->inputStreams.data());
    for (TOutputStream& ost : run_->outputStreams) {
        if (ost.source != self || !ost.encodingNeeded || !ost.encoderOpen) {
            continue;
        }
        const int rate = ost.encoder->sample_rate;
        std::int64_t queued = ost.audio.SamplesProduced() + ost.audio.SamplesQueued();
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
}

// Puts an output's samples where the source's time stamps put them, Delta samples away from
// where they would go. Realign is set at the start of each source and after a jump of the
// time stamps (a stretch without audio in an edited file, a broadcast recording or a damaged
// disc, or an overlap): the samples are then put in place at once, with silence or a cut,
// whatever "async" says, so everything after the jump plays where the source has it. Between
// jumps, "async" decides: 1 or more corrects drift beyond "adrift_threshold" the same way, more
// than 1 also stretches the samples to even out smaller drift.
void TCustomTranscoder::KeepAudioInPlace(TOutputStream& ost, std::int64_t delta, bool realign,
                                         int inputSamples) {
    const TTranscoderOptions& o = Options();
    const int rate = ost.encoder->sample_rate;
    if (std::llabs(delta) <= 50) {
        return;
    }
    const bool drifted =
        o.audioSyncMethod != 0 && std::llabs(delta) > std::int64_t(o.audioDriftThreshold * rate);
    if (realign || drifted) {
        if (delta < 0) {
            if (o.verbose > 2) {
                LogMessage(llVerbose, FormatText("discarding %d audio samples", int(-delta)));
            }
            ost.audio.Discard(-delta);
        } else {
            if (o.verbose > 2) {
                LogMessage(llVerbose, FormatText("adding %d audio samples of silence", int(delta)));
            }
            ost.audio.PushSilence(int(std::min<std::int64_t>(delta, rate * 60LL)));
        }
    } else if (o.audioSyncMethod > 1) {
        const int compensation =
            int(std::clamp<std::int64_t>(delta, -o.audioSyncMethod, o.audioSyncMethod));
        if (o.verbose > 2) {
            LogMessage(llVerbose, FormatText("compensating audio timestamp drift:%f "
                                             "compensation:%d in:%d",
                                             double(delta), compensation, inputSamples));
        }
        ost.audio.Compensate(compensation, rate);
    }
}

void TCustomTranscoder::HandleDecodedSubtitle(TInputStream& ist, AVSubtitle& subtitle) {
    const int self = int(&ist - run_->inputStreams.data());
    std::int64_t ptsUs = subtitle.pts;
    if (ptsUs == AV_NOPTS_VALUE && ist.pts != AV_NOPTS_VALUE) {
        ptsUs = ist.pts;
    }
    for (TOutputStream& ost : run_->outputStreams) {
        if (ost.source == self && ost.encodingNeeded && ost.encoderOpen) {
            SubtitleOutput(ost, subtitle, ptsUs);
        }
    }
}

void TCustomTranscoder::CopyPacket(TInputStream& ist, TOutputStream& ost, const AVPacket* packet) {
    const TTranscoderOptions& o = Options();
    if (!ost.started && (packet->flags & AV_PKT_FLAG_KEY) == 0 && o.copyInitialNonKeyFrames == 0) {
        return;
    }
    if (ost.frameNumber >= o.maxFrames[ost.setup->type == AVMEDIA_TYPE_VIDEO ? flVideo : flAudio]) {
        return;
    }
    if (inputs_[ist.file]->seeked &&
        !StreamTimeReached(ToMicroseconds(packet->pts, ist.stream->time_base))) {
        return;
    }
    ost.started = true;
    AVPacket* out = run_->copied.get();
    if (ff::av_packet_ref(out, packet) < 0) {
        throw EngineException("av_mallocz fail");
    }
    const AVRational from = ist.stream->time_base;
    const AVRational to = ost.stream->time_base;
    out->stream_index = ost.index;
    out->pts =
        packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ff::av_rescale_q(packet->pts, from, to);
    out->dts = packet->dts != AV_NOPTS_VALUE ? ff::av_rescale_q(packet->dts, from, to)
                                             : ff::av_rescale_q(ist.pts, AV_TIME_BASE_Q, to);
    out->duration = ff::av_rescale_q(packet->duration, from, to);
    out->time_base = to;
    if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
        run_->videoSize += packet->size;
        ++ost.frameNumber;
    } else {
        run_->audioSize += packet->size;
        if (ost.setup->type == AVMEDIA_TYPE_AUDIO) {
            ++ost.frameNumber;
        }
    }
    ost.lastDts = out->dts + std::max<std::int64_t>(out->duration, 0);
    WritePacket(ost, out);
    ff::av_packet_unref(out);
}

// ---- hooks and previews ------------------------------------------------------------

void TCustomTranscoder::PreprocessPicture(AVFrame*& frame, std::int64_t ptsUs) {
    ++frameCounter_;
    if (callbacks_.customHook) {
        RunCustomHook(frame, ptsUs);
    }
}

void TCustomTranscoder::RunCustomHook(AVFrame*& frame, std::int64_t pts) {
    if (!hookConverter_) {
        hookConverter_ = std::make_unique<TRGBConverter>();
    }
    if (!hookConverter_->ToRGB(frame)) {
        LogMessage(llError, "Cannot initialize the toRGB conversion context");
        callbacks_.customHook = nullptr;
        return;
    }
    bool update = true;
    bool stopHook = false;
    try {
        callbacks_.customHook(hookConverter_->Bitmap(), frameCounter_, pts, update, stopHook);
    } catch (const std::exception& e) {
        LogMessage(llError, std::string("Error occurs OnCustomHook: ") + e.what());
        update = false;
    } catch (...) {
        LogMessage(llError, "Error occurs OnCustomHook: unknown exception");
        update = false;
    }
    if (update) {
        AVFrame* work = workPicture_.get();
        const bool fits = work != nullptr && work->width == frame->width &&
                          work->height == frame->height && work->format == frame->format;
        if (!fits || ff::av_frame_is_writable(work) == 0) {
            if (!workPicture_) {
                workPicture_.reset(ff::av_frame_alloc());
            }
            work = workPicture_.get();
            ff::av_frame_unref(work);
            work->width = frame->width;
            work->height = frame->height;
            work->format = frame->format;
            if (ff::av_frame_get_buffer(work, 0) < 0) {
                LogMessage(llError, "hook buf malloc error.");
                work = nullptr;
            }
        }
        if (work != nullptr) {
            if (!hookConverter_->FromRGB(work)) {
                LogMessage(llError, "Cannot initialize the fromRGB conversion context");
                stopHook = true;
            } else {
                ff::av_frame_copy_props(work, frame);
                frame = work;
            }
        }
    }
    if (stopHook) {
        callbacks_.customHook = nullptr;
    }
}

void TCustomTranscoder::ShowPreview(const AVFrame* frame, AVRational timeBase) {
    int flags = 0;
    {
        std::lock_guard lock(PreviewLock());
        flags = flags_;
    }
    if ((flags & TaskFlagPreviewWindow) == 0) {
        previewWindow_.reset(); // the preview was switched off: its window closes
    }
    if (flags == 0) {
        return;
    }
    const std::int64_t now = ff::av_gettime_relative();
    if (lastPreviewTime_ != 0 && now - lastPreviewTime_ <= PreviewIntervalMicroseconds) {
        return;
    }
    lastPreviewTime_ = now;
    const std::int64_t pts = ToMicroseconds(frame->pts, timeBase);
    if (!previewConverter_) {
        previewConverter_ = std::make_unique<TRGBConverter>();
    }
    int clear = 0;
    // The flags are only read and changed under the lock: a handler may wait for the main
    // thread, which takes the same lock when the component's preview properties change.
    if ((flags & TaskFlagPreviewBitmap) != 0 && callbacks_.previewBitmap) {
        if (!previewConverter_->ToRGB(frame)) {
            LogMessage(llError, "Cannot initialize the toRGB conversion context");
            clear = TaskFlagPreviewBitmap;
        } else {
            callbacks_.previewBitmap(previewConverter_->Bitmap(), frameCounter_, pts);
        }
    } else if ((flags & TaskFlagPreviewWindow) != 0) {
        bool shown = previewConverter_->ToRGB(frame);
        if (shown) {
            if (!previewWindow_) {
                previewWindow_ = CreatePreviewer();
            }
            shown = previewWindow_ &&
                    previewWindow_->Show(previewConverter_->Bitmap(), frameCounter_, pts);
        }
        if (!shown) {
            clear = TaskFlagPreviewWindow;
        }
    }
    if (clear != 0) {
        {
            std::lock_guard lock(PreviewLock());
            flags_ = flags_ & ~clear;
        }
        // Closed outside the lock: the window goes on the main thread, which may be waiting
        // for the lock to change the preview flags.
        if (clear == TaskFlagPreviewWindow) {
            previewWindow_.reset();
        }
    }
}

// ---- video -------------------------------------------------------------------------

void TCustomTranscoder::VideoOutput(TOutputStream& ost, AVFrame* frame, AVRational timeBase) {
    TTranscodeRun& run = *run_;
    const TTranscoderOptions& o = Options();
    AVCodecContext* enc = ost.encoder;
    const double syncIpts = frame->pts == AV_NOPTS_VALUE
                                ? double(ost.syncOpts)
                                : double(frame->pts) * av_q2d(timeBase) / av_q2d(enc->time_base);
    // How long the picture lasts, in output frames: the last picture of a stream then
    // still fills its own time, and a faster output rate repeats pictures evenly.
    const AVStream* source = run.inputStreams[ost.source].stream;
    const AVRational inputRate = StreamFrameRate(source);
    const double duration = inputRate.num > 0 && inputRate.den > 0
                                ? 1.0 / av_q2d(inputRate) / av_q2d(enc->time_base)
                                : 1.0;
    int nb = 1;
    int method = o.videoSyncMethod;
    if (method < 0) {
        method = IsVariableFrameRateFormat(ost.output->context.get()) ? 2 : 1;
    }
    if (method != 0) {
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
            ++run.dropped;
            run.dupDropSinceReport = true;
            if (o.verbose > 2) {
                LogMessage(llVerbose, "*** drop!");
            }
        } else if (nb > 1) {
            run.duplicated += nb - 1;
            run.dupDropSinceReport = true;
            if (o.verbose > 2) {
                LogMessage(llVerbose, FormatText("*** %d dup!", nb - 1));
            }
        }
    } else {
        const std::int64_t target = std::llround(syncIpts);
        if (ost.frameNumber > 0 && target < ost.syncOpts) {
            nb = 0; // a time stamp that went back cannot be written
            ++run.dropped;
        } else {
            ost.syncOpts = target;
        }
    }
    nb = int(std::min<std::int64_t>(nb, std::int64_t(o.maxFrames[flVideo]) - ost.frameNumber));
    if (nb <= 0) {
        return;
    }
    ShowPreview(frame, timeBase);
    // The picture may go on to other output streams: its own time stamp is put back.
    const std::int64_t pictureTime = frame->pts;
    for (int i = 0; i < nb && !stopRequested_; ++i) {
        frame->pts = ost.syncOpts;
        EncodeVideoFrame(ost, frame);
        ++ost.syncOpts;
        ++ost.frameNumber;
    }
    frame->pts = pictureTime;
}

void TCustomTranscoder::EncodeVideoFrame(TOutputStream& ost, AVFrame* frame) {
    AVCodecContext* enc = ost.encoder;
    const TTranscoderOptions& o = Options();
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->quality =
        o.sameQuality ? int(run_->inputStreams[ost.source].quality) : enc->global_quality;
    if ((enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) != 0) {
        frame->interlaced_frame = 1;
        if (o.topFieldFirst >= 0) {
            frame->top_field_first = o.topFieldFirst;
        }
    }
    if (ff::avcodec_send_frame(enc, frame) < 0) {
        throw EngineException("Video encoding failed");
    }
    ReceivePackets(ost, "Video encoding failed");
}

void TCustomTranscoder::FlushVideoGraph(TOutputStream& ost) {
    if (!ost.graphUsed || !ost.graph.IsBuilt()) {
        return;
    }
    ost.graph.Push(nullptr);
    while (ost.graph.Pull(ost.filtered.get())) {
        VideoOutput(ost, ost.filtered.get(), ost.graph.OutputTimeBase());
        ff::av_frame_unref(ost.filtered.get());
    }
}

// ---- audio -------------------------------------------------------------------------

void TCustomTranscoder::EncodeAudioFrame(TOutputStream& ost, AVFrame* frame) {
    if (ff::avcodec_send_frame(ost.encoder, frame) < 0) {
        throw EngineException("Audio encoding failed");
    }
    ++ost.frameNumber;
    ReceivePackets(ost, "Audio encoding failed");
}

// ---- subtitles ---------------------------------------------------------------------

void TCustomTranscoder::SubtitleOutput(TOutputStream& ost, const AVSubtitle& source,
                                       std::int64_t ptsUs) {
    if (ptsUs == AV_NOPTS_VALUE) {
        if (Options().exitOnError) {
            throw EngineException("Subtitle packets must have a pts");
        }
        LogMessage(llError, "Subtitle packets must have a pts");
        return;
    }
    if (!run_->subtitleBuffer) {
        run_->subtitleBuffer.reset(static_cast<std::uint8_t*>(ff::av_malloc(SubtitleBufferSize)));
        if (!run_->subtitleBuffer) {
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
        const int size = ff::avcodec_encode_subtitle(ost.encoder, run_->subtitleBuffer.get(),
                                                     SubtitleBufferSize, &subtitle);
        if (size < 0) {
            throw EngineException("Subtitle encoding failed");
        }
        AVPacketPtr packet(ff::av_packet_alloc());
        if (!packet || ff::av_new_packet(packet.get(), size) < 0) {
            throw EngineException("Subtitle encoding failed");
        }
        std::copy_n(run_->subtitleBuffer.get(), size, packet->data);
        packet->stream_index = ost.index;
        packet->pts = ff::av_rescale_q(subtitle.pts, AV_TIME_BASE_Q, ost.stream->time_base);
        if (dvb) {
            packet->pts += 90 * (pass == 0 ? std::int64_t(subtitle.start_display_time)
                                           : std::int64_t(subtitle.end_display_time));
        }
        packet->dts = packet->pts;
        ost.lastDts = packet->dts;
        WritePacket(ost, packet.get());
    }
}

// ---- encoding and writing ----------------------------------------------------------

void TCustomTranscoder::ReceivePackets(TOutputStream& ost, const char* failureText) {
    AVCodecContext* enc = ost.encoder;
    AVPacket* packet = run_->encoded.get();
    for (;;) {
        const int ret = ff::avcodec_receive_packet(enc, packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return;
        }
        if (ret < 0) {
            throw EngineException(failureText);
        }
        if (ost.passLog && enc->stats_out != nullptr) {
            std::fputs(enc->stats_out, ost.passLog.get());
        }
        if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
            TQualityStats stats;
            if (ReadQualityStats(packet, stats)) {
                ost.quality = float(stats.quality) / FF_QP2LAMBDA;
                ost.lastPictureType = stats.pictureType;
            }
            ost.lastLumaError = stats.lumaError;
            ++ost.packetsEncoded;
            run_->videoSize += packet->size;
            ost.lastEncodedSize = packet->size;
            if (!Options().vstatsFileName.empty() && packet->size > 0) {
                WriteVideoStatistics(ost, packet);
            }
        } else {
            run_->audioSize += packet->size;
        }
        ff::av_packet_rescale_ts(packet, enc->time_base, ost.stream->time_base);
        packet->stream_index = ost.index;
        if (packet->dts != AV_NOPTS_VALUE) {
            ost.lastDts = packet->dts + packet->duration;
        }
        WritePacket(ost, packet);
    }
}

void TCustomTranscoder::WriteVideoStatistics(TOutputStream& ost, const AVPacket* packet) {
    TTranscodeRun& run = *run_;
    const std::string& name = Options().vstatsFileName;
    if (!run.vstats) {
        run.vstats.reset(std::fopen(name.c_str(), "w"));
        if (!run.vstats) {
            throw EngineException("fopen fail: " + name);
        }
    }
    std::FILE* f = run.vstats.get();
    AVCodecContext* enc = ost.encoder;
    // Encoders that hold pictures back deliver packets later than their pictures went in:
    // a line counts the packets, so every coded picture gets its own number.
    std::fprintf(f, "frame= %5d q= %2.1f ", ost.packetsEncoded, double(ost.quality));
    if ((enc->flags & AV_CODEC_FLAG_PSNR) != 0 && ost.lastLumaError >= 0) {
        std::fprintf(f, "PSNR= %6.2f ", Psnr(ost.lastLumaError, enc->width, enc->height));
    }
    std::fprintf(f, "f_size= %6d ", packet->size);
    double time = double(ost.syncOpts) * av_q2d(enc->time_base);
    if (time < 0.01) {
        time = 0.01;
    }
    const double bitRate = packet->size * 8 / av_q2d(enc->time_base) / 1000.0;
    const double averageRate = double(run.videoSize) * 8 / time / 1000.0;
    std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 double(run.videoSize) / 1024, time, bitRate, averageRate);
    std::fprintf(f, "type= %c\n", ff::av_get_picture_type_char(ost.lastPictureType));
}

void TCustomTranscoder::WritePacket(TOutputStream& ost, AVPacket* packet) {
    if (!ost.bitstreamFilters.empty()) {
        for (std::size_t i = 0; i < ost.bitstreamFilters.size(); ++i) {
            AVBSFContext* bsf = ost.bitstreamFilters[i].get();
            int ret = ff::av_bsf_send_packet(bsf, packet);
            if (ret >= 0) {
                ret = ff::av_bsf_receive_packet(bsf, packet);
            }
            if (ret == AVERROR(EAGAIN)) {
                return; // the filter holds the packet back for now
            }
            if (ret < 0) {
                const std::string message =
                    FormatText("%s failed for stream %d, codec %s", bsf->filter->name, ost.index,
                               ost.encoder != nullptr && ost.encoder->codec != nullptr
                                   ? ost.encoder->codec->name
                                   : "copy") +
                    ": " + tessaro::ErrorText(ret);
                if (Options().exitOnError) {
                    throw EngineException(message);
                }
                LogMessage(llError, message);
            }
        }
    }
    TLibraryErrorCapture capture;
    const int ret = ff::av_interleaved_write_frame(ost.output->context.get(), packet);
    if (ret < 0) {
        throw EngineException(
            capture.Explain(tessaro::ErrorText("av_interleaved_write_frame()", ret)));
    }
}

void TCustomTranscoder::DrainEncoder(TOutputStream& ost) {
    AVCodecContext* enc = ost.encoder;
    if (enc->codec_type != AVMEDIA_TYPE_VIDEO && enc->codec_type != AVMEDIA_TYPE_AUDIO) {
        return;
    }
    const char* failure =
        enc->codec_type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed";
    const int ret = ff::avcodec_send_frame(enc, nullptr);
    if (ret < 0 && ret != AVERROR_EOF) {
        throw EngineException(failure);
    }
    ReceivePackets(ost, failure);
}

} // namespace tessaro
