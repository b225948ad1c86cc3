// The pixel kernels of the frame effects, checked byte for byte on small frames.
#include "EffectKernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace tessaro::test {
namespace {

using TPixel = std::array<int, 3>; // blue, green, red

// A frame of one row holding pixels (its stride is padded, as every frame's is).
void Fill(TBitmap& frame, const std::vector<TPixel>& pixels) {
    frame.SetSize(int(pixels.size()), 1);
    for (std::size_t x = 0; x < pixels.size(); ++x) {
        for (int k = 0; k < 3; ++k) {
            frame.ScanLine(0)[x * 3 + k] = std::uint8_t(pixels[x][k]);
        }
    }
}

TPixel PixelAt(const TBitmap& frame, int x, int y) {
    const std::uint8_t* p = frame.ScanLine(y) + x * 3;
    return {p[0], p[1], p[2]};
}

// Every level in every channel position, with the channels differing.
void FillGradient(TBitmap& frame) {
    frame.SetSize(256, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 256; ++x) {
            for (int k = 0; k < 3; ++k) {
                frame.ScanLine(y)[x * 3 + k] = std::uint8_t((x + 85 * k + 37 * y) % 256);
            }
        }
    }
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    for (int y = 0; y < a.Height(); ++y) {
        if (!std::equal(a.ScanLine(y), a.ScanLine(y) + a.Width() * 3, b.ScanLine(y))) {
            return false;
        }
    }
    return true;
}

void CopyPixels(const TBitmap& from, TBitmap& to) {
    to.SetSize(from.Width(), from.Height());
    for (int y = 0; y < from.Height(); ++y) {
        std::copy_n(from.ScanLine(y), from.Width() * 3, to.ScanLine(y));
    }
}

struct TColorCase {
    int Brightness, Contrast, Saturation;
    TPixel In, Out;
};

TEST(AdjustPictureColorTest, MapsPixelsByTheTables) {
    const TColorCase cases[] = {
        // Contrast 100 is contrast 99: a factor of about 63.66 around level 170.
        {256, 100, 256, {171, 169, 172}, {234, 106, 255}},
        {256, 99, 256, {171, 169, 172}, {234, 106, 255}},
        // The negative side's cosine (0.70711) and the positive side's secant (1.41421).
        {256, -50, 256, {0, 255, 128}, {50, 230, 140}},
        {256, 50, 256, {100, 200, 170}, {71, 212, 170}},
        // Brightness 0 maps every level to the contrast table's entry 1.
        {0, 0, 256, {7, 99, 250}, {1, 1, 1}},
        {0, -50, 256, {7, 99, 250}, {50, 50, 50}},
        // Saturation 0 gives the truncated mean; 512 doubles the distance from it.
        {256, 0, 0, {10, 20, 40}, {23, 23, 23}},
        {256, 0, 0, {255, 0, 0}, {85, 85, 85}},
        {256, 0, 512, {10, 20, 40}, {0, 17, 57}},
        // Brightness is a slope through level 1, truncated toward zero and clamped.
        {512, 0, 256, {0, 1, 100}, {0, 1, 199}},
        {512, 0, 256, {127, 128, 200}, {253, 255, 255}},
        {128, 0, 256, {0, 1, 255}, {0, 1, 128}},
        // 255 is not neutral for the kernel (the renderer skips it instead).
        {255, 0, 255, {200, 200, 200}, {199, 199, 199}},
        {300, 30, 200, {12, 140, 230}, {27, 159, 251}},
        {180, -80, 400, {33, 66, 99}, {121, 132, 143}},
    };
    for (const TColorCase& c : cases) {
        TBitmap frame;
        Fill(frame, {c.In, c.In});
        AdjustPictureColor(frame, c.Brightness, c.Contrast, c.Saturation);
        EXPECT_EQ(PixelAt(frame, 0, 0), c.Out)
            << c.Brightness << "/" << c.Contrast << "/" << c.Saturation;
        EXPECT_EQ(PixelAt(frame, 1, 0), c.Out);
    }
}

TEST(AdjustPictureColorTest, NeutralValuesKeepEveryPixelAndContrast100Equals99) {
    TBitmap original;
    FillGradient(original);
    TBitmap frame;
    CopyPixels(original, frame);
    AdjustPictureColor(frame, 256, 0, 256);
    EXPECT_TRUE(SamePixels(frame, original));

    TBitmap at99;
    CopyPixels(original, at99);
    AdjustPictureColor(at99, 300, 99, 200);
    AdjustPictureColor(frame, 300, 100, 200);
    EXPECT_TRUE(SamePixels(frame, at99));
}

