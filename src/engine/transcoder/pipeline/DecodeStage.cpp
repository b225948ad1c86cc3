#include "transcoder/pipeline/DecodeStage.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "transcoder/pipeline/EncoderFeed.h"
#include "transcoder/pipeline/FrameObservers.h"
#include "transcoder/pipeline/InputSet.h"

#include <chrono>
#include <thread>

namespace tessaro {

namespace {

std::int64_t ToMicroseconds(std::int64_t value, AVRational timeBase) {
    return value == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                   : ff::av_rescale_q(value, timeBase, AV_TIME_BASE_Q);
}

// Before the start position of an input opened at one, nothing is converted.
bool StreamTimeReached(std::int64_t ptsUs) {
    return ptsUs == AV_NOPTS_VALUE || ptsUs >= 0;
}

} // namespace

TDecodeStage::TDecodeStage(TStreamPlan& plan, TInputSet& inputs, TEncoderFeed& feed,
                           TFrameObservers& observers, const TTranscoderOptions& options,
                           TTaskLog log)
    : plan_(plan), inputs_(inputs), feed_(feed), observers_(observers), options_(options),
      log_(log), decoded_(ff::av_frame_alloc()) {
    if (!decoded_) {
        throw EngineException("av_mallocz fail");
    }
}

template <typename Visit>
void TDecodeStage::ForEachEncodedOutput(const TInputStream& ist, Visit&& visit) {
    const int self = plan_.IndexOf(ist);
    for (TOutputStream& ost : plan_.OutputStreams()) {
        if (ost.source == self && ost.encodingNeeded && ost.encoderOpen) {
            visit(ost);
        }
    }
}

int TDecodeStage::ProcessPacket(TInputStream& ist, const AVPacket* packet) {
    if (ist.nextPts == AV_NOPTS_VALUE) {
        ist.nextPts = ist.pts;
    }
    if (packet != nullptr && packet->dts != AV_NOPTS_VALUE) {
        ist.nextPts = ist.pts = ToMicroseconds(packet->dts, ist.stream->time_base);
    }
    if (packet != nullptr) {
        const int self = plan_.IndexOf(ist);
        const bool seeked = inputs_.File(ist.file).seeked;
        for (TOutputStream& ost : plan_.OutputStreams()) {
            if (ost.source == self && ost.setup->streamCopy) {
                feed_.Copy(ost, packet, seeked);
            }
        }
    }
    if (!ist.decodingNeeded) {
        AdvanceWithoutDecoding(ist, packet);
        return 0;
    }
    const int result = DecodePacket(ist, packet);
    if (packet == nullptr) {
        FinishSourcePictures(ist);
    }
    return result;
}

void TDecodeStage::AdvanceWithoutDecoding(TInputStream& ist, const AVPacket* packet) {
    if (packet == nullptr) {
        return;
    }
    const AVCodecParameters* par = ist.stream->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0 && par->frame_size > 0) {
        ist.nextPts += std::int64_t(par->frame_size) * AV_TIME_BASE / par->sample_rate;
    } else if (packet->duration > 0) {
        ist.nextPts += ToMicroseconds(packet->duration, ist.stream->time_base);
    }
}

