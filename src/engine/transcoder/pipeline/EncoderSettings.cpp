#include "transcoder/pipeline/EncoderSettings.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tessaro {

namespace {

bool ListContainsPixelFormat(const AVPixelFormat* list, int format) {
    for (; list != nullptr && *list != AV_PIX_FMT_NONE; ++list) {
        if (*list == format) {
            return true;
        }
    }
    return false;
}

bool ListContainsSampleFormat(const AVSampleFormat* list, int format) {
    for (; list != nullptr && *list != AV_SAMPLE_FMT_NONE; ++list) {
        if (*list == format) {
            return true;
        }
    }
    return false;
}

bool IsEightBit420(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

// The picture format of a video encoder. A format asked for with "pix_fmt" is kept when the
// encoder takes it. Otherwise pictures are written as 8-bit 4:2:0, the format devices and most
// players decode (a 10-bit or 4:2:2 source would make H.264 High 10 or High 4:2:2): the first
// such format in the encoder's list, so the JPEG encoders get their full-range form. Encoders
// that take no 8-bit 4:2:0 get the source's format when they take it, else their first.
AVPixelFormat EncoderPixelFormat(const AVCodec* codec, int asked, int source, int strictness) {
    const AVPixelFormat* supported = codec != nullptr ? codec->pix_fmts : nullptr;
    if (asked >= 0) {
        // MJPEG writes limited-range pictures too when told that is acceptable.
        const bool relaxedMjpeg = codec != nullptr && codec->id == AV_CODEC_ID_MJPEG &&
                                  strictness <= FF_COMPLIANCE_UNOFFICIAL &&
                                  (asked == AV_PIX_FMT_YUV420P || asked == AV_PIX_FMT_YUV422P);
        if (supported == nullptr || ListContainsPixelFormat(supported, asked) || relaxedMjpeg) {
            return AVPixelFormat(asked);
        }
    }
    if (supported == nullptr) {
        return AV_PIX_FMT_YUV420P;
    }
    for (const AVPixelFormat* f = supported; *f != AV_PIX_FMT_NONE; ++f) {
        if (IsEightBit420(*f)) {
            return *f;
        }
    }
    return ListContainsPixelFormat(supported, source) ? AVPixelFormat(source) : supported[0];
}

// Parses "start,end,q/start,end,q/..." into the encoder's override table.
void ParseRateControlOverride(const std::string& text, AVCodecContext* encoder) {
    std::vector<RcOverride> entries;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = std::min(text.find('/', pos), text.size());
        const std::string entry = text.substr(pos, end - pos);
        int start = 0, stop = 0, q = 0;
        if (std::sscanf(entry.c_str(), "%d,%d,%d", &start, &stop, &q) != 3) {
            throw EngineException("error parsing rc_override");
        }
        RcOverride item{};
        item.start_frame = start;
        item.end_frame = stop;
        if (q > 0) {
            item.qscale = q;
            item.quality_factor = 1.0f;
        } else {
            item.qscale = 0;
            item.quality_factor = -float(q) / 100.0f;
        }
        entries.push_back(item);
        pos = end + 1;
    }
    auto* table = static_cast<RcOverride*>(ff::av_mallocz(sizeof(RcOverride) * entries.size()));
    if (table == nullptr) {
        throw EngineException("error parsing rc_override");
    }
    std::copy(entries.begin(), entries.end(), table);
    encoder->rc_override = table;
    encoder->rc_override_count = int(entries.size());
}

std::uint16_t* CopyMatrix(const std::vector<std::uint16_t>& matrix) {
    auto* copy = static_cast<std::uint16_t*>(ff::av_malloc(sizeof(std::uint16_t) * 64));
    if (copy != nullptr) {
        std::copy_n(matrix.begin(), 64, copy);
    }
    return copy;
}

int ClosestSampleRate(const AVCodec* codec, int rate, const TTaskLog& log) {
    if (codec == nullptr || codec->supported_samplerates == nullptr) {
        return rate;
    }
    int best = 0;
    for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
        if (*r == rate) {
            return rate;
        }
        if (best == 0 || std::abs(*r - rate) < std::abs(best - rate)) {
            best = *r;
        }
    }
    log(llWarning,
        FormatText("Requested sampling rate unsupported using closest supported (%d)", best));
    return best;
}

} // namespace

