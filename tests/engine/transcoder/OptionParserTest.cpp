#include "TranscoderOptionsTestSupport.h"
#include "transcoder/options/EncoderNames.h"

#include <cmath>

using namespace tessaro;
using namespace tessaro::test;

namespace {

using TCheck = std::function<bool(const TTranscoderOptions&, TCustomTranscoder&)>;

struct TOptionCase {
    const char* name;
    std::string value;
    TCheck check;
};

std::string Numbers(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i ? "," : "") + std::to_string(i + 1);
    }
    return text;
}

} // namespace

class OptionParserTest : public TTranscoderOptionsTest {};

// Each option of the vocabulary with a valid value, and the state it leaves.
TEST_F(OptionParserTest, EveryOptionChangesItsState) {
    using Opt = const TTranscoderOptions&;
    using T = TCustomTranscoder&;
    const std::vector<TOptionCase> cases = {
        {"f", "avi", [](Opt o, T) { return o.forcedFormat == "avi" && !o.pgmyuvCompatibility; }},
        {"map", "0:1",
         [](Opt o, T) {
             const auto& m = o.streamMaps.back();
             return m.fileIndex == 0 && m.streamIndex == 1 && m.syncFileIndex == 0 &&
                    m.syncStreamIndex == 1;
         }},
        {"map", "1.2:0.0",
         [](Opt o, T) {
             const auto& m = o.streamMaps.back();
             return m.fileIndex == 1 && m.streamIndex == 2 && m.syncFileIndex == 0 &&
                    m.syncStreamIndex == 0;
         }},
        {"map_meta_data", "1:0",
         [](Opt o, T) {
             return o.metaDataMaps.back().outFile == 1 && o.metaDataMaps.back().inFile == 0;
         }},
        {"t", "00:01:30.5",
         [](Opt o, T t) { return o.recordingTime == 90500000 && t.TotalDuration() == 90500000; }},
        {"fs", "1000000", [](Opt o, T) { return o.fileSizeLimit == 1000000; }},
        {"ss", "10", [](Opt o, T) { return o.startTime == 10000000; }},
        {"itsoffset", "-2.5", [](Opt o, T) { return o.inputTsOffset == -2500000; }},
        {"itsscale", "1:0.5", [](Opt o, T) { return o.inputTsScale[1] == 0.5; }},
        {"timestamp", "2010-01-02T03:04:05Z",
         [](Opt o, T) { return o.recordingTimestamp == 1262401445; }},
        {"metadata", "title=A=B",
         [](Opt o, T) {
             return o.metadata.back() == std::make_pair(std::string("title"), std::string("A=B"));
         }},
        {"dframes", "5", [](Opt o, T) { return o.maxFrames[flData] == 5; }},
        {"dump", "", [](Opt o, T) { return o.packetDump; }},
        {"hex", "1", [](Opt o, T) { return o.hexDump; }},
        {"re", "", [](Opt o, T) { return o.rateEmulation; }},
        {"loop_input", "", [](Opt o, T) { return o.loopInput; }},
        {"loop_output", "3", [](Opt o, T) { return o.loopOutput == 3; }},
        {"v", "2", [](Opt o, T) { return o.verbose == 2; }},
        {"vsync", "1", [](Opt o, T) { return o.videoSyncMethod == 1; }},
        {"async", "1", [](Opt o, T) { return o.audioSyncMethod == 1; }},
        {"adrift_threshold", "0.5", [](Opt o, T) { return o.audioDriftThreshold == 0.5f; }},
        {"vglobal", "1", [](Opt o, T) { return o.videoGlobalHeader == 1; }},
        {"copyts", "0", [](Opt o, T) { return o.copyTimestamps; }},
        {"shortest", "", [](Opt o, T) { return o.shortest; }},
        {"dts_delta_threshold", "5", [](Opt o, T) { return o.dtsDeltaThreshold == 5.0f; }},
        {"programid", "3", [](Opt o, T) { return o.programId == 3; }},
        {"xerror", "0", [](Opt o, T) { return o.exitOnError; }},
        {"copyinkf", "1", [](Opt o, T) { return o.copyInitialNonKeyFrames == 1; }},
        {"vb", "600000",
         [](Opt o, T) {
             return o.libraryOptions.CodecInt(AVMEDIA_TYPE_VIDEO, "b") == 600000 &&
                    o.libraryOptions.CodecInt(AVMEDIA_TYPE_AUDIO, "b") != 600000;
         }},
        {"vframes", "6", [](Opt o, T) { return o.maxFrames[flVideo] == 6; }},
        {"r", "29.97", [](Opt o, T) { return o.frameRate.num == 2997 && o.frameRate.den == 100; }},
        {"r", "ntsc", [](Opt o, T) { return o.frameRate.num == 30000 && o.frameRate.den == 1001; }},
        {"s", "640x480", [](Opt o, T) { return o.frameWidth == 640 && o.frameHeight == 480; }},
        {"s", "vga", [](Opt o, T) { return o.frameWidth == 640 && o.frameHeight == 480; }},
        {"aspect", "16:9",
         [](Opt o, T) { return std::fabs(o.frameAspectRatio - 16.0f / 9) < 1e-6; }},
        {"aspect", "1.7777",
         [](Opt o, T) { return std::fabs(o.frameAspectRatio - 1.7777f) < 1e-6; }},
        {"pix_fmt", "yuv422p", [](Opt o, T) { return o.pixelFormat == AV_PIX_FMT_YUV422P; }},
        {"intra", "", [](Opt o, T) { return o.intraOnly; }},
        {"vn", "", [](Opt o, T) { return o.videoDisable; }},
        {"vdt", "2", [](Opt o, T) { return o.videoDiscard == 2; }},
        {"qscale", "4", [](Opt o, T) { return o.videoQScale == 4.0f; }},
        {"qscale", "255", [](Opt o, T) { return o.videoQScale == 255.0f; }},
        {"rc_override", "0,100,2", [](Opt o, T) { return o.rcOverride == "0,100,2"; }},
        {"vcodec", "libx264", [](Opt o, T) { return o.videoCodecName == "libx264"; }},
        {"vcodec", "copy",
         [](Opt o, T) { return o.videoStreamCopy && o.videoCodecName == "libx264"; }},
        {"vcodec", "", [](Opt o, T) { return o.videoCodecName == "libx264"; }},
        {"me_threshold", "3", [](Opt o, T) { return o.meThreshold == 3; }},
        {"sameq", "", [](Opt o, T) { return o.sameQuality; }},
        {"pass", "2", [](Opt o, T) { return o.passNumber == 2; }},
        {"passlogfile", "stats", [](Opt o, T) { return o.passLogFile == "stats"; }},
        {"deinterlace", "", [](Opt o, T) { return o.deinterlace; }},
        {"psnr", "", [](Opt o, T) { return o.psnr; }},
        {"vstats", "",
         [](Opt o, T) {
             const std::string& n = o.vstatsFileName;
             return n.find("/vstats_") != std::string::npos && n.size() > 10 &&
                    n.compare(n.size() - 4, 4, ".log") == 0;
         }},
        {"vstats_file", "v.log", [](Opt o, T) { return o.vstatsFileName == "v.log"; }},
        {"vfilters", "crop=0:0:320:240",
         [](Opt o, T) { return o.videoFilters == "crop=0:0:320:240"; }},
        {"vf", "scale=320:240", [](Opt o, T) { return o.videoFilters == "scale=320:240"; }},
        {"intra_matrix", Numbers(64),
         [](Opt o, T) { return o.intraMatrix.size() == 64 && o.intraMatrix[63] == 64; }},
        {"inter_matrix", Numbers(64),
         [](Opt o, T) { return o.interMatrix.size() == 64 && o.interMatrix[0] == 1; }},
        {"top", "1", [](Opt o, T) { return o.topFieldFirst == 1; }},
        {"dc", "10", [](Opt o, T) { return o.intraDcPrecision == 10; }},
        {"vtag", "DIVX", [](Opt o, T) { return o.videoCodecTag == 0x58564944u; }},
        {"vlang", "eng", [](Opt o, T) { return o.videoLanguage == "eng"; }},
        {"qphist", "", [](Opt o, T) { return o.qpHistogram; }},
        {"force_fps", "", [](Opt o, T) { return o.forceFps; }},
        {"streamid", "1:33", [](Opt o, T) { return o.streamIdMap[1] == 33; }},
        {"ab", "128000",
         [](Opt o, T) { return o.libraryOptions.CodecInt(AVMEDIA_TYPE_AUDIO, "b") == 128000; }},
        {"aframes", "7", [](Opt o, T) { return o.maxFrames[flAudio] == 7; }},
        {"aq", "3", [](Opt o, T) { return o.audioQScale == 3.0f; }},
        {"ar", "22050", [](Opt o, T) { return o.audioSampleRate == 22050; }},
        {"ar", "0", [](Opt o, T) { return o.audioSampleRate == 22050; }},
        {"ac", "1", [](Opt o, T) { return o.audioChannels == 1; }},
        {"ac", "-1", [](Opt o, T) { return o.audioChannels == 1; }},
        {"an", "0", [](Opt o, T) { return !o.audioDisable; }},
        {"an", "", [](Opt o, T) { return o.audioDisable; }},
        {"acodec", "mp2", [](Opt o, T) { return o.audioCodecName == "mp2"; }},
        {"acodec", "copy", [](Opt o, T) { return o.audioStreamCopy; }},
        {"atag", "abcd", [](Opt o, T) { return o.audioCodecTag == 0x64636261u; }},
        {"vol", "512", [](Opt o, T) { return o.audioVolume == 512; }},
        {"alang", "ger", [](Opt o, T) { return o.audioLanguage == "ger"; }},
        {"sample_fmt", "s16", [](Opt o, T) { return o.sampleFormat == AV_SAMPLE_FMT_S16; }},
        {"sample_fmt", "nosuch", [](Opt o, T) { return o.sampleFormat == -1; }},
        {"sn", "", [](Opt o, T) { return o.subtitleDisable; }},
        {"scodec", "mov_text", [](Opt o, T) { return o.subtitleCodecName == "mov_text"; }},
        {"slang", "fre", [](Opt o, T) { return o.subtitleLanguage == "fre"; }},
        {"stag", "tx3g", [](Opt o, T) { return o.subtitleCodecTag == 0x67337874u; }},
        {"vc", "1", [](Opt o, T) { return o.videoChannel == 1; }},
        {"tvstd", "pal", [](Opt o, T) { return o.tvStandard == "pal"; }},
        {"isync", "", [](Opt o, T) { return o.inputSync; }},
        {"muxdelay", "0.3", [](Opt o, T) { return o.muxMaxDelay == 0.3f; }},
        {"muxpreload", "0.2", [](Opt o, T) { return o.muxPreload == 0.2f; }},
        {"absf", "aac_adtstoasc",
         [](Opt o, T) { return o.audioBitstreamFilters.back() == "aac_adtstoasc"; }},
        {"vbsf", "h264_mp4toannexb",
         [](Opt o, T) { return o.videoBitstreamFilters.back() == "h264_mp4toannexb"; }},
        {"sbsf", "", [](Opt o, T) { return o.subtitleBitstreamFilters.empty(); }},
        {"vbsf", "=noise", [](Opt o, T) { return o.videoBitstreamFilters.size() == 1; }},
        // Library options reached through the fallback.
        {"g", "50",
         [](Opt o, T) { return o.libraryOptions.CodecInt(AVMEDIA_TYPE_VIDEO, "g") == 50; }},
        {"flags", "+global_header",
         [](Opt o, T) {
             return (o.libraryOptions.CodecInt(AVMEDIA_TYPE_VIDEO, "flags") &
                     AV_CODEC_FLAG_GLOBAL_HEADER) != 0;
         }},
        {"packetsize", "2048",
         [](Opt o, T) { return o.libraryOptions.Format()->packet_size == 2048; }},
        {"sws_flags", "bilinear", [](Opt o, T) { return o.scalerFlags == SWS_BILINEAR; }},
        {"nosuchoption", "1", [](Opt, T) { return true; }},
    };
    for (const TOptionCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        EXPECT_NO_THROW(Task().SetOption(c.name, c.value));
        EXPECT_TRUE(c.check(O(), Task()));
    }
    // Only the options that log wrote anything.
    for (const TLogLine& line : Lines()) {
        EXPECT_TRUE(line.text.rfind("Do nothing", 0) != 0) << line.text;
        EXPECT_NE(line.level, llError) << line.text;
    }
}

