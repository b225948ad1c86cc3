// The crop editor without widgets: where the scaled picture lies in the window, the rubber
// band's rectangle and the four margin spinners (preview pixels) with the rules that keep
// them in step whichever of them the user moves, and what Ok stores in the row's record.
// The window shows Rect() on its rectangle control and Margins() on its spinners after
// every call.
#pragma once

#include "sources/SourceRecord.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tessaro {

// A rectangle in window pixels: left, top, width, height.
struct TCropRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const TCropRect&) const = default;
};

// The four spinners: preview pixels cut away from each side of the picture.
struct TViewMargins {
    int Up = 0;
    int Down = 0;
    int Left = 0;
    int Right = 0;

    bool operator==(const TViewMargins&) const = default;
};

enum class TCropSide { Up, Down, Left, Right };

// The rectangle control never gets narrower or lower than this.
inline constexpr int MinCropExtent = 10;

// x to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int NearestEven(double x);

// A picture of width x height centred in target with its shape kept: it spans the whole
// target width or height and is inset on the other axis by an amount rounded to the nearest
// integer (halves to even). No rectangle for an empty picture or target.
std::optional<TCropRect> FitPicture(int width, int height, const TCropRect& target);

// The source's length as the crop editor shows it at opening: whole seconds, a dot and three
// digits of milliseconds, then " Second" ("5.005 Second"); an unknown length shows as 0.
std::string CropLengthText(std::int64_t microseconds);

class TCropEditorModel {
public:
    // Lays a frame of frameWidth x frameHeight into the preview image at image (window
    // pixels): the fitted picture shrunk by one pixel on every side becomes the picture
    // rectangle. Returns false, changing nothing, when the frame or the image is empty.
    bool PlacePicture(int frameWidth, int frameHeight, const TCropRect& image);
    const TCropRect& Picture() const { return picture_; }

    // The source's displayed size in source pixels, which Ok scales the margins to.
    void SetSourceSize(int width, int height);

    // Starts from the margins the record stored in preview pixels; the rectangle follows.
    void LoadMargins(const TlvFilesRecord& record);

    const TViewMargins& Margins() const { return margins_; }
    const TCropRect& Rect() const { return rect_; }

    // The mouse went down on the rectangle at bounds: a drag past the picture's right or
    // bottom edge goes back to this top-left corner.
    void Pressed(const TCropRect& bounds);

    // The rectangle control moved or resized itself to bounds while the mouse was at
    // (mouseX, mouseY) relative to it: the rectangle is kept on the picture and the
    // spinners follow it.
    void Moved(const TCropRect& bounds, int mouseX, int mouseY);

    // A spinner was stepped to value. A step that would make the rectangle smaller than
    // MinCropExtent on that axis is refused (the spinner goes back); a negative value counts
    // as 0.
    void SpinnerChanged(TCropSide side, int value);

    // Every margin 0: the rectangle covers the whole picture.
    void Reset();

    // Ok: the preview margins as they are, and the source-pixel crop: each margin scaled to
    // the source size, rounded to the nearest integer (halves to even) and made even by
    // dropping its lowest bit.
    void Store(TlvFilesRecord& record) const;

private:
    TCropRect RectFromMargins() const;
    void KeepOnPicture();

    TCropRect picture_;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    TViewMargins margins_;
    TCropRect rect_;
    int savedTop_ = 0;
    int savedLeft_ = 0;
};

} // namespace tessaro
