#include "transcoder/CustomTranscoder.h"

#include "transcoder/options/LegacyCodecOptions.h"

namespace tessaro {

TCustomTranscoder::TCustomTranscoder() {
    ResetOptions();
}

TCustomTranscoder::~TCustomTranscoder() = default;

void TCustomTranscoder::ResetOptions() {
    options_ = TTranscoderOptions{};
    legacyFlags2_ = LegacyFlags2Default;
    // The contexts need the libraries; a task made before they are loaded gets its
    // contexts from the first option that needs them.
    if (ff::avcodec_alloc_context3 != nullptr && ff::sws_alloc_context != nullptr &&
        ff::avformat_alloc_context != nullptr) {
        options_.libraryOptions.Create(options_.scalerFlags);
    }
}

} // namespace tessaro