TEST_F(OptionParserTest, ErrorTexts) {
    O().frameWidth = 720;
    O().frameHeight = 576;
    const std::vector<std::tuple<const char*, std::string, std::string>> cases = {
        {"t", "bad", "Invalid duration specification for t: bad"},
        {"ss", "1:x", "Invalid duration specification for ss: 1:x"},
        {"timestamp", "xyz", "Invalid date specification for timestamp: xyz"},
        {"itsscale", "20:1", "stream index over MAX_STREAMS(20)"},
        {"metadata", "novalue", "Missing ="},
        {"r", "abc", "Incorrect frame rate"},
        {"s", "axb", "Incorrect frame size"},
        {"aspect", "16:0", "Incorrect aspect ratio specification."},
        {"aspect", "abc", "Incorrect aspect ratio specification."},
        {"pix_fmt", "nonsense", "Unknown pixel format requested: nonsense"},
        {"croptop", "600",
         "Vertical crop dimensions are outside the range of the original image.\n"
         "Remember to crop first and scale second."},
        {"cropbottom", "576",
         "Vertical crop dimensions are outside the range of the original image.\n"
         "Remember to crop first and scale second."},
        {"cropleft", "720",
         "Horizontal crop dimensions are outside the range of the original image.\n"
         "Remember to crop first and scale second."},
        {"padtop", "10", "Please use vfilters=pad"},
        {"padcolor", "000000", "Please use vfilters=pad"},
        {"qscale", "0", "qscale must be > 0.0 and <= 255"},
        {"qscale", "255.5", "qscale must be > 0.0 and <= 255"},
        {"pass", "3", "pass number can be only 1 or 2"},
        {"vhook", "/x/hook.so a b", "Failed to add video hook function: /x/hook.so a b"},
        {"intra_matrix", Numbers(63), "Syntax error in matrix \"" + Numbers(63) + "\" at coeff 62"},
        {"vtag", "DIV", "video tag parameter must be 4 chars"},
        {"atag", "abcde", "audio tag parameter must be 4 chars"},
        {"stag", "", "subtitle tag parameter must be 4 chars"},
        {"newvideo", "", "At least one output file must be specified"},
        {"newaudio", "", "At least one output file must be specified"},
        {"newsubtitle", "", "At least one output file must be specified"},
        {"streamid", "5",
         "Invalid value \"5\" for option \"streamid\", required syntax is \"index:value\""},
        {"vbsf", "nosuchfilter=1", "Unknown bitstream filter nosuchfilter"},
        {"vframes", "12a", "'12a' is not a valid integer value"},
        {"muxdelay", "fast", "'fast' is not a valid floating point value"},
        {"target", "pal-cd", "Unknown target type"},
        {"target", "vcd", "frame_rate is invalid."},
        {"vpre", "psp", "Preset \"psp\" not found"},
    };
    for (const auto& [name, value, error] : cases) {
        SCOPED_TRACE(std::string(name) + "=" + value);
        EXPECT_EQ(ErrorOf([&] { Task().SetOption(name, value); }), error);
    }
    // Failed crops changed nothing.
    EXPECT_EQ(O().frameHeight, 576);
    EXPECT_EQ(O().cropTop, 0);
}

