#include "EngineTestSupport.h"
#include "TranscoderOptionsTestSupport.h"
#include "transcoder/options/Presets.h"

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

using namespace tessaro;
using namespace tessaro::test;

namespace {

using TSettings = std::map<std::string, std::string>;

// "key=value key=value ..." of the settings text x264 writes into its first packet.
TSettings ParseX264Settings(const std::string& packetData) {
    TSettings settings;
    const std::size_t start = packetData.find("x264 - core");
    if (start == std::string::npos) {
        return settings;
    }
    const std::size_t options = packetData.find("options: ", start);
    const std::size_t end = packetData.find('\0', start);
    std::istringstream words(packetData.substr(options + 9, end - options - 9));
    for (std::string word; words >> word;) {
        const std::size_t eq = word.find('=');
        if (eq != std::string::npos) {
            settings[word.substr(0, eq)] = word.substr(eq + 1);
        }
    }
    return settings;
}

struct TEncodeResult {
    TSettings settings;
    int unusedOptions = -1; // dictionary entries libx264 did not take
    std::string leftOver;
};

// Encodes one second of 320x240 pictures at 25 fps with libx264 opened with the task's
// option dictionary and returns the settings the encoder reports in the stream.
TEncodeResult EncodeOneSecond(const TCustomTranscoder& task) {
    TEncodeResult result;
    const AVCodec* codec = ff::avcodec_find_encoder_by_name("libx264");
    AVCodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    ctx->width = 320;
    ctx->height = 240;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = {1, 25};
    ctx->framerate = {25, 1};
    ctx->thread_count = 1;
    AVDictionaryHolder dict;
    task.Options().libraryOptions.CodecOpenOptions(
        AVMEDIA_TYPE_VIDEO, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM, codec,
        dict.Get());
    int ret = 0;
    {
        std::lock_guard lock(CodecLock());
        ret = ff::avcodec_open2(ctx.get(), codec, dict.Get());
    }
    EXPECT_GE(ret, 0);
    if (ret < 0) {
        return result;
    }
    result.unusedOptions = ff::av_dict_count(dict.Value());
    for (const AVDictionaryEntry* e = nullptr;
         (e = ff::av_dict_get(dict.Value(), "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr;) {
        result.leftOver += std::string(e->key) + "=" + e->value + " ";
    }

    AVFramePtr frame(ff::av_frame_alloc());
    frame->width = 320;
    frame->height = 240;
    frame->format = AV_PIX_FMT_YUV420P;
    EXPECT_GE(ff::av_frame_get_buffer(frame.get(), 0), 0);
    AVPacketPtr packet(ff::av_packet_alloc());
    std::string firstPacket;
    auto drain = [&] {
        while (ff::avcodec_receive_packet(ctx.get(), packet.get()) >= 0) {
            if (firstPacket.empty()) {
                firstPacket.assign(reinterpret_cast<const char*>(packet->data), packet->size);
            }
            ff::av_packet_unref(packet.get());
        }
    };
    for (int i = 0; i < 25; ++i) {
        ff::av_frame_make_writable(frame.get());
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                frame->data[0][y * frame->linesize[0] + x] = std::uint8_t(x + y + i * 3);
            }
        }
        for (int plane = 1; plane < 3; ++plane) {
            for (int y = 0; y < 120; ++y) {
                std::memset(frame->data[plane] + y * frame->linesize[plane], 128 + plane * i, 160);
            }
        }
        frame->pts = i;
        EXPECT_GE(ff::avcodec_send_frame(ctx.get(), frame.get()), 0);
        drain();
    }
    ff::avcodec_send_frame(ctx.get(), nullptr);
    drain();
    std::lock_guard lock(CodecLock());
    ctx.reset();
    result.settings = ParseX264Settings(firstPacket);
    return result;
}

void ExpectSettings(const TEncodeResult& result, const TSettings& expected) {
    EXPECT_EQ(result.unusedOptions, 0) << result.leftOver;
    ASSERT_FALSE(result.settings.empty());
    for (const auto& [key, value] : expected) {
        const auto it = result.settings.find(key);
        ASSERT_NE(it, result.settings.end()) << key;
        EXPECT_EQ(it->second, value) << key;
    }
}

std::vector<std::string> BodyLines(const std::string& body) {
    std::vector<std::string> lines;
    std::istringstream stream(body);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

class PresetTest : public TTranscoderOptionsTest {};

TEST_F(PresetTest, BuiltInTableHoldsTheFortyBodies) {
    const auto& presets = BuiltInPresets();
    ASSERT_EQ(presets.size(), 40u);
    std::set<std::string> names;
    for (const auto& p : presets) {
        names.insert(p.Name);
    }
    EXPECT_EQ(names.size(), 40u);

    auto body = [](const char* name) { return FindBuiltInPreset(name)->Options; };
    EXPECT_EQ(body("libx264-mp4"), body("libx264-psp"));
    EXPECT_EQ(body("libx264-medium_firstpass"), body("libx264-fast_firstpass"));
    EXPECT_EQ(body("libx264-placebo_firstpass"), body("libx264-placebo"));
    EXPECT_EQ(body("libx264-slower_firstpass"), body("libx264-slow_firstpass"));
    EXPECT_EQ(body("libx264-ultrafast_firstpass"), body("libx264-ultrafast"));

    EXPECT_EQ(body("libx264-baseline"), "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n");
    EXPECT_EQ(body("libx264-main"), "flags2=-dct8x8\n");
    EXPECT_EQ(body("libx264-ipod640"), "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\n"
                                       "maxrate=10000000\nbufsize=10000000\nwpredp=0\n");
    EXPECT_EQ(body("libx264-ipod320"), "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\n"
                                       "maxrate=768000\nbufsize=3000000\nwpredp=0\n");

    const auto psp = BodyLines(body("libx264-psp"));
    const std::vector<std::string> pspExpected = {"coder=1",
                                                  "flags=+loop",
                                                  "level=30",
                                                  "cmp=+chroma",
                                                  "partitions=+parti4x4+parti8x8+partp8x8+partb8x8",
                                                  "me_method=umh",
                                                  "subq=7",
                                                  "me_range=16",
                                                  "g=250",
                                                  "keyint_min=25",
                                                  "sc_threshold=40",
                                                  "i_qfactor=0.71",
                                                  "b_strategy=1",
                                                  "qcomp=0.6",
                                                  "qmin=10",
                                                  "qmax=51",
                                                  "qdiff=4",
                                                  "bf=3",
                                                  "refs=1",
                                                  "directpred=1",
                                                  "trellis=2",
                                                  "b=1250000",
                                                  "maxrate=1500000",
                                                  "bufsize=4000000",
                                                  "bt=256000",
                                                  "sc_threshold=40"};
    EXPECT_EQ(psp, pspExpected);
    const auto ipod = BodyLines(body("libx264-ipod"));
    EXPECT_EQ(std::count(ipod.begin(), ipod.end(), "sc_threshold=40"), 2);
    EXPECT_EQ(std::count(ipod.begin(), ipod.end(), "bf=3"), 0);
    EXPECT_EQ(BodyLines(body("libx264-ps3"))[21], "maxrate=3500000");

    const auto dflt = BodyLines(body("libx264-default"));
    EXPECT_EQ(dflt.size(), 22u);
    EXPECT_EQ(dflt[20], "flags2=+mixed_refs+wpred+dct8x8+fastpskip");
    EXPECT_EQ(dflt[21], "wpredp=2");

    // A speed preset: the eight shared lines plus its own keys.
    const auto slow = BodyLines(body("libx264-lossless_slow"));
    for (const char* line :
         {"cmp=+chroma", "g=250", "keyint_min=25", "i_qfactor=0.71", "qcomp=0.6", "qmin=10",
          "qmax=51", "qdiff=4", "cqp=0", "refs=2", "flags2=+dct8x8+fastpskip",
          "partitions=+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8"}) {
        EXPECT_EQ(std::count(slow.begin(), slow.end(), line), 1) << line;
    }
    EXPECT_EQ(std::count_if(slow.begin(), slow.end(),
                            [](const std::string& l) { return l.rfind("bf=", 0) == 0; }),
              0);
}

TEST_F(PresetTest, LookupByNameCodecFallbackAndCase) {
    Task().ApplyPreset("vpre", "libx264-veryslow");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "refs"), 16);
    EXPECT_EQ(PrivateVideo("me_method"), "umh");

