#include "WatermarkImageFile.h"

#include "base/EngineException.h"

#include <QImageReader>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaro {

namespace {

// The pixels of an ARGB32 or BGR888 image: BGR bytes, and the alpha bytes of ARGB32
// (which lies in memory as blue, green, red, alpha).
TImagePixels PixelsOf(const QImage& image) {
    TImagePixels pixels;
    pixels.Width = image.width();
    pixels.Height = image.height();
    const std::size_t count = std::size_t(pixels.Width) * std::size_t(pixels.Height);
    pixels.Bgr.resize(count * 3);
    const bool alpha = image.format() == QImage::Format_ARGB32;
    if (alpha) {
        pixels.Alpha.resize(count);
    }
    for (int y = 0; y < pixels.Height; ++y) {
        const std::uint8_t* row = image.constScanLine(y);
        std::uint8_t* bgr = pixels.Bgr.data() + std::size_t(y) * std::size_t(pixels.Width) * 3;
        if (!alpha) {
            std::memcpy(bgr, row, std::size_t(pixels.Width) * 3);
            continue;
        }
        std::uint8_t* a = pixels.Alpha.data() + std::size_t(y) * std::size_t(pixels.Width);
        for (int x = 0; x < pixels.Width; ++x, row += 4, bgr += 3) {
            bgr[0] = row[0];
            bgr[1] = row[1];
            bgr[2] = row[2];
            a[x] = row[3];
        }
    }
    return pixels;
}

} // namespace

int ScaledExtent(int extent, double scale) {
    const double scaled = std::round(extent * scale);
    return scaled >= 1 ? int(std::min(scaled, double(MaxScaledExtent))) : 1;
}

TWatermarkImageFile::TFileState TWatermarkImageFile::StateOf(const std::string& fileName) {
    TFileState state;
    state.Name = fileName;
    std::error_code error;
    state.Time = std::filesystem::last_write_time(fileName, error);
    state.Size = std::filesystem::file_size(fileName, error);
    if (error) {
        state.Size = 0;
    }
    return state;
}

void TWatermarkImageFile::Load(const TFileState& state) {
    loaded_ = state;
    attempted_ = true;
    error_.clear();
    decoded_ = QImage();
    ++generation_;
    QImageReader reader(QString::fromStdString(state.Name));
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
        error_ = FormatText("Cannot load the image \"%s\": %s", state.Name.c_str(),
                            reader.errorString().toStdString().c_str());
        return;
    }
    decoded_ = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                             : QImage::Format_BGR888);
}

const TImagePixels& TWatermarkImageFile::Pixels(const std::string& fileName, double scale) {
    const TFileState state = StateOf(fileName);
    if (!attempted_ || !(state == loaded_)) {
        Load(state);
    }
    if (!error_.empty()) {
        throw EngineException(error_);
    }
    const int width = ScaledExtent(decoded_.width(), scale);
    const int height = ScaledExtent(decoded_.height(), scale);
    if (scaledGeneration_ != generation_ || scaled_.Width != width || scaled_.Height != height) {
        const QImage sized =
            width == decoded_.width() && height == decoded_.height()
                ? decoded_
                : decoded_.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                      .convertToFormat(decoded_.format());
        scaled_ = PixelsOf(sized);
        scaledGeneration_ = generation_;
    }
    return scaled_;
}

} // namespace tessaro
