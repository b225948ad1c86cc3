#include "player/VideoDecoder.h"

#include "player/PacketQueue.h"
#include "player/PictureQueue.h"
#include "player/PlaybackClock.h"
#include "probe/DisplayRotation.h"
#include "runtime/FilterChain.h"
#include "runtime/LibraryLoader.h"

#include <cmath>

namespace tessaro {
namespace {

constexpr int ScalerFlags = 4; // bicubic

} // namespace

TVideoDecoder::TVideoDecoder(TPlaybackHost& host, TPlaybackControl& control,
                             const TMediaFacts& facts, TPacketQueue& packets,
                             TPictureQueue& pictures, TPlaybackClock& clock,
                             std::function<void()> endReached)
    : host_(host), control_(control), facts_(facts), packets_(packets), pictures_(pictures),
      clock_(clock), endReached_(std::move(endReached)) {}

TVideoDecoder::~TVideoDecoder() {
    Stop();
}

void TVideoDecoder::Start(AVFormatContext* format, AVStream* stream, AVCodecContextPtr decoder) {
    decoding_.Format = format;
    component_.Take(stream, std::move(decoder));
    packets_.Start();
    component_.StartThread(host_, "VideoThread", [this] { Run(); });
}

void TVideoDecoder::Stop() {
    if (component_.Stream() == nullptr) {
        return;
    }
    component_.StopThread(packets_, [this] { pictures_.WakeAll(); });
    component_.Release();
}

// ---- The decoding thread --------------------------------------------------------------------

bool TVideoDecoder::BuildFilterGraph(const AVFrame* frame) {
    {
        std::lock_guard lock(CodecLock());
        decoding_.FilterGraph.reset();
    }
    decoding_.FilterSource = decoding_.FilterSink = nullptr;
    AVFilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph) {
        return false;
    }
    graph->scale_sws_opts = ff::av_strdup(FormatText("flags=%d", ScalerFlags).c_str());
    const AVStream* video = component_.Stream();
    const AVRational timeBase = video->time_base;
    AVRational aspect = frame->sample_aspect_ratio;
    if (aspect.num == 0) {
        aspect = video->codecpar->sample_aspect_ratio;
    }
    if (aspect.num == 0 || aspect.den == 0) {
        aspect = AVRational{0, 1};
    }
    const std::string arguments = FormatText(
        "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width,
        frame->height, frame->format, timeBase.num, timeBase.den, aspect.num, aspect.den);
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    if (ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "src",
                                         arguments.c_str(), nullptr, graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph.get()) < 0) {
        return false;
    }
    const int formats[] = {AV_PIX_FMT_YUV420P};
    // A stream stored turned (a phone's upright recording) is shown upright.
    const std::string turn = RotationFilterChain(StreamRotation(video));
    const int linked = turn.empty() ? ff::avfilter_link(source, 0, sink, 0)
                                    : LinkFilterChain(graph.get(), source, sink, turn);
    if (ff::av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats),
                           sizeof formats, AV_OPT_SEARCH_CHILDREN) < 0 ||
        linked < 0 || ff::avfilter_graph_config(graph.get(), nullptr) < 0) {
        return false;
    }
    decoding_.FilterGraph = std::move(graph);
    decoding_.FilterSource = source;
    decoding_.FilterSink = sink;
    pictureWidth_ = frame->width;
    pictureHeight_ = frame->height;
    decoding_.FilterFormat = frame->format;
    return true;
}

double TVideoDecoder::FrameDuration() const {
    const AVRational rate = ff::av_guess_frame_rate(decoding_.Format, component_.Stream(), nullptr);
    return rate.num != 0 && rate.den != 0 ? av_q2d(av_inv_q(rate)) : 0.04;
}

