// The image watermark's file: decoded once (BMP, PNG with its alpha channel, JPEG) and
// again only when the file's name, time or size changes; its pixels are handed out at the
// size they are painted at, scaled once per size.
#pragma once

#include "EffectKernels.h"

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <string>

namespace tessaro {

// The largest side a scaled image or text gets: beyond the frames in use, and small
// enough that a wrong preview height cannot exhaust the memory.
constexpr int MaxScaledExtent = 4096;

// extent x scale rounded, at least 1 and at most MaxScaledExtent.
int ScaledExtent(int extent, double scale);

class TWatermarkImageFile {
public:
    // The image of fileName scaled by scale (each side rounded, at least 1 pixel). Throws
    // EngineException when the file cannot be read as an image; the same file unchanged
    // throws the same error again without another attempt.
    const TImagePixels& Pixels(const std::string& fileName, double scale);
    // Counts the decodings so far (a new one means the image changed).
    std::uint64_t Generation() const { return generation_; }

private:
    struct TFileState {
        std::string Name;
        std::filesystem::file_time_type Time{};
        std::uintmax_t Size = 0;
        bool operator==(const TFileState&) const = default;
    };
    static TFileState StateOf(const std::string& fileName);
    void Load(const TFileState& state);

    TFileState loaded_;
    bool attempted_ = false;
    std::string error_;
    QImage decoded_; // ARGB32 when the file has an alpha channel, else BGR888
    std::uint64_t generation_ = 0;
    TImagePixels scaled_;
    std::uint64_t scaledGeneration_ = 0;
};

} // namespace tessaro
