// RAII holders for FFmpeg objects. Every deleter calls the bound free function,
// so the holders are only ever filled while the libraries are loaded.
#pragma once

#include "runtime/Bindings.h"

#include <memory>

namespace tessaro {

struct AVFrameDeleter {
    void operator()(AVFrame* p) const { ff::av_frame_free(&p); }
};
struct AVPacketDeleter {
    void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};
// The second-pass statistics (stats_in) belong to the caller, not to the codec.
struct AVCodecContextDeleter {
    void operator()(AVCodecContext* p) const {
        ff::av_freep(&p->stats_in);
        ff::avcodec_free_context(&p);
    }
};
struct AVCodecParametersDeleter {
    void operator()(AVCodecParameters* p) const { ff::avcodec_parameters_free(&p); }
};
// An opened input (avformat_open_input).
struct AVInputFormatContextDeleter {
    void operator()(AVFormatContext* p) const { ff::avformat_close_input(&p); }
};
// An output context; closes its I/O context first when it was opened by name
// (a custom I/O context, AVFMT_FLAG_CUSTOM_IO, belongs to its own holder).
struct AVOutputFormatContextDeleter {
    void operator()(AVFormatContext* p) const {
        if (p->oformat != nullptr && (p->oformat->flags & AVFMT_NOFILE) == 0 && p->pb != nullptr &&
            (p->flags & AVFMT_FLAG_CUSTOM_IO) == 0) {
            ff::avio_closep(&p->pb);
        }
        ff::avformat_free_context(p);
    }
};
struct SwsContextDeleter {
    void operator()(SwsContext* p) const { ff::sws_freeContext(p); }
};
struct SwrContextDeleter {
    void operator()(SwrContext* p) const { ff::swr_free(&p); }
};
struct AVFilterGraphDeleter {
    void operator()(AVFilterGraph* p) const { ff::avfilter_graph_free(&p); }
};
struct AVAudioFifoDeleter {
    void operator()(AVAudioFifo* p) const { ff::av_audio_fifo_free(p); }
};
struct AVDictionaryDeleter {
    void operator()(AVDictionary* p) const { ff::av_dict_free(&p); }
};
struct AVBSFContextDeleter {
    void operator()(AVBSFContext* p) const { ff::av_bsf_free(&p); }
};
struct AVMemDeleter {
    void operator()(void* p) const { ff::av_free(p); }
};

using AVFramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;
using AVPacketPtr = std::unique_ptr<AVPacket, AVPacketDeleter>;
using AVCodecContextPtr = std::unique_ptr<AVCodecContext, AVCodecContextDeleter>;
using AVCodecParametersPtr = std::unique_ptr<AVCodecParameters, AVCodecParametersDeleter>;
using AVInputFormatContextPtr = std::unique_ptr<AVFormatContext, AVInputFormatContextDeleter>;
using AVOutputFormatContextPtr = std::unique_ptr<AVFormatContext, AVOutputFormatContextDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AVFilterGraphPtr = std::unique_ptr<AVFilterGraph, AVFilterGraphDeleter>;
using AVAudioFifoPtr = std::unique_ptr<AVAudioFifo, AVAudioFifoDeleter>;
using AVBSFContextPtr = std::unique_ptr<AVBSFContext, AVBSFContextDeleter>;
template <typename T> using AVMemPtr = std::unique_ptr<T, AVMemDeleter>;

// An AVDictionary* that frees itself; pass Get() to the library's AVDictionary** parameters.
class AVDictionaryHolder {
public:
    AVDictionaryHolder() = default;
    AVDictionaryHolder(const AVDictionaryHolder&) = delete;
    AVDictionaryHolder& operator=(const AVDictionaryHolder&) = delete;
    ~AVDictionaryHolder() { ff::av_dict_free(&dict_); }
    AVDictionary** Get() { return &dict_; }
    AVDictionary* Value() const { return dict_; }

private:
    AVDictionary* dict_ = nullptr;
};

} // namespace tessaro
