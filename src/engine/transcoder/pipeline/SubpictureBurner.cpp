#include "transcoder/pipeline/SubpictureBurner.h"

#include "base/EngineException.h"
#include "io/MediaInput.h"
#include "runtime/Bindings.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"

#include <algorithm>
#include <mutex>

namespace tessaro {

namespace {

// DVD subpictures are laid out on the full TV frame whatever size the video is coded at.
constexpr int DvdCanvasWidth = 720;
constexpr int NtscCanvasHeight = 480;
constexpr int PalCanvasHeight = 576;

struct TCanvas {
    int width, height;
};

TCanvas CanvasFor(const AVFrame* frame) {
    const int height = frame->height % 288 == 0 ? PalCanvasHeight : NtscCanvasHeight;
    return {std::max(DvdCanvasWidth, frame->width), std::max(height, frame->height)};
}

// An ARGB colour as Y, U and V with its alpha.
struct TYuva {
    std::uint8_t value[3];
    int alpha;
};

TYuva ToYuva(std::uint32_t argb) {
    TYuva colour{{}, int(argb >> 24)};
    RgbToYuv(argb, colour.value);
    return colour;
}

bool CarriesSubpictures(const AVPixFmtDescriptor* desc) {
    return desc != nullptr && desc->nb_components >= 3 && (desc->flags & AV_PIX_FMT_FLAG_PLANAR) &&
           !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) &&
           desc->comp[0].depth == 8 && desc->comp[0].plane == 0 && desc->comp[1].plane == 1 &&
           desc->comp[2].plane == 2;
}

} // namespace

TSubpictureBurner::TSubpictureBurner(int streamId, std::string paletteText)
    : streamId_(streamId), paletteText_(std::move(paletteText)) {}

bool TSubpictureBurner::OpenDecoder(const AVStream* stream) {
    const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
    decoder_.reset(codec != nullptr ? ff::avcodec_alloc_context3(codec) : nullptr);
    if (!decoder_) {
        errorText_ = FormatText("Unsupported codec (id=%d) for input subpicture stream 0x%x",
                                int(stream->codecpar->codec_id), streamId_);
        return false;
    }
    AVDictionaryHolder options;
    if (!paletteText_.empty()) {
        ff::av_dict_set(options.Get(), "palette", paletteText_.c_str(), 0);
    }
    int ret = ff::avcodec_parameters_to_context(decoder_.get(), stream->codecpar);
    if (ret >= 0) {
        std::lock_guard lock(CodecLock());
        ret = ff::avcodec_open2(decoder_.get(), codec, options.Get());
    }
    if (ret < 0) {
        errorText_ =
            tessaro::ErrorText(FormatText("Error while opening decoder for input subpicture "
                                          "stream 0x%x",
                                          streamId_),
                               ret);
        decoder_.reset();
        return false;
    }
    return true;
}

bool TSubpictureBurner::Offer(const AVStream* stream, const AVPacket* packet,
                              std::int64_t offsetUs) {
    if (failed_ || stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE ||
        DvdStreamId(stream) != streamId_) {
        return !failed_;
    }
    if (!decoder_ && !OpenDecoder(stream)) {
        failed_ = true;
        return false;
    }
    // Only the first packet of a subpicture unit carries its time; the rest continue it.
    if (packet->pts != AV_NOPTS_VALUE) {
        unitStartUs_ = ff::av_rescale_q(packet->pts, stream->time_base, AV_TIME_BASE_Q) + offsetUs;
    }
    AVSubtitle subtitle{};
    int got = 0;
    if (ff::avcodec_decode_subtitle2(decoder_.get(), &subtitle, &got,
                                     const_cast<AVPacket*>(packet)) < 0) {
        return true; // a damaged unit is skipped; the next one may decode
    }
    if (got != 0) {
        Keep(subtitle, unitStartUs_);
        ff::avsubtitle_free(&subtitle);
    }
    return true;
}