TEST_F(OptionParserTest, CropBandsReduceTheFrameAndWarn) {
    O().frameWidth = 720;
    O().frameHeight = 576;
    Task().SetOption("croptop", "0");
    EXPECT_EQ(O().frameHeight, 576);
    EXPECT_TRUE(Lines().empty());
    Task().SetOption("croptop", "16");
    Task().SetOption("cropbottom", "8");
    Task().SetOption("cropleft", "10");
    Task().SetOption("cropright", "-4");
    EXPECT_EQ(O().cropTop, 16);
    EXPECT_EQ(O().cropBottom, 8);
    EXPECT_EQ(O().cropLeft, 10);
    EXPECT_EQ(O().cropRight, 0);
    EXPECT_EQ(O().frameHeight, 552);
    EXPECT_EQ(O().frameWidth, 710);
    EXPECT_TRUE(Logged(llWarning, "CropXXX is deprecated in favor of the crop avfilter"));
}

TEST_F(OptionParserTest, MessagesOfInformationalOptions) {
    for (const char* name : {"L", "h", "version", "formats", "codecs", "bsfs", "protocols",
                             "filters", "i", "y", "benchmark"}) {
        Task().SetOption(name, "x");
        EXPECT_TRUE(Logged(llInfo, std::string("Do nothing: option - ") + name)) << name;
    }
    Task().SetOption("timelimit", "10");
    EXPECT_TRUE(Logged(llWarning, "Warning: -timelimit not implemented on Windows"));
    Task().SetOption("f", "pgmyuv");
    EXPECT_EQ(O().forcedFormat, "image2");
    EXPECT_TRUE(O().pgmyuvCompatibility);
    EXPECT_TRUE(Logged(llInfo, "pgmyuv format is deprecated, use image2"));
}

