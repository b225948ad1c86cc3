#include "transcoder/pipeline/EncodeStage.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "runtime/MediaUtils.h"

#include <cmath>

namespace tessaro {

namespace {

std::uint64_t ReadLittleEndian(const std::uint8_t* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// What the encoder says about one coded picture in the packet's quality side data: the
// quantiser as a lambda (4 bytes), the picture type (1 byte), the number of error sums
// (1 byte), 2 reserved bytes, then one 64-bit sum of squared errors per plane.
struct TQualityStats {
    int quality = 0;
    AVPictureType pictureType = AV_PICTURE_TYPE_NONE;
    std::int64_t lumaError = -1; // -1: the encoder did not measure it
};

bool ReadQualityStats(const AVPacket* packet, TQualityStats& stats) {
    std::size_t size = 0;
    const std::uint8_t* data =
        ff::av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (data == nullptr || size < 5) {
        return false;
    }
    stats.quality = int(std::uint32_t(ReadLittleEndian(data, 4)));
    stats.pictureType = AVPictureType(data[4]);
    stats.lumaError = size >= 16 && data[5] > 0 ? std::int64_t(ReadLittleEndian(data + 8, 8)) : -1;
    return true;
}

// Peak signal-to-noise ratio in dB of a picture whose squared errors sum to Error.
double Psnr(std::int64_t error, int width, int height) {
    return -10.0 * std::log10(double(error) / (double(width) * height * 255.0 * 255.0));
}

} // namespace

// One output stream as the stage writes it.
struct TEncodeStage::TStreamWriter {
    AVFormatContext* muxer = nullptr;
    AVStream* stream = nullptr;
    int index = 0;
    AVCodecContext* encoder = nullptr; // null for stream copy
    bool encodes = false;              // video or audio frames go through the encoder
    std::vector<AVBSFContextPtr> bitstreamFilters;
    TFilePtr passLog;
    std::atomic<float> quality{-1.0f};
    // for the video statistics file
    int packetsEncoded = 0;
    AVPictureType lastPictureType = AV_PICTURE_TYPE_NONE;
    std::int64_t lastLumaError = -1;
    std::int64_t frameTime = 0; // the picture being encoded, in the encoder's time base
};

TEncodeStage::TEncodeStage(const TTranscoderOptions& options, TTaskLog log, std::size_t capacity)
    : options_(options), log_(log), capacity_(capacity), encoded_(ff::av_packet_alloc()) {
    if (!encoded_) {
        throw EngineException("av_mallocz fail");
    }
}

TEncodeStage::~TEncodeStage() {
    Abandon();
}

void TEncodeStage::AddStream(TOutputStream& ost) {
    auto writer = std::make_unique<TStreamWriter>();
    writer->muxer = ost.output->context.get();
    writer->stream = ost.stream;
    writer->index = ost.index;
    writer->encoder = ost.encoder;
    writer->encodes = ost.encodingNeeded && (ost.setup->type == AVMEDIA_TYPE_VIDEO ||
                                             ost.setup->type == AVMEDIA_TYPE_AUDIO);
    writer->bitstreamFilters = std::move(ost.bitstreamFilters);
    writer->passLog = std::move(ost.passLog);
    writers_.push_back(std::move(writer));
}

void TEncodeStage::Start(bool threaded, AVFormatContext* firstOutput) {
    firstOutput_ = firstOutput;
    MeasureOutput();
    if (threaded) {
        thread_ = std::thread([this] { RunThread(); });
    }
}

float TEncodeStage::Quality(int stream) const {
    return writers_[std::size_t(stream)]->quality.load(std::memory_order_relaxed);
}

void TEncodeStage::MeasureOutput() {
    AVIOContext* pb = firstOutput_ != nullptr ? firstOutput_->pb : nullptr;
    if (pb == nullptr) {
        return;
    }
    const std::int64_t position = ff::avio_seek(pb, 0, SEEK_CUR);
    std::int64_t size = ff::avio_size(pb);
    if (size <= 0) {
        size = position;
    }
    outputSize_.store(size, std::memory_order_relaxed);
    outputPosition_.store(position, std::memory_order_relaxed);
}

// ---- the queue ---------------------------------------------------------------------

void TEncodeStage::EncodeFrame(int stream, const AVFrame* frame) {
    TWork work;
    work.kind = TWork::TKind::Frame;
    work.stream = stream;
    work.frame.reset(ff::av_frame_alloc());
    if (!work.frame || ff::av_frame_ref(work.frame.get(), frame) < 0) {
        throw EngineException("av_mallocz fail");
    }
    Push(std::move(work));
}

void TEncodeStage::WritePacket(int stream, const AVPacket* packet, TCount count) {
    TWork work;
    work.kind = TWork::TKind::Packet;
    work.stream = stream;
    work.count = count;
    work.packet.reset(ff::av_packet_alloc());
    if (!work.packet || ff::av_packet_ref(work.packet.get(), packet) < 0) {
        throw EngineException("av_mallocz fail");
    }
    Push(std::move(work));
}

void TEncodeStage::Drain(int stream) {
    TWork work;
    work.kind = TWork::TKind::Drain;
    work.stream = stream;
    Push(std::move(work));
}

void TEncodeStage::Push(TWork work) {
    if (!thread_.joinable()) {
        Perform(work);
        return;
    }
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return queue_.size() < capacity_ || error_ || abandoned_; });
    if (error_) {
        std::rethrow_exception(error_);
    }
    if (abandoned_) {
        return;
    }
    queue_.push_back(std::move(work));
    changed_.notify_all();
}

