#include "transcoder/pipeline/TranscodeRun.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "runtime/MediaUtils.h"
#include "transcoder/pipeline/InputSet.h"
#include "transcoder/pipeline/OutputSet.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace tessaro {

namespace {

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

TTranscodeRun::TTranscodeRun(const TRunSettings& settings)
    : settings_(settings), plan_(settings.inputs, settings.outputs, settings.options,
                                 bool(settings.callbacks.customHook), settings.flags, settings.log),
      stage_(settings.options, settings.log),
      observers_(settings.callbacks, settings.flags, settings.previewInterval, settings.log),
      feed_(plan_, stage_, observers_, settings.options, settings.stopRequested, settings.log),
      decoder_(plan_, settings.inputs, feed_, observers_, settings.options, settings.log),
      reporter_(plan_, stage_, feed_.Counts(), settings.callbacks, settings.options,
                settings.outputs.JoinMode(), settings.progressInterval, settings.log) {}

void TTranscodeRun::Run() {
    try {
        plan_.Build();
        for (TOutputStream& ost : plan_.OutputStreams()) {
            stage_.AddStream(ost);
        }
        feed_.ConnectAudio();
        stage_.Start(settings_.pipelined, settings_.outputs.Files().front()->context.get());
        reporter_.Start();
        ReadPackets();
        FinishRun();
    } catch (...) {
        stage_.Abandon();
        throw;
    }
}

void TTranscodeRun::Report(bool isLast, int fileIndex) {
    reporter_.Report(isLast, fileIndex, currentJoinFile_, settings_.totalDuration);
}

void TTranscodeRun::CloseDecoders() {
    plan_.MarkEncodersClosed();
    plan_.CloseDecoders();
}

// ---- the packet loop ---------------------------------------------------------------

void TTranscodeRun::ReadPackets() {
    const TTranscoderOptions& o = settings_.options;
    const TTranscoderCallbacks& callbacks = settings_.callbacks;
    TInputSet& inputs = settings_.inputs;
    eofReached_.assign(std::size_t(inputs.Count()), false);
    noPacket_.assign(std::size_t(inputs.Count()), false);
    AVPacketPtr packet(ff::av_packet_alloc());
    if (!packet) {
        throw EngineException("av_mallocz fail");
    }
    while (!settings_.stopRequested) {
        if (callbacks.packetGate) {
            callbacks.packetGate();
            if (settings_.stopRequested) {
                break;
            }
        }
        const int file = ChooseInputFile();
        if (file < 0) {
            bool anyNoPacket = false;
            for (std::size_t f = 0; f < noPacket_.size(); ++f) {
                anyNoPacket = anyNoPacket || noPacket_[f];
                noPacket_[f] = false;
            }
            if (settings_.outputs.JoinMode() || !anyNoPacket) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (FileSizeLimitReached()) {
            break;
        }
        const int read = ff::av_read_frame(inputs.Context(file), packet.get());
        if (read == AVERROR(EAGAIN)) {
            noPacket_[std::size_t(file)] = true;
            continue;
        }
        if (read < 0) {
            if (!HandleEndOfFile(file)) {
                break;
            }
            continue;
        }
        std::fill(noPacket_.begin(), noPacket_.end(), false);
        if (o.packetDump || o.hexDump) {
            LogPacketDump(packet.get());
        }
        ProcessInputPacket(file, packet.get());
        ff::av_packet_unref(packet.get());
        reporter_.Tick(file, currentJoinFile_, settings_.totalDuration);
    }
}

int TTranscodeRun::ChooseInputFile() const {
    const auto& maxFrames = settings_.options.maxFrames;
    const auto& outputStreams = plan_.OutputStreams();
    if (settings_.outputs.JoinMode()) {
        for (const TOutputStream& ost : outputStreams) {
            if (ost.frameNumber >= maxFrames[FrameLimitSlot(ost.setup->type)]) {
                return -1;
            }
        }
        return currentJoinFile_;
    }
    double minOpts = 1e100;
    double minIpts = 1e100;
    int byOpts = -1;
    int byIpts = -1;
    for (const TOutputStream& ost : outputStreams) {
        const TInputStream& ist = plan_.InputStreams()[std::size_t(ost.source)];
        if (eofReached_[std::size_t(ist.file)] || noPacket_[std::size_t(ist.file)] ||
            ist.pastRecordingTime || ost.finished) {
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
    return settings_.options.inputSync ? byIpts : byOpts;
}

bool TTranscodeRun::FileSizeLimitReached() {
    const std::int64_t limit = settings_.options.fileSizeLimit;
    if (limit <= 0) {
        return false;
    }
    // The limit counts what is written: everything handed on is written first.
    stage_.WaitUntilIdle();
    return stage_.OutputPosition() >= limit;
}

bool TTranscodeRun::HandleEndOfFile(int file) {
    eofReached_[std::size_t(file)] = true;
    if (settings_.outputs.JoinMode()) {
        return SwitchJoinInput(file);
    }
    return !settings_.options.shortest;
}

void TTranscodeRun::ProcessInputPacket(int file, AVPacket* packet) {
    const TTranscoderOptions& o = settings_.options;
    OfferSubpicture(file, packet);
    if (packet->stream_index >= settings_.inputs.File(file).knownStreams) {
        return;
    }
    TInputStream& ist = plan_.InputStreamOf(file, packet->stream_index);
    if (ist.discard) {
        return;
    }
    AdjustPacketTimestamps(ist, packet);
    if (o.recordingTime != INT64_MAX && packet->pts != AV_NOPTS_VALUE &&
        ff::av_rescale_q(packet->pts, ist.stream->time_base, AV_TIME_BASE_Q) >= o.recordingTime) {
        ist.pastRecordingTime = true;
        return;
    }
    if (decoder_.ProcessPacket(ist, packet) < 0) {
        const std::string message =
            FormatText("Error while decoding stream #%d.%d (%s)", ist.file, ist.index,
                       MediaTypeName(ist.stream->codecpar->codec_type).c_str());
        if (o.exitOnError) {
            throw EngineException(message);
        }
        if (o.verbose >= 0) {
            settings_.log(llVerbose, message);
        }
    }
}

void TTranscodeRun::LogPacketDump(const AVPacket* packet) const {
    settings_.log(llInfo, FormatText("stream #%d: size=%d pts=%lld dts=%lld", packet->stream_index,
                                     packet->size, (long long)packet->pts, (long long)packet->dts));
    if (settings_.options.hexDump && packet->size > 0) {
        settings_.log(llInfo, HexDump(packet->data, packet->size));
    }
}

void TTranscodeRun::AdjustPacketTimestamps(TInputStream& ist, AVPacket* packet) {
    const TTranscoderOptions& o = settings_.options;
    TInputFile& input = settings_.inputs.File(ist.file);
    const AVRational tb = ist.stream->time_base;
    const std::int64_t offset = ff::av_rescale_q(input.tsOffset, AV_TIME_BASE_Q, tb);
    const double scale = ist.index < MaxStreams ? input.tsScale[std::size_t(ist.index)] : 0.0;
    for (std::int64_t* stamp : {&packet->dts, &packet->pts}) {
        if (*stamp != AV_NOPTS_VALUE) {
            *stamp += offset;
            if (scale != 0) {
                *stamp = std::int64_t(double(*stamp) * scale);
            }
        }
    }
    if (packet->dts == AV_NOPTS_VALUE || ist.nextPts == AV_NOPTS_VALUE ||
        (input.context->iformat->flags & AVFMT_TS_DISCONT) == 0 || o.copyTimestamps) {
        return;
    }
    // A jump of the time stamps of a format that allows them: the input's offset takes it up.
    const std::int64_t dtsUs = ff::av_rescale_q(packet->dts, tb, AV_TIME_BASE_Q);
    const std::int64_t delta = dtsUs - ist.nextPts;
    if (std::llabs(delta) > std::int64_t(o.dtsDeltaThreshold * AV_TIME_BASE) ||
        dtsUs + 1 < ist.pts) {
        input.tsOffset -= delta;
        const std::int64_t shift = ff::av_rescale_q(delta, AV_TIME_BASE_Q, tb);
        packet->dts -= shift;
        if (packet->pts != AV_NOPTS_VALUE) {
            packet->pts -= shift;
        }
        if (o.verbose >= 3) {
            settings_.log(llVerbose, FormatText("timestamp discontinuity %lld, new offset= %lld",
                                                (long long)delta, (long long)input.tsOffset));
        }
    }
}

void TTranscodeRun::OfferSubpicture(int file, const AVPacket* packet) {
    TInputFile& input = settings_.inputs.File(file);
    if (!input.burner) {
        return;
    }
    const AVStream* stream = input.context->streams[packet->stream_index];
    if (!input.burner->Offer(stream, packet, input.tsOffset)) {
        settings_.log(llError, input.burner->ErrorText());
        input.burner.reset(); // the pictures go on without the subpicture
    }
}

// ---- join mode and the end of the run ---------------------------------------------

void TTranscodeRun::FlushInput(int file) {
    for (TInputStream& ist : plan_.InputStreams()) {
        if (ist.file == file && ist.decodingNeeded && !ist.flushed) {
            decoder_.ProcessPacket(ist, nullptr);
            ist.flushed = true;
        }
    }
}

bool TTranscodeRun::SwitchJoinInput(int file) {
    TInputSet& inputs = settings_.inputs;
    FlushInput(file);
    double reached = 0;
    for (const TOutputStream& ost : plan_.OutputStreams()) {
        reached = std::max(reached, OutputTimeOf(ost));
    }
    if (file + 1 >= inputs.Count()) {
        return false;
    }
    inputs.File(file + 1).tsOffset += std::llround(reached * AV_TIME_BASE);
    if (settings_.options.verbose > 1) {
        settings_.log(llVerbose, FormatText("Input #%d continues at %0.3f s", file + 1, reached));
    }
    for (TOutputStream& ost : plan_.OutputStreams()) {
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
    currentJoinFile_ = file + 1;
    return true;
}

void TTranscodeRun::FinishRun() {
    for (int f = 0; f < settings_.inputs.Count(); ++f) {
        FlushInput(f);
    }
    for (TOutputStream& ost : plan_.OutputStreams()) {
        feed_.Finish(ost);
    }
    stage_.Finish();
    WriteTrailers();
    stage_.MeasureOutput();
    Report(true, -1);
}

void TTranscodeRun::WriteTrailers() {
    for (const auto& output : settings_.outputs.Files()) {
        if (!output->headerWritten || output->trailerWritten) {
            continue;
        }
        output->trailerWritten = true;
        TLibraryErrorCapture capture;
        const int ret = ff::av_write_trailer(output->context.get());
        if (ret < 0) {
            throw EngineException(capture.Explain(tessaro::ErrorText("av_write_trailer()", ret)));
        }
    }
}

} // namespace tessaro
