// What a conversion task reports to the component that runs it, and the points
// where that component can observe or hold the task's worker thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace tessaro {

class TBitmap;

// Task flag bits (TCustomTranscoder::Flags).
inline constexpr int TaskFlagPreviewWindow = 1;
inline constexpr int TaskFlagPreviewBitmap = 2;

// The process-wide lock under which the preview flags of every task are read and changed.
std::mutex& PreviewLock();

struct TTranscoderCallbacks {
    using TCustomHook = std::function<void(TBitmap& bitmap, int frameNumber, std::int64_t pts,
                                           bool& update, bool& stopHook)>;

    // FileIndex, FrameNumber, FPS, Quality, BitRate (kbit/s), CurrentSize (bytes),
    // CurrentDuration and TotalDuration (µs).
    std::function<void(int fileIndex, int frameNumber, int fps, float quality, float bitRate,
                       std::int64_t currentSize, std::int64_t currentDuration,
                       std::int64_t totalDuration)>
        progress;
    // Called on the worker for every decoded video picture while set; the handler may
    // paint on the bitmap (BGR24, rows top-down), set update false to keep the picture
    // as decoded, or set stopHook true to stop hooking for the rest of the task.
    TCustomHook customHook;
    // At most once per preview interval while the preview-bitmap flag is set.
    std::function<void(TBitmap& bitmap, int frameNumber, std::int64_t pts)> previewBitmap;
    // Passed once per packet by the worker: a component parks the thread here to pause it.
    std::function<void()> packetGate;
};

} // namespace tessaro
