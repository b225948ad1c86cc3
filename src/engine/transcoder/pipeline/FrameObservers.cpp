#include "transcoder/pipeline/FrameObservers.h"

#include "base/EngineLogger.h"

#include <exception>
#include <mutex>

namespace tessaro {

TFrameObservers::TFrameObservers(TTranscoderCallbacks& callbacks, std::atomic<int>& flags,
                                 std::int64_t previewInterval, TTaskLog log)
    : callbacks_(callbacks), flags_(flags), previewInterval_(previewInterval), log_(log) {}

void TFrameObservers::Observe(AVFrame*& frame, std::int64_t ptsUs) {
    ++frameCounter_;
    if (callbacks_.customHook) {
        RunCustomHook(frame, ptsUs);
    }
}

void TFrameObservers::RunCustomHook(AVFrame*& frame, std::int64_t pts) {
    if (!hookConverter_) {
        hookConverter_ = std::make_unique<TRGBConverter>();
    }
    if (!hookConverter_->ToRGB(frame)) {
        log_(llError, "Cannot initialize the toRGB conversion context");
        callbacks_.customHook = nullptr;
        return;
    }
    bool update = true;
    bool stopHook = false;
    try {
        callbacks_.customHook(hookConverter_->Bitmap(), frameCounter_, pts, update, stopHook);
    } catch (const std::exception& e) {
        log_(llError, std::string("Error occurs OnCustomHook: ") + e.what());
        update = false;
    } catch (...) {
        log_(llError, "Error occurs OnCustomHook: unknown exception");
        update = false;
    }
    if (update) {
        if (AVFrame* work = WorkPictureLike(frame)) {
            if (!hookConverter_->FromRGB(work)) {
                log_(llError, "Cannot initialize the fromRGB conversion context");
                stopHook = true;
            } else {
                ff::av_frame_copy_props(work, frame);
                frame = work;
            }
        }
    }
    if (stopHook) {
        callbacks_.customHook = nullptr;
    }
}

AVFrame* TFrameObservers::WorkPictureLike(const AVFrame* frame) {
    AVFrame* work = workPicture_.get();
    const bool fits = work != nullptr && work->width == frame->width &&
                      work->height == frame->height && work->format == frame->format;
    // A picture the encoder still holds is left to it: the hook paints into fresh buffers.
    if (fits && ff::av_frame_is_writable(work) != 0) {
        return work;
    }
    if (!workPicture_) {
        workPicture_.reset(ff::av_frame_alloc());
    }
    work = workPicture_.get();
    ff::av_frame_unref(work);
    work->width = frame->width;
    work->height = frame->height;
    work->format = frame->format;
    if (ff::av_frame_get_buffer(work, 0) < 0) {
        log_(llError, "hook buf malloc error.");
        return nullptr;
    }
    return work;
}

void TFrameObservers::ShowPreview(const AVFrame* frame, AVRational timeBase) {
    int flags = 0;
    {
        std::lock_guard lock(PreviewLock());
        flags = flags_;
    }
    if ((flags & TaskFlagPreviewWindow) == 0) {
        previewWindow_.reset(); // the preview was switched off: its window closes
    }
    if (flags == 0) {
        return;
    }
    const std::int64_t now = ff::av_gettime_relative();
    if (lastPreviewTime_ != 0 && now - lastPreviewTime_ <= previewInterval_) {
        return;
    }
    lastPreviewTime_ = now;
    const std::int64_t pts = frame->pts == AV_NOPTS_VALUE
                                 ? AV_NOPTS_VALUE
                                 : ff::av_rescale_q(frame->pts, timeBase, AV_TIME_BASE_Q);
    if (!previewConverter_) {
        previewConverter_ = std::make_unique<TRGBConverter>();
    }
    // The flags are only read and changed under the lock: a handler may wait for the main
    // thread, which takes the same lock when the component's preview properties change.
    if ((flags & TaskFlagPreviewBitmap) != 0 && callbacks_.previewBitmap) {
        if (!previewConverter_->ToRGB(frame)) {
            log_(llError, "Cannot initialize the toRGB conversion context");
            ClearFlags(TaskFlagPreviewBitmap);
        } else {
            callbacks_.previewBitmap(previewConverter_->Bitmap(), frameCounter_, pts);
        }
    } else if ((flags & TaskFlagPreviewWindow) != 0) {
        bool shown = previewConverter_->ToRGB(frame);
        if (shown) {
            if (!previewWindow_) {
                previewWindow_ = CreatePreviewer();
            }
            shown = previewWindow_ &&
                    previewWindow_->Show(previewConverter_->Bitmap(), frameCounter_, pts);
        }
        if (!shown) {
            ClearFlags(TaskFlagPreviewWindow);
        }
    }
}

void TFrameObservers::ClearFlags(int clear) {
    {
        std::lock_guard lock(PreviewLock());
        flags_ = flags_ & ~clear;
    }
    // Closed outside the lock: the window goes on the main thread, which may be waiting for
    // the lock to change the preview flags.
    if (clear == TaskFlagPreviewWindow) {
        previewWindow_.reset();
    }
}

} // namespace tessaro