TEST_F(OptionParserTest, LowBitRateWarning) {
    const std::string warning =
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
    Task().SetOption("b", "500000");
    Task().SetOption("ab", "64000");
    EXPECT_FALSE(Logged(llWarning, warning));
    Task().SetOption("b", "500");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 500);
    EXPECT_TRUE(Logged(llWarning, warning));
    ClearLines();
    Task().SetOption("ab", "64");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 64);
    EXPECT_TRUE(Logged(llWarning, warning));
}

TEST_F(OptionParserTest, FormatListsGoToTheLog) {
    Task().SetOption("pix_fmt", "list");
    const auto pixelLines = Lines();
    ASSERT_GT(pixelLines.size(), 68u); // header plus every format the library has
    EXPECT_EQ(pixelLines[0].text, "name       nb_components nb_bits is_alpha");
    EXPECT_EQ(pixelLines[1].text.substr(0, 8), "yuv420p ");
    EXPECT_EQ(O().pixelFormat, -1);
    ClearLines();
    Task().SetOption("sample_fmt", "list");
    const auto sampleLines = Lines();
    ASSERT_EQ(sampleLines.size(), 1u + AV_SAMPLE_FMT_NB);
    EXPECT_EQ(sampleLines[2].text, "s16      16 ");
    for (const TLogLine& line : sampleLines) {
        EXPECT_EQ(line.level, llInfo);
    }
}

