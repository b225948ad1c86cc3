#include "transcoder/CustomTranscoder.h"

#include "transcoder/options/CodecOptions.h"

#include "runtime/LibraryLoader.h"
#include "transcoder/options/PresetApply.h"
#include "transcoder/options/Targets.h"
#include "transcoder/pipeline/TranscodeRun.h"

#include <mutex>

namespace tessaro {

std::mutex& PreviewLock() {
    static std::mutex lock;
    return lock;
}

TCustomTranscoder::TCustomTranscoder() = default;

TCustomTranscoder::~TCustomTranscoder() = default;

void TCustomTranscoder::SetOption(const std::string& name, const std::string& value) {
    options_.SetOption(name, value);
}

bool TCustomTranscoder::SetCodecOption(const std::string& name, const std::string& value) {
    return options_.SetCodecOption(name, value);
}

void TCustomTranscoder::SetCodec(AVMediaType type, const std::string& word) {
    TTranscoderOptions& o = Options();
    switch (type) {
    case AVMEDIA_TYPE_AUDIO:
        SetCodecName(word, o.audioCodecName, o.audioStreamCopy);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        SetCodecName(word, o.subtitleCodecName, o.subtitleStreamCopy);
        break;
    default:
        SetCodecName(word, o.videoCodecName, o.videoStreamCopy);
        break;
    }
}

void TCustomTranscoder::ApplyPreset(const std::string& kind, const std::string& presetName) {
    tessaro::ApplyPreset(Options(), kind, presetName, log_);
}

void TCustomTranscoder::ApplyTarget(const std::string& targetType, const std::string& normText,
                                    const std::string& fallbackNormText) {
    tessaro::ApplyTarget(options_, targetType, normText, fallbackNormText);
}

bool TCustomTranscoder::AddInputFile(const std::string& fileName) {
    return inputs_.Add(fileName, totalDuration_, errorText_);
}

int TCustomTranscoder::AddOutputFile(const std::string& fileName, bool join) {
    return outputs_.Add(fileName, join, totalDuration_, errorText_);
}

void TCustomTranscoder::NewOutputStream(int outputIndex, AVMediaType type) {
    outputs_.NewStream(outputIndex, type);
}

void TCustomTranscoder::Transcode() {
    finished_ = false;
    run_.reset();
    run_ = std::make_unique<TTranscodeRun>(TRunSettings{
        Options(), inputs_, outputs_, callbacks_, flags_, stopRequested_, totalDuration_,
        ProgressIntervalMicroseconds, PreviewIntervalMicroseconds, pipelined_, log_});
    run_->Run();
    CloseOutputCodecs();
    finished_ = !stopRequested_;
}

void TCustomTranscoder::ReportProgress(bool isLast, int fileIndex) {
    if (run_ && !outputs_.Files().empty()) {
        run_->Report(isLast, fileIndex);
    }
}

void TCustomTranscoder::WaitUntilEncoded() {
    if (run_) {
        run_->WaitUntilEncoded();
    }
}

void TCustomTranscoder::ReleaseFilterGraphs() {
    if (run_) {
        run_->ReleaseFilterGraphs();
    }
}

void TCustomTranscoder::CloseOutputCodecs() {
    if (run_) {
        std::lock_guard lock(CodecLock());
        run_->CloseDecoders();
    }
    outputs_.CloseOpenEncoders();
}

void TCustomTranscoder::FreeFiles() {
    ReleaseFilterGraphs();
    CloseOutputCodecs();
    run_.reset();
    outputs_.Clear();
    inputs_.Clear();
}

} // namespace tessaro
