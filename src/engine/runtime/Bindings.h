// Process-wide pointers to every FFmpeg and SDL entry point the engine calls.
//
// The executables never link the media libraries: the loader opens them at run
// time and binds each name listed in bindings/*.inc into a pointer of the same
// name and type (ff::av_frame_alloc has type decltype(&::av_frame_alloc)).
// Pointers are null until their library is loaded and null again after unload.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavcodec/dv_profile.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#define TESSARO_BIND(name) extern decltype(&::name) name;
namespace ff {
#include "runtime/bindings/AVCodecBindings.inc"
#include "runtime/bindings/AVDeviceBindings.inc"
#include "runtime/bindings/AVFilterBindings.inc"
#include "runtime/bindings/AVFormatBindings.inc"
#include "runtime/bindings/AVUtilBindings.inc"
#include "runtime/bindings/SwResampleBindings.inc"
#include "runtime/bindings/SwScaleBindings.inc"
} // namespace ff
#undef TESSARO_BIND
