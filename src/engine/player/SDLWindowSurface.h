// The drawing area of SDL's own window, used when the host supplies none.
#pragma once

#include "player/VideoSurface.h"

#include <SDL2/SDL.h>

namespace tessaro {

// Lives on the player's play thread: created there on the first SetVideoMode and
// destroyed there when playback closes.
class TSDLWindowSurface : public TVideoSurface {
public:
    TSDLWindowSurface() = default;
    TSDLWindowSurface(const TSDLWindowSurface&) = delete;
    TSDLWindowSurface& operator=(const TSDLWindowSurface&) = delete;
    ~TSDLWindowSurface() override;

    void GetClientSize(int& Width, int& Height) override;
    bool SetVideoMode(int Width, int Height) override;
    void ShowPicture(const TVideoPicture& Picture, const TDisplayRect& Rect) override;

private:
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
};

} // namespace tessaro