void TEncodeStage::RunThread() {
    for (;;) {
        TWork work;
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return !queue_.empty() || closing_ || abandoned_; });
            if (abandoned_ || queue_.empty()) {
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            changed_.notify_all(); // room in the queue
        }
        std::exception_ptr error;
        try {
            Perform(work);
        } catch (...) {
            error = std::current_exception();
        }
        // The work's frame or packet goes before the reading side can see the stage idle.
        work = TWork{};
        std::lock_guard guard(lock_);
        busy_ = false;
        if (error) {
            error_ = error;
            queue_.clear();
        }
        changed_.notify_all();
        if (error) {
            return;
        }
    }
}

void TEncodeStage::WaitUntilIdle() {
    if (!thread_.joinable()) {
        return;
    }
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return (queue_.empty() && !busy_) || error_ || abandoned_; });
}

void TEncodeStage::Finish() {
    if (thread_.joinable()) {
        {
            std::lock_guard guard(lock_);
            closing_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }
    if (error_) {
        std::rethrow_exception(error_);
    }
}

void TEncodeStage::Abandon() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard guard(lock_);
        abandoned_ = true;
        queue_.clear();
        changed_.notify_all();
    }
    thread_.join();
}

// ---- the work ----------------------------------------------------------------------

void TEncodeStage::Perform(TWork& work) {
    TStreamWriter& writer = *writers_[std::size_t(work.stream)];
    switch (work.kind) {
    case TWork::TKind::Frame:
        SendFrame(writer, work.frame.get());
        break;
    case TWork::TKind::Packet:
        if (work.count == TCount::Video) {
            videoBytes_ += work.packet->size;
        } else if (work.count == TCount::Audio) {
            audioBytes_ += work.packet->size;
        }
        Write(writer, work.packet.get());
        break;
    case TWork::TKind::Drain:
        DrainEncoder(writer);
        break;
    }
}

void TEncodeStage::SendFrame(TStreamWriter& writer, AVFrame* frame) {
    const bool video = writer.encoder->codec_type == AVMEDIA_TYPE_VIDEO;
    const char* failure = video ? "Video encoding failed" : "Audio encoding failed";
    if (video) {
        writer.frameTime = frame->pts;
    }
    if (ff::avcodec_send_frame(writer.encoder, frame) < 0) {
        throw EngineException(failure);
    }
    ReceivePackets(writer, failure);
    if (video) {
        writer.frameTime = frame->pts + 1;
    }
}

void TEncodeStage::ReceivePackets(TStreamWriter& writer, const char* failureText) {
    AVCodecContext* enc = writer.encoder;
    AVPacket* packet = encoded_.get();
    for (;;) {
        const int ret = ff::avcodec_receive_packet(enc, packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return;
        }
        if (ret < 0) {
            throw EngineException(failureText);
        }
        if (writer.passLog && enc->stats_out != nullptr) {
            std::fputs(enc->stats_out, writer.passLog.get());
        }
        CountEncodedPacket(writer, packet);
        ff::av_packet_rescale_ts(packet, enc->time_base, writer.stream->time_base);
        packet->stream_index = writer.index;
        Write(writer, packet);
    }
}

