// Definitions of the bound entry points and the symbol table of each library.
#include "runtime/Bindings.h"
#include "runtime/LibraryBinding.h"
#include "runtime/SDLBindings.h"

#define TESSARO_BIND(name) decltype(&::name) name = nullptr;
namespace ff {
#include "runtime/bindings/AVCodecBindings.inc"
#include "runtime/bindings/AVDeviceBindings.inc"
#include "runtime/bindings/AVFilterBindings.inc"
#include "runtime/bindings/AVFormatBindings.inc"
#include "runtime/bindings/AVUtilBindings.inc"
#include "runtime/bindings/SwResampleBindings.inc"
#include "runtime/bindings/SwScaleBindings.inc"
} // namespace ff
namespace sdl {
#include "runtime/bindings/SDLBindings.inc"
} // namespace sdl
#undef TESSARO_BIND

namespace tessaro {
namespace {

#define TESSARO_BIND(name) {#name, &ff::name},
const TSymbolSlot AVCodecSymbols[] = {
#include "runtime/bindings/AVCodecBindings.inc"
};
const TSymbolSlot AVDeviceSymbols[] = {
#include "runtime/bindings/AVDeviceBindings.inc"
};
const TSymbolSlot AVFilterSymbols[] = {
#include "runtime/bindings/AVFilterBindings.inc"
};
const TSymbolSlot AVFormatSymbols[] = {
#include "runtime/bindings/AVFormatBindings.inc"
};
const TSymbolSlot AVUtilSymbols[] = {
#include "runtime/bindings/AVUtilBindings.inc"
};
const TSymbolSlot SwScaleSymbols[] = {
#include "runtime/bindings/SwScaleBindings.inc"
};
const TSymbolSlot SwResampleSymbols[] = {
#include "runtime/bindings/SwResampleBindings.inc"
};
#undef TESSARO_BIND
#define TESSARO_BIND(name) {#name, &sdl::name},
const TSymbolSlot SDLSymbols[] = {
#include "runtime/bindings/SDLBindings.inc"
};
#undef TESSARO_BIND

} // namespace

const TLibraryItem LibraryItems[LibraryKindCount] = {
    {TLibraryKind::libAVCodec, "libavcodec.so", LIBAVCODEC_VERSION_MAJOR, AVCodecSymbols},
    {TLibraryKind::libAVDevice, "libavdevice.so", LIBAVDEVICE_VERSION_MAJOR, AVDeviceSymbols},
    {TLibraryKind::libAVFilter, "libavfilter.so", LIBAVFILTER_VERSION_MAJOR, AVFilterSymbols},
    {TLibraryKind::libAVFormat, "libavformat.so", LIBAVFORMAT_VERSION_MAJOR, AVFormatSymbols},
    {TLibraryKind::libAVUtil, "libavutil.so", LIBAVUTIL_VERSION_MAJOR, AVUtilSymbols},
    {TLibraryKind::libSwScale, "libswscale.so", LIBSWSCALE_VERSION_MAJOR, SwScaleSymbols},
    {TLibraryKind::libSwResample, "libswresample.so", LIBSWRESAMPLE_VERSION_MAJOR,
     SwResampleSymbols},
    // SDL2's soname is libSDL2-2.0.so.0: the suffix is part of the base name.
    {TLibraryKind::libSDL, "libSDL2-2.0.so", 0, SDLSymbols},
};

} // namespace tessaro
