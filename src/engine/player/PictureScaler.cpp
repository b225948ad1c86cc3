#include "player/PictureScaler.h"

#include "runtime/FFmpegPtr.h"

namespace tessaro {

struct TPictureScaler::TScaler {
    SwsContextPtr context;
};

TPictureScaler::TPictureScaler() : scaler_(std::make_unique<TScaler>()) {}

TPictureScaler::~TPictureScaler() = default;

bool TPictureScaler::ToBGRA(const TVideoPicture& picture, int width, int height,
                            std::uint8_t* pixels, int stride) {
    if (picture.Width <= 0 || picture.Height <= 0 || width <= 0 || height <= 0) {
        return false;
    }
    // sws_getCachedContext frees the old context itself when it cannot reuse it.
    SwsContext* context = ff::sws_getCachedContext(
        scaler_->context.release(), picture.Width, picture.Height, AV_PIX_FMT_YUV420P, width,
        height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    scaler_->context.reset(context);
    if (context == nullptr) {
        return false;
    }
    // The scaler reads four plane pointers and strides.
    const std::uint8_t* const source[4] = {picture.Planes[0], picture.Planes[1], picture.Planes[2],
                                           nullptr};
    const int sourceStride[4] = {picture.Pitches[0], picture.Pitches[1], picture.Pitches[2], 0};
    std::uint8_t* const destination[4] = {pixels, nullptr, nullptr, nullptr};
    const int destinationStride[4] = {stride, 0, 0, 0};
    ff::sws_scale(context, source, sourceStride, 0, picture.Height, destination, destinationStride);
    return true;
}

} // namespace tessaro