void TSubpictureBurner::Keep(const AVSubtitle& subtitle, std::int64_t packetUs) {
    TSubpicture shown;
    shown.start = packetUs + std::int64_t(subtitle.start_display_time) * 1000;
    if (subtitle.end_display_time > subtitle.start_display_time &&
        subtitle.end_display_time != UINT32_MAX) {
        shown.end = packetUs + std::int64_t(subtitle.end_display_time) * 1000;
    }
    for (unsigned r = 0; r < subtitle.num_rects; ++r) {
        const AVSubtitleRect* rect = subtitle.rects[r];
        if (rect->type != SUBTITLE_BITMAP || rect->w <= 0 || rect->h <= 0 ||
            rect->data[0] == nullptr || rect->data[1] == nullptr) {
            continue;
        }
        TBitmap bitmap;
        bitmap.x = rect->x;
        bitmap.y = rect->y;
        bitmap.width = rect->w;
        bitmap.height = rect->h;
        bitmap.indices.resize(std::size_t(rect->w) * rect->h);
        for (int row = 0; row < rect->h; ++row) {
            std::copy_n(rect->data[0] + std::ptrdiff_t(row) * rect->linesize[0], rect->w,
                        bitmap.indices.begin() + std::ptrdiff_t(row) * rect->w);
        }
        const auto* colours = reinterpret_cast<const std::uint32_t*>(rect->data[1]);
        bitmap.colours.assign(colours, colours + std::clamp(rect->nb_colors, 0, 256));
        shown.bitmaps.push_back(std::move(bitmap));
    }
    // Subpictures arrive in time order; a later one replaces what is on screen.
    while (!queue_.empty() && queue_.back().start >= shown.start) {
        queue_.pop_back();
    }
    queue_.push_back(std::move(shown));
}

const TSubpictureBurner::TSubpicture* TSubpictureBurner::ShownAt(std::int64_t ptsUs) {
    while (queue_.size() >= 2 && queue_[1].start <= ptsUs) {
        queue_.pop_front();
    }
    if (queue_.empty() || ptsUs < queue_.front().start || ptsUs >= queue_.front().end) {
        return nullptr;
    }
    return &queue_.front();
}

bool TSubpictureBurner::Burn(AVFrame* frame, std::int64_t ptsUs) {
    const TSubpicture* shown = ShownAt(ptsUs);
    if (shown == nullptr || shown->bitmaps.empty()) {
        return true;
    }
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!CarriesSubpictures(desc) || ff::av_frame_make_writable(frame) < 0) {
        return false;
    }
    const TCanvas canvas = CanvasFor(frame);
    for (const TBitmap& bitmap : shown->bitmaps) {
        std::vector<TYuva> colours;
        colours.reserve(bitmap.colours.size());
        for (const std::uint32_t argb : bitmap.colours) {
            colours.push_back(ToYuva(argb));
        }
        for (int plane = 0; plane < 3; ++plane) {
            const int shiftX = plane == 0 ? 0 : desc->log2_chroma_w;
            const int shiftY = plane == 0 ? 0 : desc->log2_chroma_h;
            const int planeWidth = -((-frame->width) >> shiftX);
            const int planeHeight = -((-frame->height) >> shiftY);
            // Plane positions of the bitmap's corners, from canvas to frame to plane.
            const auto toPlane = [](int v, int frameSize, int canvasSize, int shift) {
                return int(std::int64_t(v) * frameSize / canvasSize) >> shift;
            };
            const int x0 = std::max(toPlane(bitmap.x, frame->width, canvas.width, shiftX), 0);
            const int y0 = std::max(toPlane(bitmap.y, frame->height, canvas.height, shiftY), 0);
            const int x1 =
                std::min(toPlane(bitmap.x + bitmap.width, frame->width, canvas.width, shiftX) + 1,
                         planeWidth);
            const int y1 = std::min(
                toPlane(bitmap.y + bitmap.height, frame->height, canvas.height, shiftY) + 1,
                planeHeight);
            for (int py = y0; py < y1; ++py) {
                const int by =
                    int(std::int64_t(py << shiftY) * canvas.height / frame->height) - bitmap.y;
                if (by < 0 || by >= bitmap.height) {
                    continue;
                }
                std::uint8_t* row =
                    frame->data[plane] + std::ptrdiff_t(py) * frame->linesize[plane];
                for (int px = x0; px < x1; ++px) {
                    const int bx =
                        int(std::int64_t(px << shiftX) * canvas.width / frame->width) - bitmap.x;
                    if (bx < 0 || bx >= bitmap.width) {
                        continue;
                    }
                    const std::uint8_t index =
                        bitmap.indices[std::size_t(by) * bitmap.width + std::size_t(bx)];
                    if (index >= colours.size() || colours[index].alpha == 0) {
                        continue;
                    }
                    const TYuva& c = colours[index];
                    row[px] = std::uint8_t(
                        (row[px] * (255 - c.alpha) + c.value[plane] * c.alpha + 127) / 255);
                }
            }
        }
    }
    return true;
}

} // namespace tessaro
