// What the progress window and the source list show of a running conversion: the percentage,
// the figures of the current task, the times of the run, and where the live picture is drawn.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaro {

struct TProgressInfo;

// CurrentDuration × 100 ÷ TotalDuration, truncated and kept within 0..100; nothing while the
// total is 0 or less (unknown).
std::optional<int> ProgressPercent(std::int64_t currentDuration, std::int64_t totalDuration);
// "37%".
std::string PercentText(int percent);

// A source path as the progress window shows it: unchanged up to 50 characters, otherwise its
// first 44 characters, ".." and its extension (from its last "." on).
std::string ShortFileText(const std::string& path);

// A length as H:MM:SS with unpadded hours ("0:01:05", "12:00:00"); negative lengths count as 0.
std::string LengthText(std::int64_t microseconds);

// The value texts of the progress window for one progress report.
struct TProgressFigures {
    std::optional<int> Percent; // nothing while the task's length is unknown
    std::string Time;           // "12 Second"
    std::string Length;         // "60 Second"; empty while unknown
    std::string Size;           // "1534 kb"
    std::string Progress;       // "[2/3]"
    std::string File;           // ShortFileText of the row caption
};
TProgressFigures FiguresOf(const TProgressInfo& info, int taskCount, const std::string& caption);

// The run's times: working time so far and the estimates, "unknown" while there is none.
struct TRunTimes {
    std::string Elapsed;
    std::string TaskRemaining;
    std::string BatchRemaining;
};
TRunTimes RunTimesOf(std::int64_t elapsed, std::optional<std::int64_t> taskRemaining,
                     std::optional<std::int64_t> batchRemaining);

// Where a frame is drawn in a picture: the largest centred rectangle of the frame's
// proportions, the margins rounded to the nearest pixel (halves to even).
struct TFitRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    friend bool operator==(const TFitRect&, const TFitRect&) = default;
};
TFitRect FitFrame(int frameWidth, int frameHeight, int pictureWidth, int pictureHeight);

} // namespace tessaro
