// Decoded pictures of converted files compared with their sources: a frame by its number,
// a frame scaled the way the converter scales, and the peak signal to noise ratio of two
// pictures.
#pragma once

#include "TranscodeTestSupport.h"

#include <cmath>
#include <cstdint>

namespace tessaro::test {

// A copy of the decoded frame number index of path's video.
inline AVFramePtr DecodedFrame(const std::string& path, int index) {
    AVFramePtr found;
    int number = 0;
    DecodeFrames(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
        if (number++ == index) {
            found.reset(ff::av_frame_clone(frame));
        }
    });
    return found;
}

// The frame in planar 4:2:0 at width x height, scaled as the converter scales.
inline AVFramePtr Scaled(const AVFrame* frame, int width, int height) {
    AVFramePtr out(ff::av_frame_alloc());
    out->format = AV_PIX_FMT_YUV420P;
    out->width = width;
    out->height = height;
    EXPECT_GE(ff::av_frame_get_buffer(out.get(), 0), 0);
    const SwsContextPtr scaler(ff::sws_getCachedContext(
        nullptr, frame->width, frame->height, AVPixelFormat(frame->format), width, height,
        AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
    EXPECT_NE(scaler, nullptr);
    ff::sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, out->data,
                  out->linesize);
    return out;
}

// Peak signal to noise ratio of two 4:2:0 pictures of one size over all three planes.
inline double Psnr(const AVFrame* a, const AVFrame* b) {
    double squares = 0;
    double samples = 0;
    for (int plane = 0; plane < 3; ++plane) {
        const int width = plane == 0 ? a->width : (a->width + 1) / 2;
        const int height = plane == 0 ? a->height : (a->height + 1) / 2;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* rowA = a->data[plane] + std::ptrdiff_t(y) * a->linesize[plane];
            const std::uint8_t* rowB = b->data[plane] + std::ptrdiff_t(y) * b->linesize[plane];
            for (int x = 0; x < width; ++x) {
                const double d = double(rowA[x]) - double(rowB[x]);
                squares += d * d;
            }
        }
        samples += double(width) * height;
    }
    return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * samples / squares);
}

} // namespace tessaro::test