TEST_F(OptionParserTest, LogLevelOption) {
    Task().SetOption("loglevel", "debug");
    EXPECT_EQ(TEngineLogger::GetLogger().LogLevel(), llDebug);
    Task().SetOption("loglevel", "warning");
    EXPECT_EQ(TEngineLogger::GetLogger().LogLevel(), llWarning);
}

TEST_F(OptionParserTest, StreamMapsAreLimited) {
    for (int i = 0; i < MaxStreamMaps; ++i) {
        Task().SetOption("map", "0:0");
    }
    EXPECT_FALSE(ErrorOf([&] { Task().SetOption("map", "0:1"); }).empty());
    EXPECT_EQ(O().streamMaps.size(), std::size_t(MaxStreamMaps));
}

// The fallback into the libraries' options: generic, private, prefixed, and bad values.
TEST_F(OptionParserTest, CodecOptionFallback) {
    EXPECT_FALSE(Task().SetCodecOption("g", " "));
    EXPECT_FALSE(Task().SetCodecOption(" ", "1"));
    EXPECT_FALSE(Task().SetCodecOption("nosuchoption", "1"));

    // "b" is the video bit rate only, whoever sets it; the audio keeps its own.
    const std::int64_t audioDefault = CodecInt(AVMEDIA_TYPE_AUDIO, "b");
    EXPECT_TRUE(Task().SetCodecOption("b", "300000"));
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 300000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), audioDefault);
    EXPECT_TRUE(Task().SetCodecOption("ab", "96000"));
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 96000);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 300000);
    // Encoder-private option, checked against the encoder that defines it.
    EXPECT_TRUE(Task().SetCodecOption("crf", "20"));
    EXPECT_EQ(PrivateVideo("crf"), "20");
    // A muxer-private option.
    EXPECT_TRUE(Task().SetCodecOption("muxrate", "1411200"));
    EXPECT_EQ(O().libraryOptions.PrivateFormatOptions().at("muxrate"), "1411200");

    ClearLines();
    EXPECT_FALSE(Task().SetCodecOption("g", "many"));
    EXPECT_TRUE(Logged(llError, "Invalid value \"many\" for option \"g\"\n"));
    EXPECT_FALSE(Task().SetCodecOption("me_method", "nosuch"));
    EXPECT_EQ(ErrorOf([&] { Task().SetOption("g", "many"); }), ""); // dropped, logged

    const auto& names = O().libraryOptions.SetNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "b"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "crf"), names.end());
}

TEST_F(OptionParserTest, DebugOptionRaisesTheLogLevel) {
    TEngineLogger::GetLogger().SetLogLevel(llInfo);
    EXPECT_TRUE(Task().SetCodecOption("debug", "mb_type"));
    EXPECT_EQ(TEngineLogger::GetLogger().LogLevel(), llDebug);
}

