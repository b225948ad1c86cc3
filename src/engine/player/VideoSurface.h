// The drawing area the player shows its pictures in. The host (a window of the
// application, or a test) implements it; without one the player opens SDL's own window.
#pragma once

#include <cstdint>

namespace tessaro {

// A YUV 4:2:0 planar picture (Y, then U, then V), valid only during the call it is passed to.
struct TVideoPicture {
    int Width = 0;
    int Height = 0;
    const std::uint8_t* Planes[3] = {nullptr, nullptr, nullptr};
    int Pitches[3] = {0, 0, 0};
    std::int64_t PTS = -1; // microseconds from the file start
};

// Where a picture goes inside the drawing area (the rest of the area stays black).
struct TDisplayRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// Every call comes from the player's play thread (the thread of its event loop).
class TVideoSurface {
public:
    virtual ~TVideoSurface() = default;
    // The current size of the drawing area in pixels (0 x 0 when unknown).
    virtual void GetClientSize(int& Width, int& Height) = 0;
    // The player wants a drawing area of this size (opening the video, a resize).
    // Returns false when the area cannot be provided.
    virtual bool SetVideoMode(int Width, int Height) = 0;
    // Shows Picture scaled into Rect of the drawing area.
    virtual void ShowPicture(const TVideoPicture& Picture, const TDisplayRect& Rect) = 0;
};

} // namespace tessaro
