// Scaling the pictures a video surface is handed into a host's own 32-bit image, with the
// media libraries' scaler: hosts that paint with a toolkit (not SDL) use it on the player's
// thread. Needs the player's libraries loaded.
#pragma once

#include "player/VideoSurface.h"

#include <cstdint>
#include <memory>

namespace tessaro {

class TPictureScaler {
public:
    TPictureScaler();
    ~TPictureScaler();
    TPictureScaler(const TPictureScaler&) = delete;
    TPictureScaler& operator=(const TPictureScaler&) = delete;

    // Scales picture to width x height pixels into pixels (rows of stride bytes), 4 bytes a
    // pixel in the order blue, green, red, 255. The scaler is kept while the sizes stay.
    // False when no scaler can be made for them.
    bool ToBGRA(const TVideoPicture& picture, int width, int height, std::uint8_t* pixels,
                int stride);

private:
    struct TScaler;
    std::unique_ptr<TScaler> scaler_;
};

} // namespace tessaro