    Task().SetOption("vcodec", "libx264");
    Task().ApplyPreset("vpre", "psp");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "refs"), 1);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 1250000);
    EXPECT_NE(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 1250000); // the video rate stays video's
    Task().ApplyPreset("vpre", "PS3");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "maxrate"), 3500000);
    Task().SetOption("vpre", "LIBX264-IPOD640");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "maxrate"), 10000000);

    // Nothing happens for an empty kind or name.
    EXPECT_NO_THROW(Task().ApplyPreset("", "psp"));
    EXPECT_NO_THROW(Task().ApplyPreset("vpre", ""));
}

TEST_F(PresetTest, UnknownPresetAndFilePresets) {
    EXPECT_EQ(ErrorOf([&] { Task().ApplyPreset("vpre", "psp"); }), "Preset \"psp\" not found");
    // "fpre" only reads files, even for a built-in name.
    EXPECT_EQ(ErrorOf([&] { Task().ApplyPreset("fpre", "libx264-fast"); }),
              "Preset \"libx264-fast\" not found");

    TTempDir dir;
    const std::string good = (dir.Path() / "good.ffpreset").string();
    std::ofstream(good) << "\r\n  g = 77 \r\n\r\nqmin=3\rvcodec=mpeg4\nacodec=copy\n";
    Task().ApplyPreset("fpre", good);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 77);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "qmin"), 3);
    EXPECT_EQ(O().videoCodecName, "mpeg4");
    EXPECT_TRUE(O().audioStreamCopy);

    const std::string noValue = (dir.Path() / "novalue.ffpreset").string();
    std::ofstream(noValue) << "g=10\nqmin\n";
    EXPECT_EQ(ErrorOf([&] { Task().ApplyPreset("vpre", noValue); }),
              noValue + ": Invalid syntax: \"qmin\"");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 10); // earlier lines stay applied

    const std::string unknown = (dir.Path() / "unknown.ffpreset").string();
    std::ofstream(unknown) << "nosuchkey = 1\n";
    EXPECT_EQ(
        ErrorOf([&] { Task().ApplyPreset("apre", unknown); }),
        unknown +
            ": Invalid option or argument: \"nosuchkey = 1\", parsed as \"nosuchkey\" = \"1\"");
}

