#include "EffectHooks.h"

namespace tessaro {

void PaintConversionFrame(TEffectRenderer& renderer, const THookInfo& info,
                          const TEffectSettings& settings) {
    if (info.Bitmap != nullptr) {
        renderer.Render(*info.Bitmap, settings);
    }
}

void TConversionEffects::SetTask(int taskIndex, const TEffectSettings& settings) {
    auto task = std::make_shared<TTaskEffects>();
    task->Settings = settings;
    std::lock_guard guard(lock_);
    tasks_[taskIndex] = std::move(task);
}

void TConversionEffects::Clear() {
    std::lock_guard guard(lock_);
    tasks_.clear();
}

std::shared_ptr<TConversionEffects::TTaskEffects> TConversionEffects::Task(int taskIndex) const {
    std::lock_guard guard(lock_);
    const auto found = tasks_.find(taskIndex);
    return found == tasks_.end() ? nullptr : found->second;
}

void TConversionEffects::Hook(const THookInfo& info) {
    // The task's renderer is used by its own worker only; holding the shared pointer keeps
    // it alive should the run clear the table meanwhile.
    if (const std::shared_ptr<TTaskEffects> task = Task(info.TaskIndex)) {
        PaintConversionFrame(task->Renderer, info, task->Settings);
    }
}

void TPreviewEffects::SetCrop(const TCropMargins& crop) {
    std::lock_guard guard(lock_);
    crop_ = crop;
}

TEffectPlacement TPreviewEffects::Placement() const {
    std::lock_guard guard(lock_);
    return placement_;
}

void TPreviewEffects::ForgetTextPosition() {
    std::lock_guard guard(lock_);
    placement_.TextX = 0;
    placement_.TextY = 0;
}

void TPreviewEffects::ForgetImagePosition() {
    std::lock_guard guard(lock_);
    placement_.ImageX = 0;
    placement_.ImageY = 0;
}

void TPreviewEffects::Hook(TBitmap& frame) {
    const std::shared_ptr<const TEffectSettings> settings = settings_.Current();
    TCropMargins crop;
    {
        std::lock_guard guard(lock_);
        crop = crop_;
    }
    const TEffectPlacement placed = renderer_.Render(frame, *settings);
    renderer_.DrawCropFrame(frame, crop, settings->PreviewHeight);
    std::lock_guard guard(lock_);
    placement_.ImageX = placed.ImageX;
    placement_.ImageY = placed.ImageY;
    if (placed.TextPlaced) {
        placement_.TextPlaced = true;
        placement_.TextX = placed.TextX;
        placement_.TextY = placed.TextY;
    }
}

} // namespace tessaro
