// Conversion of decoded pictures into the engine's BGR24 bitmap (for frame hooks and
// previews) and back. Scalers and the bitmap are kept and reused while the picture
// size and format stay the same.
#pragma once

#include "base/Bitmap.h"
#include "runtime/FFmpegPtr.h"

#include <memory>

namespace tessaro {

class TRGBConverter {
public:
    TRGBConverter() = default;
    TRGBConverter(const TRGBConverter&) = delete;
    TRGBConverter& operator=(const TRGBConverter&) = delete;

    // Fills Bitmap() with the picture (rows top-down). False when no scaler can be made.
    bool ToRGB(const AVFrame* picture);
    // Writes Bitmap() into Picture, which has the size of the last ToRGB and any format.
    // False when no scaler can be made.
    bool FromRGB(AVFrame* picture);
    TBitmap& Bitmap() { return bitmap_; }

private:
    TBitmap bitmap_;
    SwsContextPtr toRGB_;
    SwsContextPtr fromRGB_;
};

} // namespace tessaro
