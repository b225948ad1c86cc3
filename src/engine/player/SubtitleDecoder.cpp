#include "player/SubtitleDecoder.h"

#include "player/PacketQueue.h"
#include "player/PlaybackClock.h"
#include "runtime/MediaUtils.h"

namespace tessaro {
namespace {

// Replaces each bitmap rectangle's ARGB palette by A, Y, Cb, Cr bytes.
void PaletteToYuv(AVSubtitle& subtitle) {
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        AVSubtitleRect* rect = subtitle.rects[i];
        if (rect->type != SUBTITLE_BITMAP || rect->data[1] == nullptr) {
            continue;
        }
        auto* palette = reinterpret_cast<std::uint32_t*>(rect->data[1]);
        for (int c = 0; c < rect->nb_colors; ++c) {
            std::uint8_t yuv[3];
            RgbToYuv(palette[c], yuv);
            const std::uint8_t alpha = std::uint8_t(palette[c] >> 24);
            std::uint8_t* entry = reinterpret_cast<std::uint8_t*>(&palette[c]);
            entry[0] = alpha;
            entry[1] = yuv[0];
            entry[2] = yuv[1];
            entry[3] = yuv[2];
        }
    }
}

std::uint8_t Blend(std::uint8_t under, std::uint8_t over, int alpha) {
    return std::uint8_t((under * (255 - alpha) + over * alpha) / 255);
}

void BlendRect(AVFrame* picture, const AVSubtitleRect& rect) {
    const auto* palette = rect.data[1];
    for (int y = 0; y < rect.h; ++y) {
        const int py = rect.y + y;
        if (py < 0 || py >= picture->height) {
            continue;
        }
        for (int x = 0; x < rect.w; ++x) {
            const int px = rect.x + x;
            if (px < 0 || px >= picture->width) {
                continue;
            }
            const std::uint8_t* colour = palette + 4 * rect.data[0][y * rect.linesize[0] + x];
            const int alpha = colour[0];
            if (alpha == 0) {
                continue;
            }
            std::uint8_t& luma = picture->data[0][py * picture->linesize[0] + px];
            luma = Blend(luma, colour[1], alpha);
            if ((px & 1) == 0 && (py & 1) == 0) {
                std::uint8_t& cb = picture->data[1][(py / 2) * picture->linesize[1] + px / 2];
                std::uint8_t& cr = picture->data[2][(py / 2) * picture->linesize[2] + px / 2];
                cb = Blend(cb, colour[2], alpha);
                cr = Blend(cr, colour[3], alpha);
            }
        }
    }
}

} // namespace

TSubtitleDecoder::TSubtitleDecoder(TPlaybackHost& host, const TPlaybackControl& control,
                                   TPacketQueue& packets, const TPlaybackClock& clock)
    : host_(host), control_(control), packets_(packets), clock_(clock) {}

TSubtitleDecoder::~TSubtitleDecoder() {
    Stop();
    for (TSubPicture& sub : queue_) {
        if (sub.Filled) {
            ff::avsubtitle_free(&sub.Subtitle);
        }
    }
}

void TSubtitleDecoder::Start(AVStream* stream, AVCodecContextPtr decoder) {
    component_.Take(stream, std::move(decoder));
    packets_.Start();
    component_.StartThread(host_, "SubtitleThread", [this] { Run(); });
}

void TSubtitleDecoder::Stop() {
    if (component_.Stream() == nullptr) {
        return;
    }
    streamChanged_ = true;
    component_.StopThread(packets_, [this] {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
    });
    component_.Release();
}

void TSubtitleDecoder::Run() {
    for (;;) {
        IdleWhilePaused(control_, clock_);
        TQueuedPacket entry;
        if (packets_.Get(entry, true) < 0) {
            break;
        }
        if (entry.Flush) {
            ff::avcodec_flush_buffers(component_.Decoder());
            continue;
        }
        if (!entry.Packet || entry.Packet->size == 0) {
            continue;
        }
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return size_ < QueueSize || packets_.Aborted(); });
            if (packets_.Aborted()) {
                break;
            }
        }
        TSubPicture& slot = queue_[write_];
        int got = 0;
        if (ff::avcodec_decode_subtitle2(component_.Decoder(), &slot.Subtitle, &got,
                                         entry.Packet.get()) < 0 ||
            got == 0) {
            continue;
        }
        if (slot.Subtitle.format != 0) {
            ff::avsubtitle_free(&slot.Subtitle);
            continue;
        }
        slot.Pts = entry.Packet->pts != AV_NOPTS_VALUE
                       ? double(entry.Packet->pts) * av_q2d(component_.Stream()->time_base)
                       : 0;
        PaletteToYuv(slot.Subtitle);
        slot.Filled = true;
        write_ = (write_ + 1) % QueueSize;
        std::lock_guard lock(mutex_);
        ++size_;
    }
}

void TSubtitleDecoder::DropHead() {
    TSubPicture& head = queue_[read_];
    ff::avsubtitle_free(&head.Subtitle);
    head.Filled = false;
    read_ = (read_ + 1) % QueueSize;
    --size_;
    changed_.notify_all();
}

void TSubtitleDecoder::Advance(double currentPts) {
    std::lock_guard lock(mutex_);
    if (streamChanged_) {
        while (size_ > 0) {
            DropHead();
        }
        streamChanged_ = false;
        return;
    }
    while (size_ > 0) {
        const TSubPicture& head = queue_[read_];
        const bool ended = currentPts > head.Pts + head.Subtitle.end_display_time / 1000.0;
        bool nextStarted = false;
        if (size_ > 1) {
            const TSubPicture& next = queue_[(read_ + 1) % QueueSize];
            nextStarted = currentPts >= next.Pts + next.Subtitle.start_display_time / 1000.0;
        }
        if (!ended && !nextStarted) {
            break;
        }
        DropHead();
    }
}

void TSubtitleDecoder::BlendDue(AVFrame* picture, double pts) {
    std::lock_guard lock(mutex_);
    if (size_ == 0) {
        return;
    }
    const TSubPicture& head = queue_[read_];
    if (pts < head.Pts + head.Subtitle.start_display_time / 1000.0) {
        return;
    }
    if (ff::av_frame_make_writable(picture) < 0) {
        return;
    }
    for (unsigned i = 0; i < head.Subtitle.num_rects; ++i) {
        if (head.Subtitle.rects[i]->type == SUBTITLE_BITMAP) {
            BlendRect(picture, *head.Subtitle.rects[i]);
        }
    }
}

} // namespace tessaro
