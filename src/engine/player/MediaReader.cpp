#include "player/MediaReader.h"

#include "dvdinput/DvdAddress.h"
#include "io/MediaInput.h"
#include "player/AudioOutput.h"
#include "player/PacketQueue.h"
#include "player/PlaybackClock.h"
#include "player/SubtitleDecoder.h"
#include "player/VideoDecoder.h"
#include "probe/MediaProbe.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"

#include <limits>

namespace tessaro {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t MaxQueueBytes = 15 * 1024 * 1024;
constexpr std::int64_t EnoughAudioBytes = 5 * 16 * 1024 * 4;
constexpr int EnoughPackets = 5;

bool IsCaptureFormat(const char* name) {
    const std::string format = name ? name : "";
    return format == "vfwcap" || format == "vfwcapture" || format == "video4linux2,v4l2" ||
           format == "x11grab";
}

} // namespace

TMediaReader::TMediaReader(TPlaybackHost& host, TPlaybackControl& control, TMediaFacts& facts,
                           TPlaybackClock& clock, TPacketQueues packets, TAudioOutput& audio,
                           TVideoDecoder& video, TSubtitleDecoder& subtitles)
    : host_(host), control_(control), facts_(facts), clock_(clock), packets_(packets),
      audio_(audio), video_(video), subtitles_(subtitles) {}

int TMediaReader::DecodeInterrupt(void* opaque) {
    return static_cast<TMediaReader*>(opaque)->control_.AbortRequest ? 1 : 0;
}

// ---- Opening --------------------------------------------------------------------------------

bool TMediaReader::OpenComponent(int index) {
    AVStream* stream = reading_.Format->streams[index];
    const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContextPtr decoder(ff::avcodec_alloc_context3(codec));
    if (codec == nullptr || !decoder ||
        ff::avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) {
        host_.Log(llError, "avcodec_open() failed.");
        return false;
    }
    decoder->pkt_timebase = stream->time_base;
    decoder->workaround_bugs = 1;
    decoder->err_recognition = AV_EF_CAREFUL;
    decoder->error_concealment = 3;
    decoder->thread_count = 1;
    AVDictionaryHolder decoderOptions;
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE &&
        !reading_.SubpicturePalette.empty()) {
        ff::av_dict_set(decoderOptions.Get(), "palette", reading_.SubpicturePalette.c_str(), 0);
    }
    {
        std::lock_guard lock(CodecLock());
        if (ff::avcodec_open2(decoder.get(), codec, decoderOptions.Get()) < 0) {
            host_.Log(llError, "avcodec_open() failed.");
            return false;
        }
    }
    switch (stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        if (!audio_.Open(stream, std::move(decoder))) {
            return false;
        }
        reading_.AudioIndex = index;
        return true;
    case AVMEDIA_TYPE_VIDEO:
        reading_.VideoIndex = index;
        video_.Start(reading_.Format.get(), stream, std::move(decoder));
        return true;
    case AVMEDIA_TYPE_SUBTITLE:
        reading_.SubtitleIndex = index;
        subtitles_.Start(stream, std::move(decoder));
        return true;
    default:
        std::lock_guard lock(CodecLock());
        decoder.reset();
        return false;
    }
}

void TMediaReader::CloseComponents() {
    if (reading_.AudioIndex >= 0) {
        audio_.Close();
        reading_.AudioIndex = -1;
    }
    if (reading_.VideoIndex >= 0) {
        video_.Stop();
        reading_.VideoIndex = -1;
    }
    if (reading_.SubtitleIndex >= 0) {
        subtitles_.Stop();
        reading_.SubtitleIndex = -1;
    }
}

