#include "transcoder/pipeline/StreamPlan.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "io/UnicodeProtocol.h"
#include "probe/DisplayRotation.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"
#include "transcoder/pipeline/EncoderSettings.h"
#include "transcoder/pipeline/InputSet.h"
#include "transcoder/pipeline/OutputHeaders.h"
#include "transcoder/pipeline/OutputVideoGraph.h"

#include <mutex>
#include <thread>

namespace tessaro {

namespace {

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

// Copied pictures stay as stored, so the output keeps the instruction to turn them.
void CopyDisplayMatrix(const AVStream* from, AVStream* to) {
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

} // namespace

AVRational StreamFrameRate(const AVStream* stream) {
    return stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
}

double OutputTimeOf(const TOutputStream& ost) {
    if (ost.encodingNeeded && ost.encoder != nullptr) {
        if (ost.setup->type == AVMEDIA_TYPE_AUDIO) {
            return double(ost.audio.SamplesProduced() + ost.audio.SamplesQueued()) /
                   ost.facts.sampleRate;
        }
        if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
            return double(ost.syncOpts) * av_q2d(ost.facts.timeBase);
        }
    }
    if (ost.lastDts != AV_NOPTS_VALUE) {
        return double(ost.lastDts) * av_q2d(ost.streamTimeBase);
    }
    return 0;
}

TStreamPlan::TStreamPlan(TInputSet& inputs, TOutputSet& outputs, const TTranscoderOptions& options,
                         bool hookSet, int flags, TTaskLog log)
    : inputs_(inputs), outputs_(outputs), options_(options), hookSet_(hookSet), flags_(flags),
      log_(log) {}

void TStreamPlan::Build() {
    BuildInputStreams();
    BuildOutputStreams();
    for (TOutputStream& ost : outputStreams_) {
        PrepareOutputStream(ost);
    }
    // Decoders first: a text subtitle encoder takes its styles from the decoder.
    OpenDecoders();
    OpenEncoders();
    InitBitstreamFilters();
    CopyMetadataAndChapters(inputs_, outputs_, options_);
    WriteHeaders();
    LogStreamMapping();
}

void TStreamPlan::BuildInputStreams() {
    const std::int64_t now = options_.rateEmulation ? ff::av_gettime_relative() : 0;
    for (int f = 0; f < inputs_.Count(); ++f) {
        AVFormatContext* ctx = inputs_.Context(f);
        fileFirstStream_.push_back(int(inputStreams_.size()));
        for (unsigned s = 0; s < ctx->nb_streams; ++s) {
            TInputStream& ist = inputStreams_.emplace_back();
            ist.file = f;
            ist.index = int(s);
            ist.stream = ctx->streams[s];
            ist.wallStart = now;
        }
    }
}

void TStreamPlan::CheckStreamMaps(std::size_t outputStreamCount) const {
    const auto& maps = options_.streamMaps;
    if (!maps.empty() && maps.size() != outputStreamCount) {
        throw EngineException("Number of stream maps must match number of output streams");
    }
    const auto exists = [&](int file, int stream) {
        return file >= 0 && file < inputs_.Count() && stream >= 0 &&
               stream < int(inputs_.Context(file)->nb_streams);
    };
    for (const TStreamMap& map : maps) {
        if (!exists(map.fileIndex, map.streamIndex)) {
            throw EngineException(
                FormatText("Could not find input stream #%d.%d", map.fileIndex, map.streamIndex));
        }
        if (!exists(map.syncFileIndex, map.syncStreamIndex)) {
            throw EngineException(FormatText("Could not find sync stream #%d.%d", map.syncFileIndex,
                                             map.syncStreamIndex));
        }
    }
}

void TStreamPlan::BuildOutputStreams() {
    const auto& files = outputs_.Files();
    std::size_t total = 0;
    for (std::size_t f = 0; f < files.size(); ++f) {
        TOutputFile& output = *files[f];
        if (output.context->nb_streams == 0) {
            ff::av_dump_format(output.context.get(), int(f), output.fileName.c_str(), 1);
            throw EngineException(
                FormatText("Output file #%d does not contain any stream", int(f)));
        }
        total += output.context->nb_streams;
    }
    CheckStreamMaps(total);
    for (std::size_t f = 0; f < files.size(); ++f) {
        TOutputFile& output = *files[f];
        for (std::size_t s = 0; s < output.streams.size(); ++s) {
            TOutputStream& ost = outputStreams_.emplace_back();
            ost.tableIndex = int(outputStreams_.size()) - 1;
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

int TStreamPlan::FindSource(const TOutputStream& ost, int inputFile, bool allowReuse) const {
    int best = -1;
    std::int64_t bestScore = -2;
    for (std::size_t i = 0; i < inputStreams_.size(); ++i) {
        const TInputStream& ist = inputStreams_[i];
        const AVStream* st = ist.stream;
        if (st->codecpar->codec_type != ost.setup->type || st->discard == AVDISCARD_ALL ||
            (inputFile >= 0 && ist.file != inputFile) || (!ist.discard && !allowReuse)) {
            continue;
        }
        // Reusing takes the last candidate; a fresh choice the best scored one.
        const std::int64_t score = SourceScore(st);
        if (allowReuse || score > bestScore) {
            best = int(i);
            bestScore = score;
        }
    }
    return best;
}

void TStreamPlan::ChooseSources() {
    const auto& maps = options_.streamMaps;
    for (std::size_t k = 0; k < outputStreams_.size(); ++k) {
        TOutputStream& ost = outputStreams_[k];
        if (!maps.empty()) {
            const TStreamMap& map = maps[k];
            ost.source = fileFirstStream_[map.fileIndex] + map.streamIndex;
            ost.syncSource = fileFirstStream_[map.syncFileIndex] + map.syncStreamIndex;
            const TInputStream& ist = inputStreams_[ost.source];
            if (ist.stream->codecpar->codec_type != ost.setup->type) {
                throw EngineException(FormatText(
                    "Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", map.fileIndex,
                    map.streamIndex, MediaTypeName(ist.stream->codecpar->codec_type).c_str(),
                    ost.file, ost.index, MediaTypeName(ost.setup->type).c_str()));
            }
        } else if (outputs_.JoinMode()) {
            for (int f = 0; f < inputs_.Count(); ++f) {
                const int source = FindSource(ost, f, false);
                ost.joinSources.push_back(source);
                if (source >= 0) {
                    inputStreams_[source].discard = false;
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
        inputStreams_[ost.source].discard = false;
    }
}

void TStreamPlan::PrepareOutputStream(TOutputStream& ost) {
    const TInputStream& ist = inputStreams_[ost.source];
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

void TStreamPlan::PrepareStreamCopy(TOutputStream& ost) {
    const TInputStream& ist = inputStreams_[ost.source];
    const AVCodecParameters* in = ist.stream->codecpar;
    AVCodecParameters* out = ost.stream->codecpar;
    if (in->extradata_size > INT32_MAX - 8) {
        throw EngineException("icodec.extradata_size is invalid (too large)");
    }
    if (in->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (hookSet_) {
            throw EngineException(
                "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        }
        if (options_.frameHookLoaded) {
            throw EngineException(
                "-vcodec copy and -vhook are incompatible (frames are not decoded)");
        }
        if (flags_ != 0) {
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

void TStreamPlan::PrepareEncoding(TOutputStream& ost) {
    TInputStream& ist = inputStreams_[ost.source];
    AVCodecContext* enc = ost.encoder;
    switch (ost.setup->type) {
    case AVMEDIA_TYPE_VIDEO: {
        if (ist.stream->codecpar->format < 0) {
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
        ost.facts.pixelFormat = enc->pix_fmt;
        try {
            BuildOutputGraph(ost, ist, nullptr, options_.threadCount);
        } catch (const EngineException& e) {
            throw EngineException(std::string("Error opening filters: ") + e.what());
        }
        break;
    }
    case AVMEDIA_TYPE_AUDIO:
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        PrepareSubtitleEncoder(ist, enc);
        break;
    default:
        throw EngineException("invalid codec_type of output stream");
    }
    ost.encodingNeeded = true;
    ist.decodingNeeded = true;
    for (const int source : ost.joinSources) {
        if (source >= 0) {
            inputStreams_[source].decodingNeeded = true;
        }
    }
    if (enc != nullptr && (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) != 0) {
        OpenPassLog(ost);
    }
}

// Picture subtitles are placed on the source's frame; text styles come along.
void TStreamPlan::PrepareSubtitleEncoder(const TInputStream& ist, AVCodecContext* enc) const {
    const AVCodecParameters* par = ist.stream->codecpar;
    if (enc->width == 0) {
        enc->width = par->width;
        enc->height = par->height;
    }
    // A DVD's subpicture stream names no frame size: it is the picture's.
    if (enc->width == 0) {
        const AVFormatContext* ctx = inputs_.Context(ist.file);
        for (unsigned s = 0; s < ctx->nb_streams && enc->width == 0; ++s) {
            const AVCodecParameters* video = ctx->streams[s]->codecpar;
            if (video->codec_type == AVMEDIA_TYPE_VIDEO) {
                enc->width = video->width;
                enc->height = video->height;
            }
        }
    }
}

void TStreamPlan::OpenPassLog(TOutputStream& ost) {
    const std::string prefix =
        options_.passLogFile.empty() ? std::string("ffmpeg2pass") : options_.passLogFile;
    const std::string name =
        FormatText("%s-%d.log", prefix.c_str(), ost.tableIndex).substr(0, 1023);
    if ((ost.encoder->flags & AV_CODEC_FLAG_PASS1) != 0) {
        ost.passLog.reset(std::fopen(name.c_str(), "wb"));
        if (!ost.passLog) {
            throw EngineException(
                FormatText("Cannot write log file %s for pass-1 encoding", name.c_str()));
        }
        return;
    }
    std::vector<char> content;
    const int ret = ReadWholeFile(name, content);
    if (ret == AVERROR(ENOMEM)) {
        throw EngineException(FormatText(
            "Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
            name.c_str()));
    }
    if (ret != 0) {
        throw EngineException(FormatText(
            "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
    }
    ost.encoder->stats_in = ff::av_strdup(content.data());
}

void TStreamPlan::OpenEncoders() {
    for (TOutputStream& ost : outputStreams_) {
        if (ost.encodingNeeded) {
            OpenEncoder(ost);
        }
    }
}

void TStreamPlan::OpenEncoder(TOutputStream& ost) {
    const std::string type = MediaTypeName(ost.setup->type);
    const AVCodec* codec = ost.setup->encoder;
    if (codec == nullptr) {
        const std::string message =
            FormatText("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                       int(ost.encoder != nullptr ? ost.encoder->codec_id : AV_CODEC_ID_NONE),
                       ost.file, ost.index, type.c_str());
        log_(llError, message);
        LogStreamMapping();
        throw EngineException(message);
    }
    ost.encoder->thread_count =
        EncoderThreadCount(options_.threadCount, ost.encoder->codec_type == AVMEDIA_TYPE_VIDEO,
                           (codec->capabilities & AV_CODEC_CAP_OTHER_THREADS) != 0,
                           std::thread::hardware_concurrency());
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
            ost.file, ost.index, type.c_str()));
        log_(llError, message);
        LogStreamMapping();
        throw EngineException(message);
    }
    ost.encoderOpen = true;
    extraHeaderBytes_ += ost.encoder->extradata_size;
    ff::avcodec_parameters_from_context(ost.stream->codecpar, ost.encoder);
    ost.stream->time_base = ost.encoder->time_base;
    AVCodecContext* enc = ost.encoder;
    ost.facts = TEncoderFacts{
        enc->time_base, enc->sample_rate, enc->pix_fmt, enc->global_quality,
        (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) != 0};
    if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
        ost.stream->avg_frame_rate = enc->framerate;
        ost.stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    }
}

void TStreamPlan::InitBitstreamFilters() {
    for (TOutputStream& ost : outputStreams_) {
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

void TStreamPlan::CopySubtitleHeader(const TInputStream& ist) {
    const AVCodecContext* dec = ist.decoder.get();
    if (dec->subtitle_header == nullptr) {
        return;
    }
    for (TOutputStream& ost : outputStreams_) {
        AVCodecContext* enc = ost.encoder;
        if (&inputStreams_[ost.source] != &ist || enc == nullptr || ost.encoderOpen ||
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

void TStreamPlan::OpenDecoders() {
    for (TInputStream& ist : inputStreams_) {
        if (ist.decodingNeeded) {
            OpenDecoder(ist);
        }
    }
    for (TInputStream& ist : inputStreams_) {
        const AVRational rate = ist.stream->avg_frame_rate;
        const int delay = ist.decoder ? ist.decoder->has_b_frames : 0;
        ist.pts = rate.num > 0 && rate.den > 0
                      ? -ff::av_rescale_q(delay, AVRational{rate.den, rate.num}, AV_TIME_BASE_Q)
                      : 0;
        ist.nextPts = AV_NOPTS_VALUE;
    }
}

void TStreamPlan::OpenDecoder(TInputStream& ist) {
    const std::string type = MediaTypeName(ist.stream->codecpar->codec_type);
    const AVCodec* codec = inputs_.File(ist.file).forcedDecoders[ist.index];
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
        throw EngineException(FormatText("Error while opening decoder for input stream #%d.%d (%s)",
                                         ist.file, ist.index, type.c_str()));
    }
    dec->pkt_timebase = ist.stream->time_base;
    dec->thread_count = options_.threadCount;
    AVDictionaryHolder options;
    const int typeFlag = dec->codec_type == AVMEDIA_TYPE_VIDEO   ? AV_OPT_FLAG_VIDEO_PARAM
                         : dec->codec_type == AVMEDIA_TYPE_AUDIO ? AV_OPT_FLAG_AUDIO_PARAM
                                                                 : 0;
    if (typeFlag != 0) {
        options_.libraryOptions.ApplyTo(nullptr, AV_OPT_FLAG_DECODING_PARAM | typeFlag,
                                        dec->codec_type, codec, options.Get());
    }
    int ret = 0;
    TLibraryErrorCapture capture;
    {
        std::lock_guard lock(CodecLock());
        ret = ff::avcodec_open2(dec, codec, options.Get());
    }
    if (ret < 0) {
        throw EngineException(
            capture.Explain(FormatText("Error while opening decoder for input stream #%d.%d (%s)",
                                       ist.file, ist.index, type.c_str())));
    }
    CopySubtitleHeader(ist);
    if (dec->codec_type == AVMEDIA_TYPE_VIDEO) {
        CreateSourcePictureFilter(ist);
    }
}

void TStreamPlan::CreateSourcePictureFilter(TInputStream& ist) {
    const bool deinterlace = options_.deinterlace || inputs_.File(ist.file).deinterlace;
    auto filter = std::make_unique<TSourcePictureFilter>(deinterlace, StreamRotation(ist.stream),
                                                         options_.threadCount);
    if (!filter->IsActive()) {
        return;
    }
    ist.filteredPicture.reset(ff::av_frame_alloc());
    if (!ist.filteredPicture) {
        throw EngineException("av_mallocz fail");
    }
    ist.pictureFilter = std::move(filter);
}

void TStreamPlan::WriteHeaders() {
    const auto& files = outputs_.Files();
    for (std::size_t f = 0; f < files.size(); ++f) {
        TOutputFile& output = *files[f];
        TLibraryErrorCapture capture;
        const int ret = ff::avformat_write_header(output.context.get(), output.muxerOptions.Get());
        if (ret < 0) {
            const std::string message = FormatText(
                "Could not write header for output file #%d (incorrect codec parameters ?)",
                int(f));
            log_(llError, message + ": " + tessaro::ErrorText(ret));
            throw EngineException(capture.Explain(message));
        }
        output.headerWritten = true;
    }
    // The muxers settle the streams' time bases in their headers.
    for (TOutputStream& ost : outputStreams_) {
        ost.streamTimeBase = ost.stream->time_base;
    }
    LogRtpSessionDescription(outputs_, log_);
}

void TStreamPlan::LogStreamMapping() const {
    if (options_.verbose < 0) {
        return;
    }
    log_(llVerbose, "Stream mapping:");
    for (const TOutputStream& ost : outputStreams_) {
        if (ost.source < 0) {
            continue;
        }
        const TInputStream& ist = inputStreams_[ost.source];
        std::string line = FormatText("  Stream #%d.%d -> #%d.%d (%s)", ist.file, ist.index,
                                      outputs_.JoinMode() ? 0 : ost.file, ost.index,
                                      MediaTypeName(ost.setup->type).c_str());
        if (ost.syncSource != ost.source && ost.syncSource >= 0) {
            const TInputStream& sync = inputStreams_[ost.syncSource];
            line += FormatText(" [sync #%d.%d (%s)]", sync.file, sync.index,
                               MediaTypeName(sync.stream->codecpar->codec_type).c_str());
        }
        log_(llVerbose, line);
    }
}

void TStreamPlan::ReleaseFilterGraphs() {
    for (TOutputStream& ost : outputStreams_) {
        ost.graph.Release();
    }
    for (TInputStream& ist : inputStreams_) {
        ist.pictureFilter.reset();
    }
}

void TStreamPlan::CloseDecoders() {
    for (TInputStream& ist : inputStreams_) {
        ist.decoder.reset();
    }
}

void TStreamPlan::MarkEncodersClosed() {
    for (TOutputStream& ost : outputStreams_) {
        ost.encoderOpen = false;
    }
}

} // namespace tessaro
