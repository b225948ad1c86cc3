// What watches the pictures of a run: the custom hook, which may paint on every decoded
// picture before it is encoded, and the previews of the pictures about to be encoded. Both
// run on the reading side, the task's worker thread.
#pragma once

#include "converter/Previewer.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/RGBConverter.h"
#include "transcoder/TaskLog.h"
#include "transcoder/pipeline/TranscoderCallbacks.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace tessaro {

class TFrameObservers {
public:
    // Flags: the task's preview flags (changed under PreviewLock()); PreviewInterval in µs.
    TFrameObservers(TTranscoderCallbacks& callbacks, std::atomic<int>& flags,
                    std::int64_t previewInterval, TTaskLog log);
    TFrameObservers(const TFrameObservers&) = delete;
    TFrameObservers& operator=(const TFrameObservers&) = delete;

    // Counts a decoded picture and runs the custom hook on it when one is set; Frame may be
    // replaced by a working picture that holds what the hook painted.
    void Observe(AVFrame*& frame, std::int64_t ptsUs);
    // Counts a decoded picture that is not converted (before the start position).
    void Skip() { ++frameCounter_; }
    // Shows or reports the picture when a preview is on and the preview interval has passed.
    void ShowPreview(const AVFrame* frame, AVRational timeBase);

private:
    void RunCustomHook(AVFrame*& frame, std::int64_t ptsUs);
    // A writable picture like Frame for the hook's result; null when none can be allocated.
    AVFrame* WorkPictureLike(const AVFrame* frame);
    void ClearFlags(int clear);

    TTranscoderCallbacks& callbacks_;
    std::atomic<int>& flags_;
    std::int64_t previewInterval_;
    TTaskLog log_;
    int frameCounter_ = 0;
    AVFramePtr workPicture_;
    std::unique_ptr<TRGBConverter> hookConverter_;
    std::unique_ptr<TRGBConverter> previewConverter_;
    TPreviewerPtr previewWindow_;
    std::int64_t lastPreviewTime_ = 0;
};

} // namespace tessaro
