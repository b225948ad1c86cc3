#include "probe/MediaProbe.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "runtime/Bindings.h"
#include "runtime/FFmpegPtr.h"
#include "runtime/LibraryLoader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
// GCC 12 reports a false "may be used uninitialized" inside std::regex when built with the
// address sanitizer.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#include <string>
#include <vector>

using tessaro::test::FixtureDir;

using namespace tessaro;

namespace {

std::string Fixture(const std::string& name) {
    return FixtureDir() + "/" + name;
}

using test::RunCommand;

using TJsonObject = std::map<std::string, std::string>;

// The flat objects of ffprobe's JSON output: "format" and one per stream. Only
// scalar entries are asked for, so every object is a flat list of key/value pairs.
struct TProbeReport {
    TJsonObject format;
    std::vector<TJsonObject> streams;
};

TJsonObject ParseFlatObject(const std::string& text) {
    static const std::regex pair(R"re("(\w+)": ("([^"]*)"|[-0-9.]+))re");
    TJsonObject object;
    for (std::sregex_iterator it(text.begin(), text.end(), pair), end; it != end; ++it) {
        object[(*it)[1]] = (*it)[3].matched ? (*it)[3].str() : (*it)[2].str();
    }
    return object;
}

TProbeReport RunFfprobe(const std::string& file) {
    const std::string json =
        RunCommand("ffprobe -v error -of json -show_entries "
                   "format=size,duration,start_time,nb_streams,nb_programs:"
                   "stream=index,codec_type,codec_name,codec_long_name,width,height,r_frame_rate,"
                   "channels,sample_rate,start_time,duration '" +
                   file + "'");
    TProbeReport report;
    const auto streamsAt = json.find("\"streams\"");
    const auto formatAt = json.find("\"format\"");
    if (streamsAt == std::string::npos || formatAt == std::string::npos) {
        return report;
    }
    // Side data lists hold objects of their own; only the flat entries matter here.
    const std::string streams = std::regex_replace(json.substr(streamsAt, formatAt - streamsAt),
                                                   std::regex(R"(\{\s*\})"), "");
    static const std::regex object(R"(\{[^{}]*\})");
    for (std::sregex_iterator it(streams.begin(), streams.end(), object), end; it != end; ++it) {
        report.streams.push_back(ParseFlatObject(it->str()));
    }
    report.format = ParseFlatObject(json.substr(formatAt));
    return report;
}

std::int64_t SecondsToUs(const std::string& seconds) {
    return std::llround(std::stod(seconds) * 1e6);
}

// Records what the probe sends to the engine log.
class LogCapture {
public:
    LogCapture() {
        TEngineLogger::GetLogger().SetTriggerEventInMainThread(false);
        TEngineLogger::GetLogger().SetLogLevel(llDebug);
        TEngineLogger::GetLogger().SetOnLog(
            [this](const void*, std::uint32_t, TLogLevel level, const std::string& message) {
                std::lock_guard lock(mutex_);
                entries_.emplace_back(level, message);
            });
    }
    ~LogCapture() { TEngineLogger::GetLogger().SetOnLog(nullptr); }
    bool Has(TLogLevel level, const std::string& message) {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry.first == level && entry.second.find(message) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<TLogLevel, std::string>> entries_;
};

class MediaProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(ConverterLibraries))
            << TLibraryLoader::Instance().LastErrorText();
    }
    LogCapture log;
};

