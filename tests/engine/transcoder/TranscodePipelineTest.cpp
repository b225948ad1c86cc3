// The pipelined run: encoding and muxing on a thread of their own give the encoders the same
// pictures and samples as a run on the task's thread alone (seen through encoders that give
// the same output for the same input: MPEG-4 part 2 with one thread, MP2, AAC), the hook
// still runs on the task's thread, and a failure on the encoding side ends the run with its
// text.
#include "ConverterTestSupport.h"

#include "base/EngineException.h"
#include "transcoder/pipeline/EncoderSettings.h"

#include <thread>

namespace tessaro::test {
namespace {

class TranscodePipelineTest : public TTranscodeTestBase {
protected:
    // Decoded video checksums and the first audio channel of one conversion.
    struct TDecoded {
        std::vector<std::uint64_t> pictures;
        std::vector<float> samples;
    };

    TDecoded ConvertAndDecode(bool pipelined, const TOptionList& outputOptions,
                              const std::string& name,
                              const TTranscoderCallbacks::TCustomHook& hook = {}) {
        const std::string output = Out(name);
        TCustomTranscoder task;
        task.SetPipelined(pipelined);
        task.SetThreadCount(1);
        task.Callbacks().customHook = hook;
        Configure(task, {Fixture("mpeg2_ac3.mpg")}, {}, output, outputOptions);
        if (HasFatalFailure()) {
            return {};
        }
        task.Transcode();
        EXPECT_TRUE(task.Finished());
        task.FreeFiles();
        return {VideoFrameChecksums(output), PlayAudio(output).samples};
    }
};

// Paints a band whose brightness follows the frame number: a picture painted for one frame
// and overwritten by the next before the encoder read it shows up as a wrong checksum.
void PaintFrameBand(TBitmap& bitmap, int frameNumber, std::int64_t, bool&, bool&) {
    const std::uint8_t value = std::uint8_t(frameNumber * 7);
    for (int y = 0; y < bitmap.Height() / 4; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        std::fill(row, row + bitmap.Width() * 3, value);
    }
}

TEST_F(TranscodePipelineTest, EncodersGetTheSamePicturesAndSamplesAsOnOneThread) {
    const struct {
        const char* name;
        TOptionList options;
        const char* file;
        TTranscoderCallbacks::TCustomHook hook;
    } cases[] = {
        {"mpeg4 and mp2", {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}, "plain.mkv", {}},
        {"scaled and resampled",
         {{"vcodec", "mpeg4"}, {"s", "320x240"}, {"acodec", "aac"}, {"ar", "22050"}},
         "scaled.mp4",
         {}},
        {"audio copied", {{"vcodec", "mpeg4"}, {"acodec", "copy"}}, "copied.mkv", {}},
        {"hooked pictures", {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}, "hooked.mkv", PaintFrameBand},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TDecoded single =
            ConvertAndDecode(false, c.options, std::string("1-") + c.file, c.hook);
        const TDecoded piped =
            ConvertAndDecode(true, c.options, std::string("2-") + c.file, c.hook);
        EXPECT_GE(single.pictures.size(), 350u);
        EXPECT_EQ(single.pictures, piped.pictures);
        EXPECT_GT(single.samples.size(), 44100u);
        EXPECT_EQ(single.samples, piped.samples);
    }
}

TEST_F(TranscodePipelineTest, HookRunsOnTheTaskThreadWhileEncodingRunsBeside) {
    std::vector<std::thread::id> hookThreads;
    const auto hook = [&](TBitmap&, int, std::int64_t, bool&, bool&) {
        hookThreads.push_back(std::this_thread::get_id());
    };
    ConvertAndDecode(true, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}, "hook.mkv", hook);
    ASSERT_GE(hookThreads.size(), 350u);
    for (const std::thread::id id : hookThreads) {
        ASSERT_EQ(id, std::this_thread::get_id());
    }
}

TEST_F(TranscodePipelineTest, AWriteFailureEndsTheRunWithItsText) {
    for (const bool pipelined : {false, true}) {
        SCOPED_TRACE(pipelined ? "pipelined" : "one thread");
        TCustomTranscoder task;
        task.SetPipelined(pipelined);
        // Every write to this device fails for want of space.
        Configure(task, {Fixture("mpeg2_ac3.mpg")}, {}, "/dev/full",
                  {{"f", "matroska"}, {"vcodec", "mpeg4"}, {"acodec", "mp2"}});
        ASSERT_FALSE(HasFatalFailure());
        try {
            task.Transcode();
            ADD_FAILURE() << "the run ended without an error";
        } catch (const EngineException& e) {
            EXPECT_EQ(std::string(e.what()).rfind("av_interleaved_write_frame(): ", 0), 0u)
                << e.what();
        }
        EXPECT_FALSE(task.Finished());
        task.FreeFiles();
    }
}

TEST(EncoderThreadCount, AutomaticGivesSelfThreadingVideoEncodersMoreThanTheCores) {
    const struct {
        int requested;
        bool video, ownThreads;
        unsigned cores;
        int expected;
    } cases[] = {
        {0, true, true, 2, 4},   // two more than the cores
        {0, true, true, 4, 6},   // one and a half per core
        {0, true, true, 16, 24}, //
        {3, true, true, 2, 3},   // a count that was set stays
        {1, true, true, 8, 1},   //
        {0, true, false, 2, 0},  // encoders threaded by the library: its own choice
        {0, false, true, 2, 0},  // audio
        {0, true, true, 0, 0},   // cores unknown
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncoderThreadCount(c.requested, c.video, c.ownThreads, c.cores), c.expected)
            << c.requested << " " << c.video << c.ownThreads << " " << c.cores;
    }
}

} // namespace
} // namespace tessaro::test
