// Process-wide pointers to the SDL2 entry points of the player (see Bindings.h).
#pragma once

#include <SDL2/SDL.h>

#define TESSARO_BIND(name) extern decltype(&::name) name;
namespace sdl {
#include "runtime/bindings/SDLBindings.inc"
} // namespace sdl
#undef TESSARO_BIND