// Compares the probe's view of a file with what the ffprobe program reports for it.
void ExpectAgreesWithFfprobe(const std::string& name) {
    SCOPED_TRACE(name);
    const std::string file = Fixture(name);
    const TProbeReport expected = RunFfprobe(file);
    ASSERT_FALSE(expected.streams.empty()) << "ffprobe could not read " << file;

    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(file)) << probe.LastError();
    EXPECT_EQ(probe.GetFileName(), file);
    EXPECT_EQ(probe.StreamCount(), int(expected.streams.size()));
    EXPECT_EQ(probe.ProgramCount(), std::stoi(expected.format.at("nb_programs")));
    EXPECT_EQ(probe.FileSize(), std::stoll(expected.format.at("size")));

    std::map<std::string, int> counts;
    std::map<std::string, int> first;
    for (const TJsonObject& stream : expected.streams) {
        const std::string kind = stream.at("codec_type");
        if (counts[kind]++ == 0) {
            first[kind] = std::stoi(stream.at("index"));
        }
    }
    EXPECT_EQ(probe.VideoStreamCount(), counts["video"]);
    EXPECT_EQ(probe.AudioStreamCount(), counts["audio"]);
    EXPECT_EQ(probe.SubtitleStreamCount(), counts["subtitle"]);
    EXPECT_EQ(probe.FirstVideoStream(), counts["video"] ? first["video"] : -1);
    EXPECT_EQ(probe.FirstAudioStream(), counts["audio"] ? first["audio"] : -1);
    EXPECT_EQ(probe.FirstSubtitleStream(), counts["subtitle"] ? first["subtitle"] : -1);

    TFileStreamInfo fileInfo;
    probe.GetFileStreamInfo(fileInfo);
    EXPECT_NEAR(fileInfo.Duration, SecondsToUs(expected.format.at("duration")), 1);
    EXPECT_NEAR(fileInfo.StartTime, SecondsToUs(expected.format.at("start_time")), 1);

    for (const TJsonObject& stream : expected.streams) {
        const int index = std::stoi(stream.at("index"));
        SCOPED_TRACE("stream " + std::to_string(index));
        const std::string longName = "(" + stream.at("codec_long_name") + ")";
        if (stream.at("codec_type") == "video") {
            EXPECT_TRUE(probe.IsVideoStream(index));
            EXPECT_FALSE(probe.IsAudioStream(index));
            TVideoStreamInfo info;
            probe.GetVideoStreamInfo(index, info);
            EXPECT_NE(info.CodecName.find(longName), std::string::npos) << info.CodecName;
            EXPECT_EQ(info.Width, std::stoi(stream.at("width")));
            EXPECT_EQ(info.Height, std::stoi(stream.at("height")));
            EXPECT_EQ(std::to_string(info.FrameRateNum) + "/" + std::to_string(info.FrameRateDen),
                      stream.at("r_frame_rate"));
            if (stream.count("duration")) {
                EXPECT_NEAR(info.DurationUs, SecondsToUs(stream.at("duration")), 1);
            }
            EXPECT_NEAR(info.StartTimeUs, SecondsToUs(stream.at("start_time")), 1);
        } else if (stream.at("codec_type") == "audio") {
            EXPECT_TRUE(probe.IsAudioStream(index));
            EXPECT_FALSE(probe.IsVideoStream(index));
            TAudioStreamInfo info;
            probe.GetAudioStreamInfo(index, info);
            EXPECT_NE(info.CodecName.find(longName), std::string::npos) << info.CodecName;
            EXPECT_EQ(info.Channels, std::stoi(stream.at("channels")));
            EXPECT_EQ(info.SampleRate, std::stoi(stream.at("sample_rate")));
            if (stream.count("duration")) {
                EXPECT_NEAR(info.DurationUs, SecondsToUs(stream.at("duration")), 1);
            }
        }
    }
}

TEST_F(MediaProbeTest, AgreesWithFfprobeOnEveryFixture) {
    for (const char* name :
         {"mpeg2_ac3.mpg", "h264_aac.mp4", "audio.mp3", "two_audio.mkv", "clip_äöü_日本.mp4"}) {
        ExpectAgreesWithFfprobe(name);
    }
}

TEST_F(MediaProbeTest, UnloadedProbeReportsNothingAndWarnsOnEveryGetter) {
    TMediaProbe probe;
    for (int value :
         {probe.StreamCount(), probe.ProgramCount(), probe.AudioStreamCount(),
          probe.VideoStreamCount(), probe.SubtitleStreamCount(), probe.FirstAudioStream(),
          probe.FirstVideoStream(), probe.FirstSubtitleStream()}) {
        EXPECT_EQ(value, -1);
    }
    EXPECT_EQ(probe.FileSize(), -1);

    TAudioStreamInfo audio;
    audio.Channels = 2;
    probe.GetAudioStreamInfo(0, audio);
    EXPECT_EQ(audio.Channels, -1);
    EXPECT_EQ(audio.StartTime, -1);
    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.AspectRatio, -1.0f);
    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    EXPECT_EQ(file.Duration, -1);
    EXPECT_FALSE(probe.IsAudioStream(0));
    EXPECT_FALSE(probe.IsVideoStream(0));
    EXPECT_EQ(probe.GetFileName(), "");
    EXPECT_EQ(probe.GetFormatName(), "");
    EXPECT_EQ(probe.GetFileInfoText(), "");
    EXPECT_EQ(probe.LastError(), "file not loaded.");
    EXPECT_TRUE(log.Has(llWarning, "file not loaded."));
}

