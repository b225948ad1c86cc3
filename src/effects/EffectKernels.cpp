#include "EffectKernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tessaro {

namespace {

// The contrast factor's angle per step: C x pi / 200 for a positive contrast, and a
// five-decimal value for zero and negative ones (kept: it decides the rounding of levels).
constexpr double PositiveContrastAngle = 0.015707963267948966;
constexpr double NegativeContrastAngle = 0.015708;
constexpr int ContrastPivot = 170;

// From this magnitude on a saturation maps every byte to 0, 255 or the pixel's mean exactly
// as any larger one does (the weights of two levels differ by 255 or more), so larger
// values are held here: the tables' sums stay small.
constexpr int SaturationLimit = 1 << 16;

// Rounds to the nearest integer, ties to even, and clamps into 0..255; NaN gives 0.
std::uint8_t RoundToByte(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded > 0)) {
        return 0;
    }
    return rounded >= 255 ? 255 : static_cast<std::uint8_t>(rounded);
}

std::uint8_t ClampToByte(std::int64_t value) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

inline int ClampLevel(int value) {
    return std::min(std::max(value, 0), 255);
}

// Exact sum div 3 for 0 <= sum < 768.
inline unsigned MeanOfThree(unsigned sum) {
    return (sum * 21846u) >> 16;
}

// Exact x div 255 for 0 <= x <= 65280.
inline unsigned Div255(unsigned x) {
    return (x + 1 + (x >> 8)) >> 8;
}

// One row of the style 1 blend: ((256 - A) x d + A x s) div 256 with A = weight and
// A x s = term. The rows never overlap the image's tables, which lets the loop vectorise.
void MixRow(std::uint8_t* __restrict d, const std::uint16_t* __restrict weight,
            const std::uint16_t* __restrict term, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        d[i] = std::uint8_t(((256u - weight[i]) * d[i] + term[i]) >> 8);
    }
}

// One row of the multiply blend: d x s div 255, moved back towards d by 255 - alpha.
void MultiplyRow(std::uint8_t* __restrict d, const std::uint16_t* __restrict source,
                 const std::uint16_t* __restrict alpha, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned product = Div255(d[i] * unsigned(source[i]));
        d[i] = std::uint8_t(Div255(alpha[i] * product + (255u - alpha[i]) * d[i]));
    }
}

} // namespace

TColorTables MakeColorTables(int brightness, int contrast, int saturation) {
    TColorTables tables;
    const int c = contrast == 100 ? 99 : contrast;
    const double factor =
        c > 0 ? 1.0 / std::cos(c * PositiveContrastAngle) : std::cos(c * NegativeContrastAngle);
    for (int i = 0; i < 256; ++i) {
        tables.Contrast[i] = RoundToByte((i - ContrastPivot) * factor + ContrastPivot);
    }
    for (int j = 0; j < 256; ++j) {
        // Integer division truncates toward zero, as the slope rule wants.
        const std::int64_t level = (std::int64_t(brightness) * (j - 1) + 256) / 256;
        tables.Level[j] = tables.Contrast[ClampToByte(level)];
    }
    const std::int64_t s = std::clamp(saturation, -SaturationLimit, SaturationLimit);
    for (int i = 0; i < 256; ++i) {
        tables.Weight[i] = static_cast<std::int32_t>((i + 1) * s / 256);
    }
    return tables;
}

TByteTable MakeExposureTable(float exposure) {
    // Bounds k so that k x 255 stays far inside 64 bits for any exposure.
    constexpr double KLimit = 1e12;
    TByteTable table{};
    const double e = exposure;
    for (int i = 0; i < 256; ++i) {
        const double t = (i / -128.0) * (e / 128.0);
        const double rounded = std::nearbyint((1.0 - std::exp(t)) * 256.0);
        const std::int64_t k =
            std::isnan(rounded) ? 0
                                : static_cast<std::int64_t>(std::clamp(rounded, -KLimit, KLimit));
        const std::int64_t level = e >= 0 ? i + k * (255 - i) / 256 : i - (-k) * (255 - i) / 256;
        table[i] = ClampToByte(level);
    }
    return table;
}

void TPictureAdjustment::SetColor(int brightness, int contrast, int saturation) {
    colorTables_ = MakeColorTables(brightness, contrast, saturation);
    color_ = true;
    UpdateOutput();
}

void TPictureAdjustment::SetExposure(float exposure) {
    exposureTable_ = MakeExposureTable(exposure);
    exposure_ = true;
    UpdateOutput();
}

void TPictureAdjustment::Reset() {
    color_ = false;
    exposure_ = false;
}

void TPictureAdjustment::UpdateOutput() {
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t level = color_ ? colorTables_.Level[i] : std::uint8_t(i);
        output_[i] = exposure_ ? exposureTable_[level] : level;
    }
    if (!color_) {
        return;
    }
    // A byte's result depends on the pixel's mean and the byte alone: one row per mean.
    levelOfMeanAndByte_.resize(256 * 256);
    for (int m = 0; m < 256; ++m) {
        const int mix = m - colorTables_.Weight[m];
        std::uint8_t* row = levelOfMeanAndByte_.data() + m * 256;
        for (int p = 0; p < 256; ++p) {
            row[p] = output_[ClampLevel(mix + colorTables_.Weight[p])];
        }
    }
}