// Puts a filtered picture into the picture queue; -1 when playback is aborted.
int TVideoDecoder::QueuePicture(AVFrame* picture, double pts, int repeat) {
    pts = clock_.StampPicture(pts, FrameDuration(), repeat);
    const std::int64_t pos = picture->pkt_pos;
    if (!pictures_.WaitForRoom(control_.RefreshPending, [this] { return packets_.Aborted(); })) {
        return -1;
    }
    TPictureSlot& slot = pictures_.WriteSlot();
    if (!slot.Frame) {
        slot.Frame.reset(ff::av_frame_alloc());
    }
    ff::av_frame_unref(slot.Frame.get());
    ff::av_frame_move_ref(slot.Frame.get(), picture);
    slot.Width = slot.Frame->width;
    slot.Height = slot.Frame->height;
    slot.Allocated = true;
    host_.HookPicture(slot.Frame.get(), std::llround(pts * 1e6) - facts_.StartTime);
    slot.Pts = pts;
    slot.Pos = pos;
    slot.Target = clock_.PictureDue(pts);
    pictures_.Publish();
    return 0;
}

void TVideoDecoder::AfterPictureDecoded() {
    control_.FrameDecoded.Set();
    control_.EndReported = false;
    const int openPaused = control_.OpenPaused;
    if (openPaused > 1) {
        control_.OpenPaused = 0;
        host_.ReportState(psPause);
    } else if (openPaused == 1) {
        control_.OpenPaused = 2;
    }
}

// Runs one decoded picture through the filter graph into the picture queue.
int TVideoDecoder::FilterAndQueue(AVFrame* frame, AVFrame* filtered) {
    if (!decoding_.FilterGraph || frame->width != pictureWidth_ ||
        frame->height != pictureHeight_ || frame->format != decoding_.FilterFormat) {
        // A stream whose pictures change size (a DVD title, a broadcast) gets a new graph.
        if (!BuildFilterGraph(frame)) {
            host_.Log(llError, "Picture properties changed.");
            return 0;
        }
    }
    const int repeat = frame->repeat_pict;
    if (ff::av_buffersrc_add_frame_flags(decoding_.FilterSource, frame, 0) < 0) {
        return 0;
    }
    const AVRational timeBase = ff::av_buffersink_get_time_base(decoding_.FilterSink);
    while (ff::av_buffersink_get_frame(decoding_.FilterSink, filtered) >= 0) {
        if (control_.StalePictures && control_.FirstFrameAfterFlush) {
            control_.StalePictures = false;
            control_.PausedAtSeek = false;
        }
        const double pts =
            filtered->pts == AV_NOPTS_VALUE ? 0 : double(filtered->pts) * av_q2d(timeBase);
        const int queued = QueuePicture(filtered, pts, repeat);
        ff::av_frame_unref(filtered);
        if (queued < 0) {
            return -1;
        }
        AfterPictureDecoded();
    }
    return 0;
}

// Takes every picture the decoder has ready; -1 when playback is aborted.
int TVideoDecoder::ReceivePictures(AVFrame* frame, AVFrame* filtered) {
    for (;;) {
        const int received = ff::avcodec_receive_frame(component_.Decoder(), frame);
        if (received < 0) {
            return 0;
        }
        frame->pts = frame->best_effort_timestamp;
        const int result = pictures_.CountDecoded() ? FilterAndQueue(frame, filtered) : 0;
        ff::av_frame_unref(frame);
        if (result < 0) {
            return -1;
        }
    }
}

void TVideoDecoder::Flush() {
    ff::avcodec_flush_buffers(component_.Decoder());
    pictures_.Flush([this] { return packets_.Aborted(); });
    clock_.VideoFlushed();
    control_.FirstFrameAfterFlush = true;
}

void TVideoDecoder::Run() {
    AVFramePtr frame(ff::av_frame_alloc());
    AVFramePtr filtered(ff::av_frame_alloc());
    for (;;) {
        IdleWhilePaused(control_, clock_);
        TQueuedPacket entry;
        if (packets_.Get(entry, true) < 0) {
            break;
        }
        if (entry.Flush) {
            Flush();
            continue;
        }
        // An empty packet marks the end of the input: drain the pictures held back.
        ff::avcodec_send_packet(component_.Decoder(),
                                entry.Packet->size > 0 ? entry.Packet.get() : nullptr);
        if (ReceivePictures(frame.get(), filtered.get()) < 0) {
            break;
        }
        if (entry.Packet->size == 0 && !control_.EndReported) {
            endReached_();
        }
    }
    std::lock_guard lock(CodecLock());
    decoding_.FilterGraph.reset();
}

} // namespace tessaro
