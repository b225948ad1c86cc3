#include "runtime/RGBConverter.h"

namespace tessaro {

namespace {

// sws_getCachedContext frees the old context itself when it cannot reuse it.
bool UpdateScaler(SwsContextPtr& scaler, int width, int height, AVPixelFormat from,
                  AVPixelFormat to) {
    SwsContext* updated =
        ff::sws_getCachedContext(scaler.release(), width, height, from, width, height, to,
                                 SWS_BICUBIC, nullptr, nullptr, nullptr);
    scaler.reset(updated);
    return updated != nullptr;
}

} // namespace

bool TRGBConverter::ToRGB(const AVFrame* picture) {
    bitmap_.SetSize(picture->width, picture->height);
    std::uint8_t* const destination[4] = {bitmap_.Data(), nullptr, nullptr, nullptr};
    int destinationStride[4] = {bitmap_.Stride(), 0, 0, 0};
    if (picture->format == AV_PIX_FMT_BGR24) {
        ff::av_image_copy(const_cast<std::uint8_t**>(destination), destinationStride,
                          const_cast<const std::uint8_t**>(picture->data), picture->linesize,
                          AV_PIX_FMT_BGR24, picture->width, picture->height);
        return true;
    }
    if (!UpdateScaler(toRGB_, picture->width, picture->height, AVPixelFormat(picture->format),
                      AV_PIX_FMT_BGR24)) {
        return false;
    }
    ff::sws_scale(toRGB_.get(), picture->data, picture->linesize, 0, picture->height, destination,
                  destinationStride);
    return true;
}

bool TRGBConverter::FromRGB(AVFrame* picture) {
    const std::uint8_t* const source[4] = {bitmap_.Data(), nullptr, nullptr, nullptr};
    const int sourceStride[4] = {bitmap_.Stride(), 0, 0, 0};
    if (picture->format == AV_PIX_FMT_BGR24) {
        ff::av_image_copy(picture->data, picture->linesize,
                          const_cast<const std::uint8_t**>(source), sourceStride, AV_PIX_FMT_BGR24,
                          picture->width, picture->height);
        return true;
    }
    if (!UpdateScaler(fromRGB_, bitmap_.Width(), bitmap_.Height(), AV_PIX_FMT_BGR24,
                      AVPixelFormat(picture->format))) {
        return false;
    }
    ff::sws_scale(fromRGB_.get(), source, sourceStride, 0, bitmap_.Height(), picture->data,
                  picture->linesize);
    return true;
}

} // namespace tessaro