// Old codec keys become today's options with the same effect.
TEST_F(OptionParserTest, OldCodecKeysAreTranslated) {
    EXPECT_TRUE(Task().SetCodecOption("partitions", "+parti8x8+parti4x4-partp8x8+partb8x8"));
    EXPECT_EQ(PrivateVideo("partitions"), "i8x8,i4x4,b8x8");
    EXPECT_TRUE(Task().SetCodecOption("partitions", "-parti8x8-parti4x4-partp8x8-partb8x8"));
    EXPECT_EQ(PrivateVideo("partitions"), "none");
    EXPECT_TRUE(Task().SetCodecOption("directpred", "3"));
    EXPECT_EQ(PrivateVideo("direct-pred"), "3");
    EXPECT_TRUE(Task().SetCodecOption("cqp", "0"));
    EXPECT_EQ(PrivateVideo("qp"), "0");
    EXPECT_TRUE(Task().SetCodecOption("me_method", "epzs"));
    EXPECT_EQ(PrivateVideo("me_method"), "dia");

    // flags2 works on the old default word (fast P-skip and macroblock tree on).
    EXPECT_TRUE(Task().SetCodecOption("flags2", "+bpyramid+dct8x8-mbtree"));
    EXPECT_EQ(PrivateVideo("b-pyramid"), "normal");
    EXPECT_EQ(PrivateVideo("8x8dct"), "1");
    EXPECT_EQ(PrivateVideo("mbtree"), "0");
    EXPECT_EQ(PrivateVideo("fast-pskip"), "1");
    EXPECT_EQ(PrivateVideo("weightb"), "0");
    EXPECT_EQ(PrivateVideo("mixed-refs"), "0");
    EXPECT_TRUE(Task().SetCodecOption("flags2", "+wpred"));
    EXPECT_EQ(PrivateVideo("weightb"), "1");
    EXPECT_EQ(PrivateVideo("8x8dct"), "1");

    // "-loop" switches libx264's deblocking off; "+loop" back on.
    EXPECT_TRUE(Task().SetCodecOption("flags", "-loop"));
    EXPECT_EQ(O().libraryOptions.X264Params().at("no-deblock"), "1");
    EXPECT_TRUE(Task().SetCodecOption("flags", "+loop"));
    EXPECT_EQ(O().libraryOptions.X264Params().count("no-deblock"), 0u);
    // An svcd flag that moved into the MPEG-2 encoder's own options.
    EXPECT_TRUE(Task().SetCodecOption("flags", "+scan_offset"));
    EXPECT_EQ(PrivateVideo("scan_offset"), "1");
}

TEST_F(OptionParserTest, OldKeysWithoutEquivalentAreDroppedWithOneWarning) {
    ClearLines();
    EXPECT_TRUE(Task().SetCodecOption("flags2", "+brdo+dct8x8+skiprd+local_header"));
    EXPECT_EQ(PrivateVideo("8x8dct"), "1");
    EXPECT_NE(CodecInt(AVMEDIA_TYPE_VIDEO, "flags2") & AV_CODEC_FLAG2_LOCAL_HEADER, 0);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, llWarning);
    EXPECT_EQ(lines[0].text,
              "Ignoring flags2 brdo, flags2 skiprd: no equivalent in the installed libraries");
}

TEST_F(OptionParserTest, ResetRestoresDefaultsAndFreshContexts) {
    Task().SetOption("s", "320x240");
    Task().SetOption("g", "50");
    Task().SetOption("crf", "20");
    Task().SetOption("vcodec", "copy");
    Task().SetThreadCount(4);
    Task().ResetOptions();
    const TTranscoderOptions defaults;
    EXPECT_EQ(O().frameWidth, 0);
    EXPECT_FALSE(O().videoStreamCopy);
    EXPECT_EQ(O().recordingTime, defaults.recordingTime);
    EXPECT_EQ(O().audioSampleRate, 44100);
    EXPECT_EQ(O().audioChannels, 2);
    EXPECT_EQ(O().muxPreload, 0.5f);
    EXPECT_EQ(O().muxMaxDelay, 0.7f);
    EXPECT_EQ(O().intraDcPrecision, 8);
    EXPECT_EQ(O().audioQScale, -99999.0f);
    EXPECT_EQ(O().scalerFlags, SWS_BICUBIC);
    EXPECT_EQ(Task().ThreadCount(), AutomaticCodecThreads);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 12);
    EXPECT_TRUE(O().libraryOptions.SetNames().empty());
    EXPECT_EQ(PrivateVideo("crf"), "<unset>");
    EXPECT_EQ(O().libraryOptions.ScalerFlags(), SWS_BICUBIC);
    // The option word sets the same count; negative counts are automatic.
    for (const auto& [text, count] : {std::pair{"3", 3}, std::pair{"0", 0}, std::pair{"-2", 0}}) {
        Task().SetOption("threads", text);
        EXPECT_EQ(Task().ThreadCount(), count) << text;
    }
}