// Every built-in preset opens libx264 with nothing left unused.
TEST_F(PresetTest, EveryBuiltInPresetOpensTheEncoder) {
    for (const TOptionsPreset& preset : BuiltInPresets()) {
        SCOPED_TRACE(preset.Name);
        Task().ResetOptions();
        Task().ApplyPreset("vpre", preset.Name);
        const TEncodeResult result = EncodeOneSecond(Task());
        EXPECT_EQ(result.unusedOptions, 0) << result.leftOver;
        EXPECT_FALSE(result.settings.empty());
    }
}

TEST_F(PresetTest, DevicePresetsTakeEffectInTheEncoder) {
    Task().SetOption("vcodec", "libx264");
    Task().SetOption("vpre", "psp");
    ExpectSettings(EncodeOneSecond(Task()), {{"cabac", "1"},          {"ref", "1"},
                                             {"deblock", "1:0:0"},    {"analyse", "0x1:0x111"},
                                             {"me", "umh"},           {"subme", "7"},
                                             {"mixed_ref", "0"},      {"me_range", "16"},
                                             {"chroma_me", "1"},      {"trellis", "2"},
                                             {"8x8dct", "0"},         {"fast_pskip", "1"},
                                             {"weightp", "0"},        {"keyint", "250"},
                                             {"keyint_min", "25"},    {"scenecut", "40"},
                                             {"bframes", "3"},        {"b_pyramid", "0"},
                                             {"b_adapt", "1"},        {"direct", "1"},
                                             {"weightb", "0"},        {"rc", "abr"},
                                             {"mbtree", "1"},         {"bitrate", "1250"},
                                             {"ratetol", "0.2"},      {"qcomp", "0.60"},
                                             {"qpmin", "10"},         {"qpmax", "51"},
                                             {"qpstep", "4"},         {"vbv_maxrate", "1500"},
                                             {"vbv_bufsize", "4000"}, {"ip_ratio", "1.41"}});

    Task().ResetOptions();
    Task().SetOption("vcodec", "libx264");
    Task().SetOption("vpre", "ps3");
    ExpectSettings(EncodeOneSecond(Task()), {{"cabac", "1"},
                                             {"ref", "1"},
                                             {"me", "umh"},
                                             {"subme", "7"},
                                             {"trellis", "2"},
                                             {"8x8dct", "0"},
                                             {"weightp", "0"},
                                             {"bframes", "3"},
                                             {"b_pyramid", "0"},
                                             {"weightb", "0"},
                                             {"vbv_maxrate", "3500"},
                                             {"vbv_bufsize", "4000"},
                                             {"scenecut", "40"}});

    Task().ResetOptions();
    Task().SetOption("vcodec", "libx264");
    Task().SetOption("vpre", "ipod");
    ExpectSettings(EncodeOneSecond(Task()), {{"cabac", "0"},
                                             {"ref", "1"},
                                             {"analyse", "0x1:0x11"},
                                             {"me", "umh"},
                                             {"subme", "7"},
                                             {"trellis", "2"},
                                             {"8x8dct", "0"},
                                             {"weightp", "0"},
                                             {"bframes", "0"},
                                             {"bitrate", "1000"},
                                             {"vbv_maxrate", "1250"},
                                             {"vbv_bufsize", "4000"},
                                             {"ratetol", "0.3"}});
}

