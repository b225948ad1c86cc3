// Shared pieces of the transcoder tests: running one task from option lists, and
// reading back what an output file holds through the media libraries.
#pragma once

#include "TestPaths.h"
#include "TranscoderOptionsTestSupport.h"
#include "base/EngineLogger.h"
#include "runtime/Bindings.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"
#include "transcoder/CustomTranscoder.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tessaro::test {

using TOptionList = std::vector<std::pair<std::string, std::string>>;

inline std::string Fixture(const std::string& name) {
    return FixtureDir() + "/" + name;
}

// What one stream of a probed file holds; times in seconds.
struct TStreamFacts {
    std::string codec;
    int width = 0, height = 0;
    double frameRate = 0;
    int channels = 0, sampleRate = 0;
    double start = 0, end = 0; // first pts, last pts + duration
    int packets = 0;
    double Duration() const { return end - start; }
    std::vector<double> packetTimes; // pts of every packet, in file order
};

struct TFileFacts {
    bool opened = false;
    std::string format;
    std::int64_t size = 0;
    std::vector<TStreamFacts> video, audio;
};

// Opens a file with avformat, reads every packet and collects its stream facts.
inline TFileFacts ProbeFile(const std::string& path) {
    TFileFacts facts;
    std::error_code error;
    facts.size = std::int64_t(std::filesystem::file_size(path, error));
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return facts;
    }
    AVInputFormatContextPtr ctx(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) {
        return facts;
    }
    facts.opened = true;
    facts.format = raw->iformat->name;
    std::map<int, TStreamFacts*> byIndex;
    std::vector<TStreamFacts> all(raw->nb_streams);
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* st = raw->streams[i];
        TStreamFacts& s = all[i];
        s.codec = ff::avcodec_get_name(st->codecpar->codec_id);
        s.width = st->codecpar->width;
        s.height = st->codecpar->height;
        const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        s.frameRate = rate.den > 0 ? av_q2d(rate) : 0;
        s.channels = st->codecpar->ch_layout.nb_channels;
        s.sampleRate = st->codecpar->sample_rate;
        s.start = 1e30;
        s.end = -1e30;
    }
    AVPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        TStreamFacts& s = all[packet->stream_index];
        const AVRational tb = raw->streams[packet->stream_index]->time_base;
        const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (ts != AV_NOPTS_VALUE) {
            const double t = double(ts) * av_q2d(tb);
            s.start = std::min(s.start, t);
            s.end = std::max(s.end, t + double(packet->duration) * av_q2d(tb));
            s.packetTimes.push_back(t);
        }
        ++s.packets;
        ff::av_packet_unref(packet.get());
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const auto type = raw->streams[i]->codecpar->codec_type;
        if (all[i].packets == 0) {
            all[i].start = all[i].end = 0;
        }
        if (type == AVMEDIA_TYPE_VIDEO) {
            facts.video.push_back(all[i]);
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            facts.audio.push_back(all[i]);
        }
    }
    return facts;
}

// Decodes the frames of the first stream of the given type with a callback per frame; each
// frame carries its stream's time base.
template <typename Visitor>
inline int DecodeFrames(const std::string& path, AVMediaType type, Visitor&& visit) {
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return -1;
    }
    AVInputFormatContextPtr ctx(raw);
    ff::avformat_find_stream_info(raw, nullptr);
    const int index = ff::av_find_best_stream(raw, type, -1, -1, nullptr, 0);
    if (index < 0) {
        return -1;
    }
    const AVCodec* codec = ff::avcodec_find_decoder(raw->streams[index]->codecpar->codec_id);
    AVCodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    ff::avcodec_parameters_to_context(dec.get(), raw->streams[index]->codecpar);
    dec->thread_count = 1;
    if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) {
        return -1;
    }
    AVPacketPtr packet(ff::av_packet_alloc());
    AVFramePtr frame(ff::av_frame_alloc());
    int count = 0;
    auto drain = [&] {
        while (ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            frame->time_base = raw->streams[index]->time_base;
            visit(frame.get());
            ++count;
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == index) {
            ff::avcodec_send_packet(dec.get(), packet.get());
            drain();
        }
        ff::av_packet_unref(packet.get());
    }
    ff::avcodec_send_packet(dec.get(), nullptr);
    drain();
    return count;
}