TEST_F(MediaProbeTest, WrongStreamKindsAndIndexesAreErrors) {
    struct Case {
        const char* file;
        int index;
        bool audio; // which getter
        std::string message;
    };
    const Case cases[] = {
        {"two_audio.mkv", 5, true, "stream index #5 is invalid."},
        {"two_audio.mkv", 0, true, "stream #0 is not audio stream."},
        {"two_audio.mkv", 1, false, "stream #1 is not video stream."},
        {"audio.mp3", -1, false, "no video stream."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TMediaProbe probe;
        ASSERT_TRUE(probe.LoadFile(Fixture(c.file)));
        log.Clear();
        if (c.audio) {
            TAudioStreamInfo info;
            probe.GetAudioStreamInfo(c.index, info);
            EXPECT_EQ(info.SampleRate, -1);
        } else {
            TVideoStreamInfo info;
            probe.GetVideoStreamInfo(c.index, info);
            EXPECT_EQ(info.Width, -1);
        }
        EXPECT_EQ(probe.LastError(), c.message);
        EXPECT_TRUE(log.Has(llError, c.message));
    }

    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture("two_audio.mkv")));
    EXPECT_FALSE(probe.IsVideoStream(-1));
    EXPECT_EQ(probe.LastError(), "stream index #-1 is invalid.");
    EXPECT_FALSE(probe.IsAudioStream(3));
    EXPECT_EQ(probe.LastError(), "stream index #3 is invalid.");
}

TEST_F(MediaProbeTest, NegativeIndexDescribesTheFirstStreamOfTheKind) {
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture("two_audio.mkv")));
    ASSERT_EQ(probe.AudioStreamCount(), 2);
    TAudioStreamInfo first;
    probe.GetAudioStreamInfo(-1, first);
    EXPECT_EQ(first.Language, "eng");
    TAudioStreamInfo second;
    probe.GetAudioStreamInfo(probe.FirstAudioStream() + 1, second);
    EXPECT_EQ(second.Language, "fre");
}

TEST_F(MediaProbeTest, LoadFailuresLeaveTheProbeEmpty) {
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture("h264_aac.mp4")));

    EXPECT_FALSE(probe.LoadFile(Fixture("h264_aac.mp4"), "no_such_format"));
    EXPECT_EQ(probe.LastError(), "Unknown input format: no_such_format");
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_FALSE(log.Has(llError, "Unknown input format"));

    const std::string missing = Fixture("missing.mp4");
    EXPECT_FALSE(probe.LoadFile(missing));
    EXPECT_EQ(probe.LastError().rfind(missing + ": ", 0), 0u) << probe.LastError();
    EXPECT_TRUE(log.Has(llError, missing + ": "));
    EXPECT_EQ(probe.FormatContext(), nullptr);

    // A forced format that does not fit the data cannot be opened either.
    EXPECT_FALSE(probe.LoadFile(Fixture("audio.mp3"), "mpegts"));
    EXPECT_EQ(probe.StreamCount(), -1);
}

TEST_F(MediaProbeTest, ForcedFormatIsKept) {
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture("mpeg2_ac3.mpg"), "mpeg"));
    EXPECT_EQ(probe.ForcedFormat(), "mpeg");
    EXPECT_EQ(probe.GetFormatName(), "mpeg");
    EXPECT_TRUE(probe.OwnsContext());
    probe.CloseFile();
    EXPECT_EQ(probe.ForcedFormat(), "");
}

TEST_F(MediaProbeTest, InfoTextDescribesFileAndStreams) {
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture("h264_aac.mp4")));
    const std::string text = probe.GetFileInfoText();
    EXPECT_EQ(text.rfind("File Name: " + Fixture("h264_aac.mp4") +
                             "\r\nFormat Name: mov,mp4,m4a,3gp,3g2,mj2\r\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\r\nDuration: 00:00:12.000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nStartTime: 0.000000\r\n"), std::string::npos) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("\r\nBit Rate: [0-9]+ kb/s\r\n"))) << text;
    // This container asks for stream ids to be shown.
    EXPECT_NE(text.find("Stream #0[0x1](und), 1/12800: Video: h264"), std::string::npos) << text;
    EXPECT_NE(text.find(", 25 fps, 25 tbr, 12800 tbn, StartTime: 0.000000"), std::string::npos)
        << text;
    EXPECT_NE(text.find(", Duration: 00:00:12.000"), std::string::npos) << text;
    EXPECT_TRUE(
        std::regex_search(text, std::regex("Stream #1\\[0x2\\]\\(und\\), 1/44100: Audio: aac")))
        << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(MediaProbeTest, InfoTextShowsProgramsWithTheirStreams) {
    const std::string ts = testing::TempDir() + "/program.ts";
    RunCommand("ffmpeg -v error -y -i '" + Fixture("h264_aac.mp4") +
               "' -t 1 -c copy -metadata service_provider=Maker -metadata service_name=Show '" +
               ts + "'");
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(ts)) << probe.LastError();
    ASSERT_EQ(probe.ProgramCount(), 1);
    const std::string text = probe.GetFileInfoText();
    const auto program = text.find("\r\nProgram 1 Maker@Show\r\n");
    ASSERT_NE(program, std::string::npos) << text;
    // The program's streams follow it, with their ids shown for this container.
    EXPECT_NE(text.find("Stream #0[0x100]", program), std::string::npos) << text;
    EXPECT_NE(text.find(", 90k tbn", program), std::string::npos) << text;
    EXPECT_EQ(text.find("Stream #0", program + 1), text.rfind("Stream #0")) << "shown twice";
}

