// The transcode step of a task: stream tables, set-up of stream copy and encoding,
// the packet loop with join mode, and the end of the run.
#include "transcoder/CustomTranscoder.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "io/UnicodeProtocol.h"
#include "probe/DisplayRotation.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

namespace tessaro {

namespace {

constexpr double NoTime = 1e10;

int FrameLimitSlot(AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return flVideo;
    case AVMEDIA_TYPE_AUDIO:
        return flAudio;
    case AVMEDIA_TYPE_DATA:
        return flData;
    default:
        return flSubtitle;
    }
}

// How good a candidate source an input stream is: the one with the most picture area or
// channels wins; cover pictures never.
std::int64_t SourceScore(const AVStream* st) {
    if ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
        return -1;
    }
    const AVCodecParameters* par = st->codecpar;
    std::int64_t score = par->codec_type == AVMEDIA_TYPE_VIDEO
                             ? std::int64_t(par->width) * par->height
                             : par->ch_layout.nb_channels;
    if ((st->disposition & AV_DISPOSITION_DEFAULT) != 0) {
        score += 1; // breaks ties only
    }
    return score;
}

// Width, height and sample aspect ratio of a video stream's pictures as they are shown: a
// stream turned by a quarter turn has its sides swapped.
struct TPictureShape {
    int width = 0;
    int height = 0;
    AVRational sampleAspect{0, 1};
};

TPictureShape DisplayedShape(const AVStream* stream) {
    const AVCodecParameters* par = stream->codecpar;
    TPictureShape shape{par->width, par->height,
                        stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio
                                                            : par->sample_aspect_ratio};
    if (RotationSwapsSides(StreamRotation(stream))) {
        std::swap(shape.width, shape.height);
        if (shape.sampleAspect.num > 0) {
            shape.sampleAspect = AVRational{shape.sampleAspect.den, shape.sampleAspect.num};
        }
    }
    return shape;
}

std::int64_t WallClock() {
    return ff::av_gettime_relative();
}

// A packet's payload as hex dump lines of 16 bytes: offset, the bytes in hexadecimal, and
// the bytes as text with unprintable ones shown as '.'.
std::string HexDump(const std::uint8_t* data, int size) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (int offset = 0; offset < size; offset += 16) {
        const int count = std::min(16, size - offset);
        if (offset > 0) {
            text += '\n';
        }
        text += FormatText("%08x ", unsigned(offset));
        for (int i = 0; i < 16; ++i) {
            if (i < count) {
                const std::uint8_t byte = data[offset + i];
                text += ' ';
                text += Digits[byte >> 4];
                text += Digits[byte & 15];
            } else {
                text += "   ";
            }
        }
        text += ' ';
        for (int i = 0; i < count; ++i) {
            const std::uint8_t byte = data[offset + i];
            text += byte < ' ' || byte > '~' ? '.' : char(byte);
        }
    }
    return text;
}

} // namespace

double OutputTimeOf(const TOutputStream& ost) {
    if (ost.encodingNeeded && ost.encoder != nullptr) {
        if (ost.encoder->codec_type == AVMEDIA_TYPE_AUDIO) {
            return double(ost.audio.SamplesProduced() + ost.audio.SamplesQueued()) /
                   ost.encoder->sample_rate;
        }
        if (ost.encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
            return double(ost.syncOpts) * av_q2d(ost.encoder->time_base);
        }
    }
    if (ost.lastDts != AV_NOPTS_VALUE) {
        return double(ost.lastDts) * av_q2d(ost.stream->time_base);
    }
    return 0;
}

// ---- set-up ------------------------------------------------------------------------

void TCustomTranscoder::BuildInputStreams() {
    TTranscodeRun& run = *run_;
    for (std::size_t f = 0; f < inputs_.size(); ++f) {
        AVFormatContext* ctx = inputs_[f]->context.get();
        run.fileFirstStream.push_back(int(run.inputStreams.size()));
        for (unsigned s = 0; s < ctx->nb_streams; ++s) {
            TInputStream ist;
            ist.file = int(f);
            ist.index = int(s);
            ist.stream = ctx->streams[s];
            if (Options().rateEmulation) {
                ist.wallStart = WallClock();
            }
            run.inputStreams.push_back(std::move(ist));
        }
    }
    run.eofReached.assign(inputs_.size(), false);
    run.noPacket.assign(inputs_.size(), false);
}

void TCustomTranscoder::BuildOutputStreams() {
    TTranscodeRun& run = *run_;
    const auto& maps = Options().streamMaps;
    std::size_t total = 0;
    for (std::size_t f = 0; f < outputFiles_.size(); ++f) {
        TOutputFile& output = *outputFiles_[f];
        if (output.context->nb_streams == 0) {
            ff::av_dump_format(output.context.get(), int(f), output.fileName.c_str(), 1);
            throw EngineException(
                FormatText("Output file #%d does not contain any stream", int(f)));
        }
        total += output.context->nb_streams;
        run.outputFiles.push_back(&output);
    }
    if (!maps.empty() && maps.size() != total) {
        throw EngineException("Number of stream maps must match number of output streams");
    }
    for (const TStreamMap& map : maps) {
        if (map.fileIndex < 0 || map.fileIndex >= int(inputs_.size()) || map.streamIndex < 0 ||
            map.streamIndex >= int(inputs_[map.fileIndex]->context->nb_streams)) {
            throw EngineException(
                FormatText("Could not find input stream #%d.%d", map.fileIndex, map.streamIndex));
        }
        if (map.syncFileIndex < 0 || map.syncFileIndex >= int(inputs_.size()) ||
            map.syncStreamIndex < 0 ||
            map.syncStreamIndex >= int(inputs_[map.syncFileIndex]->context->nb_streams)) {
            throw EngineException(FormatText("Could not find sync stream #%d.%d", map.syncFileIndex,
                                             map.syncStreamIndex));
        }
    }
    for (std::size_t f = 0; f < outputFiles_.size(); ++f) {
        TOutputFile& output = *outputFiles_[f];
        for (std::size_t s = 0; s < output.streams.size(); ++s) {
            TOutputStream& ost = run.outputStreams.emplace_back();
            ost.tableIndex = int(run.outputStreams.size()) - 1;
            ost.file = int(f);
            ost.index = int(s);
            ost.output = &output;
            ost.setup = output.streams[s].get();
            ost.stream = ost.setup->stream;
            ost.encoder = ost.setup->encoderContext.get();
        }
    }
    ChooseSources();
}