void TPictureAdjustment::Apply(TBitmap& frame) const {
    if (color_) {
        ApplyColor(frame);
    } else if (exposure_) {
        ApplyByteTable(frame);
    }
}

void TPictureAdjustment::ApplyColor(TBitmap& frame) const {
    const std::uint8_t* levels = levelOfMeanAndByte_.data();
    const std::size_t rowBytes = std::size_t(frame.Width()) * TBitmap::BytesPerPixel;
    for (int y = 0; y < frame.Height(); ++y) {
        std::uint8_t* p = frame.ScanLine(y);
        std::uint8_t* const end = p + rowBytes;
        for (; p != end; p += 3) {
            const unsigned b = p[0];
            const unsigned g = p[1];
            const unsigned r = p[2];
            const std::uint8_t* row = levels + MeanOfThree(b + g + r) * 256;
            p[0] = row[b];
            p[1] = row[g];
            p[2] = row[r];
        }
    }
}

void TPictureAdjustment::ApplyByteTable(TBitmap& frame) const {
    const std::uint8_t* output = output_.data();
    const std::size_t rowBytes = std::size_t(frame.Width()) * TBitmap::BytesPerPixel;
    for (int y = 0; y < frame.Height(); ++y) {
        std::uint8_t* p = frame.ScanLine(y);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            p[i] = output[p[i]];
        }
    }
}

void AdjustPictureColor(TBitmap& frame, int brightness, int contrast, int saturation) {
    TPictureAdjustment adjustment;
    adjustment.SetColor(brightness, contrast, saturation);
    adjustment.Apply(frame);
}

void AdjustExposure(TBitmap& frame, float exposure) {
    TPictureAdjustment adjustment;
    adjustment.SetExposure(exposure);
    adjustment.Apply(frame);
}

TImagePixels ImagePixelsOf(const TBitmap& image) {
    TImagePixels pixels;
    pixels.Width = image.Width();
    pixels.Height = image.Height();
    const std::size_t rowBytes = std::size_t(image.Width()) * TBitmap::BytesPerPixel;
    pixels.Bgr.resize(rowBytes * std::size_t(image.Height()));
    for (int y = 0; y < image.Height(); ++y) {
        std::copy_n(image.ScanLine(y), rowBytes, pixels.Bgr.data() + rowBytes * std::size_t(y));
    }
    return pixels;
}

TBlendImage::TBlendImage(const TImagePixels& image, int alpha, int style) : multiply_(style != 1) {
    const std::size_t pixelCount =
        image.Empty() ? 0 : std::size_t(image.Width) * std::size_t(image.Height);
    if (pixelCount == 0 || image.Bgr.size() < pixelCount * 3) {
        return; // nothing to blend
    }
    width_ = image.Width;
    height_ = image.Height;
    // 256 is the largest opacity the mixing rule keeps within a byte.
    const unsigned opacity = unsigned(std::clamp(alpha, 0, 256));
    const bool ownAlpha = image.Alpha.size() >= pixelCount;
    first_.resize(pixelCount * 3);
    second_.resize(pixelCount * 3);
    for (std::size_t pixel = 0; pixel < pixelCount; ++pixel) {
        const unsigned pixelAlpha = ownAlpha ? image.Alpha[pixel] : 255;
        const unsigned weight = ownAlpha ? (opacity * pixelAlpha + 127) / 255 : opacity;
        for (std::size_t k = pixel * 3; k < pixel * 3 + 3; ++k) {
            const unsigned s = image.Bgr[k];
            first_[k] = std::uint16_t(multiply_ ? s : weight);
            second_[k] = std::uint16_t(multiply_ ? pixelAlpha : weight * s);
        }
    }
}

void TBlendImage::BlendOnto(TBitmap& frame, int x, int y) const {
    // Rows and columns inside both the image and the frame.
    const std::int64_t firstColumn = std::max<std::int64_t>(0, -std::int64_t(x));
    const std::int64_t firstRow = std::max<std::int64_t>(0, -std::int64_t(y));
    const std::int64_t columns = std::min<std::int64_t>(width_, std::int64_t(frame.Width()) - x);
    const std::int64_t rows = std::min<std::int64_t>(height_, std::int64_t(frame.Height()) - y);
    if (columns <= firstColumn || rows <= firstRow) {
        return;
    }
    const std::size_t count = std::size_t(columns - firstColumn) * 3;
    for (std::int64_t r = firstRow; r < rows; ++r) {
        std::uint8_t* d = frame.ScanLine(int(y + r)) + (x + firstColumn) * 3;
        const std::size_t offset = std::size_t(r * width_ + firstColumn) * 3;
        const std::uint16_t* first = first_.data() + offset;
        const std::uint16_t* second = second_.data() + offset;
        if (multiply_) {
            MultiplyRow(d, first, second, count);
        } else {
            MixRow(d, first, second, count);
        }
    }
}

void BlendBitmap(TBitmap& frame, const TBitmap& image, int x, int y, int alpha, int style) {
    TBlendImage(ImagePixelsOf(image), alpha, style).BlendOnto(frame, x, y);
}

} // namespace tessaro
