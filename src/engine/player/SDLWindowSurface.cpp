#include "player/SDLWindowSurface.h"

#include "runtime/SDLBindings.h"

namespace tessaro {

TSDLWindowSurface::~TSDLWindowSurface() {
    if (texture_ != nullptr) {
        sdl::SDL_DestroyTexture(texture_);
    }
    if (renderer_ != nullptr) {
        sdl::SDL_DestroyRenderer(renderer_);
    }
    if (window_ != nullptr) {
        sdl::SDL_DestroyWindow(window_);
    }
}

void TSDLWindowSurface::GetClientSize(int& Width, int& Height) {
    Width = Height = 0;
    if (window_ != nullptr) {
        sdl::SDL_GetWindowSize(window_, &Width, &Height);
    }
}

bool TSDLWindowSurface::SetVideoMode(int Width, int Height) {
    if (window_ == nullptr) {
        window_ = sdl::SDL_CreateWindow("Player", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        Width, Height, SDL_WINDOW_RESIZABLE);
        if (window_ == nullptr) {
            return false;
        }
        renderer_ = sdl::SDL_CreateRenderer(window_, -1, 0);
        return renderer_ != nullptr;
    }
    sdl::SDL_SetWindowSize(window_, Width, Height);
    return renderer_ != nullptr;
}

void TSDLWindowSurface::ShowPicture(const TVideoPicture& Picture, const TDisplayRect& Rect) {
    if (renderer_ == nullptr) {
        return;
    }
    if (texture_ == nullptr || textureWidth_ != Picture.Width || textureHeight_ != Picture.Height) {
        if (texture_ != nullptr) {
            sdl::SDL_DestroyTexture(texture_);
        }
        texture_ =
            sdl::SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING,
                                   Picture.Width, Picture.Height);
        textureWidth_ = Picture.Width;
        textureHeight_ = Picture.Height;
        if (texture_ == nullptr) {
            return;
        }
    }
    sdl::SDL_UpdateYUVTexture(texture_, nullptr, Picture.Planes[0], Picture.Pitches[0],
                              Picture.Planes[1], Picture.Pitches[1], Picture.Planes[2],
                              Picture.Pitches[2]);
    const SDL_Rect target{Rect.Left, Rect.Top, Rect.Width, Rect.Height};
    sdl::SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    sdl::SDL_RenderClear(renderer_);
    sdl::SDL_RenderCopy(renderer_, texture_, nullptr, &target);
    sdl::SDL_RenderPresent(renderer_);
}

} // namespace tessaro