TEST_F(PresetTest, SpeedPresetsTakeEffectInTheEncoder) {
    Task().SetOption("vcodec", "libx264");
    Task().SetOption("vpre", "ultrafast");
    ExpectSettings(EncodeOneSecond(Task()), {{"cabac", "0"},
                                             {"ref", "1"},
                                             {"deblock", "0:0:0"},
                                             {"analyse", "0x1:0"},
                                             {"me", "dia"},
                                             {"subme", "0"},
                                             {"mixed_ref", "0"},
                                             {"trellis", "0"},
                                             {"8x8dct", "0"},
                                             {"fast_pskip", "1"},
                                             {"weightp", "0"},
                                             {"bframes", "0"},
                                             {"scenecut", "0"},
                                             {"mbtree", "0"},
                                             {"keyint", "250"}});

    Task().ResetOptions();
    Task().SetOption("vcodec", "libx264");
    Task().SetOption("vpre", "medium");
    ExpectSettings(
        EncodeOneSecond(Task()),
        {{"cabac", "1"},     {"ref", "3"},        {"deblock", "1:0:0"}, {"analyse", "0x3:0x113"},
         {"me", "hex"},      {"subme", "7"},      {"mixed_ref", "1"},   {"trellis", "1"},
         {"8x8dct", "1"},    {"fast_pskip", "1"}, {"weightp", "2"},     {"bframes", "3"},
         {"b_pyramid", "2"}, {"b_adapt", "1"},    {"direct", "1"},      {"weightb", "1"},
         {"scenecut", "40"}, {"mbtree", "1"},     {"qpmin", "10"},      {"qpmax", "51"}});

    Task().ResetOptions();
    Task().SetOption("vcodec", "libx264");
    Task().SetOption("vpre", "slow");
    ExpectSettings(EncodeOneSecond(Task()), {{"ref", "5"},
                                             {"me", "umh"},
                                             {"subme", "8"},
                                             {"trellis", "1"},
                                             {"b_adapt", "2"},
                                             {"direct", "3"},
                                             {"weightp", "2"},
                                             {"8x8dct", "1"},
                                             {"b_pyramid", "2"},
                                             {"mixed_ref", "1"},
                                             {"analyse", "0x3:0x113"}});
}