int TDecodeStage::DecodePacket(TInputStream& ist, const AVPacket* packet) {
    AVCodecContext* dec = ist.decoder.get();
    if (dec == nullptr) {
        return -1;
    }
    if (dec->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        return DecodeSubtitle(ist, packet);
    }
    if (dec->codec_type != AVMEDIA_TYPE_VIDEO && dec->codec_type != AVMEDIA_TYPE_AUDIO) {
        return -1;
    }
    int ret = ff::avcodec_send_packet(dec, packet);
    if (ret == AVERROR_EOF) {
        return 0; // already drained
    }
    const bool sendFailed = ret < 0 && ret != AVERROR(EAGAIN);
    AVFrame* frame = decoded_.get();
    int frames = 0;
    for (;;) {
        ret = ff::avcodec_receive_frame(dec, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            break;
        }
        if (ret < 0) {
            return -1;
        }
        if (++frames == 2 && packet != nullptr && dec->codec_type == AVMEDIA_TYPE_VIDEO) {
            NoteMultipleFrames(ist);
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

int TDecodeStage::DecodeSubtitle(TInputStream& ist, const AVPacket* packet) {
    if (packet == nullptr) {
        return 0;
    }
    AVSubtitle subtitle{};
    int got = 0;
    const int ret = ff::avcodec_decode_subtitle2(ist.decoder.get(), &subtitle, &got,
                                                 const_cast<AVPacket*>(packet));
    if (ret < 0) {
        return -1;
    }
    if (got != 0) {
        HandleDecodedSubtitle(ist, subtitle);
        ff::avsubtitle_free(&subtitle);
    }
    return 0;
}

void TDecodeStage::NoteMultipleFrames(TInputStream& ist) {
    const int verbose = options_.verbose;
    if (verbose > 1 || (verbose > 0 && !ist.multipleFramesLogged)) {
        log_(llError, FormatText("Multiple frames in a packet from stream %d", ist.index));
        ist.multipleFramesLogged = true;
    }
}

// With "re", the reading side waits until the stream's time has come on the wall clock.
void TDecodeStage::WaitForStreamTime(const TInputStream& ist, std::int64_t ptsUs) const {
    if (!options_.rateEmulation) {
        return;
    }
    const std::int64_t ahead = ptsUs - (ff::av_gettime_relative() - ist.wallStart);
    if (ahead > 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
    }
}

void TDecodeStage::HandleDecodedVideo(TInputStream& ist, AVFrame* frame) {
    ist.quality = float(frame->quality);
    std::int64_t ptsUs = ToMicroseconds(frame->best_effort_timestamp, ist.stream->time_base);
    if (ptsUs == AV_NOPTS_VALUE) {
        ptsUs = ist.nextPts;
    }
    frame->pts = ff::av_rescale_q(ptsUs, AV_TIME_BASE_Q, ist.stream->time_base);
    const AVRational rate = StreamFrameRate(ist.stream);
    if (rate.num > 0 && rate.den > 0) {
        ist.nextPts += ff::av_rescale_q(2 + frame->repeat_pict, AVRational{rate.den, 2 * rate.num},
                                        AV_TIME_BASE_Q);
    }
    WaitForStreamTime(ist, ptsUs);
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

void TDecodeStage::PullSourcePictures(TInputStream& ist) {
    TSourcePictureFilter& filter = *ist.pictureFilter;
    AVFrame* picture = ist.filteredPicture.get();
    while (filter.Pull(picture)) {
        picture->pts =
            ff::av_rescale_q(picture->pts, filter.OutputTimeBase(), ist.stream->time_base);
        DistributePicture(ist, picture, ToMicroseconds(picture->pts, ist.stream->time_base));
        ff::av_frame_unref(picture);
    }
}

void TDecodeStage::FinishSourcePictures(TInputStream& ist) {
    if (ist.pictureFilter && ist.pictureFilter->IsBuilt()) {
        ist.pictureFilter->Push(nullptr);
        PullSourcePictures(ist);
    }
}

void TDecodeStage::DistributePicture(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs) {
    if (inputs_.File(ist.file).seeked && !StreamTimeReached(ptsUs)) {
        observers_.Skip();
        return;
    }
    BurnSubpicture(ist, frame, ptsUs);
    AVFrame* picture = frame;
    observers_.Observe(picture, ptsUs);
    const std::int64_t recordingTime = options_.recordingTime;
    ForEachEncodedOutput(ist, [&](TOutputStream& ost) {
        if (recordingTime == INT64_MAX || ptsUs < recordingTime) {
            feed_.Picture(ost, picture);
        }
    });
}

void TDecodeStage::BurnSubpicture(const TInputStream& ist, AVFrame* frame, std::int64_t ptsUs) {
    TInputFile& input = inputs_.File(ist.file);
    if (input.burner && !input.burner->Burn(frame, ptsUs)) {
        log_(llError, FormatText("Cannot burn the subpicture into %s pictures; it is left out",
                                 ff::av_get_pix_fmt_name(AVPixelFormat(frame->format))));
        input.burner.reset();
    }
}

void TDecodeStage::HandleDecodedAudio(TInputStream& ist, AVFrame* frame) {
    std::int64_t ptsUs = ToMicroseconds(frame->pts, ist.stream->time_base);
    if (ptsUs == AV_NOPTS_VALUE) {
        ptsUs = ist.nextPts;
    }
    if (frame->sample_rate > 0) {
        ist.nextPts = ptsUs + std::int64_t(frame->nb_samples) * AV_TIME_BASE / frame->sample_rate;
    }
    WaitForStreamTime(ist, ptsUs);
    ForEachEncodedOutput(ist, [&](TOutputStream& ost) { feed_.Samples(ost, frame, ptsUs); });
}

void TDecodeStage::HandleDecodedSubtitle(TInputStream& ist, AVSubtitle& subtitle) {
    std::int64_t ptsUs = subtitle.pts;
    if (ptsUs == AV_NOPTS_VALUE && ist.pts != AV_NOPTS_VALUE) {
        ptsUs = ist.pts;
    }
    ForEachEncodedOutput(ist, [&](TOutputStream& ost) { feed_.Subtitle(ost, subtitle, ptsUs); });
}

} // namespace tessaro
