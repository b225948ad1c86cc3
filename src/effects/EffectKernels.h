// The pixel kernels of the frame effects: the colour adjustment (brightness, contrast,
// saturation), the exposure adjustment and the image blend. They work in place on the
// engine's BGR24 frame bitmap and touch every pixel once with table lookups or a few
// integer operations; the tables are built once per set of values.
#pragma once

#include "base/Bitmap.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tessaro {

using TByteTable = std::array<std::uint8_t, 256>;

// The tables of the colour adjustment. With m the pixel's mean (p0 + p1 + p2) div 3, the
// grey level of the pixel is m - Weight[m]; each byte pk becomes Level[q] with
// q = clamp(m - Weight[m] + Weight[pk], 0, 255).
struct TColorTables {
    TByteTable Contrast{}; // contrast around level 170
    TByteTable Level{};    // brightness slope, then the contrast table
    std::array<std::int32_t, 256> Weight{};
};

TColorTables MakeColorTables(int brightness, int contrast, int saturation);
TByteTable MakeExposureTable(float exposure);

// The colour adjustment and the exposure adjustment prepared once and applied to many
// frames. Applying both maps every byte through the exposure table right after the
// colour rule, so one pass gives the bytes of the two kernels run one after the other.
class TPictureAdjustment {
public:
    TPictureAdjustment() = default;
    void SetColor(int brightness, int contrast, int saturation);
    void SetExposure(float exposure);
    void Reset();
    bool Empty() const { return !color_ && !exposure_; }
    void Apply(TBitmap& frame) const;

private:
    void ApplyColor(TBitmap& frame) const;
    void ApplyByteTable(TBitmap& frame) const;
    void UpdateOutput();

    bool color_ = false;
    bool exposure_ = false;
    TColorTables colorTables_;
    TByteTable exposureTable_{};
    TByteTable output_{}; // the colour rule's Level table, then the exposure table
    // The colour rule's output byte for each truncated pixel mean (row) and byte (column).
    std::vector<std::uint8_t> levelOfMeanAndByte_;
};

void AdjustPictureColor(TBitmap& frame, int brightness, int contrast, int saturation);
void AdjustExposure(TBitmap& frame, float exposure);

// The pixels of a watermark image: BGR24 rows without padding and, for images with an
// alpha channel, one opacity byte per pixel (empty: opaque).
struct TImagePixels {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Bgr;
    std::vector<std::uint8_t> Alpha;

    bool Empty() const { return Width <= 0 || Height <= 0; }
};

TImagePixels ImagePixelsOf(const TBitmap& image);

// An image prepared for blending with one opacity and style: per byte, the weights of the
// blend rule, so that blending is one vectorisable loop of 16-bit arithmetic per row.
// Style 1 mixes ((256 - A) * d + A * s) div 256 with A = the opacity (0..256) times the
// pixel's own alpha / 255; any other style multiplies, d * s div 255, moved back towards
// d where the pixel's alpha is below 255. Images without alpha give the plain rules.
class TBlendImage {
public:
    TBlendImage() = default;
    TBlendImage(const TImagePixels& image, int alpha, int style);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Blends the image with its top-left pixel at (x, y); the parts outside the frame are
    // left out.
    void BlendOnto(TBitmap& frame, int x, int y) const;

private:
    int width_ = 0;
    int height_ = 0;
    bool multiply_ = false;
    // Style 1: the weight A and the product A * s. Multiply: the byte s and the alpha a.
    std::vector<std::uint16_t> first_;
    std::vector<std::uint16_t> second_;
};

void BlendBitmap(TBitmap& frame, const TBitmap& image, int x, int y, int alpha, int style);

} // namespace tessaro
