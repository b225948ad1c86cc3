// The small always-on-top window in which a converting task shows its current frame.
// The GUI supplies the window (SetPreviewerFactory); without one, previews are simply
// not shown.
#pragma once

#include "base/Bitmap.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace tessaro {

class TPreviewer {
public:
    virtual ~TPreviewer() = default;
    // Shows the frame on the main thread with TimeText(pts) as the caption (called
    // from the task's thread). Returns false once the user has closed the window; it
    // stays closed and later calls return false at once.
    bool Show(const TBitmap& bitmap, int frameNumber, std::int64_t pts);

protected:
    // Runs on the main thread: creates the window on first use (client size = bitmap
    // size), draws the bitmap. Returns false when the window has been closed.
    virtual bool ShowInMainThread(const TBitmap& bitmap, int frameNumber, std::int64_t pts) = 0;

private:
    std::atomic<bool> closed_{false};
};

// Destroys a previewer on the main thread, where its window lives.
struct TPreviewerDeleter {
    void operator()(TPreviewer* previewer) const;
};
using TPreviewerPtr = std::unique_ptr<TPreviewer, TPreviewerDeleter>;

// Makes a previewer of a concrete window class.
template <typename T, typename... Args> TPreviewerPtr MakePreviewer(Args&&... args) {
    return TPreviewerPtr(std::make_unique<T>(std::forward<Args>(args)...).release());
}

using TPreviewerFactory = std::function<TPreviewerPtr()>;
// Installed by the GUI at start-up; an empty factory switches previews off.
void SetPreviewerFactory(TPreviewerFactory factory);
// A new previewer, or null when no factory is installed.
TPreviewerPtr CreatePreviewer();

} // namespace tessaro
