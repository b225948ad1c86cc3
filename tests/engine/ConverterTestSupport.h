// Helpers of the converter tests: notice recording, waiting on the main thread, output
// records for short conversions and decoded-frame checksums of a file.
#pragma once

#include "Bindings.h"
#include "Converter.h"
#include "FFmpegPtr.h"
#include "LibraryLoader.h"
#include "MainThread.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tessaro::test {

inline std::string Fixture(const std::string& name) {
    return std::string(TESSARO_FIXTURE_DIR) + "/" + name;
}

// Runs the calls workers queue for the main thread until done() holds.
inline void ServeMainThreadUntil(const std::function<bool()>& done) {
    while (!done()) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(10));
    }
}

// Every terminate notice with the thread it arrived on.
class TNoticeLog {
public:
    void Attach(TCustomConverter& converter) {
        converter.SetOnTerminate([this](TCustomConverter&, const TTerminateInfo& info) {
            std::lock_guard guard(lock_);
            notices_.push_back(info);
            threads_.push_back(std::this_thread::get_id());
        });
    }
    bool FinalSeen() const {
        std::lock_guard guard(lock_);
        for (const TTerminateInfo& info : notices_) {
            if (info.TaskIndex == -1) {
                return true;
            }
        }
        return false;
    }
    std::vector<TTerminateInfo> Notices() const {
        std::lock_guard guard(lock_);
        return notices_;
    }
    std::vector<std::thread::id> Threads() const {
        std::lock_guard guard(lock_);
        return threads_;
    }
    std::vector<int> Indexes() const {
        std::vector<int> indexes;
        for (const TTerminateInfo& info : Notices()) {
            indexes.push_back(info.TaskIndex);
        }
        return indexes;
    }

private:
    mutable std::mutex lock_;
    std::vector<TTerminateInfo> notices_;
    std::vector<std::thread::id> threads_;
};

// MPEG-4 video and MP2 audio, optionally limited to a duration.
inline TOutputOptions Mpeg4Output(std::int64_t durationUs = kNoTimeValue) {
    TOutputOptions o;
    InitOutputOptions(o);
    o.VideoCodec = "mpeg4";
    o.AudioCodec = "mp2";
    o.Duration = durationUs;
    return o;
}

// One checksum per decoded video picture of a file, in presentation order.
inline std::vector<std::uint64_t> VideoFrameChecksums(const std::string& path) {
    std::vector<std::uint64_t> sums;
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return sums;
    }
    AVInputFormatContextPtr context(raw);
    {
        std::lock_guard lock(CodecLock());
        ff::avformat_find_stream_info(raw, nullptr);
    }
    const int video = ff::av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        ADD_FAILURE() << "no video in " << path;
        return sums;
    }
    const AVCodec* codec = ff::avcodec_find_decoder(raw->streams[video]->codecpar->codec_id);
    AVCodecContextPtr decoder(ff::avcodec_alloc_context3(codec));
    ff::avcodec_parameters_to_context(decoder.get(), raw->streams[video]->codecpar);
    decoder->thread_count = 1;
    {
        std::lock_guard lock(CodecLock());
        EXPECT_GE(ff::avcodec_open2(decoder.get(), codec, nullptr), 0);
    }
    AVPacketPtr packet(ff::av_packet_alloc());
    AVFramePtr frame(ff::av_frame_alloc());
    const auto drain = [&] {
        while (ff::avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            std::uint64_t hash = 1469598103934665603ull; // FNV-1a over the three planes
            for (int plane = 0; plane < 3 && frame->data[plane] != nullptr; ++plane) {
                const int rows = plane == 0 ? frame->height : (frame->height + 1) / 2;
                const int bytes = plane == 0 ? frame->width : (frame->width + 1) / 2;
                for (int y = 0; y < rows; ++y) {
                    const std::uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
                    for (int x = 0; x < bytes; ++x) {
                        hash = (hash ^ row[x]) * 1099511628211ull;
                    }
                }
            }
            sums.push_back(hash);
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == video) {
            ff::avcodec_send_packet(decoder.get(), packet.get());
            drain();
        }
        ff::av_packet_unref(packet.get());
    }
    ff::avcodec_send_packet(decoder.get(), nullptr);
    drain();
    std::lock_guard lock(CodecLock());
    decoder.reset();
    return sums;
}

} // namespace tessaro::test