AVRational SampleAspectFor(float aspect, int width, int height) {
    const double value =
        width > 0 && height > 0 ? double(aspect) * height / width : double(aspect) * 3.0 / 4.0;
    return value > 0 ? ff::av_d2q(value, 255) : AVRational{0, 1};
}

void SetVideoEncoderFields(AVCodecContext* enc, const AVCodec* codec, const TTranscoderOptions& o) {
    AVRational rate = o.frameRate.num > 0 && o.frameRate.den > 0 ? o.frameRate : AVRational{25, 1};
    if (codec != nullptr && codec->supported_framerates != nullptr && !o.forceFps) {
        rate = codec->supported_framerates[ff::av_find_nearest_q_idx(rate,
                                                                     codec->supported_framerates)];
    }
    enc->framerate = rate;
    enc->time_base = AVRational{rate.den, rate.num};
    enc->width = o.frameWidth;
    enc->height = o.frameHeight;

    enc->pix_fmt = EncoderPixelFormat(codec, o.pixelFormatAsked ? o.pixelFormat : -1, o.pixelFormat,
                                      enc->strict_std_compliance);

    if (o.intraOnly) {
        enc->gop_size = 0;
    }
    if (o.videoQScale > 0 || o.sameQuality) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = int(FF_QP2LAMBDA * (o.videoQScale > 0 ? o.videoQScale : 1));
    }
    if (o.intraMatrix.size() == 64) {
        enc->intra_matrix = CopyMatrix(o.intraMatrix);
    }
    if (o.interMatrix.size() == 64) {
        enc->inter_matrix = CopyMatrix(o.interMatrix);
    }
    if (!o.rcOverride.empty()) {
        ParseRateControlOverride(o.rcOverride, enc);
    }
    if (enc->rc_initial_buffer_occupancy == 0) {
        enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
    }
    enc->intra_dc_precision = o.intraDcPrecision - 8;
    if (o.psnr) {
        enc->flags |= AV_CODEC_FLAG_PSNR;
    }
    if (o.passNumber == 1) {
        enc->flags |= AV_CODEC_FLAG_PASS1;
    } else if (o.passNumber == 2) {
        enc->flags |= AV_CODEC_FLAG_PASS2;
    }
}

void SetAudioEncoderFields(AVCodecContext* enc, const AVCodec* codec, const TTranscoderOptions& o,
                           const TTaskLog& log) {
    if (o.audioQScale > -99999) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = int(FF_QP2LAMBDA * o.audioQScale);
    }
    ff::av_channel_layout_uninit(&enc->ch_layout);
    ff::av_channel_layout_default(&enc->ch_layout, o.audioChannels > 0 ? o.audioChannels : 2);

    AVSampleFormat format = AVSampleFormat(o.sampleFormat);
    const AVSampleFormat* formats = codec != nullptr ? codec->sample_fmts : nullptr;
    if (formats != nullptr && !ListContainsSampleFormat(formats, format)) {
        format = formats[0];
    }
    enc->sample_fmt = format < 0 ? AV_SAMPLE_FMT_S16 : format;

    const int rate =
        ClosestSampleRate(codec, o.audioSampleRate > 0 ? o.audioSampleRate : 44100, log);
    enc->sample_rate = rate;
    enc->time_base = AVRational{1, rate};
}

int EncoderThreadCount(int requested, bool video, bool ownThreads, unsigned cores) {
    if (requested > 0 || !video || !ownThreads || cores == 0) {
        return requested;
    }
    return int(std::max(cores * 3 / 2, cores + 2));
}

} // namespace tessaro
