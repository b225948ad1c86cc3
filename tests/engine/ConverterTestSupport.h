// Helpers of the converter tests: notice recording, waiting on the main thread, output
// records for short conversions and decoded-frame checksums of a file.
#pragma once

#include "TranscodeTestSupport.h"
#include "base/MainThread.h"
#include "converter/Converter.h"
#include "converter/TranscoderTask.h"
#include "runtime/Bindings.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tessaro::test {

// Runs the calls workers queue for the main thread until done() holds.
inline void ServeMainThreadUntil(const std::function<bool()>& done) {
    while (!done()) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(10));
    }
}

// Every terminate notice with the thread it arrived on.
class TNoticeLog {
public:
    void Attach(TConverter& converter) {
        converter.SetOnTerminate([this](TConverter&, const TTerminateInfo& info) {
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
    const int decoded = DecodeFrames(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
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
    });
    EXPECT_GT(decoded, 0) << path;
    return sums;
}

} // namespace tessaro::test
