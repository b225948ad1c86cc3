// Frames per second of the frame effects on one core (processor time): each step alone (colour,
// exposure, image, text), colour + exposure + image as the renderer runs them, and the whole
// conversion hook (the decoded YUV picture to the BGR24 bitmap, the effects, and back).
//   effects-bench WIDTH HEIGHT FRAMES.bgr IMAGE [FRAMES_TO_RUN]
// FRAMES.bgr holds raw BGR24 frames of WIDTH x HEIGHT; the run cycles through them. Prints
// one line per measurement, "name frames-per-second"; the script bench/effects runs the
// ffmpeg program's filters on the same frames and prints the ratios.
#include "EffectRenderer.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"
#include "runtime/RGBConverter.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tessaro;
using TFramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;

std::vector<std::vector<std::uint8_t>> ReadFrames(const std::string& path, int width, int height) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> frame(std::size_t(width) * std::size_t(height) * 3);
    while (in.read(reinterpret_cast<char*>(frame.data()), std::streamsize(frame.size()))) {
        frames.push_back(frame);
    }
    return frames;
}

void CopyInto(TBitmap& bitmap, const std::vector<std::uint8_t>& frame) {
    const std::size_t rowBytes = std::size_t(bitmap.Width()) * 3;
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::copy_n(frame.data() + rowBytes * std::size_t(y), rowBytes, bitmap.ScanLine(y));
    }
}

TFramePtr NewPicture(int width, int height, AVPixelFormat format) {
    TFramePtr picture(ff::av_frame_alloc());
    picture->width = width;
    picture->height = height;
    picture->format = format;
    if (ff::av_frame_get_buffer(picture.get(), 0) < 0) {
        std::fprintf(stderr, "cannot allocate a %dx%d picture\n", width, height);
        std::exit(1);
    }
    return picture;
}

// The frames as the decoder hands them to the hook: YUV 4:2:0.
std::vector<TFramePtr> DecodedPictures(const std::vector<std::vector<std::uint8_t>>& frames,
                                       int width, int height) {
    std::vector<TFramePtr> pictures;
    TRGBConverter converter;
    TFramePtr bgr = NewPicture(width, height, AV_PIX_FMT_BGR24);
    for (const auto& frame : frames) {
        for (int y = 0; y < height; ++y) {
            std::copy_n(frame.data() + std::size_t(y) * std::size_t(width) * 3, width * 3,
                        bgr->data[0] + std::ptrdiff_t(y) * bgr->linesize[0]);
        }
        TFramePtr yuv = NewPicture(width, height, AV_PIX_FMT_YUV420P);
        if (!converter.ToRGB(bgr.get()) || !converter.FromRGB(yuv.get())) {
            std::fprintf(stderr, "cannot convert the frames to YUV\n");
            std::exit(1);
        }
        pictures.push_back(std::move(yuv));
    }
    return pictures;
}

// The processor time this program has used, in seconds: on a busy machine it counts the
// work done rather than the time spent waiting for a core.
double ProcessorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Runs work count times and prints the frames per second of processor time.
void Measure(const char* name, int count, const std::function<void(int)>& work) {
    work(0); // tables, image and scalers are made on the first frame
    const double start = ProcessorSeconds();
    for (int i = 0; i < count; ++i) {
        work(i);
    }
    std::printf("%s %.1f\n", name, count / (ProcessorSeconds() - start));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT FRAMES.bgr IMAGE [FRAMES_TO_RUN]\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    const auto frames = ReadFrames(argv[3], width, height);
    const int count = argc > 5 ? std::atoi(argv[5]) : 300;
    if (frames.empty() || count <= 0) {
        std::fprintf(stderr, "no %dx%d frames in %s\n", width, height, argv[3]);
        return 1;
    }
    QGuiApplication application(argc, argv); // fonts for the text
    if (!TLibraryLoader::Instance().LoadLibSet(ConverterLibraries)) {
        std::fprintf(stderr, "%s\n", TLibraryLoader::Instance().LastErrorText().c_str());
        return 1;
    }

    // The same values the script gives ffmpeg's filters, the image at its own size in the
    // middle of the picture.
    TEffectSettings colour;
    colour.Brightness = 300;
    colour.Contrast = 30;
    colour.Saturation = 300;
    colour.PreviewHeight = height;
    TEffectSettings exposure;
    exposure.Exposure = 100;
    exposure.PreviewHeight = height;
    TEffectSettings image;
    image.ImageFile = argv[4];
    image.ImageAlpha = 255;
    image.ImageHorzPercent = 50;
    image.ImageVertPercent = 50;
    image.PreviewHeight = height;
    TEffectSettings text;
    text.WatermarkText = "Tessaro watermark";
    text.WatermarkFont.Size = 24;
    text.WatermarkFont.Color = 0xFFFFFF;
    text.TextHorzPercent = 10;
    text.TextVertPercent = 10;
    text.PreviewHeight = height;
    TEffectSettings all = image;
    all.Brightness = colour.Brightness;
    all.Contrast = colour.Contrast;
    all.Saturation = colour.Saturation;
    all.Exposure = exposure.Exposure;

    TBitmap bitmap(width, height);
    const auto run = [&](const TEffectSettings& settings) {
        auto renderer = std::make_shared<TEffectRenderer>();
        return [&, renderer, settings](int i) {
            CopyInto(bitmap, frames[std::size_t(i) % frames.size()]);
            renderer->Render(bitmap, settings);
        };
    };
    Measure("copy", count,
            [&](int i) { CopyInto(bitmap, frames[std::size_t(i) % frames.size()]); });
    Measure("colour", count, run(colour));
    Measure("exposure", count, run(exposure));
    Measure("image", count, run(image));
    Measure("text", count, run(text));
    Measure("colour+exposure+image", count, run(all));

    // The conversion hook: decoded picture -> bitmap -> effects -> picture for the encoder.
    const std::vector<TFramePtr> pictures = DecodedPictures(frames, width, height);
    TFramePtr work = NewPicture(width, height, AV_PIX_FMT_YUV420P);
    TRGBConverter hookConverter;
    TEffectRenderer renderer;
    Measure("hook", count, [&](int i) {
        hookConverter.ToRGB(pictures[std::size_t(i) % pictures.size()].get());
        renderer.Render(hookConverter.Bitmap(), all);
        hookConverter.FromRGB(work.get());
    });
    return 0;
}
