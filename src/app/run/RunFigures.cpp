#include "run/RunFigures.h"

#include "base/TimeTexts.h"
#include "converter/Converter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessaro {

std::optional<int> ProgressPercent(std::int64_t currentDuration, std::int64_t totalDuration) {
    if (totalDuration <= 0) {
        return std::nullopt;
    }
    // The last packets of a stream may end after the container's stated length.
    const std::int64_t percent = currentDuration * 100 / totalDuration;
    return int(std::clamp<std::int64_t>(percent, 0, 100));
}

std::string PercentText(int percent) {
    return std::to_string(percent) + "%";
}

std::string ShortFileText(const std::string& path) {
    constexpr std::size_t longest = 50;
    constexpr std::size_t kept = 44;
    if (path.size() <= longest) {
        return path;
    }
    const std::size_t dot = path.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
    return path.substr(0, kept) + ".." + extension;
}

std::string LengthText(std::int64_t microseconds) {
    return HoursMinutesSecondsText(std::max<std::int64_t>(microseconds, 0) / 1'000'000);
}

TProgressFigures FiguresOf(const TProgressInfo& info, int taskCount, const std::string& caption) {
    TProgressFigures figures;
    figures.Percent = ProgressPercent(info.CurrentDuration, info.TotalDuration);
    figures.Time = std::to_string(info.CurrentDuration / 1'000'000) + " Second";
    if (info.TotalDuration > 0) {
        figures.Length = std::to_string(info.TotalDuration / 1'000'000) + " Second";
    }
    figures.Size = std::to_string(info.CurrentSize / 1000) + " kb";
    figures.Progress =
        "[" + std::to_string(info.TaskIndex + 1) + "/" + std::to_string(taskCount) + "]";
    figures.File = ShortFileText(caption);
    return figures;
}

TRunTimes RunTimesOf(std::int64_t elapsed, std::optional<std::int64_t> taskRemaining,
                     std::optional<std::int64_t> batchRemaining) {
    const auto text = [](std::optional<std::int64_t> time) {
        return time ? LengthText(*time) : std::string("unknown");
    };
    return TRunTimes{LengthText(elapsed), text(taskRemaining), text(batchRemaining)};
}

TFitRect FitFrame(int frameWidth, int frameHeight, int pictureWidth, int pictureHeight) {
    if (frameWidth < 1 || frameHeight < 1 || pictureWidth < 1 || pictureHeight < 1) {
        return {};
    }
    const double a = double(frameWidth) / pictureWidth;
    const double b = double(frameHeight) / pictureHeight;
    // std::nearbyint rounds halves to even in the default rounding mode.
    if (a >= b) {
        const int margin = int(std::nearbyint((pictureHeight - frameHeight / a) / 2));
        return TFitRect{0, margin, pictureWidth, pictureHeight - 2 * margin};
    }
    const int margin = int(std::nearbyint((pictureWidth - frameWidth / b) / 2));
    return TFitRect{margin, 0, pictureWidth - 2 * margin, pictureHeight};
}

} // namespace tessaro