// The samples of a file's first audio stream, which must decode to interleaved 16-bit.
inline std::vector<std::int16_t> DecodeSamples(const std::string& path) {
    std::vector<std::int16_t> samples;
    DecodeFrames(path, AVMEDIA_TYPE_AUDIO, [&](const AVFrame* frame) {
        EXPECT_EQ(frame->format, AV_SAMPLE_FMT_S16);
        const auto* data = reinterpret_cast<const std::int16_t*>(frame->data[0]);
        samples.insert(samples.end(), data,
                       data + frame->nb_samples * frame->ch_layout.nb_channels);
    });
    return samples;
}

// One sample of a decoded audio frame as a float of full scale 1, whatever its format.
inline float SampleValue(const AVFrame* frame, int channel, int i) {
    const auto format = AVSampleFormat(frame->format);
    const bool planar = ff::av_sample_fmt_is_planar(format) != 0;
    const int index = planar ? i : i * frame->ch_layout.nb_channels + channel;
    const std::uint8_t* data = frame->extended_data[planar ? channel : 0];
    switch (ff::av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float*>(data)[index];
    case AV_SAMPLE_FMT_DBL:
        return float(reinterpret_cast<const double*>(data)[index]);
    case AV_SAMPLE_FMT_S16:
        return float(reinterpret_cast<const std::int16_t*>(data)[index]) / 32768.0f;
    case AV_SAMPLE_FMT_S32:
        return float(reinterpret_cast<const std::int32_t*>(data)[index]) / 2147483648.0f;
    case AV_SAMPLE_FMT_U8:
        return float(int(data[index]) - 128) / 128.0f;
    default:
        ADD_FAILURE() << "sample format " << frame->format;
        return 0;
    }
}

// A file's first audio stream, its first channel: each sample with the time it plays at.
// A player plays the samples back to back from the first frame's time stamp; following the
// time stamps instead puts each frame where its own stamp says (gaps stay silent).
struct TPlayedAudio {
    int rate = 0;
    std::vector<float> samples;
    std::vector<double> times; // seconds
};

inline TPlayedAudio PlayAudio(const std::string& path, bool followTimeStamps = false) {
    TPlayedAudio played;
    double next = 0;
    DecodeFrames(path, AVMEDIA_TYPE_AUDIO, [&](const AVFrame* frame) {
        const std::int64_t pts = frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE && (played.rate == 0 || followTimeStamps)) {
            next = double(pts) * av_q2d(frame->time_base);
        }
        played.rate = frame->sample_rate;
        for (int i = 0; i < frame->nb_samples; ++i) {
            played.samples.push_back(SampleValue(frame, 0, i));
            played.times.push_back(next + double(i) / frame->sample_rate);
        }
        next += double(frame->nb_samples) / frame->sample_rate;
    });
    return played;
}

// Frequency of the tone in the first channel of interleaved 16-bit samples, from its rising
// zero crossings.
inline double ToneFrequency(const std::vector<std::int16_t>& interleaved, int channels, int rate) {
    int crossings = 0;
    const std::size_t step = std::size_t(channels);
    for (std::size_t i = step; i < interleaved.size(); i += step) {
        crossings += interleaved[i - step] < 0 && interleaved[i] >= 0;
    }
    return crossings * double(rate) / double(interleaved.size() / step);
}

// The luma plane of a planar YUV picture, row after row without padding.
inline std::vector<std::uint8_t> LumaPlane(const AVFrame* frame) {
    std::vector<std::uint8_t> luma;
    for (int row = 0; row < frame->height; ++row) {
        const std::uint8_t* line = frame->data[0] + row * frame->linesize[0];
        luma.insert(luma.end(), line, line + frame->width);
    }
    return luma;
}

// Mean of the luma values in a rectangle of a planar YUV picture.
inline double MeanLuma(const AVFrame* frame, int x, int y, int w, int h) {
    double sum = 0;
    for (int row = y; row < y + h; ++row) {
        for (int col = x; col < x + w; ++col) {
            sum += frame->data[0][row * frame->linesize[0] + col];
        }
    }
    return sum / (double(w) * h);
}

