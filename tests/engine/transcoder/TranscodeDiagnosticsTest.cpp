// What a task reports about its work besides the output: the video statistics file with
// PSNR, packet and hex dumps, the session description of RTP outputs, and the libraries' own
// reasons in the texts of failures.
#include "TranscodeTestSupport.h"

#include <cstdio>
#include <fstream>

namespace tessaro::test {
namespace {

class TranscodeDiagnosticsTest : public TTranscodeTestBase {};

class TranscodeVideoStatisticsTest : public TTranscodeTestBase,
                                     public ::testing::WithParamInterface<const char*> {};

TEST_P(TranscodeVideoStatisticsTest, EveryFrameLineHoldsTheMeasuredPsnr) {
    const std::string codec = GetParam();
    const std::string stats = Out("vstats.log");
    const std::string output = Out("psnr.avi");
    Convert({Fixture("h264_aac.mp4")}, {}, output,
            {{"t", "1"},
             {"an", ""},
             {"vcodec", codec},
             {"b", "400000"},
             {"psnr", ""},
             {"vstats_file", stats}});
    const TFileFacts facts = ProbeFile(output);
    ASSERT_EQ(facts.video.size(), 1u);

    std::ifstream file(stats);
    std::string line;
    int lines = 0;
    double lowest = 1e9;
    while (std::getline(file, line)) {
        ++lines;
        int frame = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "frame= %d", &frame), 1) << line;
        EXPECT_EQ(frame, lines) << line;
        const std::size_t at = line.find("PSNR= ");
        ASSERT_NE(at, std::string::npos) << line;
        const double psnr = std::atof(line.c_str() + at + 6);
        EXPECT_GT(psnr, 20.0) << line;
        EXPECT_LT(psnr, 99.0) << line;
        lowest = std::min(lowest, psnr);
        EXPECT_LT(at, line.find("f_size= ")) << line;
    }
    EXPECT_EQ(lines, facts.video[0].packets);
    EXPECT_EQ(lines, 25);
    // A bit rate this low cannot keep every picture near-lossless.
    EXPECT_LT(lowest, 60.0);
}

INSTANTIATE_TEST_SUITE_P(Encoders, TranscodeVideoStatisticsTest,
                         ::testing::Values("mpeg4", "mpeg1video"));

TEST_F(TranscodeDiagnosticsTest, HexDumpShowsThePayloadOfEachPacketRead) {
    // The first packet of the source, as the dump must show it.
    std::string firstLine;
    int firstSize = 0;
    {
        AVFormatContext* raw = nullptr;
        ASSERT_GE(ff::avformat_open_input(&raw, Fixture("audio.mp3").c_str(), nullptr, nullptr), 0);
        AVInputFormatContextPtr ctx(raw);
        AVPacketPtr packet(ff::av_packet_alloc());
        ASSERT_GE(ff::av_read_frame(raw, packet.get()), 0);
        firstSize = packet->size;
        ASSERT_GT(firstSize, 32);
        firstLine = "00000000 ";
        for (int i = 0; i < 16; ++i) {
            firstLine += FormatText(" %02x", packet->data[i]);
        }
        firstLine += ' ';
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t c = packet->data[i];
            firstLine += c < ' ' || c > '~' ? '.' : char(c);
        }
    }
    struct TCase {
        const char* option;
        bool hexLines;
    };
    for (const TCase& c : {TCase{"dump", false}, TCase{"hex", true}}) {
        SCOPED_TRACE(c.option);
        ClearLines();
        Convert({Fixture("audio.mp3")}, {}, Out(std::string(c.option) + ".wav"),
                {{"t", "0.2"}, {c.option, ""}});
        EXPECT_TRUE(LogContains(FormatText("stream #0: size=%d pts=", firstSize)));
        EXPECT_EQ(LogContains(firstLine + "\n00000010 "), c.hexLines);
        // The last line of a packet whose size is not a multiple of 16 is padded.
        bool lastLineSeen = false;
        for (const std::string& entry : Log()) {
            if (entry.rfind("00000000 ", 0) == 0) {
                const std::string last = entry.substr(entry.rfind('\n') + 1);
                const int tail = firstSize % 16 != 0 ? firstSize % 16 : 16;
                lastLineSeen = last.size() == std::size_t(8 + 1 + 16 * 3 + 1 + tail);
                break;
            }
        }
        EXPECT_EQ(lastLineSeen, c.hexLines);
    }
}

TEST_F(TranscodeDiagnosticsTest, RtpOutputLogsItsSessionDescription) {
    Convert({Fixture("audio.mp3")}, {}, "rtp://127.0.0.1:47170",
            {{"t", "0.5"}, {"f", "rtp"}, {"acodec", "pcm_mulaw"}, {"ar", "8000"}, {"ac", "1"}});
    std::string sdp;
    for (const TLogLine& line : Lines()) {
        if (line.text.rfind("SDP:\r\n", 0) == 0) {
            EXPECT_EQ(line.level, llInfo);
            sdp = line.text;
        }
    }
    ASSERT_FALSE(sdp.empty());
    EXPECT_NE(sdp.find("v=0"), std::string::npos) << sdp;
    EXPECT_NE(sdp.find("c=IN IP4 127.0.0.1"), std::string::npos) << sdp;
    EXPECT_NE(sdp.find("m=audio 47170 RTP/AVP 0"), std::string::npos) << sdp;

    // A file output has no session description.
    ClearLines();
    Convert({Fixture("audio.mp3")}, {}, Out("plain.wav"), {{"t", "0.5"}});
    EXPECT_FALSE(LogContains("SDP:"));
}

TEST_F(TranscodeDiagnosticsTest, FailingLibraryCallsGiveTheLibrarysReason) {
    const struct {
        TOptionList options;
        const char* text;   // the engine's own text, at the start
        const char* reason; // the library's complaint, after it
    } cases[] = {
        {{{"vcodec", "mpeg4"}, {"vf", "crop=x=0:y=0:w=2000:h=2000"}},
         "Error opening filters: Filter graph: Invalid data found when processing input (",
         "[Parsed_crop_0] Invalid too big or non positive size for width '2000' or height "
         "'2000'; "},
        {{{"vcodec", "h263"}, {"s", "100x100"}},
         "Error while opening encoder for output stream #0.0 (Video)",
         "[h263] The specified picture size of 100x100 is not valid for the H.263 codec."},
        {{{"vcodec", "mpeg4"}, {"f", "psp"}},
         "Could not write header for output file #0 (incorrect codec parameters ?) (",
         "[psp] PSP mode need one video and one audio stream)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TCustomTranscoder task;
        TOptionList options = c.options;
        options.push_back({"an", ""});
        Configure(task, {Fixture("h264_aac.mp4")}, {}, Out("failed.mp4"), options);
        ASSERT_FALSE(HasFatalFailure());
        const std::string error = ErrorOf([&] { task.Transcode(); });
        EXPECT_EQ(error.rfind(c.text, 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

} // namespace
} // namespace tessaro::test
