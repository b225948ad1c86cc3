#include "converter/Previewer.h"

#include "base/MainThread.h"

#include <mutex>

namespace tessaro {
namespace {

std::mutex factoryLock;
TPreviewerFactory& Factory() {
    static TPreviewerFactory factory;
    return factory;
}

} // namespace

bool TPreviewer::Show(const TBitmap& bitmap, int frameNumber, std::int64_t pts) {
    if (closed_) {
        return false;
    }
    bool open = false;
    CallInMainThread([&] { open = ShowInMainThread(bitmap, frameNumber, pts); });
    if (!open) {
        closed_ = true;
    }
    return open;
}

void TPreviewerDeleter::operator()(TPreviewer* previewer) const {
    std::unique_ptr<TPreviewer> owned(previewer);
    CallInMainThread([&owned] { owned.reset(); });
}

void SetPreviewerFactory(TPreviewerFactory factory) {
    std::lock_guard lock(factoryLock);
    Factory() = std::move(factory);
}

TPreviewerPtr CreatePreviewer() {
    TPreviewerFactory factory;
    {
        std::lock_guard lock(factoryLock);
        factory = Factory();
    }
    return factory ? factory() : nullptr;
}

} // namespace tessaro