// Opens the input and its decoders; false with the host's last error set.
bool TMediaReader::OpenInput() {
    AVDictionaryHolder options;
    if (host_.FrameWidth() > 0 && host_.FrameHeight() > 0) {
        ff::av_dict_set(options.Get(), "video_size",
                        FormatText("%dx%d", host_.FrameWidth(), host_.FrameHeight()).c_str(), 0);
    }
    const std::string& fileName = facts_.FileName;
    int opened;
    TDvdInputChoice dvd;
    const bool dvdTitle = IsDvdAddress(fileName);
    try {
        opened = OpenMediaInput(reading_.Format, reading_.FormatIO, fileName, nullptr,
                                options.Get(), &dvd);
    } catch (const EngineException& e) {
        host_.SetLastError(e.what());
        return false;
    }
    if (opened < 0) {
        host_.SetLastError(ErrorText(fileName, opened));
        return false;
    }
    AVFormatContext* format = reading_.Format.get();
    format_ = format;
    format->interrupt_callback.callback = DecodeInterrupt;
    format->interrupt_callback.opaque = this;
    int found;
    {
        std::lock_guard lock(CodecLock());
        found = ff::avformat_find_stream_info(format, nullptr);
    }
    if (found < 0) {
        host_.SetLastError(FormatText("%s: could not find codec parameters", fileName.c_str()));
        return false;
    }
    if (format->pb != nullptr) {
        format->pb->eof_reached = 0;
    }
    facts_.ImageSequence = std::string(format->iformat->name) == "image2";
    facts_.Capture = IsCaptureFormat(format->iformat->name);
    facts_.StartTime = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
    facts_.Duration = format->duration != AV_NOPTS_VALUE ? format->duration : -1;
    clock_.SetStartTime(double(facts_.StartTime) / 1e6);

    for (unsigned i = 0; i < format->nb_streams; ++i) {
        format->streams[i]->discard = AVDISCARD_ALL;
    }
    int audio = -1;
    int video = -1;
    int subtitle = -1;
    // A DVD title plays the audio track and subpicture its address chooses.
    if (!host_.DisableAudio()) {
        audio = dvdTitle ? KeepDvdAudioStream(format, dvd.param.AudioID)
                         : ff::av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    }
    if (!host_.DisableVideo()) {
        video = ff::av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        subtitle = dvdTitle
                       ? FindOrAddDvdSubpictureStream(format, dvd.param.SubtitleID)
                       : ff::av_find_best_stream(format, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
        reading_.SubpicturePalette = dvdTitle ? DvdPaletteText(dvd.info) : std::string();
    }
    if (audio >= 0) {
        OpenComponent(audio);
    }
    const bool videoOpened = video >= 0 && OpenComponent(video);
    if (subtitle >= 0) {
        OpenComponent(subtitle);
    }
    if (!videoOpened && !host_.DisableDisplay()) {
        control_.ShowMode = 2;
    }
    if (reading_.AudioIndex < 0 && reading_.VideoIndex < 0) {
        host_.SetLastError(
            FormatText("%s: could not open codecs, no stream to play.", fileName.c_str()));
        return false;
    }
    return true;
}

// ---- Reading --------------------------------------------------------------------------------

void TMediaReader::PerformSeek(bool& endOfFile) {
    AVFormatContext* format = reading_.Format.get();
    const std::int64_t target = control_.SeekTarget;
    const std::int64_t relative = control_.SeekRelative;
    const int flags = control_.SeekFlags;
    const std::int64_t lowest =
        relative > 0 ? target - relative + 2 : std::numeric_limits<std::int64_t>::min();
    const std::int64_t highest =
        relative < 0 ? target - relative - 2 : std::numeric_limits<std::int64_t>::max();
    int result = ff::avformat_seek_file(format, -1, lowest, target, highest, flags);
    if (result < 0) {
        result = ff::av_seek_frame(format, -1, target, flags);
    }
    if (result < 0) {
        result = ff::av_seek_frame(format, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
    }
    if (result < 0) {
        host_.Log(llError, FormatText("%s: error while seeking", facts_.FileName.c_str()));
        if (reading_.VideoIndex >= 0) {
            control_.FrameDecoded.Set();
        }
    } else {
        if (reading_.AudioIndex >= 0) {
            packets_.Audio.Clear();
            packets_.Audio.PutFlush();
        }
        if (reading_.SubtitleIndex >= 0) {
            packets_.Subtitle.Clear();
            packets_.Subtitle.PutFlush();
        }
        if (reading_.VideoIndex >= 0) {
            packets_.Video.Clear();
            control_.FirstFrameAfterFlush = false;
            control_.FrameDecoded.Reset();
            packets_.Video.PutFlush();
        }
        control_.StalePictures = true;
    }
    reading_.EofLogged = false;
    control_.Drained = false;
    control_.SeekRequest = false;
    control_.SeekDone.Set();
    endOfFile = false;
}

std::int64_t TMediaReader::QueuedBytes() const {
    return packets_.Audio.Bytes() + packets_.Video.Bytes() + packets_.Subtitle.Bytes();
}

bool TMediaReader::QueuesHaveEnough() const {
    if (QueuedBytes() > MaxQueueBytes) {
        return true;
    }
    return (reading_.AudioIndex < 0 || packets_.Audio.Bytes() > EnoughAudioBytes) &&
           (reading_.VideoIndex < 0 || packets_.Video.Count() > EnoughPackets) &&
           (reading_.SubtitleIndex < 0 || packets_.Subtitle.Count() > EnoughPackets);
}

void TMediaReader::ReadLoop() {
    AVFormatContext* format = reading_.Format.get();
    AVPacketPtr packet(ff::av_packet_alloc());
    bool endOfFile = false;
    bool endQueued = false;
    while (!control_.AbortRequest) {
        if (clock_.Paused() != reading_.LastPaused) {
            reading_.LastPaused = clock_.Paused();
            if (reading_.LastPaused) {
                control_.ReadPauseReturn = ff::av_read_pause(format);
            } else {
                ff::av_read_play(format);
            }
        }
        if (control_.SeekRequest) {
            PerformSeek(endOfFile);
            endQueued = false;
        }
        if (QueuesHaveEnough()) {
            SleepFor(10ms);
            continue;
        }
        if (endOfFile || (format->pb != nullptr && ff::avio_feof(format->pb))) {
            if (reading_.VideoIndex >= 0) {
                if (!endQueued) {
                    packets_.Video.PutEnd();
                    endQueued = true;
                }
                control_.FrameDecoded.Set();
            }
            SleepFor(10ms);
            if (QueuedBytes() == 0) {
                control_.Drained = true;
            }
            continue;
        }
        control_.InsideRead = true;
        const int result = ff::av_read_frame(format, packet.get());
        control_.InsideRead = false;
        if (control_.AbortRequest) {
            ff::av_packet_unref(packet.get());
            break;
        }
        if (result == AVERROR(EAGAIN)) {
            SleepFor(10ms);
            continue;
        }
        if (result < 0) {
            if (reading_.VideoIndex >= 0) {
                control_.FrameDecoded.Set();
            }
            if (!facts_.ImageSequence && !reading_.EofLogged) {
                reading_.EofLogged = true;
                if (result == AVERROR_EOF) {
                    host_.Log(llInfo, FormatText("reach end of file: %s", facts_.FileName.c_str()));
                } else {
                    host_.Log(llError, FormatText("error #%d while reading file: %s", result,
                                                  facts_.FileName.c_str()));
                }
            }
            if (result == AVERROR_EOF) {
                endOfFile = true;
            } else if (format->pb != nullptr && format->pb->error != 0) {
                // A broken input still counts as ended, so playback can report its end.
                endOfFile = true;
            } else {
                SleepFor(100ms);
            }
            continue;
        }
        if (packet->stream_index == reading_.AudioIndex) {
            packets_.Audio.Put(packet.get());
        } else if (packet->stream_index == reading_.VideoIndex) {
            packets_.Video.Put(packet.get());
        } else if (packet->stream_index == reading_.SubtitleIndex) {
            packets_.Subtitle.Put(packet.get());
        }
        ff::av_packet_unref(packet.get());
    }
}

void TMediaReader::Run() {
    bool opened = false;
    RunGuarded(host_, "ReadThread", [&] { opened = OpenInput(); });
    if (opened) {
        control_.OpenResult = 1;
        RunGuarded(host_, "ReadThread", [&] { ReadLoop(); });
        while (!control_.AbortRequest) {
            SleepFor(100ms);
        }
    } else {
        control_.OpenResult = -1;
    }
    CloseComponents();
    try {
        host_.Probe().AttachContext(nullptr);
    } catch (const EngineException&) {
        // The libraries are gone; the probe holds nothing of this file anyway.
    }
    format_ = nullptr;
    reading_.Format.reset();
    reading_.FormatIO.reset();
    if (!opened) {
        PostPlayerEvent(QuitPlaybackEventType);
        control_.OpenResult = -2;
    }
}

} // namespace tessaro