// The dictionaries handed to encoders and muxers hold what applies to them only.
TEST_F(OptionParserTest, OpenOptionsPerEncoderAndMuxer) {
    Task().SetOption("vcodec", "libx264");
    Task().SetOption("g", "50");
    Task().SetOption("ab", "128000");
    Task().SetOption("crf", "20");
    Task().SetOption("partitions", "+parti4x4");
    Task().SetOption("muxrate", "1411200");
    Task().SetOption("packetsize", "2324");
    auto get = [](const AVDictionaryHolder& d, const char* key) {
        const AVDictionaryEntry* e = ff::av_dict_get(d.Value(), key, nullptr, 0);
        return e ? std::string(e->value) : std::string("<none>");
    };
    const auto& contexts = O().libraryOptions;
    AVDictionaryHolder video;
    contexts.CodecOpenOptions(AVMEDIA_TYPE_VIDEO,
                              AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM,
                              ff::avcodec_find_encoder_by_name("libx264"), video.Get());
    EXPECT_EQ(get(video, "g"), "50");
    EXPECT_EQ(get(video, "crf"), "20");
    EXPECT_EQ(get(video, "partitions"), "i4x4");
    AVDictionaryHolder mpeg2;
    contexts.CodecOpenOptions(AVMEDIA_TYPE_VIDEO,
                              AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM,
                              ff::avcodec_find_encoder_by_name("mpeg2video"), mpeg2.Get());
    EXPECT_EQ(get(mpeg2, "g"), "50");
    EXPECT_EQ(get(mpeg2, "crf"), "<none>");
    AVDictionaryHolder audio;
    contexts.CodecOpenOptions(AVMEDIA_TYPE_AUDIO,
                              AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM,
                              ff::avcodec_find_encoder_by_name("aac"), audio.Get());
    EXPECT_EQ(get(audio, "g"), "<none>");
    {
        // The audio bit rate reaches the encoder, whichever option name carries it.
        const AVCodec* aac = ff::avcodec_find_encoder_by_name("aac");
        AVCodecContextPtr ctx(ff::avcodec_alloc_context3(aac));
        ctx->sample_rate = 44100;
        ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
        ff::av_channel_layout_default(&ctx->ch_layout, 2);
        std::lock_guard lock(CodecLock());
        ASSERT_GE(ff::avcodec_open2(ctx.get(), aac, audio.Get()), 0);
        EXPECT_EQ(ctx->bit_rate, 128000);
        EXPECT_EQ(ff::av_dict_count(audio.Value()), 0);
        ctx.reset();
    }
    AVDictionaryHolder muxer;
    contexts.FormatOpenOptions(AV_OPT_FLAG_ENCODING_PARAM,
                               ff::av_guess_format("vob", nullptr, nullptr)->priv_class,
                               muxer.Get());
    EXPECT_EQ(get(muxer, "muxrate"), "1411200");
    EXPECT_EQ(get(muxer, "packetsize"), "2324");
}

TEST(EncoderNames, OldNamesResolveToInstalledEncoders) {
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(ConverterLibraries));
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"libfaac", "aac"},
        {"libflac", "flac"},
        {"vorbis", "libvorbis"},
        {"libamr_nb", "aac"},
        {"libopencore_amrnb", "aac"},
        {"msmpeg4v1", "msmpeg4v2"},
        {"wmv3", "wmv2"},
        {"pcm_u16le", "pcm_s16le"},
        {"mp3", "libmp3lame"},
        {"mpeg4", "mpeg4"},
        {"libx264", "libx264"},
        {"msmpeg4", "msmpeg4"},
        {"copy", "copy"},
        {"", ""},
        {"nosuchcodec", "nosuchcodec"},
    };
    for (const auto& [oldName, installed] : cases) {
        EXPECT_EQ(ResolveEncoderName(oldName), installed) << oldName;
    }
}
