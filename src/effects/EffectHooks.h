// The two places the frame effects are painted: the conversion run's OnCustomHook (on the
// converter's worker thread) and the watermark editor's player hook (on the player's video
// thread). Both receive the frame with its canvas already locked by the engine, so neither
// locks it again.
#pragma once

#include "EffectRenderer.h"
#include "EffectSettings.h"
#include "base/Bitmap.h"
#include "converter/Converter.h"

#include <map>
#include <memory>
#include <mutex>

namespace tessaro {

// Paints a conversion frame: the body of an OnCustomHook handler. Update and StopHook are
// left as they come, so the painted bitmap goes back into the frame.
void PaintConversionFrame(TEffectRenderer& renderer, const THookInfo& info,
                          const TEffectSettings& settings);

// The effects of a conversion run, one renderer per task (so each task decodes its image
// once). The run sets every task's values before it starts the converter; the hook finds
// them by the task index of the hook record.
class TConversionEffects {
public:
    void SetTask(int taskIndex, const TEffectSettings& settings);
    void Clear();
    // The OnCustomHook handler's body; frames of tasks without values pass unchanged.
    void Hook(const THookInfo& info);

private:
    struct TTaskEffects {
        TEffectSettings Settings;
        TEffectRenderer Renderer;
    };
    std::shared_ptr<TTaskEffects> Task(int taskIndex) const;

    mutable std::mutex lock_;
    std::map<int, std::shared_ptr<TTaskEffects>> tasks_;
};

// The watermark editor's live preview. The GUI thread publishes the editor's values on
// every change; the player's hook paints the latest of them and the row's crop frame, and
// remembers where the text and the image were placed.
class TPreviewEffects {
public:
    // GUI thread.
    void Publish(const TEffectSettings& settings) { settings_.Publish(settings); }
    void SetCrop(const TCropMargins& crop);
    // The positions last placed on a previewed frame; the text's only from frames that
    // had a text. Both start at (0, 0).
    TEffectPlacement Placement() const;
    void ForgetTextPosition();
    void ForgetImagePosition();

    // The player's OnHook body (video thread).
    void Hook(TBitmap& frame);

private:
    TPublishedEffectSettings settings_;
    TEffectRenderer renderer_; // used by the video thread only
    mutable std::mutex lock_;  // guards crop_ and placement_
    TCropMargins crop_;
    TEffectPlacement placement_;
};

} // namespace tessaro
