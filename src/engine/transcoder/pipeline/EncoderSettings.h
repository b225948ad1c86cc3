// The encoder settings a new output stream takes from the option state.
#pragma once

#include "runtime/FFmpegPtr.h"
#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"

namespace tessaro {

// Sample aspect ratio for a display aspect ratio on a picture of Width x Height (3:4 of the
// aspect when the size is not known); 0/1 for no aspect.
AVRational SampleAspectFor(float aspect, int width, int height);

// Frame rate (the nearest the encoder supports unless "force_fps"), size, pixel format, GOP,
// fixed quality, matrices, rate-control override, buffer, DC precision, PSNR and pass.
// Throws "error parsing rc_override" on a bad override text.
void SetVideoEncoderFields(AVCodecContext* encoder, const AVCodec* codec,
                           const TTranscoderOptions& options);

// Quality, channels, sample format (the encoder's first when it lacks the one asked for) and
// sample rate (the closest supported one, with a warning).
void SetAudioEncoderFields(AVCodecContext* encoder, const AVCodec* codec,
                           const TTranscoderOptions& options, const TTaskLog& log);

// The codec threads an encoder opens with: the task's count when one was set. Otherwise
// (automatic) an encoder that runs threads of its own (x264, x265) gets one and a half per core
// and at least two more than the cores: its frame threads each wait for the frame before, so
// with only as many threads as cores one core idles while decoding and scaling feed it. Other
// encoders are left to the library (0).
int EncoderThreadCount(int requested, bool video, bool ownThreads, unsigned cores);

} // namespace tessaro