void TEncodeStage::CountEncodedPacket(TStreamWriter& writer, const AVPacket* packet) {
    if (writer.encoder->codec_type != AVMEDIA_TYPE_VIDEO) {
        audioBytes_ += packet->size;
        return;
    }
    TQualityStats stats;
    if (ReadQualityStats(packet, stats)) {
        writer.quality.store(float(stats.quality) / FF_QP2LAMBDA, std::memory_order_relaxed);
        writer.lastPictureType = stats.pictureType;
    }
    writer.lastLumaError = stats.lumaError;
    ++writer.packetsEncoded;
    videoBytes_ += packet->size;
    if (!options_.vstatsFileName.empty() && packet->size > 0) {
        WriteVideoStatistics(writer, packet);
    }
}

void TEncodeStage::WriteVideoStatistics(TStreamWriter& writer, const AVPacket* packet) {
    const std::string& name = options_.vstatsFileName;
    if (!vstats_) {
        vstats_.reset(std::fopen(name.c_str(), "w"));
        if (!vstats_) {
            throw EngineException("fopen fail: " + name);
        }
    }
    std::FILE* f = vstats_.get();
    const AVCodecContext* enc = writer.encoder;
    // Encoders that hold pictures back deliver packets later than their pictures went in:
    // a line counts the packets, so every coded picture gets its own number.
    std::fprintf(f, "frame= %5d q= %2.1f ", writer.packetsEncoded,
                 double(writer.quality.load(std::memory_order_relaxed)));
    if ((enc->flags & AV_CODEC_FLAG_PSNR) != 0 && writer.lastLumaError >= 0) {
        std::fprintf(f, "PSNR= %6.2f ", Psnr(writer.lastLumaError, enc->width, enc->height));
    }
    std::fprintf(f, "f_size= %6d ", packet->size);
    double time = double(writer.frameTime) * av_q2d(enc->time_base);
    if (time < 0.01) {
        time = 0.01;
    }
    const double bitRate = packet->size * 8 / av_q2d(enc->time_base) / 1000.0;
    const double averageRate = double(videoBytes_) * 8 / time / 1000.0;
    std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 double(videoBytes_) / 1024, time, bitRate, averageRate);
    std::fprintf(f, "type= %c\n", ff::av_get_picture_type_char(writer.lastPictureType));
}

void TEncodeStage::Write(TStreamWriter& writer, AVPacket* packet) {
    for (AVBSFContextPtr& filter : writer.bitstreamFilters) {
        AVBSFContext* bsf = filter.get();
        int ret = ff::av_bsf_send_packet(bsf, packet);
        if (ret >= 0) {
            ret = ff::av_bsf_receive_packet(bsf, packet);
        }
        if (ret == AVERROR(EAGAIN)) {
            return; // the filter holds the packet back for now
        }
        if (ret < 0) {
            const std::string message =
                FormatText("%s failed for stream %d, codec %s", bsf->filter->name, writer.index,
                           writer.encoder != nullptr && writer.encoder->codec != nullptr
                               ? writer.encoder->codec->name
                               : "copy") +
                ": " + tessaro::ErrorText(ret);
            if (options_.exitOnError) {
                throw EngineException(message);
            }
            log_(llError, message);
        }
    }
    TLibraryErrorCapture capture;
    const int ret = ff::av_interleaved_write_frame(writer.muxer, packet);
    if (ret < 0) {
        throw EngineException(
            capture.Explain(tessaro::ErrorText("av_interleaved_write_frame()", ret)));
    }
    if (writer.muxer == firstOutput_) {
        MeasureOutput();
    }
}

void TEncodeStage::DrainEncoder(TStreamWriter& writer) {
    if (!writer.encodes) {
        return;
    }
    AVCodecContext* enc = writer.encoder;
    const char* failure =
        enc->codec_type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed";
    const int ret = ff::avcodec_send_frame(enc, nullptr);
    if (ret < 0 && ret != AVERROR_EOF) {
        throw EngineException(failure);
    }
    ReceivePackets(writer, failure);
}

} // namespace tessaro
