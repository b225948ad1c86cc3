#include "crop/CropEditorModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessaro {

int NearestEven(double x) {
    // The default floating-point rounding mode rounds halves to even.
    return int(std::nearbyint(x));
}

std::optional<TCropRect> FitPicture(int width, int height, const TCropRect& target) {
    if (width <= 0 || height <= 0 || target.Width <= 0 || target.Height <= 0) {
        return std::nullopt;
    }
    const double a = double(width) / target.Width;
    const double b = double(height) / target.Height;
    if (a >= b) {
        const int inset = NearestEven((target.Height - height / a) / 2);
        return TCropRect{target.Left, target.Top + inset, target.Width, target.Height - 2 * inset};
    }
    const int inset = NearestEven((target.Width - width / b) / 2);
    return TCropRect{target.Left + inset, target.Top, target.Width - 2 * inset, target.Height};
}

std::string CropLengthText(std::int64_t microseconds) {
    const std::int64_t ms = std::max<std::int64_t>(microseconds, 0) / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%.3d Second", static_cast<long long>(ms / 1000),
                  int(ms % 1000));
    return text;
}

bool TCropEditorModel::PlacePicture(int frameWidth, int frameHeight, const TCropRect& image) {
    const std::optional<TCropRect> fitted =
        FitPicture(frameWidth, frameHeight, {0, 0, image.Width, image.Height});
    if (!fitted) {
        return false;
    }
    picture_ = {image.Left + fitted->Left + 1, image.Top + fitted->Top + 1, fitted->Width - 2,
                fitted->Height - 2};
    rect_ = RectFromMargins();
    return true;
}

void TCropEditorModel::SetSourceSize(int width, int height) {
    sourceWidth_ = width;
    sourceHeight_ = height;
}

void TCropEditorModel::LoadMargins(const TlvFilesRecord& record) {
    margins_ = {record.ViewCropTop, record.ViewCropBottom, record.ViewCropLeft,
                record.ViewCropRight};
    KeepOnPicture();
}

TCropRect TCropEditorModel::RectFromMargins() const {
    return {picture_.Left + margins_.Left, picture_.Top + margins_.Up,
            picture_.Width - margins_.Right - margins_.Left,
            picture_.Height - margins_.Down - margins_.Up};
}

void TCropEditorModel::Pressed(const TCropRect& bounds) {
    savedTop_ = bounds.Top;
    savedLeft_ = bounds.Left;
}

void TCropEditorModel::Moved(const TCropRect& bounds, int mouseX, int mouseY) {
    const int x0 = picture_.Left;
    const int y0 = picture_.Top;
    const int w = picture_.Width;
    const int h = picture_.Height;
    // The tracking rectangle as the control reported it, before any correction.
    const int innerLeft = bounds.Left + 2;
    const int innerTop = bounds.Top + 2;
    const int innerRight = bounds.Left + bounds.Width - 2;
    const int innerBottom = bounds.Top + bounds.Height - 2;
    int left = bounds.Left;
    int top = bounds.Top;
    int width = bounds.Width;
    int height = bounds.Height;

    if (innerLeft < x0 + 3) {
        left = x0 + margins_.Left;
    }
    if (innerTop < y0 + 3) {
        top = y0;
    }
    if (mouseX >= w - (left - x0)) {
        width = w - (left - x0) - margins_.Right;
    }
    if (width > w) {
        width = w - (left - x0);
    }
    if (mouseY >= h - (top - y0)) {
        height = h - (top - y0);
    }
    if (height > h) {
        height = h - (top - y0);
    }
    const bool pastRight = innerRight - x0 > w;
    const bool pastBottom = innerBottom - y0 > h;
    if (pastRight) {
        left = savedLeft_;
        width = w - (left - x0);
    }
    if (pastBottom) {
        top = savedTop_;
        height = h - (top - y0);
    }
    margins_ = {top - y0, h + y0 - height - top, left - x0, w + x0 - width - left};
    KeepOnPicture();
}

// Margins are never negative and leave at least MinCropExtent pixels of the picture, so the
// rectangle, the spinners and what Ok stores always describe the same part of the picture.
void TCropEditorModel::KeepOnPicture() {
    const auto keep = [](int& first, int& second, int extent) {
        const int room = std::max(extent - MinCropExtent, 0);
        first = std::clamp(first, 0, room);
        second = std::clamp(second, 0, room - first);
    };
    keep(margins_.Up, margins_.Down, picture_.Height);
    keep(margins_.Left, margins_.Right, picture_.Width);
    rect_ = RectFromMargins();
}

void TCropEditorModel::SpinnerChanged(TCropSide side, int value) {
    const bool vertical = side == TCropSide::Up || side == TCropSide::Down;
    int& margin = side == TCropSide::Up     ? margins_.Up
                  : side == TCropSide::Down ? margins_.Down
                  : side == TCropSide::Left ? margins_.Left
                                            : margins_.Right;
    const int other = side == TCropSide::Up     ? margins_.Down
                      : side == TCropSide::Down ? margins_.Up
                      : side == TCropSide::Left ? margins_.Right
                                                : margins_.Left;
    const int extent = vertical ? picture_.Height : picture_.Width;
    const int shown = vertical ? rect_.Height : rect_.Width;
    if (shown <= MinCropExtent && value >= margin) {
        return;
    }
    // A step of several pixels at once stops where the rectangle reaches its minimum.
    margin = std::clamp(value, 0, std::max(extent - other - MinCropExtent, margin));
    rect_ = RectFromMargins();
    if (vertical) {
        savedTop_ = picture_.Top + margins_.Up;
    } else {
        savedLeft_ = picture_.Left + margins_.Left;
    }
}

void TCropEditorModel::Reset() {
    margins_ = {};
    rect_ = picture_;
    savedTop_ = picture_.Top;
    savedLeft_ = picture_.Left;
}

void TCropEditorModel::Store(TlvFilesRecord& record) const {
    record.ViewCropTop = margins_.Up;
    record.ViewCropLeft = margins_.Left;
    record.ViewCropBottom = margins_.Down;
    record.ViewCropRight = margins_.Right;
    const auto scaled = [](int margin, int source, int preview) {
        if (preview <= 0) {
            return 0;
        }
        return 2 * (NearestEven(double(margin) * source / preview) / 2);
    };
    record.CropTop = scaled(margins_.Up, sourceHeight_, picture_.Height);
    record.CropBottom = scaled(margins_.Down, sourceHeight_, picture_.Height);
    record.CropLeft = scaled(margins_.Left, sourceWidth_, picture_.Width);
    record.CropRight = scaled(margins_.Right, sourceWidth_, picture_.Width);
}

} // namespace tessaro