TEST(MediaProbeText, RateTextsMetadataBlocksAndKeyNames) {
    EXPECT_EQ(RateText(30000.0 / 1001, "fps"), ", 29.97 fps");
    EXPECT_EQ(RateText(25, "tbr"), ", 25 tbr");
    EXPECT_EQ(RateText(90000, "tbn"), ", 90k tbn");
    EXPECT_EQ(RateText(1200, "tbn"), ", 1200 tbn");

    ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(ConverterLibraries));
    AVDictionaryHolder languageOnly;
    ff::av_dict_set(languageOnly.Get(), "language", "eng", 0);
    EXPECT_EQ(MetadataBlockText(languageOnly.Value(), ""), "");
    EXPECT_EQ(MetadataBlockText(nullptr, ""), "");

    AVDictionaryHolder tags;
    ff::av_dict_set(tags.Get(), "TIT2", "Song", 0);
    ff::av_dict_set(tags.Get(), "language", "eng", 0);
    ff::av_dict_set(tags.Get(), "TPE1", "Band", 0);
    ff::av_dict_set(tags.Get(), "TXXX", "other", 0);
    EXPECT_EQ(MetadataBlockText(tags.Value(), "  "), "  Metadata:\r\n"
                                                     "    title           : Song\r\n"
                                                     "    artist          : Band\r\n"
                                                     "    TXXX            : other\r\n");
    EXPECT_EQ(MetadataKeyName("tit2"), "tit2");
    EXPECT_EQ(MetadataKeyName("TYER"), "year");
}

TEST_F(MediaProbeTest, AttachedContextIsRepairedAndNeverClosedByTheProbe) {
    AVFormatContext* context = ff::avformat_alloc_context();
    AVStream* stream = ff::avformat_new_stream(context, nullptr);
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MPEG4;
    stream->codecpar->width = 64;
    stream->codecpar->height = 32;
    stream->time_base = AVRational{7, 0};
    context->start_time = AV_NOPTS_VALUE;
    context->duration = AV_NOPTS_VALUE;
    {
        TMediaProbe probe;
        probe.AttachContext(context);
        EXPECT_FALSE(probe.OwnsContext());
        EXPECT_EQ(probe.VideoStreamCount(), 1);
        TVideoStreamInfo info;
        probe.GetVideoStreamInfo(0, info);
        EXPECT_EQ(stream->time_base.num, 7);
        EXPECT_EQ(stream->time_base.den, 7);
        EXPECT_EQ(info.Width, 64);
        EXPECT_EQ(info.DurationUs, -1);
        const std::string text = probe.GetFileInfoText();
        EXPECT_NE(text.find("\r\nDuration: N/A\r\n"), std::string::npos) << text;
        EXPECT_EQ(text.find("StartTime"), std::string::npos) << text;
        EXPECT_NE(text.find("Stream #0, 1/1: Video: mpeg4"), std::string::npos) << text;
        EXPECT_NE(text.find(", Duration: N/A\r\n"), std::string::npos) << text;
    }
    // The probe is gone; the context still belongs to its opener.
    EXPECT_EQ(context->nb_streams, 1u);
    ff::avformat_free_context(context);
}

TEST(MediaProbeLibraries, MissingLibrariesRaiseBeforeAnythingHappens) {
    TLibraryLoader::Instance().UnloadLibSet(ConverterLibraries);
    TMediaProbe probe;
    try {
        probe.LoadFile(Fixture("h264_aac.mp4"));
        FAIL() << "no exception";
    } catch (const EngineException& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLib(TLibraryKind::libAVCodec));
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLib(TLibraryKind::libAVFormat));
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLib(TLibraryKind::libAVUtil));
    EXPECT_THROW(
        {
            try {
                probe.AttachContext(nullptr);
            } catch (const EngineException& e) {
                EXPECT_STREQ(e.what(), "LibSwScale not loaded.");
                throw;
            }
        },
        EngineException);
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(ConverterLibraries));
}

} // namespace