TEST(AdjustPictureColorTest, OutOfRangeValuesStayWithinBytes) {
    for (const auto& [b, c, s] :
         {std::array{-1000, 0, 256}, std::array{256, 1000, 256}, std::array{256, 150, 256},
          std::array{256, 0, 2000000000}, std::array{2000000000, -2000000000, -2000000000}}) {
        TBitmap frame;
        FillGradient(frame);
        AdjustPictureColor(frame, b, c, s); // no overflow or out-of-table read (sanitizers)
    }
    // A huge saturation sends each byte to 255 above the pixel's truncated mean, to 0
    // below it, and keeps it at the mean; a huge negative one the other way round.
    for (const int saturation : {65536, 2000000000, -65536, -2000000000}) {
        TBitmap frame;
        FillGradient(frame);
        TBitmap original;
        CopyPixels(frame, original);
        AdjustPictureColor(frame, 256, 0, saturation);
        for (int x = 0; x < 256; ++x) {
            const TPixel p = PixelAt(original, x, 1);
            const int mean = (p[0] + p[1] + p[2]) / 3;
            const int above = saturation > 0 ? 255 : 0;
            for (int k = 0; k < 3; ++k) {
                const int expected = p[k] > mean ? above : p[k] < mean ? 255 - above : mean;
                ASSERT_EQ(PixelAt(frame, x, 1)[k], expected) << saturation << " at " << x;
            }
        }
    }
}

TEST(AdjustExposureTest, MapsLevelsAndKeepsBlackAndWhite) {
    struct TCase {
        float Exposure;
        std::array<int, 7> Out; // of the levels 0, 1, 64, 128, 200, 254, 255
    };
    const TCase cases[] = {
        {-255, {0, 0, 0, 0, 0, 203, 255}},      {-100, {0, 0, 0, 0, 69, 251, 255}},
        {-1, {0, 1, 64, 128, 200, 254, 255}},   {1, {0, 1, 64, 128, 200, 254, 255}},
        {100, {0, 2, 125, 196, 238, 254, 255}}, {255, {0, 4, 184, 237, 252, 254, 255}},
        {512, {0, 8, 228, 252, 255, 255, 255}},
    };
    for (const TCase& c : cases) {
        TBitmap frame;
        Fill(frame, {{0, 1, 64}, {128, 200, 254}, {255, 255, 255}});
        AdjustExposure(frame, c.Exposure);
        const std::array<int, 7> out{PixelAt(frame, 0, 0)[0], PixelAt(frame, 0, 0)[1],
                                     PixelAt(frame, 0, 0)[2], PixelAt(frame, 1, 0)[0],
                                     PixelAt(frame, 1, 0)[1], PixelAt(frame, 1, 0)[2],
                                     PixelAt(frame, 2, 0)[0]};
        EXPECT_EQ(out, c.Out) << c.Exposure;
    }
    for (int e = -255; e <= 512; ++e) {
        const TByteTable table = MakeExposureTable(float(e));
        ASSERT_EQ(table[0], 0) << e;
        ASSERT_EQ(table[255], 255) << e;
    }
}

TEST(TPictureAdjustmentTest, OnePassEqualsColourThenExposure) {
    for (const auto& [b, c, s, e] : {std::array{256, 0, 256, 100}, std::array{300, 30, 200, -80},
                                     std::array{0, -100, 0, 512}, std::array{512, 99, 512, -255}}) {
        TBitmap separate;
        FillGradient(separate);
        TBitmap fused;
        CopyPixels(separate, fused);
        AdjustPictureColor(separate, b, c, s);
        AdjustExposure(separate, float(e));
        TPictureAdjustment adjustment;
        adjustment.SetColor(b, c, s);
        adjustment.SetExposure(float(e));
        adjustment.Apply(fused);
        EXPECT_TRUE(SamePixels(fused, separate)) << b << "/" << c << "/" << s << "/" << e;
    }
}

// The blend's frame: 4 x 3 pixels of (100, 150, 200).
void FillBlendFrame(TBitmap& frame) {
    frame.SetSize(4, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            std::uint8_t* p = frame.ScanLine(y) + x * 3;
            p[0] = 100;
            p[1] = 150;
            p[2] = 200;
        }
    }
}

void FillUniform(TBitmap& image, int width, int height, TPixel pixel) {
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int k = 0; k < 3; ++k) {
                image.ScanLine(y)[x * 3 + k] = std::uint8_t(pixel[k]);
            }
        }
    }
}

constexpr TPixel FramePixel{100, 150, 200};

// Pixels (x, y) of the blend frame that the image covered, all with pixel `covered`.
void ExpectCovered(const TBitmap& frame, int x0, int y0, int x1, int y1, TPixel covered) {
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
            const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
            EXPECT_EQ(PixelAt(frame, x, y), inside ? covered : FramePixel) << x << "," << y;
        }
    }
}