int TCustomTranscoder::FindSource(const TOutputStream& ost, int inputFile, bool allowReuse) const {
    const TTranscodeRun& run = *run_;
    int best = -1;
    std::int64_t bestScore = -2;
    for (std::size_t i = 0; i < run.inputStreams.size(); ++i) {
        const TInputStream& ist = run.inputStreams[i];
        const AVStream* st = ist.stream;
        if (st->codecpar->codec_type != ost.setup->type || st->discard == AVDISCARD_ALL ||
            (inputFile >= 0 && ist.file != inputFile) || (!ist.discard && !allowReuse)) {
            continue;
        }
        const std::int64_t score = SourceScore(st);
        if (allowReuse ? true : score > bestScore) {
            if (allowReuse || score > bestScore) {
                best = int(i);
                bestScore = score;
            }
        }
    }
    return best;
}

void TCustomTranscoder::ChooseSources() {
    TTranscodeRun& run = *run_;
    const auto& maps = Options().streamMaps;
    for (std::size_t k = 0; k < run.outputStreams.size(); ++k) {
        TOutputStream& ost = run.outputStreams[k];
        if (!maps.empty()) {
            const TStreamMap& map = maps[k];
            ost.source = run.fileFirstStream[map.fileIndex] + map.streamIndex;
            ost.syncSource = run.fileFirstStream[map.syncFileIndex] + map.syncStreamIndex;
            const TInputStream& ist = run.inputStreams[ost.source];
            if (ist.stream->codecpar->codec_type != ost.setup->type) {
                throw EngineException(FormatText(
                    "Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", map.fileIndex,
                    map.streamIndex, MediaTypeName(ist.stream->codecpar->codec_type).c_str(),
                    ost.file, ost.index, MediaTypeName(ost.setup->type).c_str()));
            }
        } else if (joinMode_) {
            for (std::size_t f = 0; f < inputs_.size(); ++f) {
                const int source = FindSource(ost, int(f), false);
                ost.joinSources.push_back(source);
                if (source >= 0) {
                    run.inputStreams[source].discard = false;
                }
            }
            ost.source = ost.joinSources[0];
        } else {
            ost.source = FindSource(ost, -1, false);
            if (ost.source < 0) {
                ost.source = FindSource(ost, -1, true);
            }
        }
        if (ost.source < 0) {
            ff::av_dump_format(ost.output->context.get(), ost.file, ost.output->fileName.c_str(),
                               1);
            throw EngineException(
                FormatText("Could not find input stream matching output stream #%d.%d (%s)",
                           ost.file, ost.index, MediaTypeName(ost.setup->type).c_str()));
        }
        if (ost.syncSource < 0) {
            ost.syncSource = ost.source;
        }
        run.inputStreams[ost.source].discard = false;
    }
}

void TCustomTranscoder::PrepareOutputStream(TOutputStream& ost) {
    const TInputStream& ist = run_->inputStreams[ost.source];
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = ff::av_dict_get(ist.stream->metadata, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        ff::av_dict_set(&ost.stream->metadata, entry->key, entry->value, AV_DICT_DONT_OVERWRITE);
    }
    ost.stream->disposition = ist.stream->disposition;
    for (const std::string& name : ost.setup->bitstreamFilters) {
        AVBSFContext* bsf = nullptr;
        const int ret = ff::av_bsf_list_parse_str(name.c_str(), &bsf);
        if (ret < 0) {
            throw EngineException(tessaro::ErrorText(name, ret));
        }
        ost.bitstreamFilters.emplace_back(bsf);
    }
    if (ost.setup->streamCopy) {
        PrepareStreamCopy(ost);
        CopyDisplayMatrix(ist.stream, ost.stream);
    } else {
        // Encoded pictures are turned upright: no player may turn them again.
        ff::av_dict_set(&ost.stream->metadata, "rotate", nullptr, 0);
        PrepareEncoding(ost);
    }
}

// Copied pictures stay as stored, so the output keeps the instruction to turn them.
void TCustomTranscoder::CopyDisplayMatrix(const AVStream* from, AVStream* to) {
    std::size_t size = 0;
    const std::uint8_t* matrix =
        ff::av_stream_get_side_data(from, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr) {
        return;
    }
    std::uint8_t* copy = ff::av_stream_new_side_data(to, AV_PKT_DATA_DISPLAYMATRIX, size);
    if (copy == nullptr) {
        throw EngineException("av_mallocz fail");
    }
    std::copy_n(matrix, size, copy);
}

