// Burning one bitmap subtitle stream of an input into that input's decoded pictures, before
// they are cropped, scaled and encoded: the DVD subpicture an "opendvd:" address chooses.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tessaro {

class TSubpictureBurner {
public:
    // streamId: the DVD id of the subpicture stream (0x20+n, see DvdStreamId); paletteText:
    // the title's colours as DvdPaletteText gives them.
    TSubpictureBurner(int streamId, std::string paletteText);

    // Decodes packet when stream is the burned subpicture stream; other packets are ignored.
    // The stream may appear in the middle of the input. offsetUs is added to the packet's time
    // as to the pictures'. Returns false when the subpicture cannot be decoded (ErrorText
    // says why); the pictures then go on without it.
    bool Offer(const AVStream* stream, const AVPacket* packet, std::int64_t offsetUs);

    // Paints the subpicture shown at ptsUs (µs) onto frame, which must be planar 8-bit YUV;
    // the frame's buffers are copied first when the decoder still holds them. Returns false
    // when the frame cannot carry the subpicture (another pixel format).
    bool Burn(AVFrame* frame, std::int64_t ptsUs);

    const std::string& ErrorText() const { return errorText_; }

private:
    // One bitmap of a subpicture: colour indices and their ARGB colours.
    struct TBitmap {
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<std::uint8_t> indices; // width * height
        std::vector<std::uint32_t> colours;
    };
    // A decoded subpicture and when it is shown; an empty one clears the screen.
    struct TSubpicture {
        std::int64_t start = 0, end = INT64_MAX; // µs
        std::vector<TBitmap> bitmaps;
    };

    bool OpenDecoder(const AVStream* stream);
    void Keep(const AVSubtitle& subtitle, std::int64_t packetUs);
    const TSubpicture* ShownAt(std::int64_t ptsUs);

    int streamId_;
    std::string paletteText_;
    AVCodecContextPtr decoder_;
    bool failed_ = false;
    std::string errorText_;
    std::int64_t unitStartUs_ = 0; // time of the first fragment of the subpicture being read
    std::deque<TSubpicture> queue_;
};

} // namespace tessaro