TEST(BlendBitmapTest, MixesOrMultipliesTheCoveredPixels) {
    struct TCase {
        const char* Name;
        int Width, Height;
        TPixel Image;
        int X, Y, Alpha, Style;
        int X0, Y0, X1, Y1; // the covered area
        TPixel Covered;
    };
    const TCase cases[] = {
        {"alpha 0", 2, 2, {0, 0, 0}, 1, 1, 0, 1, 0, 0, 0, 0, FramePixel},
        // (d + 255 s) div 256
        {"alpha 255", 2, 2, {0, 128, 255}, 1, 1, 255, 1, 1, 1, 3, 3, {0, 128, 254}},
        {"alpha 128", 2, 1, {200, 50, 0}, 0, 2, 128, 1, 0, 2, 2, 3, {150, 100, 100}},
        {"multiply white", 4, 3, {255, 255, 255}, 0, 0, 0, 2, 0, 0, 0, 0, FramePixel},
        {"multiply black", 2, 2, {0, 0, 0}, 1, 0, 255, 2, 1, 0, 3, 2, {0, 0, 0}},
        // d x s div 255; alpha is ignored
        {"multiply grey", 1, 3, {128, 128, 128}, 3, 0, 0, 7, 3, 0, 4, 3, {50, 75, 100}},
        {"at x = width", 2, 2, {0, 0, 0}, 4, 0, 255, 1, 0, 0, 0, 0, FramePixel},
        {"at y = height", 2, 2, {0, 0, 0}, 0, 3, 255, 2, 0, 0, 0, 0, FramePixel},
        // Cut at the right and bottom edges.
        {"larger than the frame", 9, 9, {0, 0, 0}, 2, 1, 256, 1, 2, 1, 4, 3, {0, 0, 0}},
        // Cut at the left and top edges too: nothing is written outside the frame.
        {"left of and above the frame", 3, 3, {0, 0, 0}, -2, -1, 256, 1, 0, 0, 1, 2, {0, 0, 0}},
        {"wholly left of the frame", 3, 3, {0, 0, 0}, -3, 0, 256, 1, 0, 0, 0, 0, FramePixel},
        // Opacities beyond a byte's rule are held at 0 and 256.
        {"alpha -40", 4, 3, {0, 0, 0}, 0, 0, -40, 1, 0, 0, 0, 0, FramePixel},
        {"alpha 999", 4, 3, {9, 8, 7}, 0, 0, 999, 1, 0, 0, 4, 3, {9, 8, 7}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap frame;
        FillBlendFrame(frame);
        TBitmap image;
        FillUniform(image, c.Width, c.Height, c.Image);
        BlendBitmap(frame, image, c.X, c.Y, c.Alpha, c.Style);
        ExpectCovered(frame, c.X0, c.Y0, c.X1, c.Y1, c.Covered);
    }
}

TEST(BlendBitmapTest, ImagePixelsLandAtTheirOwnPlace) {
    TBitmap image(2, 2);
    const std::uint8_t bytes[2][6] = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
    for (int y = 0; y < 2; ++y) {
        std::copy_n(bytes[y], 6, image.ScanLine(y));
    }
    TBitmap frame;
    FillBlendFrame(frame);
    BlendBitmap(frame, image, 2, 1, 256, 1);
    EXPECT_EQ(PixelAt(frame, 2, 1), (TPixel{1, 2, 3}));
    EXPECT_EQ(PixelAt(frame, 3, 1), (TPixel{4, 5, 6}));
    EXPECT_EQ(PixelAt(frame, 2, 2), (TPixel{7, 8, 9}));
    EXPECT_EQ(PixelAt(frame, 3, 2), (TPixel{10, 11, 12}));
    EXPECT_EQ(PixelAt(frame, 1, 1), FramePixel);
}

TEST(TBlendImageTest, PixelAlphaMultipliesTheOpacity) {
    // Four pixels of one colour with alphas 0, 128, 255 and 64.
    TImagePixels image;
    image.Width = 4;
    image.Height = 1;
    image.Bgr = {0, 128, 255, 0, 128, 255, 0, 128, 255, 0, 128, 255};
    image.Alpha = {0, 128, 255, 64};
    struct TCase {
        int Alpha, Style;
        std::array<TPixel, 4> Out;
    };
    const TCase cases[] = {
        // Opacity 255: weights 0, 128, 255, 64.
        {255, 1, {{FramePixel, {50, 139, 227}, {0, 128, 254}, {75, 144, 213}}}},
        // Opacity 128: weights 0, 64, 128, 32.
        {128, 1, {{FramePixel, {75, 144, 213}, {50, 139, 227}, {87, 147, 206}}}},
        // Multiply ((0, 75, 200) where opaque), moved back towards d by the alpha.
        {0, 2, {{FramePixel, {49, 112, 200}, {0, 75, 200}, {74, 131, 200}}}},
    };
    for (const TCase& c : cases) {
        TBitmap frame;
        FillBlendFrame(frame);
        TBlendImage(image, c.Alpha, c.Style).BlendOnto(frame, 0, 1);
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(PixelAt(frame, x, 1), c.Out[x]) << c.Alpha << "/" << c.Style << " x " << x;
            EXPECT_EQ(PixelAt(frame, x, 0), FramePixel);
        }
    }
}

} // namespace
} // namespace tessaro::test