void TCustomTranscoder::PrepareStreamCopy(TOutputStream& ost) {
    const TInputStream& ist = run_->inputStreams[ost.source];
    const AVCodecParameters* in = ist.stream->codecpar;
    AVCodecParameters* out = ost.stream->codecpar;
    if (in->extradata_size > INT32_MAX - 8) {
        throw EngineException("icodec.extradata_size is invalid (too large)");
    }
    if (in->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (callbacks_.customHook) {
            throw EngineException(
                "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        }
        if (Options().frameHookLoaded) {
            throw EngineException(
                "-vcodec copy and -vhook are incompatible (frames are not decoded)");
        }
        if (Flags() != 0) {
            throw EngineException(
                "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
        }
    } else if (in->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (ost.setup->volume != 256) {
            throw EngineException(
                "-acodec copy and -vol are incompatible (frames are not decoded)");
        }
    } else if (in->codec_type != AVMEDIA_TYPE_SUBTITLE && in->codec_type != AVMEDIA_TYPE_DATA) {
        throw EngineException("invalid codec_type of output stream");
    }
    const AVRational sar = out->sample_aspect_ratio;
    if (ff::avcodec_parameters_copy(out, in) < 0) {
        throw EngineException("av_mallocz fail");
    }
    const AVOutputFormat* format = ost.output->context->oformat;
    const bool tagMapsBack = format->codec_tag == nullptr ||
                             ff::av_codec_get_id(format->codec_tag, in->codec_tag) == in->codec_id;
    if (!tagMapsBack) {
        out->codec_tag = 0;
    }
    if (in->codec_type == AVMEDIA_TYPE_VIDEO && sar.num > 0) {
        out->sample_aspect_ratio = sar;
        ost.stream->sample_aspect_ratio = sar;
    } else {
        ost.stream->sample_aspect_ratio = ist.stream->sample_aspect_ratio;
    }
    if (in->codec_type == AVMEDIA_TYPE_AUDIO && in->block_align == 1 &&
        (in->codec_id == AV_CODEC_ID_MP3 || in->codec_id == AV_CODEC_ID_AC3)) {
        out->block_align = 0;
    }
    if (in->codec_id == AV_CODEC_ID_AC3) {
        out->block_align = 0;
    }
    ost.stream->time_base = ist.stream->time_base;
    ost.stream->avg_frame_rate = ist.stream->avg_frame_rate;
    ost.stream->r_frame_rate = ist.stream->r_frame_rate;
}

void TCustomTranscoder::PrepareEncoding(TOutputStream& ost) {
    TInputStream& ist = run_->inputStreams[ost.source];
    AVCodecContext* enc = ost.encoder;
    const AVCodecParameters* par = ist.stream->codecpar;
    switch (ost.setup->type) {
    case AVMEDIA_TYPE_VIDEO: {
        if (par->format < 0) {
            throw EngineException("Video pixel format is unknown, stream cannot be encoded");
        }
        ost.cropTop = ost.setup->cropTop;
        ost.cropBottom = ost.setup->cropBottom;
        ost.cropLeft = ost.setup->cropLeft;
        ost.cropRight = ost.setup->cropRight;
        const TPictureShape shape = DisplayedShape(ist.stream);
        ost.originalWidth = shape.width;
        ost.originalHeight = shape.height;
        ost.filtered.reset(ff::av_frame_alloc());
        try {
            BuildVideoGraph(ost, nullptr);
        } catch (const EngineException& e) {
            throw EngineException(std::string("Error opening filters: ") + e.what());
        }
        break;
    }
    case AVMEDIA_TYPE_AUDIO:
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        // Picture subtitles are placed on the source's frame; text styles come along.
        if (enc->width == 0) {
            enc->width = par->width;
            enc->height = par->height;
        }
        // A DVD's subpicture stream names no frame size: it is the picture's.
        if (enc->width == 0) {
            const AVFormatContext* ctx = inputs_[ist.file]->context.get();
            for (unsigned s = 0; s < ctx->nb_streams && enc->width == 0; ++s) {
                const AVCodecParameters* video = ctx->streams[s]->codecpar;
                if (video->codec_type == AVMEDIA_TYPE_VIDEO) {
                    enc->width = video->width;
                    enc->height = video->height;
                }
            }
        }
        break;
    default:
        throw EngineException("invalid codec_type of output stream");
    }
    ost.encodingNeeded = true;
    ist.decodingNeeded = true;
    for (const int source : ost.joinSources) {
        if (source >= 0) {
            run_->inputStreams[source].decodingNeeded = true;
        }
    }
    if (enc != nullptr && (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) != 0) {
        OpenPassLog(ost, ost.tableIndex);
    }
}

void TCustomTranscoder::BuildVideoGraph(TOutputStream& ost, const AVFrame* frame) {
    const TInputStream& ist = run_->inputStreams[ost.source];
    const AVCodecParameters* par = ist.stream->codecpar;
    AVCodecContext* enc = ost.encoder;
    // Before the first picture the stream's parameters stand for it, as shown (upright).
    const TPictureShape shape = DisplayedShape(ist.stream);
    TVideoGraphConfig config;
    config.inWidth = frame != nullptr ? frame->width : shape.width;
    config.inHeight = frame != nullptr ? frame->height : shape.height;
    config.inFormat = AVPixelFormat(frame != nullptr ? frame->format : par->format);
    config.timeBase = ist.stream->time_base;
    config.frameRate = ist.stream->r_frame_rate;
    config.sampleAspect = frame != nullptr && frame->sample_aspect_ratio.num > 0
                              ? frame->sample_aspect_ratio
                              : shape.sampleAspect;
    config.cropTop = ost.cropTop;
    config.cropBottom = ost.cropBottom;
    config.cropLeft = ost.cropLeft;
    config.cropRight = ost.cropRight;
    const bool firstBuild = ost.lastFormat < 0;
    // The encoder size asked for, before the user's filters changed it.
    config.outWidth = firstBuild ? enc->width : ost.graphConfig.outWidth;
    config.outHeight = firstBuild ? enc->height : ost.graphConfig.outHeight;
    if (config.outWidth <= 0 || config.outHeight <= 0) {
        config.outWidth = config.inWidth - config.cropLeft - config.cropRight;
        config.outHeight = config.inHeight - config.cropTop - config.cropBottom;
    }
    config.outFormat = enc->pix_fmt;
    config.scalerFlags = ost.setup->scalerFlags;
    config.userText = ost.setup->filters;
    config.threads = Options().threadCount;
    ost.lastWidth = config.inWidth;
    ost.lastHeight = config.inHeight;
    ost.lastFormat = config.inFormat;
    const auto applyConfig = [&] {
        ost.graphConfig = config;
        if (TVideoFilterGraph::IsPassThrough(config)) {
            ost.graph.Release();
            ost.graphUsed = false;
        } else {
            ost.graph.Build(config);
            ost.graphUsed = true;
        }
    };
    applyConfig();
    if (firstBuild) {
        enc->width = ost.graphUsed ? ost.graph.OutputWidth() : config.outWidth;
        enc->height = ost.graphUsed ? ost.graph.OutputHeight() : config.outHeight;
        // DV frames exist only in the sampling their norm prescribes (4:1:1 for 525 lines at
        // 29.97 fps): once the frame size is known, take the encoder's first format that has
        // a DV profile.
        const AVCodec* codec = ost.setup->encoder;
        if (codec != nullptr && codec->id == AV_CODEC_ID_DVVIDEO && codec->pix_fmts != nullptr &&
            ff::av_dv_codec_profile2(enc->width, enc->height, enc->pix_fmt, enc->framerate) ==
                nullptr) {
            for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
                if (ff::av_dv_codec_profile2(enc->width, enc->height, *f, enc->framerate)) {
                    enc->pix_fmt = config.outFormat = *f;
                    applyConfig();
                    break;
                }
            }
        }
        if (ost.graphUsed && !config.userText.empty()) {
            enc->sample_aspect_ratio = ost.graph.OutputSampleAspect();
        }
    }
}

void TCustomTranscoder::OpenPassLog(TOutputStream& ost, int index) {
    const std::string prefix =
        Options().passLogFile.empty() ? std::string("ffmpeg2pass") : Options().passLogFile;
    ost.passLogName = FormatText("%s-%d.log", prefix.c_str(), index).substr(0, 1023);
    if ((ost.encoder->flags & AV_CODEC_FLAG_PASS1) != 0) {
        ost.passLog.reset(std::fopen(ost.passLogName.c_str(), "wb"));
        if (!ost.passLog) {
            throw EngineException(FormatText("Cannot write log file %s for pass-1 encoding",
                                             ost.passLogName.c_str()));
        }
        return;
    }
    std::vector<char> content;
    const int ret = ReadWholeFile(ost.passLogName, content);
    if (ret == AVERROR(ENOMEM)) {
        throw EngineException(FormatText(
            "Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
            ost.passLogName.c_str()));
    }
    if (ret != 0) {
        throw EngineException(
            FormatText("Cannot read file: Error reading log file \"%s\" for pass-2 encoding",
                       ost.passLogName.c_str()));
    }
    ost.encoder->stats_in = ff::av_strdup(content.data());
}

void TCustomTranscoder::OpenEncoders() {
    TTranscodeRun& run = *run_;
    for (TOutputStream& ost : run.outputStreams) {
        if (!ost.encodingNeeded) {
            continue;
        }
        const char* typeName = nullptr;
        const std::string type = MediaTypeName(ost.setup->type);
        typeName = type.c_str();
        const AVCodec* codec = ost.setup->encoder;
        if (codec == nullptr) {
            const std::string message =
                FormatText("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                           int(ost.encoder != nullptr ? ost.encoder->codec_id : AV_CODEC_ID_NONE),
                           ost.file, ost.index, typeName);
            LogMessage(llError, message);
            LogStreamMapping();
            throw EngineException(message);
        }
        int ret = 0;
        TLibraryErrorCapture capture;
        {
            std::lock_guard lock(CodecLock());
            ret = ff::avcodec_open2(ost.encoder, codec, ost.setup->openOptions.Get());
        }
        if (ret < 0) {
            const std::string message = capture.Explain(FormatText(
                "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                "parameters such as bit_rate, rate, width or height. Please check error log "
                "message to find out more detail information.",
                ost.file, ost.index, typeName));
            LogMessage(llError, message);
            LogStreamMapping();
            throw EngineException(message);
        }
        ost.encoderOpen = true;
        run.extraSize += ost.encoder->extradata_size;
        ff::avcodec_parameters_from_context(ost.stream->codecpar, ost.encoder);
        ost.stream->time_base = ost.encoder->time_base;
        if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
            ost.stream->avg_frame_rate = ost.encoder->framerate;
            ost.stream->sample_aspect_ratio = ost.encoder->sample_aspect_ratio;
        } else if (ost.setup->type == AVMEDIA_TYPE_AUDIO) {
            TOutputStream* target = &ost;
            ost.audio.Open(ost.encoder, ost.setup->volume,
                           [this, target](AVFrame* frame) { EncodeAudioFrame(*target, frame); });
        }
    }
}

void TCustomTranscoder::InitBitstreamFilters() {
    for (TOutputStream& ost : run_->outputStreams) {
        AVCodecParameters* par = ost.stream->codecpar;
        AVRational timeBase = ost.stream->time_base;
        for (AVBSFContextPtr& bsf : ost.bitstreamFilters) {
            ff::avcodec_parameters_copy(bsf->par_in, par);
            bsf->time_base_in = timeBase;
            const int ret = ff::av_bsf_init(bsf.get());
            if (ret < 0) {
                throw EngineException(tessaro::ErrorText(bsf->filter->name, ret));
            }
            par = bsf->par_out;
            timeBase = bsf->time_base_out;
        }
        if (!ost.bitstreamFilters.empty()) {
            ff::avcodec_parameters_copy(ost.stream->codecpar, par);
        }
    }
}

void TCustomTranscoder::CopySubtitleHeader(const TInputStream& ist) {
    const AVCodecContext* dec = ist.decoder.get();
    if (dec->subtitle_header == nullptr) {
        return;
    }
    for (TOutputStream& ost : run_->outputStreams) {
        AVCodecContext* enc = ost.encoder;
        if (&run_->inputStreams[ost.source] != &ist || enc == nullptr || ost.encoderOpen ||
            enc->subtitle_header != nullptr) {
            continue;
        }
        enc->subtitle_header =
            static_cast<std::uint8_t*>(ff::av_mallocz(dec->subtitle_header_size + 1));
        if (enc->subtitle_header != nullptr) {
            std::copy_n(dec->subtitle_header, dec->subtitle_header_size, enc->subtitle_header);
            enc->subtitle_header_size = dec->subtitle_header_size;
        }
    }
}

void TCustomTranscoder::OpenDecoders() {
    for (TInputStream& ist : run_->inputStreams) {
        if (!ist.decodingNeeded) {
            continue;
        }
        const std::string type = MediaTypeName(ist.stream->codecpar->codec_type);
        const AVCodec* codec = inputs_[ist.file]->forcedDecoders[ist.index];
        if (codec == nullptr) {
            codec = ff::avcodec_find_decoder(ist.stream->codecpar->codec_id);
        }
        if (codec == nullptr) {
            throw EngineException(
                FormatText("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                           int(ist.stream->codecpar->codec_id), ist.file, ist.index, type.c_str()));
        }
        ist.decoder.reset(ff::avcodec_alloc_context3(codec));
        AVCodecContext* dec = ist.decoder.get();
        if (dec == nullptr || ff::avcodec_parameters_to_context(dec, ist.stream->codecpar) < 0) {
            throw EngineException(
                FormatText("Error while opening decoder for input stream #%d.%d (%s)", ist.file,
                           ist.index, type.c_str()));
        }
        dec->pkt_timebase = ist.stream->time_base;
        dec->thread_count = Options().threadCount;
        AVDictionaryHolder options;
        const int typeFlag = dec->codec_type == AVMEDIA_TYPE_VIDEO   ? AV_OPT_FLAG_VIDEO_PARAM
                             : dec->codec_type == AVMEDIA_TYPE_AUDIO ? AV_OPT_FLAG_AUDIO_PARAM
                                                                     : 0;
        if (typeFlag != 0) {
            ApplyContextOptions(nullptr, AV_OPT_FLAG_DECODING_PARAM | typeFlag, dec->codec_type,
                                codec, options.Get());
        }
        int ret = 0;
        TLibraryErrorCapture capture;
        {
            std::lock_guard lock(CodecLock());
            ret = ff::avcodec_open2(dec, codec, options.Get());
        }
        if (ret < 0) {
            throw EngineException(capture.Explain(
                FormatText("Error while opening decoder for input stream #%d.%d (%s)", ist.file,
                           ist.index, type.c_str())));
        }
        ist.decoderOpen = true;
        CopySubtitleHeader(ist);
        if (dec->codec_type == AVMEDIA_TYPE_VIDEO) {
            CreateSourcePictureFilter(ist);
        }
    }
    for (TInputStream& ist : run_->inputStreams) {
        const AVRational rate = ist.stream->avg_frame_rate;
        const int delay = ist.decoder ? ist.decoder->has_b_frames : 0;
        ist.pts = rate.num > 0 && rate.den > 0
                      ? -ff::av_rescale_q(delay, AVRational{rate.den, rate.num}, AV_TIME_BASE_Q)
                      : 0;
        ist.nextPts = AV_NOPTS_VALUE;
        ist.isStart = true;
    }
}

void TCustomTranscoder::CreateSourcePictureFilter(TInputStream& ist) {
    const bool deinterlace = Options().deinterlace || inputs_[ist.file]->deinterlace;
    auto filter = std::make_unique<TSourcePictureFilter>(deinterlace, StreamRotation(ist.stream),
                                                         Options().threadCount);
    if (!filter->IsActive()) {
        return;
    }
    ist.filteredPicture.reset(ff::av_frame_alloc());
    if (!ist.filteredPicture) {
        throw EngineException("av_mallocz fail");
    }
    ist.pictureFilter = std::move(filter);
}

void TCustomTranscoder::CopyMetadataAndChapters() {
    TTranscoderOptions& o = Options();
    for (const TMetaDataMap& map : o.metaDataMaps) {
        if (map.outFile < 0 || map.outFile >= int(outputSlots_.size())) {
            throw EngineException(FormatText("Invalid output file index %d map_meta_data(%d,%d)",
                                             map.outFile, map.outFile, map.inFile));
        }
        if (map.inFile < 0 || map.inFile >= int(inputs_.size())) {
            throw EngineException(FormatText("Invalid input file index %d map_meta_data(%d,%d)",
                                             map.inFile, map.outFile, map.inFile));
        }
        AVFormatContext* out = outputSlots_[map.outFile]->context.get();
        ff::av_dict_copy(&out->metadata, inputs_[map.inFile]->context->metadata,
                         AV_DICT_DONT_OVERWRITE);
    }
    for (const auto& input : inputs_) {
        const AVFormatContext* in = input->context.get();
        if (in->nb_chapters == 0) {
            continue;
        }
        for (const auto& output : outputFiles_) {
            AVFormatContext* out = output->context.get();
            for (unsigned c = 0; c < in->nb_chapters; ++c) {
                const AVChapter* chapter = in->chapters[c];
                const std::int64_t shift =
                    ff::av_rescale_q(input->tsOffset, AV_TIME_BASE_Q, chapter->time_base);
                const std::int64_t limit =
                    o.recordingTime == INT64_MAX
                        ? INT64_MAX
                        : ff::av_rescale_q(o.recordingTime, AV_TIME_BASE_Q, chapter->time_base);
                std::int64_t start = chapter->start + shift;
                std::int64_t end = chapter->end + shift;
                if (end < 0 || start > limit) {
                    continue;
                }
                start = std::max<std::int64_t>(start, 0);
                end = std::min(end, limit);
                auto** grown = static_cast<AVChapter**>(
                    ff::av_realloc(out->chapters, sizeof(AVChapter*) * (out->nb_chapters + 1)));
                auto* copy = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
                if (grown == nullptr || copy == nullptr) {
                    ff::av_free(copy);
                    if (grown != nullptr) {
                        out->chapters = grown;
                    }
                    throw EngineException("av_mallocz fail");
                }
                out->chapters = grown;
                copy->id = chapter->id;
                copy->time_base = chapter->time_base;
                copy->start = start;
                copy->end = end;
                ff::av_dict_copy(&copy->metadata, chapter->metadata, 0);
                out->chapters[out->nb_chapters++] = copy;
            }
        }
    }
}

void TCustomTranscoder::WriteHeaders() {
    for (std::size_t f = 0; f < outputFiles_.size(); ++f) {
        TOutputFile& output = *outputFiles_[f];
        TLibraryErrorCapture capture;
        const int ret = ff::avformat_write_header(output.context.get(), output.muxerOptions.Get());
        if (ret < 0) {
            const std::string message = FormatText(
                "Could not write header for output file #%d (incorrect codec parameters ?)",
                int(f));
            LogMessage(llError, message + ": " + tessaro::ErrorText(ret));
            throw EngineException(capture.Explain(message));
        }
        output.headerWritten = true;
    }
    LogRtpSessionDescription();
}

// When every output is an RTP stream, the session description a receiver needs to play
// them is logged.
void TCustomTranscoder::LogRtpSessionDescription() const {
    std::vector<AVFormatContext*> contexts;
    for (const auto& output : outputFiles_) {
        if (std::strcmp(output->context->oformat->name, "rtp") != 0) {
            return;
        }
        contexts.push_back(output->context.get());
    }
    if (contexts.empty()) {
        return;
    }
    char sdp[2048];
    if (ff::av_sdp_create(contexts.data(), int(contexts.size()), sdp, sizeof(sdp)) < 0) {
        return;
    }
    LogMessage(llInfo, std::string("SDP:\r\n") + sdp);
}

void TCustomTranscoder::LogStreamMapping() {
    if (Options().verbose < 0 || !run_) {
        return;
    }
    LogMessage(llVerbose, "Stream mapping:");
    for (const TOutputStream& ost : run_->outputStreams) {
        if (ost.source < 0) {
            continue;
        }
        const TInputStream& ist = run_->inputStreams[ost.source];
        std::string line =
            FormatText("  Stream #%d.%d -> #%d.%d (%s)", ist.file, ist.index,
                       joinMode_ ? 0 : ost.file, ost.index, MediaTypeName(ost.setup->type).c_str());
        if (ost.syncSource != ost.source && ost.syncSource >= 0) {
            const TInputStream& sync = run_->inputStreams[ost.syncSource];
            line += FormatText(" [sync #%d.%d (%s)]", sync.file, sync.index,
                               MediaTypeName(sync.stream->codecpar->codec_type).c_str());
        }
        LogMessage(llVerbose, line);
    }
}

// ---- main loop ---------------------------------------------------------------------

void TCustomTranscoder::LogPacketDump(const AVPacket* packet) const {
    LogMessage(llInfo, FormatText("stream #%d: size=%d pts=%lld dts=%lld", packet->stream_index,
                                  packet->size, (long long)packet->pts, (long long)packet->dts));
    if (Options().hexDump && packet->size > 0) {
        LogMessage(llInfo, HexDump(packet->data, packet->size));
    }
}

int TCustomTranscoder::ChooseInputFile() {
    TTranscodeRun& run = *run_;
    const auto& maxFrames = Options().maxFrames;
    if (joinMode_) {
        for (const TOutputStream& ost : run.outputStreams) {
            if (ost.frameNumber >= maxFrames[FrameLimitSlot(ost.setup->type)]) {
                return -1;
            }
        }
        return run.currentJoinFile;
    }
    double minOpts = 1e100;
    double minIpts = 1e100;
    int byOpts = -1;
    int byIpts = -1;
    for (const TOutputStream& ost : run.outputStreams) {
        const TInputStream& ist = run.inputStreams[ost.source];
        if (run.eofReached[ist.file] || run.noPacket[ist.file] || ist.pastRecordingTime ||
            ost.finished) {
            continue;
        }
        const double opts = OutputTimeOf(ost);
        const double ipts = double(ist.pts);
        if (ipts < minIpts) {
            minIpts = ipts;
            byIpts = ist.file;
        }
        if (opts < minOpts) {
            minOpts = opts;
            byOpts = ist.file;
        }
        if (ost.frameNumber >= maxFrames[FrameLimitSlot(ost.setup->type)]) {
            return -1;
        }
    }
    return Options().inputSync ? byIpts : byOpts;
}

bool TCustomTranscoder::FileSizeLimitReached() const {
    const std::int64_t limit = Options().fileSizeLimit;
    if (limit <= 0 || outputFiles_.empty()) {
        return false;
    }
    AVIOContext* pb = outputFiles_.front()->context->pb;
    return pb != nullptr && ff::avio_seek(pb, 0, SEEK_CUR) >= limit;
}

void TCustomTranscoder::AdjustPacketTimestamps(TInputStream& ist, AVPacket* packet) {
    TInputFile& input = *inputs_[ist.file];
    const AVRational tb = ist.stream->time_base;
    const std::int64_t offset = ff::av_rescale_q(input.tsOffset, AV_TIME_BASE_Q, tb);
    const double scale = ist.index < MaxStreams ? input.tsScale[ist.index] : 0.0;
    if (packet->dts != AV_NOPTS_VALUE) {
        packet->dts += offset;
        if (scale != 0) {
            packet->dts = std::int64_t(double(packet->dts) * scale);
        }
    }
    if (packet->pts != AV_NOPTS_VALUE) {
        packet->pts += offset;
        if (scale != 0) {
            packet->pts = std::int64_t(double(packet->pts) * scale);
        }
    }
    if (packet->dts != AV_NOPTS_VALUE && ist.nextPts != AV_NOPTS_VALUE &&
        (input.context->iformat->flags & AVFMT_TS_DISCONT) != 0 && !Options().copyTimestamps) {
        const std::int64_t dtsUs = ff::av_rescale_q(packet->dts, tb, AV_TIME_BASE_Q);
        const std::int64_t delta = dtsUs - ist.nextPts;
        if (std::llabs(delta) > std::int64_t(Options().dtsDeltaThreshold * AV_TIME_BASE) ||
            dtsUs + 1 < ist.pts) {
            input.tsOffset -= delta;
            const std::int64_t shift = ff::av_rescale_q(delta, AV_TIME_BASE_Q, tb);
            packet->dts -= shift;
            if (packet->pts != AV_NOPTS_VALUE) {
                packet->pts -= shift;
            }
            if (Options().verbose >= 3) {
                LogMessage(llVerbose, FormatText("timestamp discontinuity %lld, new offset= %lld",
                                                 (long long)delta, (long long)input.tsOffset));
            }
        }
    }
}

void TCustomTranscoder::Transcode() {
    finished_ = false;
    run_ = std::make_unique<TTranscodeRun>();
    TTranscodeRun& run = *run_;
    run.decoded.reset(ff::av_frame_alloc());
    run.encoded.reset(ff::av_packet_alloc());
    run.copied.reset(ff::av_packet_alloc());
    AVPacketPtr packet(ff::av_packet_alloc());
    if (!run.decoded || !run.encoded || !run.copied || !packet) {
        throw EngineException("av_mallocz fail");
    }
    frameCounter_ = 0;

    BuildInputStreams();
    BuildOutputStreams();
    for (TOutputStream& ost : run.outputStreams) {
        PrepareOutputStream(ost);
    }
    // Decoders first: a text subtitle encoder takes its styles from the decoder.
    OpenDecoders();
    OpenEncoders();
    InitBitstreamFilters();
    CopyMetadataAndChapters();
    WriteHeaders();
    LogStreamMapping();
    run.startWallTime = WallClock();
    run.lastReportTime = run.startWallTime;

    const TTranscoderOptions& o = Options();
    while (!stopRequested_) {
        if (callbacks_.packetGate) {
            callbacks_.packetGate();
            if (stopRequested_) {
                break;
            }
        }
        const int file = ChooseInputFile();
        if (file < 0) {
            bool anyNoPacket = false;
            for (std::size_t f = 0; f < run.noPacket.size(); ++f) {
                anyNoPacket = anyNoPacket || run.noPacket[f];
                run.noPacket[f] = false;
            }
            if (joinMode_ || !anyNoPacket) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (FileSizeLimitReached()) {
            break;
        }
        const int read = ff::av_read_frame(inputs_[file]->context.get(), packet.get());
        if (read == AVERROR(EAGAIN)) {
            run.noPacket[file] = true;
            ++run.noPacketCount;
            continue;
        }
        if (read < 0) {
            run.eofReached[file] = true;
            if (joinMode_) {
                if (!SwitchJoinInput(file)) {
                    break;
                }
                continue;
            }
            if (o.shortest) {
                break;
            }
            continue;
        }
        std::fill(run.noPacket.begin(), run.noPacket.end(), false);
        if (o.packetDump || o.hexDump) {
            LogPacketDump(packet.get());
        }
        const int streamIndex = packet->stream_index;
        OfferSubpicture(file, packet.get());
        if (streamIndex >= inputs_[file]->knownStreams) {
            ff::av_packet_unref(packet.get());
            continue;
        }
        TInputStream& ist = run.inputStreams[run.fileFirstStream[file] + streamIndex];
        if (ist.discard) {
            ff::av_packet_unref(packet.get());
            continue;
        }
        AdjustPacketTimestamps(ist, packet.get());
        if (o.recordingTime != INT64_MAX && packet->pts != AV_NOPTS_VALUE &&
            ff::av_rescale_q(packet->pts, ist.stream->time_base, AV_TIME_BASE_Q) >=
                o.recordingTime) {
            ist.pastRecordingTime = true;
            ff::av_packet_unref(packet.get());
            continue;
        }
        if (ProcessPacket(ist, packet.get()) < 0) {
            const std::string message =
                FormatText("Error while decoding stream #%d.%d (%s)", ist.file, ist.index,
                           MediaTypeName(ist.stream->codecpar->codec_type).c_str());
            if (o.exitOnError) {
                ff::av_packet_unref(packet.get());
                throw EngineException(message);
            }
            if (o.verbose >= 0) {
                LogMessage(llVerbose, message);
            }
        }
        ff::av_packet_unref(packet.get());
        const std::int64_t now = WallClock();
        if (now - run.lastReportTime > ProgressIntervalMicroseconds) {
            run.lastReportTime = now;
            ReportProgress(false, file);
        }
    }
    FinishRun();
    finished_ = !stopRequested_;
}

void TCustomTranscoder::OfferSubpicture(int file, const AVPacket* packet) {
    TInputFile& input = *inputs_[file];
    if (!input.burner) {
        return;
    }
    const AVStream* stream = input.context->streams[packet->stream_index];
    if (!input.burner->Offer(stream, packet, input.tsOffset)) {
        LogMessage(llError, input.burner->ErrorText());
        input.burner.reset(); // the pictures go on without the subpicture
    }
}

void TCustomTranscoder::FlushInput(int file) {
    for (TInputStream& ist : run_->inputStreams) {
        if (ist.file == file && ist.decodingNeeded && !ist.flushed) {
            ProcessPacket(ist, nullptr);
            ist.flushed = true;
        }
    }
}

bool TCustomTranscoder::SwitchJoinInput(int file) {
    TTranscodeRun& run = *run_;
    FlushInput(file);
    double reached = 0;
    for (TOutputStream& ost : run.outputStreams) {
        reached = std::max(reached, OutputTimeOf(ost));
    }
    if (file + 1 >= int(inputs_.size())) {
        return false;
    }
    inputs_[file + 1]->tsOffset += std::llround(reached * AV_TIME_BASE);
    if (Options().verbose > 1) {
        LogMessage(llVerbose, FormatText("Input #%d continues at %0.3f s", file + 1, reached));
    }
    for (TOutputStream& ost : run.outputStreams) {
        const int next =
            ost.joinSources.size() > std::size_t(file + 1) ? ost.joinSources[file + 1] : -1;
        if (next >= 0) {
            ost.source = next;
            ost.syncSource = next;
            ost.audioAtStart = true;
        } else {
            ost.finished = true;
        }
    }
    run.currentJoinFile = file + 1;
    return true;
}

void TCustomTranscoder::FinishRun() {
    TTranscodeRun& run = *run_;
    for (std::size_t f = 0; f < inputs_.size(); ++f) {
        FlushInput(int(f));
    }
    for (TOutputStream& ost : run.outputStreams) {
        if (!ost.encodingNeeded || !ost.encoderOpen) {
            continue;
        }
        if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
            FlushVideoGraph(ost);
        } else if (ost.setup->type == AVMEDIA_TYPE_AUDIO) {
            ost.audio.Drain();
        }
        DrainEncoder(ost);
    }
    for (TOutputFile* output : run.outputFiles) {
        if (output->headerWritten && !output->trailerWritten) {
            output->trailerWritten = true;
            TLibraryErrorCapture capture;
            const int ret = ff::av_write_trailer(output->context.get());
            if (ret < 0) {
                throw EngineException(
                    capture.Explain(tessaro::ErrorText("av_write_trailer()", ret)));
            }
        }
    }
    ReportProgress(true, -1);
    CloseOutputCodecs();
}

void TCustomTranscoder::ReleaseFilterGraphs() {
    if (!run_) {
        return;
    }
    for (TOutputStream& ost : run_->outputStreams) {
        ost.graph.Release();
    }
    for (TInputStream& ist : run_->inputStreams) {
        ist.pictureFilter.reset();
    }
}

void TCustomTranscoder::CloseOutputCodecs() {
    std::lock_guard lock(CodecLock());
    if (run_) {
        for (TOutputStream& ost : run_->outputStreams) {
            ost.encoderOpen = false;
        }
        for (TInputStream& ist : run_->inputStreams) {
            ist.decoder.reset();
            ist.decoderOpen = false;
        }
    }
    for (auto& output : outputFiles_) {
        for (auto& stream : output->streams) {
            if (stream->encoderContext && ff::avcodec_is_open(stream->encoderContext.get())) {
                stream->encoderContext.reset();
            }
        }
    }
}

// ---- progress ----------------------------------------------------------------------

void TCustomTranscoder::ReportProgress(bool isLast, int fileIndex) {
    if (!run_ || outputFiles_.empty()) {
        return;
    }
    TTranscodeRun& run = *run_;
    const TTranscoderOptions& o = Options();
    std::int64_t currentSize = 0;
    if (AVIOContext* pb = outputFiles_.front()->context->pb) {
        currentSize = ff::avio_size(pb);
        if (currentSize <= 0) {
            currentSize = ff::avio_seek(pb, 0, SEEK_CUR);
        }
    }
    std::string line;
    int frameNumber = -1;
    int fps = -1;
    float quality = -1.0f;
    bool firstVideo = true;
    double time = NoTime;
    for (const TOutputStream& ost : run.outputStreams) {
        const float q = ost.setup->streamCopy ? -1.0f : ost.quality;
        if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
            if (!firstVideo) {
                line += FormatText("q=%2.1f ", q);
            } else if (!joinMode_ || run.inputStreams[ost.source].file == run.currentJoinFile) {
                firstVideo = false;
                const double elapsed = double(WallClock() - run.startWallTime) / 1e6;
                frameNumber = int(ost.frameNumber);
                if (frameNumber < 1) {
                    return;
                }
                fps = elapsed > 1 ? int(std::lround(frameNumber / elapsed)) : 0;
                quality = q;
                line += FormatText("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, q);
                if (isLast) {
                    line += "L";
                }
            }
        }
        const double t = OutputTimeOf(ost);
        if (t > 0 && t < time) {
            time = t;
        }
    }
    const bool hasCallback = bool(callbacks_.progress);
    if (!hasCallback && o.verbose <= 0 && !isLast) {
        return;
    }
    time = std::max(time, 0.01);
    const double bitRate = double(currentSize) * 8 / time / 1000;
    line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", double(currentSize) / 1024,
                       time, bitRate);
    if (run.duplicated != 0 || run.dropped != 0) {
        line += FormatText(" dup=%d drop=%d", run.duplicated, run.dropped);
    }
    if (hasCallback) {
        if (run.dupDropSinceReport && o.verbose >= 0) {
            LogMessage(llVerbose, line);
        }
        run.dupDropSinceReport = false;
        callbacks_.progress(fileIndex, frameNumber, fps, quality, float(bitRate), currentSize,
                            std::int64_t(time * 1000000), TotalDuration());
    } else if (o.verbose >= 0) {
        LogMessage(llVerbose, line);
    }
    if (isLast && o.verbose >= 0) {
        const double sum = double(run.videoSize + run.audioSize + run.extraSize);
        LogMessage(llVerbose,
                   FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing "
                              "overhead %f%%\r\n",
                              double(run.videoSize) / 1024, double(run.audioSize) / 1024,
                              double(run.extraSize) / 1024,
                              sum > 0 ? (double(currentSize) - sum) * 100 / sum : 0.0));
    }
}

} // namespace tessaro