// The display matrix that turns pictures Degrees clockwise (16.16 fixed point, as stored;
// the ffmpeg program shows a 90 degree one as "rotation of -90.00 degrees").
inline std::array<std::int32_t, 9> TurningMatrix(int degrees) {
    const double radians = degrees * M_PI / 180.0;
    const auto fixed = [](double v) { return std::int32_t(std::lround(v * 65536.0)); };
    return {fixed(std::cos(radians)),
            fixed(std::sin(radians)),
            0,
            fixed(-std::sin(radians)),
            fixed(std::cos(radians)),
            0,
            0,
            0,
            1 << 30};
}

// Copies the video of From into an MP4 file whose stream says to turn it Degrees clockwise.
inline void WriteTurned(const std::string& from, const std::string& to, int degrees) {
    AVFormatContext* rawIn = nullptr;
    ASSERT_GE(ff::avformat_open_input(&rawIn, from.c_str(), nullptr, nullptr), 0);
    AVInputFormatContextPtr in(rawIn);
    ASSERT_GE(ff::avformat_find_stream_info(rawIn, nullptr), 0);
    AVFormatContext* rawOut = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&rawOut, nullptr, "mp4", to.c_str()), 0);
    AVOutputFormatContextPtr out(rawOut);
    const AVStream* source = rawIn->streams[0];
    AVStream* stream = ff::avformat_new_stream(rawOut, nullptr);
    ASSERT_NE(stream, nullptr);
    ASSERT_GE(ff::avcodec_parameters_copy(stream->codecpar, source->codecpar), 0);
    stream->codecpar->codec_tag = 0;
    stream->time_base = source->time_base;
    const std::array<std::int32_t, 9> matrix = TurningMatrix(degrees);
    std::uint8_t* sideData =
        ff::av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof(matrix));
    ASSERT_NE(sideData, nullptr);
    std::memcpy(sideData, matrix.data(), sizeof(matrix));
    ASSERT_GE(ff::avio_open(&rawOut->pb, to.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(ff::avformat_write_header(rawOut, nullptr), 0);
    AVPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(rawIn, packet.get()) >= 0) {
        ff::av_packet_rescale_ts(packet.get(), source->time_base, stream->time_base);
        packet->stream_index = 0;
        ASSERT_GE(ff::av_interleaved_write_frame(rawOut, packet.get()), 0);
    }
    ASSERT_GE(ff::av_write_trailer(rawOut), 0);
}

// The libraries and the captured engine log come from the option tests' fixture; each test
// gets its own temporary folder.
class TTranscodeTestBase : public TTranscoderOptionsTest {
protected:
    void SetUp() override {
        TTranscoderOptionsTest::SetUp();
        char pattern[] = "/tmp/tessaro-tx-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }

    void TearDown() override {
        if (HasFailure()) {
            for (const auto& line : Log()) {
                std::cerr << "log: " << line << "\n";
            }
        }
        TTranscoderOptionsTest::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string Out(const std::string& name) const { return (dir_ / name).string(); }

    std::vector<std::string> Log() {
        std::vector<std::string> texts;
        for (const TLogLine& line : Lines()) {
            texts.push_back(line.text);
        }
        return texts;
    }
    bool LogContains(const std::string& text) {
        for (const auto& line : Log()) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // Applies input options, opens the input, applies output options and adds the output.
    static void Configure(TCustomTranscoder& task, const std::vector<std::string>& inputs,
                          const TOptionList& inputOptions, const std::string& output,
                          const TOptionList& outputOptions, bool join = false) {
        for (const auto& input : inputs) {
            for (const auto& [name, value] : inputOptions) {
                task.SetOption(name, value);
            }
            ASSERT_TRUE(task.AddInputFile(input)) << task.ErrorText();
        }
        for (const auto& [name, value] : outputOptions) {
            task.SetOption(name, value);
        }
        ASSERT_GE(task.AddOutputFile(output, join), 1) << task.ErrorText();
    }

    // Runs one task to its end and releases it.
    static void Convert(const std::vector<std::string>& inputs, const TOptionList& inputOptions,
                        const std::string& output, const TOptionList& outputOptions) {
        TCustomTranscoder task;
        Configure(task, inputs, inputOptions, output, outputOptions);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
        task.Transcode();
        EXPECT_TRUE(task.Finished());
        task.FreeFiles();
    }

    std::filesystem::path dir_;
};

} // namespace tessaro::test
